#include "console/LineTracePanel.h"

#include "console/core/LineTraceModel.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QThreadPool>
#include <QVBoxLayout>

namespace {
namespace text {
const QString title = QStringLiteral("Линии на връзката (последните 10 000):");
const QString pause = QStringLiteral("Пауза");
const QString exportCsv = QStringLiteral("Експорт CSV");
const QString exportCaption = QStringLiteral("Експорт на линиите");
const QString csvFilter = QStringLiteral("CSV (*.csv)");
const QString exportFailed = QStringLiteral("Грешка при запис на %1: %2");
} // namespace text
} // namespace

namespace {

// Carries the answer of a background write back to the thread that asked. The pool thread
// knows only this object, which nobody else deletes; whether the receiver is still there is
// asked on the receiver's own thread.
class WriteAnswer : public QObject {
public:
    QPointer<QObject> receiver;
    std::function<void(const QString& error)> done;
    void answer(const QString& error)
    {
        if (receiver && done)
            done(error);
        deleteLater();
    }
};

} // namespace

void writeFileInBackground(
    QObject* receiver, const QString& path, QByteArray bytes, std::function<void(const QString& error)> done)
{
    auto* answer = new WriteAnswer;
    answer->moveToThread(receiver->thread());
    answer->receiver = receiver;
    answer->done = std::move(done);
    QThreadPool::globalInstance()->start([answer, path, bytes = std::move(bytes)] {
        QFile file(path);
        QString error;
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()
            || !file.flush())
            error = file.errorString();
        file.close();
        QMetaObject::invokeMethod(
            answer, [answer, error] { answer->answer(error); }, Qt::QueuedConnection);
    });
}

TLineInspectorPanel::TLineInspectorPanel(const TLineLog& log, QWidget* parent)
    : QWidget(parent)
    , log_(log)
{
    setObjectName(QStringLiteral("LineInspectorPanel"));
    saveFileName = [this](const QString& caption, const QString& filter) {
        return QFileDialog::getSaveFileName(this, caption, QString(), filter);
    };
    model_ = new TLineInspectorModel(log_, this);

    LineInspector = new QTableView(this);
    LineInspector->setObjectName(QStringLiteral("LineInspector"));
    LineInspector->setModel(model_);
    LineInspector->setSelectionBehavior(QAbstractItemView::SelectRows);
    LineInspector->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LineInspector->setWordWrap(false);
    LineInspector->verticalHeader()->hide();
    LineInspector->verticalHeader()->setDefaultSectionSize(18);
    LineInspector->horizontalHeader()->setStretchLastSection(true);
    LineInspector->setColumnWidth(TLineInspectorModel::ColTime, 90);
    LineInspector->setColumnWidth(TLineInspectorModel::ColDirection, 50);
    LineInspector->setColumnWidth(TLineInspectorModel::ColText, 220);
    LineInspector->setColumnWidth(TLineInspectorModel::ColHex, 200);

    PauseInspector = new QPushButton(text::pause, this);
    PauseInspector->setObjectName(QStringLiteral("PauseInspector"));
    PauseInspector->setCheckable(true);
    PauseInspector->setAutoDefault(false);
    ExportInspector = new QPushButton(text::exportCsv, this);
    ExportInspector->setObjectName(QStringLiteral("ExportInspector"));
    ExportInspector->setAutoDefault(false);
    connect(PauseInspector, &QPushButton::toggled, this, [this](bool on) { model_->setPaused(on); });
    connect(ExportInspector, &QPushButton::clicked, this, &TLineInspectorPanel::exportCsv);

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(text::title, this));
    bar->addStretch(1);
    bar->addWidget(PauseInspector);
    bar->addWidget(ExportInspector);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(bar);
    layout->addWidget(LineInspector, 1);
}

void TLineInspectorPanel::refresh()
{
    QScrollBar* bar = LineInspector->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    model_->refresh();
    if (atEnd && !model_->paused())
        LineInspector->scrollToBottom();
}

void TLineInspectorPanel::showMoment(qint64 ms)
{
    model_->refresh();
    const int row = model_->rowAtTime(ms);
    if (row < 0)
        return;
    const QModelIndex at = model_->index(row, TLineInspectorModel::ColTime);
    LineInspector->selectRow(row);
    LineInspector->scrollTo(at, QAbstractItemView::PositionAtCenter);
}

void TLineInspectorPanel::exportCsv()
{
    const QString path = saveFileName ? saveFileName(text::exportCaption, text::csvFilter) : QString();
    if (path.isEmpty())
        return;
    writeFileInBackground(this, path, linesCsv(log_), [this, path](const QString& error) {
        if (!error.isEmpty() && errorReport)
            errorReport(text::exportFailed.arg(path, error));
    });
}
