#include "console/ArchiveClosing.h"

#include "console/ArchivePage.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <algorithm>
#include <climits>

namespace {

namespace text {
const QString writing = QStringLiteral("Архивът записва чакащото преди затваряне: чакат %1");
const QString giveUp = QStringLiteral("Затвори без тях");
const QString unstored = QStringLiteral("Архивът не съхрани %1 записа и %2 реда на журнала.");
} // namespace text

// A close that ends sooner shows nothing.
constexpr int kShowAfterMs = 500;

} // namespace

QString archiveUnstoredText(const ArchiveStore::Unstored& lost)
{
    return text::unstored.arg(lost.captures).arg(lost.rows);
}

ArchiveStore::Unstored closeArchiveShowingProgress(
    ArchiveStore& store, QWidget* parent, std::int64_t deadlineMs)
{
    if (store.waiting() == 0)
        return store.close(deadlineMs);
    QProgressDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("ArchiveClosing"));
    dialog.setWindowTitle(QCoreApplication::applicationName());
    dialog.setCancelButtonText(text::giveUp);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    dialog.setMinimumDuration(kShowAfterMs);
    std::int64_t most = std::max<std::int64_t>(store.waiting(), 1);
    dialog.setRange(0, int(std::min<std::int64_t>(most, INT_MAX)));
    dialog.setLabelText(text::writing.arg(store.waiting()));
    dialog.setValue(0);
    QObject::connect(&dialog, &QProgressDialog::canceled, &store, &ArchiveStore::giveUp);
    QObject::connect(&dialog, &QDialog::rejected, &store, &ArchiveStore::giveUp);
    return store.close(deadlineMs, [&](std::int64_t waiting) {
        const QString trouble = archiveNotWritingText(store);
        dialog.setLabelText(trouble.isEmpty() ? text::writing.arg(waiting) : trouble);
        most = std::max(most, waiting);
        dialog.setMaximum(int(std::min<std::int64_t>(most, INT_MAX)));
        dialog.setValue(int(most - waiting));
    });
}
