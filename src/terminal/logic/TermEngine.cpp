#include "terminal/logic/TermEngine.h"

#include "common/Cp1251.h"
#include "common/ReceivedText.h"

#include <algorithm>

const std::array<TColor, 8> TTermEngine::kAttrColors = {
    0x000000, // black
    0x0000FF, // red
    0x008000, // green
    0x00FFFF, // yellow
    0xFF0000, // blue
    0x800080, // purple
    0xFFFF00, // cyan
    0xFFFFFF, // white
};

const std::array<TColor, 8> TTermEngine::kBrightColors = {
    0x000000, // black stays black: bold text keeps its colour
    0x5555FF, // red
    0x00FF00, // green
    0x55FFFF, // yellow
    0xFF5555, // blue
    0xFF00FF, // magenta
    0xFFFF55, // cyan
    0xFFFFFF, // white
};

namespace {

// A parameter as a number: "" (an empty parameter) is Empty, text that is not a plain decimal
// is -1.
int paramValue(const QByteArray& text, int Empty)
{
    if (text.isEmpty())
        return Empty;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = std::min(value * 10 + (c - '0'), 1000000);
    }
    return value;
}

// Parameter Num (from 1), absent, empty or 0 reading as Default.
int paramOr(const QByteArrayList* Params, int Num, int Default)
{
    if (!Params || Params->size() < Num)
        return Default;
    const int v = paramValue((*Params)[Num - 1], 0);
    return v <= 0 ? Default : v;
}

// The bright form of one of the attribute colours; any other colour is kept.
TColor brighter(TColor c)
{
    for (std::size_t i = 0; i < TTermEngine::kAttrColors.size(); ++i) {
        if (TTermEngine::kAttrColors[i] == c)
            return TTermEngine::kBrightColors[i];
    }
    return c;
}

} // namespace

TTermEngine::TTermEngine()
    : buffer_(*this)
{
    buffer_.SetHistory(&history_);
    termAttr_.ForeColor = fontColor_;
    termAttr_.BackColor = color_;
}

TTermEngine::~TTermEngine() = default;

void TTermEngine::Loaded()
{
    if (!loading_)
        return;
    loading_ = false;
    MakeParser();
    buffer_.Init();
    MoveCaret(caretPos_);
}

void TTermEngine::MakeParser()
{
    switch (emulation_) {
    case teVT100orANSI:
        escapeCodes_ = std::make_unique<TEscapeCodesVT100>();
        parserKind_ = ParserKind::VT100;
        break;
    case teVT52:
        escapeCodes_ = std::make_unique<TEscapeCodesVT52>();
        parserKind_ = ParserKind::VT52;
        break;
    case teNone:
        escapeCodes_.reset();
        parserKind_ = ParserKind::Other;
        FireGetEscapeCodes(escapeCodes_);
        if (!escapeCodes_)
            parserKind_ = ParserKind::None;
        break;
    }
}

// --- received and shown text -------------------------------------------------------------

void TTermEngine::Receive(const char* Buffer, int Count)
{
    QByteArray str = shapeReceived(Buffer, Count, appendLF_, force7Bit_);
    FireStrRecieved(str);
    ShowText(str);
}

bool TTermEngine::parserIdle() const
{
    switch (parserKind_) {
    case ParserKind::None:
        return true;
    case ParserKind::VT100:
        return !static_cast<const TEscapeCodesVT100*>(escapeCodes_.get())->Collecting();
    case ParserKind::VT52:
        return !static_cast<const TEscapeCodesVT52*>(escapeCodes_.get())->Collecting();
    case ParserKind::Other:
        break;
    }
    return false;
}

void TTermEngine::ShowBytes(const char* Buffer, int Count)
{
    Loaded();
    for (int i = 0; i < Count; ++i) {
        // An idle parser gives every byte but ESC back as a plain character, so a run of
        // printable bytes goes straight to the grid when no one listens to each character.
        if (runByte(static_cast<unsigned char>(Buffer[i])) && parserIdle() && !CharEventsWanted()
            && !graphicsActive() && !insertMode_) {
            i += putPrintableRun(Buffer + i, Count - i) - 1;
            continue;
        }
        // Re-read the parser for every byte: a handler may change Emulation meanwhile.
        TEscapeCodes* parser = escapeCodes_.get();
        if (!parser) {
            PutChar(Buffer[i]);
            continue;
        }
        switch (parser->FeedChar(Buffer[i])) {
        case frChar:
            PutChar(parser->Character());
            break;
        case frCode: {
            const TEscapeCode code = parser->Code();
            if (!ExecuteCode(code, &parser->Params())) {
                const QByteArray data = parser->Data();
                parser->Params().clear();
                FireUnhandledCode(code, data);
            } else if (escapeCodes_.get() == parser && !parser->Params().isEmpty()) {
                parser->Params().clear();
            }
            break;
        }
        case frNothing:
            break;
        }
    }
}

