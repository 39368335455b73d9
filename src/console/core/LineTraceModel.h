#pragma once
// The line inspector's table: copies of the log's lines, brought up to date in one batch
// per refresh. Paused, it keeps showing what it held while the log goes on collecting.

#include "session/LineLog.h"

#include <QAbstractTableModel>
#include <deque>

class TLineInspectorModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColTime, ColDirection, ColText, ColHex, ColVerdict, ColumnCount };

    explicit TLineInspectorModel(const TLineLog& log, QObject* parent = nullptr);

    void refresh();
    void setPaused(bool paused);
    // The row of the line received (or the link's mark) at or last before this moment (ms since
    // the epoch), the first of the lines read in the same block: where a journal row of that
    // time came from. 0 before the first line, -1 when empty.
    int rowAtTime(qint64 ms) const;
    bool paused() const { return paused_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const TLineLog& log_;
    std::deque<TLoggedLine> rows_;
    std::uint64_t shownTotal_ = 0; // log total at the last refresh
    bool paused_ = false;
};

// "←", "→", or "—" for a row that marks the link.
QString lineDirection(const TLoggedLine& line);
// "10:41:07.125" in local time.
QString lineTime(qint64 msSinceEpoch);
// The held lines as CSV (UTF-8, header time,direction,text,hex,outcome).
QByteArray linesCsv(const TLineLog& log);
