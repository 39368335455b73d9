#pragma once
// Journal rows into the archive file: the recorder's rows handed to the store's bounded
// queue, which writes them from its own thread.

#include "archive/ArchiveStore.h"
#include "session/JournalRow.h"

class ArchiveJournalSink : public TJournalSink {
public:
    explicit ArchiveJournalSink(ArchiveStore& store)
        : store_(store)
    {
    }
    void appendJournal(const TJournalRow& row) override
    {
        store_.appendJournal(JournalRow{0, row.time, row.kind, row.subject, row.value, row.text, row.origin});
    }

private:
    ArchiveStore& store_;
};
