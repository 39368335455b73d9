#pragma once
// The terminal's text as one column of lines, history and screen together, and what is done
// with it as text: the selection, copying it as Unicode, and finding.
//
// Lines are numbered as TTermHistory numbers them: history lines FirstLine()..ScreenLine() - 1,
// then the grid's rows 1..Rows as ScreenLine()..EndLine() - 1. A position is a line and a
// column (from 1), so it stays on its text while that text scrolls into the history.

#include "terminal/core/TermBuffer.h"
#include "terminal/core/TermHistory.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

struct TTermTextPos {
    std::int64_t Line = 0;
    int Column = 1;
    friend auto operator<=>(const TTermTextPos&, const TTermTextPos&) = default;
};

// Where the lines come from: the engine implements it over its history and grid.
class TTermLines {
public:
    virtual std::int64_t FirstLine() const = 0;
    virtual std::int64_t ScreenLine() const = 0;
    virtual std::int64_t EndLine() const = 0;
    virtual int LineColumns() const = 0;
    // Cells of a line, at least LineColumns() of them (empty cells past its text).
    virtual void LineCells(std::int64_t line, std::vector<TTermCell>& out) const = 0;
    // The line was continued on the next one by line wrapping.
    virtual bool LineWrapped(std::int64_t line) const = 0;

protected:
    ~TTermLines() = default;
};

// How a mouse gesture selects: from a character, whole words, or whole lines.
enum class TSelectUnit { Character, Word, Line };

class TTermSelection {
public:
    bool Active() const { return active_; }
    // Ordered ends, both inclusive (Line unit: whole lines).
    TTermTextPos Start() const { return std::min(anchor_, cursor_); }
    TTermTextPos End() const { return std::max(anchor_, cursor_); }
    TSelectUnit Unit() const { return unit_; }

    // A press: a new selection at pos, widened to its word or line at once for those units.
    void Begin(const TTermLines& lines, TTermTextPos pos, TSelectUnit unit);
    // A drag: the end that moves goes to pos (widened by the unit).
    void Extend(const TTermLines& lines, TTermTextPos pos);
    void SelectAll(const TTermLines& lines);
    void Clear() { active_ = false; }

    bool Contains(TTermTextPos pos) const;
    // The selection touches any of lines first..last.
    bool Touches(std::int64_t first, std::int64_t last) const
    {
        return active_ && Start().Line <= last && End().Line >= first;
    }
    // Selected columns of a line as [from, to] (inclusive), or nothing.
    std::optional<std::pair<int, int>> ColumnsOn(std::int64_t line, int columns) const;

private:
    void widen(const TTermLines& lines, TTermTextPos& from, TTermTextPos& to) const;

    bool active_ = false;
    TSelectUnit unit_ = TSelectUnit::Character;
    TTermTextPos anchor_;
    TTermTextPos cursor_;
    TTermTextPos anchorEnd_; // the far end of the anchor's word or line
};

namespace term_text {

// Unicode of one cell: empty cells read as blanks, control cells as their symbol.
QChar cellChar(const TTermCell& cell);
// The visible symbol of a control byte (U+2400 block; DEL is U+2421).
char16_t controlPicture(unsigned char byte);
// The character of the DEC line-drawing set for a byte 0x5F..0x7E.
char16_t lineDrawing(unsigned char byte);
// Characters that end a word for double-click selection (besides blanks).
bool wordChar(QChar ch);

// Text of lines from..to (columns inclusive): lines joined with "\n" after trimming their
// trailing blanks, a line continued by wrapping joined to the next without a break.
QString Text(const TTermLines& lines, TTermTextPos from, TTermTextPos to);
// Everything, history and screen, as Text gives it, ending with a line break.
QString AllText(const TTermLines& lines);

struct Match {
    TTermTextPos Start;
    int Length = 0;
};
// Occurrences of needle that start in one line, without regard to case, left to right; one
// may run on into the lines that continue it by wrapping (its Length then passes the line's end).
std::vector<Match> FindInLine(const TTermLines& lines, std::int64_t line, const QString& needle);
// The next occurrence after `after` (or the last before `before` when backwards), wrapping
// round the ends; nothing when the needle is empty or nowhere.
std::optional<Match> Find(const TTermLines& lines, const QString& needle, TTermTextPos from, bool backwards);

} // namespace term_text
