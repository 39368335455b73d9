#pragma once
// The journal page's list: the newest rows that match the filter, newest first, at most
// kShown of them. Rows come in as they happen and are shown in one batch per flush, so a
// flood of rows costs one model change a refresh, not one a row. A capture's row is written
// when the capture is first stored but carries the capture's start: it goes in among the
// rows of that moment (every other row is shown in the order it came).

#include "session/EventKinds.h"
#include "session/JournalRow.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <deque>
#include <vector>

// After the fixed filters, one per event kind (kEventKinds), in the order of the counters.
enum class TJournalFilter { All, Events, Limits, Connection, Captures, Resets, Errors, FirstEvent };

// The filter that keeps the events of one kind.
constexpr TJournalFilter journalFilter(TEvent which)
{
    return TJournalFilter(int(TJournalFilter::FirstEvent) + int(which));
}
inline constexpr int kJournalFilterCount = int(TJournalFilter::FirstEvent) + kEventCount;

// The kind a filter keeps; empty for All.
QString journalFilterKind(TJournalFilter filter);
// The subject a filter keeps (an event's name); empty when any.
QString journalFilterSubject(TJournalFilter filter);
// "Всички", "Събития", ... in the order of TJournalFilter.
QStringList journalFilterCaptions();

class TJournalModel : public QAbstractTableModel, public TJournalSink {
    Q_OBJECT
public:
    static constexpr std::size_t kShown = 10000;
    // ColOrigin: empty for a live row, the recording's name for a replayed one.
    enum Column { ColTime, ColKind, ColSubject, ColValue, ColText, ColOrigin, ColumnCount };

    explicit TJournalModel(QObject* parent = nullptr);

    void appendJournal(const TJournalRow& row) override;
    // Shows the rows taken since the last flush.
    void flush();
    void setFilter(TJournalFilter filter);
    TJournalFilter filter() const { return filter_; }
    // Replaces what is shown by rows read from the store (newest first), with the rows
    // taken since that are newer than the newest of them in front.
    void setStoredRows(std::vector<TJournalRow> newestFirst);

    const TJournalRow& row(int r) const { return shown_[std::size_t(r)]; }
    // The row shown that is exactly this one (time, kind, subject); -1 when none.
    int find(const QString& time, const QString& kind, const QString& subject) const;
    // The rows held that match the filter, oldest first (for an export without a store).
    std::vector<TJournalRow> matching() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // Rows were taken while none waited: a flush is due even when nothing else calls for one.
    void rowsWaiting();

private:
    bool matches(const TJournalRow& row) const;
    void placeByTime(std::vector<TJournalRow> rows);

    TJournalFilter filter_ = TJournalFilter::All;
    std::deque<TJournalRow> recent_; // the newest kShown rows of every kind, oldest first
    std::vector<TJournalRow> pending_; // taken, not yet shown, oldest first
    std::deque<TJournalRow> shown_; // newest first
};

// "2026-12-08 11:02:03.125" in local time, from a stored UTC time.
// A stored word (kind, subject, value) as the list says it; other texts as they are.
QString journalWord(const QString& stored);
QString journalLocalTime(const QString& storedTime);
// CSV of rows (UTF-8, header time,kind,subject,value,text, times as stored).
QByteArray journalCsv(const std::vector<TJournalRow>& rows);
// Whether a row is a capture's, which carries the capture's start rather than its writing.
inline bool isCaptureRow(const TJournalRow& row)
{
    return row.kind == QLatin1String("capture");
}
