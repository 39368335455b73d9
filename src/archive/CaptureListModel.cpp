#include "archive/CaptureListModel.h"

#include "archive/ArchiveOrigin.h"
#include "archive/ArchiveTime.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <unordered_set>

CaptureListModel::CaptureListModel(QStringList headers, QObject* parent)
    : QAbstractTableModel(parent)
    , headers_(std::move(headers))
{
}

void CaptureListModel::setRows(std::vector<CaptureRow> rows)
{
    std::sort(rows.begin(), rows.end(), [](const CaptureRow& a, const CaptureRow& b) { return a.id > b.id; });
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int CaptureListModel::rowOf(std::int64_t id) const
{
    const auto it = std::lower_bound(
        rows_.begin(), rows_.end(), id, [](const CaptureRow& r, std::int64_t v) { return r.id > v; });
    return it != rows_.end() && it->id == id ? int(it - rows_.begin()) : -1;
}

std::int64_t CaptureListModel::findByEvent(const QString& event, const QString& time) const
{
    for (const CaptureRow& r : rows_)
        if (r.eventTime == time && r.event == event)
            return r.id;
    return 0;
}

const CaptureRow* CaptureListModel::rowAt(int row) const
{
    return row >= 0 && row < int(rows_.size()) ? &rows_[std::size_t(row)] : nullptr;
}

void CaptureListModel::apply(const std::vector<CaptureRow>& changed, const std::vector<std::int64_t>& removed)
{
    const std::unordered_set<std::int64_t> gone(removed.begin(), removed.end());
    // Removed rows, in blocks of neighbours (Keep drops the oldest, all at the end).
    for (int r = int(rows_.size()) - 1; r >= 0;) {
        if (!gone.count(rows_[std::size_t(r)].id)) {
            --r;
            continue;
        }
        int first = r;
        while (first > 0 && gone.count(rows_[std::size_t(first - 1)].id))
            --first;
        beginRemoveRows({}, first, r);
        rows_.erase(rows_.begin() + first, rows_.begin() + r + 1);
        endRemoveRows();
        r = first - 1;
    }

    // The latest copy of each changed row; rows removed in the same batch stay removed.
    std::unordered_map<std::int64_t, const CaptureRow*> latest;
    for (const CaptureRow& row : changed) {
        if (!gone.count(row.id))
            latest[row.id] = &row;
    }
    std::vector<CaptureRow> fresh;
    int top = int(rows_.size());
    int bottom = -1;
    std::vector<int> notes; // rows whose note changed
    for (const auto& [id, row] : latest) {
        const int at = rowOf(id);
        if (at < 0) {
            fresh.push_back(*row);
            continue;
        }
        if (rows_[std::size_t(at)].note != row->note)
            notes.push_back(at);
        rows_[std::size_t(at)] = *row;
        top = std::min(top, at);
        bottom = std::max(bottom, at);
    }
    // A note being edited is not told of a capture that grew: the view would put the stored
    // note back into the editor over what is being typed.
    if (bottom >= 0)
        emit dataChanged(index(top, 0), index(bottom, Note - 1));
    for (int at : notes)
        emit dataChanged(index(at, Note), index(at, Note));

    std::sort(
        fresh.begin(), fresh.end(), [](const CaptureRow& a, const CaptureRow& b) { return a.id > b.id; });
    // Captures newer than every listed one (the usual case) go in at the top in one step.
    std::size_t newer = 0;
    while (newer < fresh.size() && (rows_.empty() || fresh[newer].id > rows_.front().id))
        ++newer;
    if (newer > 0) {
        beginInsertRows({}, 0, int(newer) - 1);
        rows_.insert(rows_.begin(), fresh.begin(), fresh.begin() + std::ptrdiff_t(newer));
        endInsertRows();
    }
    for (std::size_t i = newer; i < fresh.size(); ++i) {
        const auto it = std::lower_bound(rows_.begin(), rows_.end(), fresh[i].id,
            [](const CaptureRow& r, std::int64_t v) { return r.id > v; });
        const int at = int(it - rows_.begin());
        beginInsertRows({}, at, at);
        rows_.insert(it, fresh[i]);
        endInsertRows();
    }
}

int CaptureListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int CaptureListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

namespace {

bool isMeasure(int column)
{
    return column >= CaptureListModel::Peak && column <= CaptureListModel::Frequency;
}

double measureOf(const CaptureRow& r, int column)
{
    switch (column) {
    case CaptureListModel::Peak:
        return r.peak;
    case CaptureListModel::PeakToPeak:
        return r.peakToPeak;
    case CaptureListModel::Rms:
        return r.rms;
    default:
        return r.frequency;
    }
}

// Four significant digits, never an exponent: 263, 12.35, 0.5004.
QString figure(double v)
{
    const double magnitude = std::abs(v);
    const int decimals = magnitude >= 1000 || magnitude == 0
        ? 0
        : std::clamp(3 - int(std::floor(std::log10(magnitude))), 0, 6);
    return QLocale::c().toString(v, 'f', decimals);
}

// With a prefix, so that a slow ringing and a fast one both fit the column: 5.890 mHz, 29.46 kHz.
QString frequencyText(double hz)
{
    static const std::pair<double, const char*> prefixes[] = {{1e6, " MHz"}, {1e3, " kHz"}, {1, " Hz"}};
    for (const auto& [scale, unit] : prefixes) {
        if (std::abs(hz) >= scale)
            return figure(hz / scale) + QLatin1String(unit);
    }
    return figure(hz * 1e3) + QStringLiteral(" mHz");
}

QString measureText(const CaptureRow& r, int column)
{
    if (!r.measured)
        return QStringLiteral("…");
    const double v = measureOf(r, column);
    if (column == CaptureListModel::Frequency)
        return std::isnan(v) ? QStringLiteral("—") : frequencyText(v);
    const QString number = column == CaptureListModel::Rms ? figure(v) : QLocale::c().toString(v, 'f', 0);
    return r.yTitle.isEmpty() ? number : number + QLatin1Char(' ') + r.yTitle;
}

namespace text {
const QString measuring = QStringLiteral("Изчислява се: записът е от по-стара версия на архива.");
const QString noFrequency = QStringLiteral("Няма поне два периода: честотата не се определя.");
const QString peakTip = QStringLiteral("Най-голямата стойност по абсолютна величина");
} // namespace text

} // namespace

QVariant CaptureListModel::data(const QModelIndex& index, int role) const
{
    const CaptureRow* r = rowAt(index.row());
    if (r && role == Qt::ToolTipRole && index.column() == Event && !r->event.isEmpty())
        return QStringLiteral("%1: %2").arg(r->event,
            fromArchiveTime(r->eventTime).toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss.zzz")));
    if (r && role == Qt::ToolTipRole && index.column() == Origin)
        return r->origin.isEmpty() ? QVariant() : originTip(r->origin);
    if (r && role == Qt::ToolTipRole && isMeasure(index.column())) {
        if (!r->measured)
            return text::measuring;
        if (index.column() == Frequency && std::isnan(r->frequency))
            return text::noFrequency;
        return {};
    }
    if (r && role == SortRole) {
        if (isMeasure(index.column())) {
            const double v
                = r->measured ? measureOf(*r, index.column()) : std::numeric_limits<double>::quiet_NaN();
            return std::isnan(v) ? -std::numeric_limits<double>::infinity() : v;
        }
        if (index.column() == Started)
            return r->started;
        if (index.column() != Id && index.column() != Points)
            return data(index, Qt::DisplayRole);
    }
    if (!r
        || (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::TextAlignmentRole
            && role != SortRole))
        return {};
    if (role == Qt::TextAlignmentRole) {
        const bool number = index.column() == Id || index.column() == Points || isMeasure(index.column());
        return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (isMeasure(index.column()))
        return measureText(*r, index.column());
    switch (index.column()) {
    case Id:
        return QVariant::fromValue(qlonglong(r->id));
    case Event:
        return r->event;
    case Started:
        return fromArchiveTime(r->started).toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    case Points:
        return QVariant::fromValue(qlonglong(r->points));
    case Axes:
        if (r->yTitle.isEmpty() && r->xTitle.isEmpty())
            return QString();
        return QStringLiteral("%1 / %2").arg(r->yTitle.isEmpty() ? QStringLiteral("–") : r->yTitle,
            r->xTitle.isEmpty() ? QStringLiteral("–") : r->xTitle);
    case Port:
        return r->port;
    case Note:
        return r->note;
    case Origin:
        return originCaption(r->origin);
    default:
        return {};
    }
}

QVariant CaptureListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < headers_.size())
        return headers_[section];
    // The first click on a number sorts the largest first: the worst capture at the top.
    if (orientation == Qt::Horizontal && role == Qt::InitialSortOrderRole)
        return QVariant::fromValue(
            int(section == Id || section == Started || section == Points || isMeasure(section)
                    ? Qt::DescendingOrder
                    : Qt::AscendingOrder));
    if (orientation == Qt::Horizontal && role == Qt::ToolTipRole && section == Peak)
        return text::peakTip;
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags CaptureListModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == Note)
        f |= Qt::ItemIsEditable;
    return f;
}

bool CaptureListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    CaptureRow* r = const_cast<CaptureRow*>(rowAt(index.row()));
    if (!r || index.column() != Note || role != Qt::EditRole)
        return false;
    const QString note = value.toString();
    if (note == r->note)
        return true;
    r->note = note;
    emit dataChanged(index, index);
    emit noteEdited(r->id, note);
    return true;
}

void CaptureFilterModel::setEvent(const QString& event)
{
    if (event == event_)
        return;
    event_ = event;
    invalidateFilter();
}

bool CaptureFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    if (event_.isEmpty())
        return true;
    const auto* list = qobject_cast<const CaptureListModel*>(sourceModel());
    const CaptureRow* row = list ? list->rowAt(sourceRow) : nullptr;
    return row && row->event == event_;
}