void TTermEngine::PutChar(char Ch)
{
    const auto byte = static_cast<unsigned char>(Ch);
    switch (byte) {
    case 8:
        AdvanceCaret(mtBackspace);
        break;
    case 9:
        AdvanceCaret(mtTab);
        break;
    case 10:
    case 11: // VT moves as LF does
        if (newLineMode_)
            AdvanceCaret(mtReturn);
        AdvanceCaret(mtLineFeed);
        break;
    case 12:
        AdvanceCaret(mtClearScreen);
        break;
    case 13:
        AdvanceCaret(mtReturn);
        break;
    case 14: // SO: G1 prints
        charsets_.shift = 1;
        break;
    case 15: // SI: G0 prints
        charsets_.shift = 0;
        break;
    default:
        if (runByte(byte))
            printCell(Ch, graphicsActive() && byte >= 0x5F && byte <= 0x7E);
        else if (showControls_)
            printCell(Ch, true);
        break;
    }
    FireChar(Ch);
}

void TTermEngine::printCell(char Ch, bool Control)
{
    if (wrapPending_)
        wrapNow();
    TTermCell cell = CurrentCell();
    cell.Ch = Ch;
    cell.Control = Control;
    screenRowsChanged(caretPos_.Y, caretPos_.Y);
    if (insertMode_)
        buffer_.InsertCells(caretPos_.X, caretPos_.Y, 1);
    buffer_.SetCell(caretPos_.X, caretPos_.Y, cell);
    DrawCell(caretPos_.X - topLeft_.X + 1, caretPos_.Y - topLeft_.Y + 1, cell);
    AdvanceCaret(mtAdvance);
}

// The wrap a character in the last column left pending: the row is marked as continued and
// the caret goes to column 1 of the next row, scrolling the region at its bottom.
void TTermEngine::wrapNow()
{
    buffer_.SetWrapped(caretPos_.Y, true);
    lineFeed();
    MoveCaret(1, caretPos_.Y);
}

// Prints the leading printable bytes of Text, exactly as PutChar would one by one; returns how
// many it took (at least one).
int TTermEngine::putPrintableRun(const char* Text, int Count)
{
    int taken = 0;
    while (taken < Count && runByte(static_cast<unsigned char>(Text[taken]))) {
        if (wrapPending_)
            wrapNow();
        const int x = caretPos_.X;
        const int y = caretPos_.Y;
        screenRowsChanged(y, y);
        const int n = runLength(Text + taken, std::min(columns_ - x + 1, Count - taken));
        buffer_.SetCells(x, y, Text + taken, n, CurrentCell());
        DrawCellRun(x - topLeft_.X + 1, y - topLeft_.Y + 1, n);
        taken += n;
        if (x + n <= columns_) {
            MoveCaret(x + n, y);
            continue;
        }
        // The run reached the last column: the caret stays there, the wrap waits for the next
        // character; without wrapping the last column is overwritten, so of the rest of the
        // run only its last byte stays.
        MoveCaret(columns_, y);
        if (wrapLines_) {
            wrapPending_ = true;
            continue;
        }
        const int m = runLength(Text + taken, Count - taken);
        if (m > 0) {
            TTermCell cell = CurrentCell();
            cell.Ch = Text[taken + m - 1];
            buffer_.SetCell(columns_, y, cell);
            DrawCell(columns_ - topLeft_.X + 1, y - topLeft_.Y + 1, cell);
            taken += m;
        }
    }
    return taken;
}

int TTermEngine::runLength(const char* Text, int Count) const
{
    int n = 0;
    // Two loops: without ShowControls (the usual case) a run byte is one comparison.
    if (showControls_) {
        while (n < Count && runByte(static_cast<unsigned char>(Text[n])))
            ++n;
    } else {
        while (n < Count && runByte(static_cast<unsigned char>(Text[n])))
            ++n;
    }
    return n;
}

void TTermEngine::selectionRowsChanged(int FirstRow, int LastRow)
{
    if (selection_.Touches(ScreenLine() + FirstRow - 1, ScreenLine() + LastRow - 1))
        ClearSelection();
}

void TTermEngine::DrawCellRun(int Column, int Row, int Count)
{
    const int x = Column + topLeft_.X - 1;
    const int y = Row + topLeft_.Y - 1;
    const TTermCell* cells = buffer_.RowCells(y);
    if (cells && x >= 1 && Count <= buffer_.Columns() - x + 1) {
        // The run lies in one row of the grid: read it from there (DrawCell only draws).
        cells += x - 1;
        for (int i = 0; i < Count; ++i)
            DrawCell(Column + i, Row, cells[i]);
        return;
    }
    for (int i = 0; i < Count; ++i)
        DrawCell(Column + i, Row, buffer_.GetCell(x + i, y));
}

