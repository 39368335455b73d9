#include "console/core/LineTraceModel.h"

#include "console/core/Csv.h"

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <algorithm>

TLineInspectorModel::TLineInspectorModel(const TLineLog& log, QObject* parent)
    : QAbstractTableModel(parent)
    , log_(log)
{
}

void TLineInspectorModel::setPaused(bool paused)
{
    paused_ = paused;
    if (!paused_)
        refresh();
}

void TLineInspectorModel::refresh()
{
    if (paused_ || log_.total() == shownTotal_)
        return;
    const std::uint64_t fresh = log_.total() - shownTotal_;
    shownTotal_ = log_.total();
    const std::size_t capacity = log_.capacity();
    if (fresh >= capacity || fresh > log_.size()) {
        beginResetModel();
        rows_.clear();
        for (std::size_t i = 0; i < log_.size(); ++i)
            rows_.push_back(log_.at(i));
        endResetModel();
        return;
    }
    const std::size_t add = std::size_t(fresh);
    const std::size_t overflow = rows_.size() + add > capacity ? rows_.size() + add - capacity : 0;
    if (overflow > 0) {
        beginRemoveRows({}, 0, int(overflow) - 1);
        rows_.erase(rows_.begin(), rows_.begin() + std::ptrdiff_t(overflow));
        endRemoveRows();
    }
    beginInsertRows({}, int(rows_.size()), int(rows_.size() + add) - 1);
    for (std::size_t i = log_.size() - add; i < log_.size(); ++i)
        rows_.push_back(log_.at(i));
    endInsertRows();
}

int TLineInspectorModel::rowAtTime(qint64 ms) const
{
    if (rows_.empty())
        return -1;
    // Lines are held in the order they crossed (a line without CR may trail by a second).
    const auto after = std::partition_point(
        rows_.begin(), rows_.end(), [ms](const TLoggedLine& line) { return line.timeMs <= ms; });
    // A row of that time came from the last line received before it (answers go out after).
    auto at = after;
    while (at != rows_.begin() && (at - 1)->sent)
        --at;
    if (at == rows_.begin())
        return std::max(0, int(after - rows_.begin()) - 1);
    --at;
    // Lines read in one block share their time: the first of them, where the block begins.
    const qint64 moment = at->timeMs;
    while (at != rows_.begin() && (at - 1)->timeMs == moment && !(at - 1)->sent)
        --at;
    return int(at - rows_.begin());
}

QString lineDirection(const TLoggedLine& line)
{
    if (line.mark != TLinkMark::None)
        return QStringLiteral("—");
    return line.sent ? QStringLiteral("→") : QStringLiteral("←");
}

int TLineInspectorModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int TLineInspectorModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TLineInspectorModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(rows_.size()))
        return {};
    const TLoggedLine& line = rows_[std::size_t(index.row())];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case ColTime:
            return lineTime(line.timeMs);
        case ColDirection:
            return lineDirection(line);
        case ColText:
            return visibleText(line);
        case ColHex:
            return hexBytes(line);
        case ColVerdict:
            return verdictText(line);
        default:
            return {};
        }
    }
    if (role == Qt::ToolTipRole && index.column() == ColVerdict)
        return verdictText(line);
    if (role == Qt::ForegroundRole && line.mark != TLinkMark::None)
        return QColor(line.mark == TLinkMark::Lost ? Qt::darkRed : Qt::darkGreen);
    if (role == Qt::FontRole && line.mark != TLinkMark::None) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    return {};
}

QVariant TLineInspectorModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const kTitles[] = {"Време", "Посока", "Текст", "Байтове", "Резултат"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(kTitles[section]) : QVariant();
}

QString lineTime(qint64 msSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msSinceEpoch).toString(QStringLiteral("HH:mm:ss.zzz"));
}

QByteArray linesCsv(const TLineLog& log)
{
    QByteArray out;
    appendCsvRow(out, {"time", "direction", "text", "hex", "outcome"});
    for (std::size_t i = 0; i < log.size(); ++i) {
        const TLoggedLine& line = log.at(i);
        const QString time = QDateTime::fromMSecsSinceEpoch(line.timeMs).toUTC().toString(Qt::ISODateWithMs);
        appendCsvRow(out, {time, lineDirection(line), visibleText(line), hexBytes(line), verdictText(line)});
    }
    return out;
}
