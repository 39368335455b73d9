#include "console/core/JournalModel.h"

#include "archive/ArchiveOrigin.h"
#include "console/core/Csv.h"

#include <QDateTime>
#include <QHash>
#include <QScopeGuard>
#include <algorithm>

namespace {
struct FilterEntry {
    std::string_view kind;
    std::string_view subject;
    std::string_view caption;
};
const FilterEntry kFixedFilters[] = {
    {"", "", "Всички"},
    {"event", "", "Събития"},
    {"limit", "", "Граници"},
    {"connection", "", "Връзка"},
    {"capture", "", "Записи"},
    {"reset", "", "Нулирания"},
    {"error", "", "Грешки"},
};
static_assert(std::size(kFixedFilters) == std::size_t(TJournalFilter::FirstEvent));

FilterEntry filterEntry(TJournalFilter filter)
{
    const int i = int(filter);
    if (i < int(std::size(kFixedFilters)))
        return kFixedFilters[i];
    const TEventKind& kind = kEventKinds[std::size_t(i) - std::size(kFixedFilters)];
    return {"event", kind.name, kind.filterCaption};
}

QString latin1(std::string_view s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}
} // namespace

QString journalFilterKind(TJournalFilter filter)
{
    return latin1(filterEntry(filter).kind);
}

QString journalFilterSubject(TJournalFilter filter)
{
    return latin1(filterEntry(filter).subject);
}

QStringList journalFilterCaptions()
{
    QStringList captions;
    for (int i = 0; i < kJournalFilterCount; ++i) {
        const std::string_view caption = filterEntry(TJournalFilter(i)).caption;
        captions << QString::fromUtf8(caption.data(), qsizetype(caption.size()));
    }
    return captions;
}

TJournalModel::TJournalModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

bool TJournalModel::matches(const TJournalRow& row) const
{
    if (filter_ == TJournalFilter::All)
        return true;
    const FilterEntry f = filterEntry(filter_);
    return row.kind == QLatin1String(f.kind.data(), qsizetype(f.kind.size()))
        && (f.subject.empty() || row.subject == QLatin1String(f.subject.data(), qsizetype(f.subject.size())));
}

void TJournalModel::appendJournal(const TJournalRow& row)
{
    const bool first = pending_.empty();
    pending_.push_back(row);
    // Rows beyond what can be shown would only be pushed out again at the flush.
    if (pending_.size() > 2 * kShown)
        pending_.erase(pending_.begin(), pending_.end() - std::ptrdiff_t(kShown));
    if (first)
        emit rowsWaiting();
}

void TJournalModel::flush()
{
    if (pending_.empty())
        return;
    std::vector<TJournalRow> fresh;
    std::vector<TJournalRow> captures;
    for (auto& row : pending_) {
        if (isCaptureRow(row)) {
            captures.push_back(std::move(row));
            continue;
        }
        if (matches(row))
            fresh.push_back(row);
        recent_.push_back(std::move(row));
    }
    pending_.clear();
    const auto placeCaptures = qScopeGuard([&] { placeByTime(std::move(captures)); });
    while (recent_.size() > kShown)
        recent_.pop_front();
    if (fresh.size() > kShown)
        fresh.erase(fresh.begin(), fresh.end() - std::ptrdiff_t(kShown));
    if (fresh.empty())
        return;
    const std::size_t overflow
        = shown_.size() + fresh.size() > kShown ? shown_.size() + fresh.size() - kShown : 0;
    if (overflow > 0) {
        const int first = int(shown_.size() - overflow);
        beginRemoveRows({}, first, int(shown_.size()) - 1);
        shown_.erase(shown_.end() - std::ptrdiff_t(overflow), shown_.end());
        endRemoveRows();
    }
    beginInsertRows({}, 0, int(fresh.size()) - 1);
    for (auto& row : fresh)
        shown_.push_front(std::move(row));
    endInsertRows();
}