void TTermEngine::AdvanceCaret(TCaretMotion Step)
{
    const int x = caretPos_.X;
    const int y = caretPos_.Y;
    if (Step != mtAdvance)
        wrapPending_ = false;
    switch (Step) {
    case mtAdvance:
        // DECAWM: at the last column the wrap waits for the next character, so a line exactly
        // as wide as the grid is not followed by an empty row.
        if (x < columns_)
            MoveCaret(x + 1, y);
        else if (wrapLines_)
            wrapPending_ = true;
        break;
    case mtReturn:
        MoveCaret(1, y);
        break;
    case mtLineFeed:
        lineFeed();
        break;
    case mtReverseLineFeed:
        reverseLineFeed();
        break;
    case mtTab:
        // With no stop further on, the tab goes to the last column (as a VT100's does).
        if (const int stop = buffer_.NextTab(x + 1); stop > 0)
            MoveCaret(stop, y);
        else
            MoveCaret(columns_, y);
        break;
    case mtBackspace:
        if (x > 1)
            MoveCaret(x - 1, y);
        break;
    case mtClearScreen:
        ClearScreen();
        break;
    }
}

void TTermEngine::MoveCaret(int X, int Y)
{
    caretPos_ = {std::clamp(X, 1, columns_), std::clamp(Y, 1, rows_)};
    wrapPending_ = false;
    CaretMoved();
}

// Parameters come from the line and may be any Integer: sum in 64 bits, then clamp. Up and
// down stop at the scroll region's margins when the caret is inside it.
void TTermEngine::moveCaretBy(long long dx, long long dy)
{
    const int top = caretPos_.Y >= scrollTop_ ? scrollTop_ : 1;
    const int bottom = caretPos_.Y <= scrollBottom_ ? scrollBottom_ : rows_;
    const long long x = std::clamp<long long>(caretPos_.X + dx, 1, columns_);
    const long long y = dy == 0 ? caretPos_.Y : std::clamp<long long>(caretPos_.Y + dy, top, bottom);
    MoveCaret(int(x), int(y));
}

void TTermEngine::moveCaretTo(long long Row, long long Column)
{
    if (originMode_)
        Row = std::clamp<long long>(Row + scrollTop_ - 1, scrollTop_, scrollBottom_);
    MoveCaret(int(std::clamp<long long>(Column, 1, columns_)), int(std::clamp<long long>(Row, 1, rows_)));
}

// IND: down a row; at the region's bottom the region scrolls up instead.
void TTermEngine::lineFeed()
{
    wrapPending_ = false;
    if (caretPos_.Y == scrollBottom_)
        scrollRegion(scrollTop_, scrollBottom_, 1);
    else if (caretPos_.Y < rows_)
        MoveCaret(caretPos_.X, caretPos_.Y + 1);
}

// RI: up a row; at the region's top the region scrolls down instead.
void TTermEngine::reverseLineFeed()
{
    wrapPending_ = false;
    if (caretPos_.Y == scrollTop_)
        scrollRegion(scrollTop_, scrollBottom_, -1);
    else if (caretPos_.Y > 1)
        MoveCaret(caretPos_.X, caretPos_.Y - 1);
}

void TTermEngine::scrollRegion(int Top, int Bottom, int Count)
{
    if (Top == 1 && Bottom == rows_ && Count > 0) {
        // The whole screen: rows go to the history, and the grid only turns its ring.
        for (int i = std::min(Count, rows_); i > 0; --i)
            buffer_.ScrollUp();
        return;
    }
    if (Top == 1 && Bottom == rows_ && Count == -1) {
        buffer_.ScrollDown();
        return;
    }
    screenRowsChanged(Top, Bottom);
    buffer_.ScrollRows(Top, Bottom, Count);
}

void TTermEngine::resetRegion()
{
    scrollTop_ = 1;
    scrollBottom_ = rows_;
}

TTermCell TTermEngine::CurrentCell() const
{
    TTermCell cell;
    // Bold text keeps its colour, brighter.
    cell.ForeColor = termAttr_.Invert ? termAttr_.BackColor : termAttr_.ForeColor;
    if (termAttr_.Bold)
        cell.ForeColor = brighter(cell.ForeColor);
    cell.BackColor = termAttr_.Invert ? termAttr_.ForeColor : termAttr_.BackColor;
    cell.Underline = termAttr_.Underline;
    return cell;
}

void TTermEngine::ClearScreen()
{
    screenRowsChanged(1, rows_);
    buffer_.Init();
    MoveCaret(1, 1);
    InvalidateAll();
}

// --- code execution ------------------------------------------------------------------------

