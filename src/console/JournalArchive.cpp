#include "console/JournalArchive.h"

#include "archive/ArchiveStore.h"
#include "archive/CaptureListModel.h"
#include "console/ArchivePage.h"
#include "console/JournalPage.h"
#include "session/JournalRecorder.h"

#include <QTableView>

namespace {

QStringList kindsOf(TJournalFilter filter)
{
    const QString kind = journalFilterKind(filter);
    return kind.isEmpty() ? QStringList() : QStringList{kind};
}

TJournalRow fromStore(const JournalRow& row)
{
    return {row.time, row.kind, row.subject, row.value, row.text, row.origin};
}

const QString kNotWriting = QStringLiteral("архивът не записва (%1)");

// One page of the export, run on the archive's thread: the same CSV as the list's export.
QByteArray csvPage(const std::vector<JournalRow>& rows, bool first)
{
    std::vector<TJournalRow> plain;
    plain.reserve(rows.size());
    for (const auto& row : rows)
        plain.push_back(fromStore(row));
    QByteArray csv = journalCsv(plain);
    if (!first)
        csv.remove(0, csv.indexOf('\n') + 1); // the header
    return csv;
}

} // namespace

TJournalArchive::TJournalArchive(ArchiveStore& store, ArchivePage& archivePage, JournalPage& journalPage,
    TJournalRecorder& recorder, QObject* parent)
    : QObject(parent)
    , store_(store)
    , archivePage_(archivePage)
    , journalPage_(journalPage)
    , sink_(store)
{
    connect(&store_, &ArchiveStore::captureStored, this, [&recorder](const CaptureRow& row, bool first) {
        if (first)
            recorder.captureStored(row.id, row.points, row.started, row.event, row.origin);
    });
    connect(&store_, &ArchiveStore::opened, this, [this] { list(journalPage_.model()->filter()); });
    connect(&journalPage_, &JournalPage::filterChanged, this, &TJournalArchive::list);
    connect(&journalPage_, &JournalPage::showCapture, this, &TJournalArchive::showCapture);
    connect(&journalPage_, &JournalPage::showEventCapture, this, &TJournalArchive::showEventCapture);
    onArchiveAnswer<JournalQueried>(store_, this, [this](const JournalQueried& queried) {
        if (queried.tag != listTag_)
            return;
        std::vector<TJournalRow> plain;
        plain.reserve(queried.rows.size());
        for (const auto& row : queried.rows)
            plain.push_back(fromStore(row));
        journalPage_.model()->setStoredRows(std::move(plain));
    });
    onArchiveAnswer<JournalExported>(store_, this, [this](const JournalExported& exported) {
        const auto done = exports_.find(exported.tag);
        if (done == exports_.end())
            return;
        auto call = std::move(done->second);
        exports_.erase(done);
        call(exported.error);
    });
    listExport_ = journalPage_.exportRows;
    journalPage_.exportRows = [this](TJournalFilter filter, const QString& path, Done done) {
        exportTo(filter, path, std::move(done));
    };
}

void TJournalArchive::list(TJournalFilter filter)
{
    if (!store_.isOn() || store_.journalKeep() == 0)
        return;
    listTag_ = nextTag_++;
    store_.ask(
        QueryJournal{kindsOf(filter), int(TJournalModel::kShown), listTag_, journalFilterSubject(filter)});
}

void TJournalArchive::exportTo(TJournalFilter filter, const QString& path, Done done)
{
    // Without a journal file the export has what the list holds.
    if (!store_.isOn() || store_.journalKeep() == 0) {
        listExport_(filter, path, std::move(done));
        return;
    }
    if (!store_.notWriting().isEmpty()) {
        done(kNotWriting.arg(store_.notWriting()));
        return;
    }
    // Rows still on their way to the disk wait ahead of the export in the store's queue.
    const std::int64_t tag = nextTag_++;
    exports_[tag] = std::move(done);
    const QString subject = journalFilterSubject(filter);
    if (subject.isEmpty()) {
        store_.ask(ExportJournal{kindsOf(filter), path, csvPage, tag});
        return;
    }
    // The events of one kind: the others of the kind are left out page by page.
    store_.ask(ExportJournal{kindsOf(filter), path,
        [subject](const std::vector<JournalRow>& rows, bool first) {
            std::vector<JournalRow> kept;
            for (const JournalRow& row : rows)
                if (row.subject == subject)
                    kept.push_back(row);
            return csvPage(kept, first);
        },
        tag});
}

void TJournalArchive::showCapture(qint64 id)
{
    const CaptureRow* capture = archivePage_.Model()->rowAt(archivePage_.Model()->rowOf(id));
    if (!capture || !archivePage_.SelectCapture(id))
        return;
    if (!capture->event.isEmpty())
        journalPage_.selectRow(
            journalPage_.model()->find(capture->eventTime, QStringLiteral("event"), capture->event));
    archivePage_.ShowCaptureClick();
}

void TJournalArchive::showEventCapture(const QString& event, const QString& time)
{
    const std::int64_t id = archivePage_.Model()->findByEvent(event, time);
    if (id == 0 || !archivePage_.SelectCapture(id))
        return;
    journalPage_.selectRow(
        journalPage_.model()->find(archivePage_.Model()->rowAt(archivePage_.Model()->rowOf(id))->started,
            QStringLiteral("capture"), QString::number(id)));
    archivePage_.ShowCaptureClick();
}
