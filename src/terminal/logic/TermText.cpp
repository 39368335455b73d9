#include "terminal/logic/TermText.h"

#include "common/Cp1251.h"

#include <algorithm>

namespace term_text {

char16_t controlPicture(unsigned char byte)
{
    return byte == 0x7F ? char16_t(0x2421) : char16_t(0x2400 + byte);
}

char16_t lineDrawing(unsigned char byte)
{
    // DEC special graphics, 0x5F..0x7E.
    static constexpr char16_t kSet[] = {0x00A0, 0x25C6, 0x2592, 0x2409, 0x240C, 0x240D, 0x240A, 0x00B0,
        0x00B1, 0x2424, 0x240B, 0x2518, 0x2510, 0x250C, 0x2514, 0x253C, 0x23BA, 0x23BB, 0x2500, 0x23BC,
        0x23BD, 0x251C, 0x2524, 0x2534, 0x252C, 0x2502, 0x2264, 0x2265, 0x03C0, 0x2260, 0x00A3, 0x00B7};
    static_assert(std::size(kSet) == 0x7F - 0x5F);
    return byte >= 0x5F && byte <= 0x7E ? kSet[byte - 0x5F] : char16_t(byte);
}

QChar cellChar(const TTermCell& cell)
{
    const auto byte = static_cast<unsigned char>(cell.Ch);
    if (cell.Control)
        return QChar(byte >= 0x5F && byte <= 0x7E ? lineDrawing(byte) : controlPicture(byte));
    if (byte < 32)
        return QChar(u' ');
    return QChar(cp1251::toUnicode(byte));
}

bool wordChar(QChar ch)
{
    if (ch.isSpace())
        return false;
    // Records such as W:VA-15/3 or a path are one word; brackets and quotes end one.
    static const QString stops = QStringLiteral("()[]{}<>'\"`,;|");
    return !stops.contains(ch);
}

namespace {

QString lineString(const TTermLines& lines, std::int64_t line, std::vector<TTermCell>& cells)
{
    lines.LineCells(line, cells);
    QString s(qsizetype(cells.size()), QChar(u' '));
    for (std::size_t i = 0; i < cells.size(); ++i)
        s[qsizetype(i)] = cellChar(cells[i]);
    return s;
}

} // namespace

QString Text(const TTermLines& lines, TTermTextPos from, TTermTextPos to)
{
    QString out;
    std::vector<TTermCell> cells;
    from.Line = std::max(from.Line, lines.FirstLine());
    to.Line = std::min(to.Line, lines.EndLine() - 1);
    for (std::int64_t line = from.Line; line <= to.Line; ++line) {
        const QString s = lineString(lines, line, cells);
        const int first = line == from.Line ? std::max(1, from.Column) : 1;
        const int last = line == to.Line ? std::min(int(s.size()), to.Column) : int(s.size());
        QString part = first <= last ? s.mid(first - 1, last - first + 1) : QString();
        const bool wrapped = lines.LineWrapped(line) && line < to.Line;
        if (!wrapped) {
            qsizetype n = part.size();
            while (n > 0 && part[n - 1] == u' ')
                --n;
            part.truncate(n);
        }
        out += part;
        if (line < to.Line && !wrapped)
            out += u'\n';
    }
    return out;
}

QString AllText(const TTermLines& lines)
{
    const std::int64_t last = lines.EndLine() - 1;
    QString text = Text(lines, TTermTextPos{lines.FirstLine(), 1}, TTermTextPos{last, lines.LineColumns()});
    return text + u'\n';
}

std::vector<Match> FindInLine(const TTermLines& lines, std::int64_t line, const QString& needle)
{
    std::vector<Match> found;
    if (needle.isEmpty())
        return found;
    std::vector<TTermCell> cells;
    QString s = lineString(lines, line, cells);
    const qsizetype own = s.size();
    // A line continued by wrapping is searched with as much of what follows as a match that
    // starts on it can reach.
    for (std::int64_t next = line;
         lines.LineWrapped(next) && next + 1 < lines.EndLine() && s.size() < own + needle.size() - 1;)
        s += lineString(lines, ++next, cells);
    for (qsizetype at = s.indexOf(needle, 0, Qt::CaseInsensitive); at >= 0 && at < own;
         at = s.indexOf(needle, at + 1, Qt::CaseInsensitive))
        found.push_back(Match{TTermTextPos{line, int(at) + 1}, int(needle.size())});
    return found;
}

std::optional<Match> Find(const TTermLines& lines, const QString& needle, TTermTextPos from, bool backwards)
{
    const std::int64_t first = lines.FirstLine();
    const std::int64_t end = lines.EndLine();
    const std::int64_t count = end - first;
    if (needle.isEmpty() || count <= 0)
        return std::nullopt;
    from.Line = std::clamp(from.Line, first, end - 1);
    // Every line once, starting with from's own, then round the ends; from's line again last
    // for the matches on the other side of from.
    for (std::int64_t step = 0; step <= count; ++step) {
        const std::int64_t line = backwards ? first + ((from.Line - first - step) % count + count) % count
                                            : first + (from.Line - first + step) % count;
        const std::vector<Match> matches = FindInLine(lines, line, needle);
        if (matches.empty())
            continue;
        if (!backwards) {
            for (const Match& m : matches) {
                if (step > 0 || m.Start.Column > from.Column)
                    return m;
            }
            if (step == count)
                return matches.front();
        } else {
            for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
                if (step > 0 || it->Start.Column < from.Column)
                    return *it;
            }
            if (step == count)
                return matches.back();
        }
    }
    return std::nullopt;
}

} // namespace term_text

