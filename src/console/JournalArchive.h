#pragma once
// TJournalArchive: the journal on the archive's store. Rows go to the store's bounded queue;
// the journal page lists the newest stored rows of its filter and exports every stored row
// that matches (written by the archive's thread a page at a time); a capture's first store
// makes its row; double-clicking a capture row shows that capture as the archive page's
// "Покажи" does and selects the row of the event that started it; double-clicking an event
// row shows the capture it started and selects its row.

#include "console/core/JournalModel.h"
#include "session/ArchiveJournalSink.h"

#include <QObject>
#include <functional>
#include <map>
#include <vector>

class ArchivePage;
class ArchiveStore;
class JournalPage;
class TJournalRecorder;

class TJournalArchive : public QObject {
    Q_OBJECT
public:
    TJournalArchive(ArchiveStore& store, ArchivePage& archivePage, JournalPage& journalPage,
        TJournalRecorder& recorder, QObject* parent = nullptr);

    // Where the recorder's rows go to be stored.
    TJournalSink& sink() { return sink_; }

private:
    void list(TJournalFilter filter);
    using Done = std::function<void(const QString& error)>;
    void exportTo(TJournalFilter filter, const QString& path, Done done);
    void showCapture(qint64 id);
    void showEventCapture(const QString& event, const QString& time);

    ArchiveStore& store_;
    ArchivePage& archivePage_;
    JournalPage& journalPage_;
    ArchiveJournalSink sink_;
    std::int64_t nextTag_ = 1;
    std::int64_t listTag_ = 0; // the answer the list waits for; older ones are stale
    std::map<std::int64_t, Done> exports_;
    // Without a journal in the file: the page's own export of what its list holds.
    std::function<void(TJournalFilter, const QString&, Done)> listExport_;
};