bool TTermEngine::ExecuteCode(TEscapeCode Code, QByteArrayList* Params)
{
    int p1 = TEscapeCodes::GetParam(1, Params);
    const int p2 = TEscapeCodes::GetParam(2, Params);
    const int x = caretPos_.X;
    const int y = caretPos_.Y;
    QByteArrayList local;
    QByteArrayList& list = Params ? *Params : local;

    // CUU, CUD, CUF, CUB: a count of 0 moves one, as the default does.
    if (p1 == 0 && Code >= escCursorUp && Code <= escCursorRight)
        p1 = 1;
    switch (Code) {
    case escCursorUp:
    case escAppCursorUp:
        moveCaretBy(0, -(long long)p1);
        break;
    case escIndex:
        lineFeed();
        break;
    case escNextLine:
        MoveCaret(1, y);
        lineFeed();
        break;
    case escScrollRegion: {
        const int top = paramOr(Params, 1, 1);
        const int bottom = std::min(paramOr(Params, 2, rows_), rows_);
        if (top < bottom) {
            scrollTop_ = top;
            scrollBottom_ = bottom;
            moveCaretTo(1, 1);
        }
        break;
    }
    case escEraseLineTo:
        screenRowsChanged(y, y);
        buffer_.EraseCells(1, x, y);
        break;
    case escEraseScreenTo:
        screenRowsChanged(1, y);
        for (int row = 1; row < y; ++row)
            buffer_.EraseLineFrom(1, row);
        buffer_.EraseCells(1, x, y);
        break;
    case escInsertLines:
    case escDeleteLines:
        // Inside the region only; the caret goes to column 1.
        if (y >= scrollTop_ && y <= scrollBottom_) {
            const int n = paramOr(Params, 1, 1);
            screenRowsChanged(y, scrollBottom_);
            buffer_.ScrollRows(y, scrollBottom_, Code == escDeleteLines ? n : -n);
            MoveCaret(1, y);
        }
        break;
    case escInsertChars:
        screenRowsChanged(y, y);
        buffer_.InsertCells(x, y, paramOr(Params, 1, 1));
        MoveCaret(x, y);
        break;
    case escDeleteChars:
        screenRowsChanged(y, y);
        buffer_.DeleteCells(x, y, paramOr(Params, 1, 1));
        MoveCaret(x, y);
        break;
    case escEraseChars:
        screenRowsChanged(y, y);
        buffer_.EraseCells(x, x + std::min(paramOr(Params, 1, 1), columns_) - 1, y);
        break;
    case escCursorColumn:
        MoveCaret(paramOr(Params, 1, 1), y);
        break;
    case escCursorRow:
        moveCaretTo(paramOr(Params, 1, 1), x);
        break;
    case escScrollUp:
    case escScrollDown: {
        const int n = std::min(paramOr(Params, 1, 1), rows_);
        screenRowsChanged(scrollTop_, scrollBottom_);
        buffer_.ScrollRows(scrollTop_, scrollBottom_, Code == escScrollUp ? n : -n);
        break;
    }
    case escDesignateG0:
    case escDesignateG1:
        charsets_.graphics[Code == escDesignateG1 ? 1 : 0] = !list.isEmpty() && list.front() == "0";
        break;
    case escEnterANSI:
        break; // the parser has left its VT52 mode
    // The other three application cursor codes move the caret like their plain
    // counterparts, as the up code does, so a locally echoed key moves the caret.
    case escCursorDown:
    case escAppCursorDown:
        moveCaretBy(0, p1);
        break;
    case escCursorLeft:
    case escAppCursorLeft:
        moveCaretBy(-(long long)p1, 0);
        break;
    case escCursorRight:
    case escAppCursorRight:
        moveCaretBy(p1, 0);
        break;
    case escCursorHome:
    case escCursorMove:
        moveCaretTo(p1, p2);
        break;
    case escReverseLineFeed:
        AdvanceCaret(mtReverseLineFeed);
        break;
    case escEraseLineFrom:
        screenRowsChanged(y, y);
        buffer_.EraseLineFrom(x, y);
        break;
    case escEraseScreenFrom:
        screenRowsChanged(y, rows_);
        buffer_.EraseScreenFrom(x, y);
        break;
    // EL 2 and ED 2 leave the caret where it is.
    case escEraseLine:
        screenRowsChanged(y, y);
        buffer_.EraseLineFrom(1, y);
        break;
    case escEraseScreen:
        screenRowsChanged(1, rows_);
        buffer_.EraseScreenFrom(1, 1);
        break;
    case escSetTab:
        buffer_.SetTab(x, true);
        break;
    case escClearTab:
        buffer_.SetTab(x, false);
        break;
    case escClearAllTabs:
        buffer_.ClearTabs();
        break;
    case escIdentify:
        list.clear();
        list.append("2");
        SendSequenceQuiet(escIdentResponse, &list);
        break;
    case escQueryDevice:
        SendSequenceQuiet(escReportDeviceOK, nullptr);
        break;
    case escQueryCursorPos:
        list.clear();
        list.append(QByteArray::number(y));
        list.append(QByteArray::number(x));
        SendSequenceQuiet(escReportCursorPos, &list);
        break;
    case escAttributes:
        SetAttributes(list);
        break;
    case escSetMode:
        SetMode(list, true);
        break;
    case escResetMode:
        SetMode(list, false);
        break;
    case escReset:
        // The attributes, and what a program may leave set: the character sets and the region.
        list.clear();
        list.append("0");
        SetAttributes(list);
        charsets_ = Charsets{};
        resetRegion();
        originMode_ = false;
        break;
    // DECSC and DECRC also keep the character sets and origin mode.
    case escSaveCaretAndAttr:
        SaveCaret();
        SaveAttr();
        savedCharsets_ = charsets_;
        savedOriginMode_ = originMode_;
        break;
    case escRestoreCaretAndAttr:
        RestoreCaret();
        RestoreAttr();
        charsets_ = savedCharsets_;
        originMode_ = savedOriginMode_;
        break;
    case escSaveCaret:
        SaveCaret();
        break;
    case escRestoreCaret:
        RestoreCaret();
        break;
    case escTest:
        FillScreen('E');
        break;
    default:
        return false;
    }
    return true;
}