void TTermSelection::widen(const TTermLines& lines, TTermTextPos& from, TTermTextPos& to) const
{
    if (unit_ == TSelectUnit::Line) {
        from.Column = 1;
        to.Column = lines.LineColumns();
        return;
    }
    if (unit_ != TSelectUnit::Word)
        return;
    std::vector<TTermCell> cells;
    lines.LineCells(from.Line, cells);
    const auto at = [&](int column) {
        return column >= 1 && column <= int(cells.size())
            ? term_text::cellChar(cells[std::size_t(column - 1)])
            : QChar(u' ');
    };
    if (!term_text::wordChar(at(from.Column)))
        return; // a blank or a stop selects itself
    while (term_text::wordChar(at(from.Column - 1)))
        --from.Column;
    if (to.Line != from.Line)
        lines.LineCells(to.Line, cells);
    while (term_text::wordChar(at(to.Column + 1)))
        ++to.Column;
}

void TTermSelection::Begin(const TTermLines& lines, TTermTextPos pos, TSelectUnit unit)
{
    unit_ = unit;
    active_ = true;
    anchor_ = pos;
    anchorEnd_ = pos;
    widen(lines, anchor_, anchorEnd_);
    cursor_ = anchorEnd_;
}

void TTermSelection::Extend(const TTermLines& lines, TTermTextPos pos)
{
    if (!active_)
        return Begin(lines, pos, TSelectUnit::Character);
    TTermTextPos from = pos;
    TTermTextPos to = pos;
    widen(lines, from, to);
    // The anchor's own word or line stays selected whichever way the drag goes.
    TTermTextPos anchorStart = std::min(anchor_, anchorEnd_);
    TTermTextPos anchorStop = std::max(anchor_, anchorEnd_);
    if (pos < anchorStart) {
        anchor_ = anchorStop;
        anchorEnd_ = anchorStart;
        cursor_ = from;
    } else {
        anchor_ = anchorStart;
        anchorEnd_ = anchorStop;
        cursor_ = std::max(to, anchorStop);
    }
}

void TTermSelection::SelectAll(const TTermLines& lines)
{
    unit_ = TSelectUnit::Line;
    active_ = true;
    anchor_ = TTermTextPos{lines.FirstLine(), 1};
    anchorEnd_ = anchor_;
    cursor_ = TTermTextPos{lines.EndLine() - 1, lines.LineColumns()};
}

bool TTermSelection::Contains(TTermTextPos pos) const
{
    return active_ && Start() <= pos && pos <= End();
}

std::optional<std::pair<int, int>> TTermSelection::ColumnsOn(std::int64_t line, int columns) const
{
    if (!active_ || line < Start().Line || line > End().Line)
        return std::nullopt;
    const int from = line == Start().Line ? Start().Column : 1;
    const int to = line == End().Line ? End().Column : columns;
    if (from > to)
        return std::nullopt;
    return std::make_pair(from, to);
}