void TJournalModel::placeByTime(std::vector<TJournalRow> rows)
{
    if (rows.empty())
        return;
    // Both lists are in time order. During a flood thousands of rows can be newer than a
    // capture's start, and tens of captures come in one batch: their places are searched for,
    // and the list of every kind takes them all in one merge.
    const auto byTime = [](const TJournalRow& a, const TJournalRow& b) { return a.time < b.time; };
    if (recent_.size() >= kShown) {
        // Older than everything kept: not kept, not shown.
        const QString oldest = recent_.front().time;
        std::erase_if(rows, [&](const TJournalRow& r) { return r.time < oldest; });
        if (rows.empty())
            return;
    }
    std::stable_sort(rows.begin(), rows.end(), byTime);
    const std::size_t had = recent_.size();
    recent_.insert(recent_.end(), rows.begin(), rows.end());
    const auto from
        = std::upper_bound(recent_.begin(), recent_.begin() + std::ptrdiff_t(had), rows.front(), byTime);
    std::inplace_merge(from, recent_.begin() + std::ptrdiff_t(had), recent_.end(), byTime);
    while (recent_.size() > kShown)
        recent_.pop_front();
    // The shown list takes them in one merge, newest first (one insert per capture moved
    // thousands of rows each during a flood); a capture goes before the rows of its time.
    std::vector<TJournalRow> adding;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        if (matches(*it))
            adding.push_back(std::move(*it));
    if (adding.empty())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::deque<TJournalRow> merged;
    std::vector<int> movedTo(shown_.size(), -1); // -1: pushed past the end
    std::size_t i = 0, j = 0;
    while (merged.size() < kShown && (i < shown_.size() || j < adding.size())) {
        if (j < adding.size() && (i == shown_.size() || adding[j].time >= shown_[i].time)) {
            merged.push_back(std::move(adding[j++]));
        } else {
            movedTo[i] = int(merged.size());
            merged.push_back(std::move(shown_[i++]));
        }
    }
    shown_ = std::move(merged);
    // The selection and the row at the top of the view stay on their rows.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& at : before) {
        const int to = movedTo[std::size_t(at.row())];
        after.push_back(to < 0 ? QModelIndex() : index(to, at.column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int TJournalModel::find(const QString& time, const QString& kind, const QString& subject) const
{
    for (std::size_t i = 0; i < shown_.size(); ++i) {
        const TJournalRow& r = shown_[i];
        if (r.time == time && r.kind == kind && r.subject == subject)
            return int(i);
    }
    return -1;
}

void TJournalModel::setFilter(TJournalFilter filter)
{
    flush();
    filter_ = filter;
    beginResetModel();
    shown_.clear();
    for (auto it = recent_.rbegin(); it != recent_.rend(); ++it)
        if (matches(*it))
            shown_.push_back(*it);
    endResetModel();
}

void TJournalModel::setStoredRows(std::vector<TJournalRow> newestFirst)
{
    flush();
    beginResetModel();
    shown_.assign(std::make_move_iterator(newestFirst.begin()), std::make_move_iterator(newestFirst.end()));
    // Rows still on their way to the disk when the store answered.
    const QString newestStored = shown_.empty() ? QString() : shown_.front().time;
    const QString oldestStored = shown_.empty() ? QString() : shown_.back().time;
    std::vector<const TJournalRow*> captures;
    for (const auto& row : recent_) {
        if (!matches(row))
            continue;
        if (newestStored.isEmpty() || row.time > newestStored)
            shown_.push_front(row);
        else if (isCaptureRow(row) && row.time >= oldestStored)
            captures.push_back(&row);
    }
    // A capture's row carries an older time than rows stored before it: one not yet stored
    // goes in at its time.
    for (const TJournalRow* row : captures) {
        if (find(row->time, row->kind, row->subject) >= 0)
            continue;
        std::size_t at = 0;
        while (at < shown_.size() && shown_[at].time > row->time)
            ++at;
        shown_.insert(shown_.begin() + std::ptrdiff_t(at), *row);
    }
    if (shown_.size() > kShown)
        shown_.resize(kShown);
    endResetModel();
}

std::vector<TJournalRow> TJournalModel::matching() const
{
    std::vector<TJournalRow> rows;
    for (const auto& row : recent_)
        if (matches(row))
            rows.push_back(row);
    for (const auto& row : pending_)
        if (matches(row))
            rows.push_back(row);
    return rows;
}

int TJournalModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(shown_.size());
}

int TJournalModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TJournalModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(shown_.size()))
        return {};
    const TJournalRow& row = shown_[std::size_t(index.row())];
    // The stored words stay in the file and the export; the list says them in Bulgarian and
    // shows the stored word as the tool tip.
    if (role == Qt::ToolTipRole) {
        switch (index.column()) {
        case ColKind:
            return row.kind;
        case ColSubject:
            return row.subject;
        case ColValue:
            return row.value;
        case ColText:
            return row.text;
        case ColOrigin:
            return row.origin.isEmpty() ? QVariant() : originTip(row.origin);
        default:
            return {};
        }
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case ColTime:
        return journalLocalTime(row.time);
    case ColKind:
        return journalWord(row.kind);
    case ColSubject:
        return journalWord(row.subject);
    case ColValue:
        return journalWord(row.value);
    case ColText:
        return row.text;
    case ColOrigin:
        return originCaption(row.origin);
    default:
        return {};
    }
}