void TTermEngine::SetAttributes(const QByteArrayList& Params)
{
    const auto reset = [this] {
        termAttr_ = TTermAttr{};
        termAttr_.ForeColor = fontColor_;
        termAttr_.BackColor = color_;
    };
    if (Params.isEmpty()) {
        reset();
        return;
    }
    const int count = int(Params.size());
    for (int i = 0; i < count; ++i) {
        // An empty parameter is 0; one that is not a number (sub-parameters) is skipped.
        const int v = paramValue(Params[i], 0);
        if (v == 0)
            reset();
        else if (v == 1)
            termAttr_.Bold = true;
        else if (v == 4)
            termAttr_.Underline = true;
        else if (v == 7)
            termAttr_.Invert = true;
        else if (v == 21 || v == 22)
            termAttr_.Bold = false;
        else if (v == 24)
            termAttr_.Underline = false;
        else if (v == 27)
            termAttr_.Invert = false;
        else if (v >= 30 && v <= 37)
            termAttr_.ForeColor = kAttrColors[std::size_t(v - 30)];
        else if (v == 39)
            termAttr_.ForeColor = fontColor_;
        else if (v >= 40 && v <= 47)
            termAttr_.BackColor = kAttrColors[std::size_t(v - 40)];
        else if (v == 49)
            termAttr_.BackColor = color_;
        else if (v >= 90 && v <= 97)
            termAttr_.ForeColor = kBrightColors[std::size_t(v - 90)];
        else if (v >= 100 && v <= 107)
            termAttr_.BackColor = kBrightColors[std::size_t(v - 100)];
        else if ((v == 38 || v == 48) && i + 1 < count) {
            // Extended colours are not shown: skip their arguments (5;n or 2;r;g;b).
            const int kind = paramValue(Params[i + 1], 0);
            i += kind == 5 ? 2 : kind == 2 ? 4 : 1;
        }
    }
}

void TTermEngine::SetMode(const QByteArrayList& Params, bool On)
{
    if (Params.isEmpty())
        return;
    // "?" before the first parameter makes them all DEC private modes.
    const bool dec = Params.front().startsWith('?');
    for (qsizetype i = 0; i < Params.size(); ++i) {
        const QByteArray mode = i == 0 && dec ? Params[i].mid(1) : Params[i];
        if (!dec) {
            if (mode == "4")
                insertMode_ = On; // IRM
            else if (mode == "20")
                newLineMode_ = On; // LNM
            else if (mode == "7")
                wrapLines_ = On;
            continue;
        }
        if (mode == "1") {
            cursorKeysMode_ = On;
        } else if (mode == "2") {
            // DECANM reset: the VT52 mode, until ESC "<".
            if (!On && parserKind_ == ParserKind::VT100)
                static_cast<TEscapeCodesVT100*>(escapeCodes_.get())->SetVT52Mode(true);
        } else if (mode == "3") {
            // DECCOLM: the screen is cleared, the region and the caret reset.
            SetColumns(On ? 132 : 80);
            resetRegion();
            MoveCaret(1, 1);
        } else if (mode == "6") {
            originMode_ = On;
            moveCaretTo(1, 1);
        } else if (mode == "7") {
            wrapLines_ = On; // DECAWM
        } else if (mode == "25") {
            caretVisible_ = On;
            CaretMoved();
        }
    }
}

