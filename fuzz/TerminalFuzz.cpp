// The terminal's logic on arbitrary received bytes, through the link's receive routine, so the
// escape parser feeds ExecuteCode on a real grid. Built once per emulation (VT100, VT52).
// Invariants: the port hears nothing but the answers the terminal lists (identify, device
// status, cursor position; identify also in the VT52 mode of VT100), the caret stays on the grid, and the
// same bytes fed whole and in random chunks leave the same grid, caret and answers.

#include "FuzzInput.h"
#include "terminal/logic/TermEngine.h"

#include <QRect>
#include <set>

namespace {

class FuzzTerminal : public TTermEngine {
public:
    QByteArrayList writes;

    int TermFontWidth() const override { return 8; }
    int TermFontHeight() const override { return 16; }
    int TermClientWidth() const override { return 640; }
    int TermClientHeight() const override { return 384; }
    bool TermDoubleBuffered() const override { return false; }
    void InvalidateAll() override { }
    void InvalidateCells(const QRect&) override { }
    void ScrollPixels(const QRect&, int) override { }

protected:
    bool PortConnected() const override { return true; }
    void PortWriteText(const QByteArray& Str) override { writes.append(Str); }
    void DrawCell(int, int, const TTermCell&) override { }
    bool CharEventsWanted() const override { return charEvents_; }

public:
    bool charEvents_ = false;
};

struct Options {
    int columns;
    int rows;
    bool appendLF;
    bool force7Bit;
    bool wrapLines;
    bool charEvents;
};

void setUp(FuzzTerminal& t, const Options& o)
{
    t.SetEmulation(ORVIK_FUZZ_EMULATION);
    t.SetColumns(o.columns);
    t.SetRows(o.rows);
    t.SetAppendLF(o.appendLF);
    t.SetForce7Bit(o.force7Bit);
    t.SetWrapLines(o.wrapLines);
    t.charEvents_ = o.charEvents;
    t.Loaded();
}

void checkCaret(const FuzzTerminal& t)
{
    const TTermPos c = t.CaretPos();
    // Column Columns + 1 is the wrap-pending place after the last cell of a line.
    FUZZ_CHECK(c.X >= 1 && c.X <= t.Columns() + 1);
    FUZZ_CHECK(c.Y >= 1 && c.Y <= t.Rows());
}

// An answer is listed when either emulation would give it: the terminal may have answered in
// one mode and been switched to the other (ESC[?2l, ESC <) since.
bool isListedAnswerOf(const TEscapeCodes& codes, const FuzzTerminal& t, const QByteArray& w)
{
    QByteArrayList ident{"2"};
    if (w == codes.CodeToSequence(escIdentResponse, &ident))
        return true;
    if (w == codes.CodeToSequence(escReportDeviceOK, nullptr))
        return true;
    // A cursor report must be the one for a place on the grid: read its two numbers back.
    QByteArrayList numbers;
    QByteArray run;
    for (char c : w + ' ') {
        if (c >= '0' && c <= '9') {
            run += c;
        } else if (!run.isEmpty()) {
            numbers.append(run);
            run.clear();
        }
    }
    if (numbers.size() != 2 || numbers[0].size() > 4 || numbers[1].size() > 4)
        return false;
    const int y = numbers[0].toInt();
    const int x = numbers[1].toInt();
    if (y < 1 || y > t.Rows() || x < 1 || x > t.Columns() + 1)
        return false;
    return w == codes.CodeToSequence(escReportCursorPos, &numbers);
}

bool isListedAnswer(const FuzzTerminal& t, const QByteArray& w)
{
    static const TEscapeCodesVT100 vt100;
    static const TEscapeCodesVT52 vt52;
    return isListedAnswerOf(*t.EscapeCodes(), t, w) || isListedAnswerOf(vt100, t, w)
        || isListedAnswerOf(vt52, t, w);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    const std::uint8_t flags = in.byte();
    const std::uint8_t seed = in.byte();
    Options o;
    o.columns = TTermEngine::kMinColumns + in.byte() % 100;
    o.rows = TTermEngine::kMinRows + in.byte() % 40;
    o.appendLF = flags & 1;
    o.force7Bit = flags & 2;
    o.wrapLines = flags & 4;
    o.charEvents = flags & 8;
    const QByteArray bytes = in.rest();

    FuzzTerminal whole;
    setUp(whole, o);
    whole.Receive(bytes.constData(), int(bytes.size()));
    checkCaret(whole);

    FuzzTerminal pieces;
    setUp(pieces, o);
    ChunkSizes chunks(seed);
    for (qsizetype at = 0; at < bytes.size();) {
        const int n = int(std::min<qsizetype>(chunks.next(), bytes.size() - at));
        pieces.Receive(bytes.constData() + at, n);
        at += n;
        checkCaret(pieces);
    }

    std::set<QByteArray> checked;
    for (const QByteArray& w : whole.writes) {
        if (checked.insert(w).second && !isListedAnswer(whole, w)) {
            std::fprintf(stderr, "unlisted write: %s\n", w.toHex().constData());
            FUZZ_CHECK(false);
        }
    }
    FUZZ_CHECK(whole.writes.join() == pieces.writes.join());
    FUZZ_CHECK(whole.CaretPos() == pieces.CaretPos());
    for (int y = 1; y <= whole.Rows(); ++y)
        for (int x = 1; x <= whole.Columns(); ++x)
            FUZZ_CHECK(whole.Buffer().GetCell(x, y) == pieces.Buffer().GetCell(x, y));
    return 0;
}
