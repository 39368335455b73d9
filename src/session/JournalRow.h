#pragma once
// One row of the event journal, as stored and as listed: `time` in UTC, ISO 8601 with
// milliseconds and a trailing Z; `kind` event, limit, reset, connection, error or capture;
// `text` a readable Bulgarian sentence; `origin` empty for what happened live, else the replay
// it came from ("replay:" and the recording's path).

#include <QString>
#include <vector>

struct TJournalRow {
    QString time;
    QString kind;
    QString subject;
    QString value;
    QString text;
    QString origin = {};
    bool operator==(const TJournalRow&) const = default;
};

// Where the recorder hands its rows (the archive's store, the journal page's list).
class TJournalSink {
public:
    virtual ~TJournalSink() = default;
    virtual void appendJournal(const TJournalRow& row) = 0;
};

// Hands each row to every sink added, in the order they were added.
class TJournalFanOut : public TJournalSink {
public:
    void add(TJournalSink* sink) { sinks_.push_back(sink); }
    void appendJournal(const TJournalRow& row) override
    {
        for (TJournalSink* sink : sinks_)
            sink->appendJournal(row);
    }

private:
    std::vector<TJournalSink*> sinks_;
};