void TTermEngine::FillScreen(char Ch)
{
    Loaded();
    screenRowsChanged(1, rows_);
    const TTermCell cell{Ch, fontColor_, color_, false, false};
    for (int y = 1; y <= rows_; ++y)
        for (int x = 1; x <= columns_; ++x)
            buffer_.SetCell(x, y, cell);
    InvalidateAll();
}

// --- keys and answers -------------------------------------------------------------------

void TTermEngine::SendChar(char Ch)
{
    if (!PortConnected())
        return;
    PortWriteText(QByteArray(1, Ch));
    if (localEcho_)
        PutChar(Ch);
    if (Ch == '\r' && (sendLF_ || newLineMode_))
        SendChar('\n');
}

bool TTermEngine::dialectVT52() const
{
    if (parserKind_ == ParserKind::VT52)
        return true;
    return parserKind_ == ParserKind::VT100
        && static_cast<const TEscapeCodesVT100*>(escapeCodes_.get())->VT52Mode();
}

QByteArray TTermEngine::KeyBytes(TTermKey Key) const
{
    struct Forms {
        const char* vt52; // nullptr: VT52 has no such key, the ANSI form is sent
        const char* ansi;
        const char* application; // with the mode ?1; nullptr: as ansi
    };
    // After ESC.
    static constexpr Forms kForms[] = {
        {"H", "[H", "OH"}, // Home
        {"D", "[D", "OD"}, // Left
        {"A", "[A", "OA"}, // Up
        {"C", "[C", "OC"}, // Right
        {"B", "[B", "OB"}, // Down
        {nullptr, "[F", "OF"}, // End
        {nullptr, "[5~", nullptr}, // PageUp
        {nullptr, "[6~", nullptr}, // PageDown
        {nullptr, "[2~", nullptr}, // Insert
        {nullptr, "[3~", nullptr}, // Delete
        {nullptr, "[Z", nullptr}, // BackTab
        {"P", "OP", nullptr}, // F1..F4: PF1..PF4
        {"Q", "OQ", nullptr},
        {"R", "OR", nullptr},
        {"S", "OS", nullptr},
        {nullptr, "[15~", nullptr}, // F5..F12
        {nullptr, "[17~", nullptr},
        {nullptr, "[18~", nullptr},
        {nullptr, "[19~", nullptr},
        {nullptr, "[20~", nullptr},
        {nullptr, "[21~", nullptr},
        {nullptr, "[23~", nullptr},
        {nullptr, "[24~", nullptr},
    };
    static_assert(std::size(kForms) == std::size_t(TTermKey::F12) + 1);
    const Forms& f = kForms[std::size_t(Key)];
    const char* form = f.ansi;
    if (dialectVT52() && f.vt52)
        form = f.vt52;
    else if (cursorKeysMode_ && f.application)
        form = f.application;
    return QByteArray(1, kEsc) + form;
}

void TTermEngine::CursorKey(TTermKey Key)
{
    TEscapeCode code = escUnknown;
    switch (Key) {
    case TTermKey::Home:
        code = escCursorHome;
        break;
    case TTermKey::Left:
        code = cursorKeysMode_ ? escAppCursorLeft : escCursorLeft;
        break;
    case TTermKey::Up:
        code = cursorKeysMode_ ? escAppCursorUp : escCursorUp;
        break;
    case TTermKey::Right:
        code = cursorKeysMode_ ? escAppCursorRight : escCursorRight;
        break;
    case TTermKey::Down:
        code = cursorKeysMode_ ? escAppCursorDown : escCursorDown;
        break;
    default:
        break;
    }
    if (code != escUnknown && !cursorKeysMode_ && arrowKeys_ == akWindows) {
        ExecuteCode(code, nullptr);
        return;
    }
    if (!PortConnected())
        return;
    PortWriteText(KeyBytes(Key));
    if (localEcho_ && code != escUnknown)
        ExecuteCode(code, nullptr);
}

void TTermEngine::SendSequence(TEscapeCode Code, QByteArrayList* Params)
{
    if (!PortConnected() || !escapeCodes_)
        return;
    const QByteArray seq = escapeCodes_->CodeToSequence(Code, Params);
    if (!seq.isEmpty())
        PortWriteText(seq);
    if (localEcho_)
        ExecuteCode(Code, Params);
}

void TTermEngine::SendSequenceQuiet(TEscapeCode Code, QByteArrayList* Params)
{
    if (!PortConnected() || !escapeCodes_)
        return;
    const QByteArray seq = escapeCodes_->CodeToSequence(Code, Params);
    if (!seq.isEmpty())
        PortWriteText(seq);
}

// --- properties ----------------------------------------------------------------------------

void TTermEngine::SetColumns(int Value)
{
    Value = std::clamp(Value, kMinColumns, kMaxColumns);
    if (Value == columns_)
        return;
    columns_ = Value;
    gridChanged();
}