QVariant TJournalModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const kTitles[] = {"Време", "Вид", "Обект", "Стойност", "Текст", "Произход"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(kTitles[section]) : QVariant();
}

QString journalWord(const QString& stored)
{
    static const QHash<QString, QString> kWords = {
        {QStringLiteral("event"), QStringLiteral("Събитие")},
        {QStringLiteral("limit"), QStringLiteral("Граница")},
        {QStringLiteral("reset"), QStringLiteral("Нулиране")},
        {QStringLiteral("connection"), QStringLiteral("Връзка")},
        {QStringLiteral("error"), QStringLiteral("Грешка")},
        {QStringLiteral("capture"), QStringLiteral("Запис")},
        {QStringLiteral("Voltage"), QStringLiteral("Напрежение")},
        {QStringLiteral("Current"), QStringLiteral("Ток")},
        {QStringLiteral("Temperature"), QStringLiteral("Температура")},
        {QStringLiteral("counters"), QStringLiteral("броячи")},
        {QStringLiteral("readouts"), QStringLiteral("показания")},
        {QStringLiteral("scope"), QStringLiteral("графика")},
        {QStringLiteral("button"), QStringLiteral("бутон")},
        {QStringLiteral("record"), QStringLiteral("запис")},
        {QStringLiteral("opened"), QStringLiteral("отворена")},
        {QStringLiteral("closed"), QStringLiteral("затворена")},
        {QStringLiteral("lost"), QStringLiteral("прекъсната")},
        {QStringLiteral("waiting"), QStringLiteral("изчакване")},
        {QStringLiteral("reconnected"), QStringLiteral("възстановена")},
        {QStringLiteral("refused"), QStringLiteral("друго устройство")},
        {QStringLiteral("failing"), QStringLiteral("не се отваря")},
        {QStringLiteral("port"), QStringLiteral("порт")},
        {QStringLiteral("log"), QStringLiteral("лог")},
        {QStringLiteral("archive"), QStringLiteral("архив")},
        {QStringLiteral("console"), QStringLiteral("конзола")},
        {QStringLiteral("journal"), QStringLiteral("журнал")},
    };
    return kWords.value(stored, stored);
}

QString journalLocalTime(const QString& storedTime)
{
    const QDateTime t = QDateTime::fromString(storedTime, Qt::ISODateWithMs);
    return t.isValid() ? t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) : storedTime;
}

QByteArray journalCsv(const std::vector<TJournalRow>& rows)
{
    QByteArray out;
    appendCsvRow(out, {"time", "kind", "subject", "value", "text"});
    for (const auto& row : rows)
        appendCsvRow(out, {row.time, row.kind, row.subject, row.value, row.text});
    return out;
}
