#include "console/JournalArchive.h"

#include "archive/ArchiveStore.h"
#include "archive/CaptureListModel.h"
#include "console/ArchivePage.h"
#include "console/JournalPage.h"
#include "console/core/JournalRecorder.h"

#include <climits>

namespace {

QStringList kindsOf(TJournalFilter filter)
{
    const QString kind = journalFilterKind(filter);
    return kind.isEmpty() ? QStringList() : QStringList{kind};
}

TJournalRow fromStore(const JournalRow& row)
{
    return {row.time, row.kind, row.subject, row.value, row.text};
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
            recorder.captureStored(row.id, row.points, row.started, row.event);
    });
    connect(&store_, &ArchiveStore::opened, this, [this] { list(journalPage_.model()->filter()); });
    connect(&journalPage_, &JournalPage::filterChanged, this, &TJournalArchive::list);
    connect(&journalPage_, &JournalPage::showCapture, this, &TJournalArchive::showCapture);
    connect(&journalPage_, &JournalPage::showEventCapture, this, &TJournalArchive::showEventCapture);
    connect(&store_, &ArchiveStore::journalQueried, this,
        [this](const std::vector<JournalRow>& rows, std::int64_t tag) {
            std::vector<TJournalRow> plain;
            plain.reserve(rows.size());
            for (const auto& row : rows)
                plain.push_back(fromStore(row));
            if (tag == listTag_) {
                journalPage_.model()->setStoredRows(std::move(plain));
                return;
            }
            const auto done = exports_.find(tag);
            if (done == exports_.end())
                return;
            auto call = std::move(done->second);
            exports_.erase(done);
            call(std::move(plain));
        });
    journalPage_.fetchRows
        = [this](TJournalFilter filter, std::function<void(std::vector<TJournalRow>)> done) {
              fetch(filter, std::move(done));
          };
}

void TJournalArchive::list(TJournalFilter filter)
{
    if (!store_.isOn() || store_.journalKeep() == 0)
        return;
    listTag_ = nextTag_++;
    store_.queryJournal(kindsOf(filter), int(TJournalModel::kShown), listTag_, journalFilterSubject(filter));
}

void TJournalArchive::fetch(TJournalFilter filter, std::function<void(std::vector<TJournalRow>)> done)
{
    // Without a journal file the export has what the list holds.
    if (!store_.isOn() || store_.journalKeep() == 0) {
        done(journalPage_.model()->matching());
        return;
    }
    const std::int64_t tag = nextTag_++;
    exports_[tag] = [this, done = std::move(done)](std::vector<TJournalRow> newestFirst) {
        std::vector<TJournalRow> rows(newestFirst.rbegin(), newestFirst.rend());
        // Rows still on their way to the disk when the store answered.
        const QString newestStored = rows.empty() ? QString() : rows.back().time;
        for (auto& row : journalPage_.model()->matching())
            if (newestStored.isEmpty() || row.time > newestStored)
                rows.push_back(std::move(row));
        done(std::move(rows));
    };
    store_.queryJournal(kindsOf(filter), INT_MAX, tag, journalFilterSubject(filter));
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