void TTermEngine::SetRows(int Value)
{
    Value = std::clamp(Value, kMinRows, kMaxRows);
    if (Value == rows_)
        return;
    rows_ = Value;
    gridChanged();
}

void TTermEngine::gridChanged()
{
    resetRegion();
    wrapPending_ = false;
    GridSizeChanged();
    if (loading_)
        return;
    screenRowsChanged(1, buffer_.Rows());
    buffer_.Init();
    MoveCaret(caretPos_);
    InvalidateAll();
}

void TTermEngine::SetEmulation(TTermEmulation Value)
{
    if (Value == emulation_)
        return;
    emulation_ = Value;
    if (loading_)
        return;
    escapeCodes_.reset();
    MakeParser();
}

void TTermEngine::SetColor(TColor Value)
{
    color_ = Value;
    termAttr_.BackColor = Value;
}

void TTermEngine::SetFontColor(TColor Value)
{
    fontColor_ = Value;
    termAttr_.ForeColor = Value;
}

void TTermEngine::FireChar(char) { }

void TTermEngine::FireGetEscapeCodes(std::unique_ptr<TEscapeCodes>&) { }

void TTermEngine::FireStrRecieved(QByteArray&) { }

void TTermEngine::FireUnhandledCode(TEscapeCode, const QByteArray&) { }

// --- scroll-back, selection and the clipboard ---------------------------------------------

void TTermEngine::RowScrolledOff()
{
    // Keep the view on its text: the screen moved one line further from it. Rows dropped from
    // the top of a full history take the view along.
    if (!following_)
        topLeft_.Y = std::max(topLeft_.Y - 1, 1 - history_.Count());
    if (selection_.Active() && selection_.Start().Line < history_.FirstLine())
        ClearSelection();
    HistoryChanged();
}

void TTermEngine::SetScrollbackLines(int Value)
{
    Value = std::clamp(Value, 0, kMaxScrollback);
    if (Value == history_.Capacity())
        return;
    history_.SetCapacity(Value);
    topLeft_.Y = std::max(topLeft_.Y, 1 - history_.Count());
    if (selection_.Active() && selection_.Start().Line < history_.FirstLine())
        ClearSelection();
    HistoryChanged();
    InvalidateAll();
}

void TTermEngine::ClearAll()
{
    history_.Clear();
    ClearSelection();
    following_ = true;
    topLeft_.Y = std::max(topLeft_.Y, 1);
    ClearScreen();
    HistoryChanged();
}

void TTermEngine::LineCells(std::int64_t Line, std::vector<TTermCell>& Out) const
{
    if (Line < ScreenLine()) {
        history_.Row(Line, Out, columns_);
        return;
    }
    Out.assign(std::size_t(std::max(columns_, 0)), TTermCell{});
    const int y = int(Line - ScreenLine()) + 1;
    if (const TTermCell* row = buffer_.RowCells(y))
        std::copy_n(row, std::min(columns_, buffer_.Columns()), Out.begin());
}

bool TTermEngine::LineWrapped(std::int64_t Line) const
{
    if (Line < ScreenLine())
        return history_.Wrapped(Line);
    return buffer_.Wrapped(int(Line - ScreenLine()) + 1);
}

void TTermEngine::SelectBegin(TTermTextPos Pos, TSelectUnit Unit)
{
    selection_.Begin(*this, Pos, Unit);
    SelectionChanged();
}

void TTermEngine::SelectExtend(TTermTextPos Pos)
{
    selection_.Extend(*this, Pos);
    SelectionChanged();
}

void TTermEngine::SelectAll()
{
    Loaded();
    selection_.SelectAll(*this);
    SelectionChanged();
}

void TTermEngine::ClearSelection()
{
    if (!selection_.Active())
        return;
    selection_.Clear();
    SelectionChanged();
}

QString TTermEngine::SelectedText() const
{
    if (!selection_.Active())
        return {};
    return term_text::Text(*this, selection_.Start(), selection_.End());
}

TTermTextPos TTermEngine::WindowToText(int Column, int Row) const
{
    return TTermTextPos{ScreenLine() + topLeft_.Y - 1 + Row - 1, Column + topLeft_.X - 1};
}

TTermEngine::TPaste TTermEngine::PasteText(const QString& Text, QChar* Unencodable)
{
    QByteArray bytes;
    bytes.reserve(Text.size());
    for (const QChar ch : Text) {
        unsigned char byte = 0;
        if (!cp1251::fromUnicode(ch.unicode(), byte)) {
            if (Unencodable)
                *Unencodable = ch;
            return TPaste::Unencodable;
        }
        bytes.append(char(byte));
    }
    if (!PortConnected())
        return TPaste::NotConnected;
    const QByteArray enter = sendLF_ ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\r");
    qsizetype at = 0;
    while (at < bytes.size()) {
        // A line and its break (CR LF, LF or CR in the text) go out as one write.
        qsizetype end = at;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        const bool hasBreak = end < bytes.size();
        QByteArray line = bytes.mid(at, end - at);
        if (hasBreak) {
            line += enter;
            end += bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1;
        }
        at = end;
        PortWriteText(line);
        if (localEcho_) {
            for (const char ch : line)
                PutChar(ch);
        }
    }
    return TPaste::Sent;
}

// --- the grid following the window ---------------------------------------------------------

void TTermEngine::FitGrid(int Columns, int Rows)
{
    Columns = std::clamp(Columns, kMinColumns, kMaxColumns);
    Rows = std::clamp(Rows, kMinRows, kMaxRows);
    if (Columns == columns_ && Rows == rows_)
        return;
    if (loading_) {
        columns_ = Columns;
        rows_ = Rows;
        GridSizeChanged();
        return;
    }
    if (Columns != columns_) {
        reflow(Columns, Rows);
        return;
    }
    // Rows above the caret go to the history so that the caret's row stays on the screen.
    const int pushTop = std::max(0, caretPos_.Y - Rows);
    const TTermPos caret{caretPos_.X, caretPos_.Y - pushTop};
    if (pushTop + Rows < rows_) // rows below the caret that no longer fit are dropped
        screenRowsChanged(pushTop + Rows + 1, rows_);
    columns_ = Columns;
    rows_ = Rows;
    resetRegion();
    GridSizeChanged();
    buffer_.Resize(pushTop);
    MoveCaret(caret);
    HistoryChanged();
    InvalidateAll();
}

// The screen's rows joined where wrapping continued them and cut again at the new width. Rows
// that do not fit go to the history from the top, but never the caret's; empty rows below
// the caret go first.
void TTermEngine::reflow(int Columns, int Rows)
{
    struct Line {
        std::vector<TTermCell> cells;
        bool hasCaret = false;
        int caretOffset = 0;
    };
    std::vector<Line> lines(1);
    for (int y = 1; y <= rows_; ++y) {
        Line& line = lines.back();
        const TTermCell* cells = buffer_.RowCells(y);
        const bool wrapped = buffer_.Wrapped(y) && y < rows_;
        if (y == caretPos_.Y) {
            line.hasCaret = true;
            line.caretOffset = int(line.cells.size()) + caretPos_.X - 1;
        }
        int used = wrapped ? columns_ : buffer_.RowUsed(y);
        while (used > 0 && cells[used - 1] == TTermCell{})
            --used;
        line.cells.insert(line.cells.end(), cells, cells + used);
        if (!wrapped && y < rows_)
            lines.emplace_back();
    }
    struct Row {
        const TTermCell* cells;
        int count;
        bool wrapped;
    };
    std::vector<Row> rows;
    int caretRow = 0;
    int caretColumn = 1;
    int lastText = -1; // the last row with text
    for (const Line& line : lines) {
        const int length = int(line.cells.size());
        int count = std::max(1, (length + Columns - 1) / Columns);
        if (line.hasCaret) {
            count = std::max(count, line.caretOffset / Columns + 1);
            caretRow = int(rows.size()) + line.caretOffset / Columns;
            caretColumn = line.caretOffset % Columns + 1;
        }
        for (int i = 0; i < count; ++i) {
            const int from = std::min(length, i * Columns);
            const int n = std::min(length - from, Columns);
            rows.push_back(Row{line.cells.data() + from, n, i + 1 < count});
            if (n > 0)
                lastText = int(rows.size()) - 1;
        }
    }
    // Empty rows below the caret and the text are dropped; what is still too much goes to the
    // history from the top, the caret's row staying on the screen.
    const int keep = std::max(caretRow, lastText) + 1;
    const int pushTop = std::clamp(keep - Rows, 0, caretRow);
    screenRowsChanged(1, rows_);
    for (int i = 0; i < pushTop; ++i) {
        history_.Push(rows[std::size_t(i)].cells, rows[std::size_t(i)].count, rows[std::size_t(i)].wrapped);
        RowScrolledOff();
    }
    columns_ = Columns;
    rows_ = Rows;
    resetRegion();
    GridSizeChanged();
    buffer_.Resize(0);
    for (int y = 1; y <= rows_; ++y) {
        const std::size_t i = std::size_t(pushTop + y - 1);
        if (i < rows.size())
            buffer_.SetRow(y, rows[i].cells, rows[i].count, rows[i].wrapped);
        else
            buffer_.SetRow(y, nullptr, 0, false);
    }
    MoveCaret(caretColumn, caretRow - pushTop + 1);
    HistoryChanged();
    InvalidateAll();
}

void TTermEngine::SetShowControls(bool Value)
{
    showControls_ = Value;
}
