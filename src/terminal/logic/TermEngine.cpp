#include "terminal/logic/TermEngine.h"

#include "common/Cp1251.h"

#include <algorithm>

const std::array<TColor, 10> TTermEngine::kAttrColors = {
    0x000000, // black
    0x0000FF, // red
    0x008000, // green
    0x00FFFF, // yellow
    0xFF0000, // blue
    0x800080, // purple
    0x0080FF, // orange, where the ANSI table has cyan
    0xFFFFFF, // white
    0x000080, // maroon
    0x808080, // grey
};

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
    QByteArray str;
    if (appendLF_) {
        str.reserve(Count + Count / 8 + 1);
        for (int i = 0; i < Count; ++i) {
            str.append(Buffer[i]);
            if (Buffer[i] == '\r')
                str.append('\n');
        }
    } else {
        str = QByteArray(Buffer, Count);
    }
    if (force7Bit_) {
        for (char& ch : str)
            ch = char(static_cast<unsigned char>(ch) & 0x7F);
    }
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
        if (runByte(static_cast<unsigned char>(Buffer[i])) && parserIdle() && !CharEventsWanted()) {
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
        AdvanceCaret(mtLineFeed);
        break;
    case 12:
        AdvanceCaret(mtClearScreen);
        break;
    case 13:
        AdvanceCaret(mtReturn);
        break;
    default:
        if (byte >= 32 || showControls_) {
            TTermCell cell = CurrentCell();
            cell.Ch = Ch;
            cell.Control = !runByte(byte);
            screenRowsChanged(caretPos_.Y, caretPos_.Y);
            buffer_.SetCell(caretPos_.X, caretPos_.Y, cell);
            DrawCell(caretPos_.X - topLeft_.X + 1, caretPos_.Y - topLeft_.Y + 1, cell);
            AdvanceCaret(mtAdvance);
        }
        break;
    }
    FireChar(Ch);
}

// Prints the leading printable bytes of Text, exactly as PutChar would one by one; returns how
// many it took (at least one).
int TTermEngine::putPrintableRun(const char* Text, int Count)
{
    int taken = 0;
    while (taken < Count && runByte(static_cast<unsigned char>(Text[taken]))) {
        // Cells before the last column need no caret decision; the last column goes through
        // PutChar for its wrap or overwrite rule.
        const int x = caretPos_.X;
        const int y = caretPos_.Y;
        screenRowsChanged(y, y);
        int n = 0;
        if (x < columns_) {
            n = runLength(Text + taken, std::min(columns_ - x, Count - taken));
            buffer_.SetCells(x, y, Text + taken, n, CurrentCell());
            DrawCellRun(x - topLeft_.X + 1, y - topLeft_.Y + 1, n);
            MoveCaret(x + n, y);
            taken += n;
        }
        if (n == 0 && !wrapLines_) {
            // Without wrapping the last column is overwritten: only the run's last byte stays.
            int m = 0;
            while (taken + m < Count && runByte(static_cast<unsigned char>(Text[taken + m])))
                ++m;
            TTermCell cell = CurrentCell();
            cell.Ch = Text[taken + m - 1];
            buffer_.SetCell(x, y, cell);
            DrawCell(x - topLeft_.X + 1, y - topLeft_.Y + 1, cell);
            taken += m;
        } else if (n == 0) {
            PutChar(Text[taken]);
            ++taken;
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
        while (n < Count && static_cast<unsigned char>(Text[n]) >= 32)
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
    switch (Step) {
    case mtAdvance:
        if (x < columns_) {
            MoveCaret(x + 1, y);
        } else if (wrapLines_) {
            buffer_.SetWrapped(y, true);
            if (y < rows_) {
                MoveCaret(1, y + 1);
            } else {
                buffer_.ScrollUp();
                MoveCaret(1, rows_);
            }
        }
        break;
    case mtReturn:
        MoveCaret(1, y);
        break;
    case mtLineFeed:
        if (y < rows_)
            MoveCaret(x, y + 1);
        else
            buffer_.ScrollUp();
        break;
    case mtReverseLineFeed:
        if (y > 1)
            MoveCaret(x, y - 1);
        else
            buffer_.ScrollDown();
        break;
    case mtTab:
        if (const int stop = buffer_.NextTab(x + 1); stop > 0)
            MoveCaret(stop, y);
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
    CaretMoved();
}

// Parameters come from the line and may be any Integer: sum in 64 bits, then clamp.
void TTermEngine::moveCaretBy(long long dx, long long dy)
{
    const long long x = std::clamp<long long>(caretPos_.X + dx, 1, columns_);
    const long long y = std::clamp<long long>(caretPos_.Y + dy, 1, rows_);
    MoveCaret(int(x), int(y));
}

TTermCell TTermEngine::CurrentCell() const
{
    TTermCell cell;
    cell.ForeColor
        = termAttr_.Bold ? altColor_ : (termAttr_.Invert ? termAttr_.BackColor : termAttr_.ForeColor);
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
    const int p1 = TEscapeCodes::GetParam(1, Params);
    const int p2 = TEscapeCodes::GetParam(2, Params);
    const int x = caretPos_.X;
    const int y = caretPos_.Y;
    QByteArrayList local;
    QByteArrayList& list = Params ? *Params : local;

    switch (Code) {
    case escCursorUp:
    case escAppCursorUp:
        moveCaretBy(0, -(long long)p1);
        break;
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
        MoveCaret(p2, p1);
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
    case escEraseLine:
        screenRowsChanged(y, y);
        buffer_.EraseLineFrom(1, y);
        MoveCaret(1, y);
        break;
    case escEraseScreen:
        screenRowsChanged(1, rows_);
        buffer_.EraseScreenFrom(1, 1);
        MoveCaret(1, 1);
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
        list.clear();
        list.append("0");
        SetAttributes(list);
        break;
    case escSaveCaretAndAttr:
        SaveCaret();
        SaveAttr();
        break;
    case escRestoreCaretAndAttr:
        RestoreCaret();
        RestoreAttr();
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
    for (int i = 1; i <= int(Params.size()); ++i) {
        const int v = TEscapeCodes::GetParam(i, &Params);
        if (v == 0)
            reset();
        else if (v == 1)
            termAttr_.Bold = true;
        else if (v == 4)
            termAttr_.Underline = true;
        else if (v == 7)
            termAttr_.Invert = true;
        else if (v == 21)
            termAttr_.Bold = false;
        else if (v == 24)
            termAttr_.Underline = false;
        else if (v == 27)
            termAttr_.Invert = false;
        else if (v >= 30 && v <= 39)
            termAttr_.ForeColor = kAttrColors[std::size_t(v - 30)];
        else if (v >= 40 && v <= 49)
            termAttr_.BackColor = kAttrColors[std::size_t(v - 40)];
    }
}

void TTermEngine::SetMode(const QByteArrayList& Params, bool On)
{
    if (Params.isEmpty())
        return;
    const QByteArray& mode = Params.front();
    if (mode == "?1")
        cursorKeysMode_ = On;
    else if (mode == "7")
        wrapLines_ = On;
    else if (mode == "?3")
        SetColumns(On ? 132 : 80);
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
    if (Ch == '\r' && sendLF_)
        SendChar('\n');
}

void TTermEngine::CursorKey(TTermKey Key)
{
    if (!cursorKeysMode_) {
        TEscapeCode code = escCursorHome;
        switch (Key) {
        case TTermKey::Home:
            code = escCursorHome;
            break;
        case TTermKey::Left:
            code = escCursorLeft;
            break;
        case TTermKey::Up:
            code = escCursorUp;
            break;
        case TTermKey::Right:
            code = escCursorRight;
            break;
        case TTermKey::Down:
            code = escCursorDown;
            break;
        }
        if (arrowKeys_ == akWindows)
            ExecuteCode(code, nullptr);
        else
            SendSequence(code, nullptr);
        return;
    }
    switch (Key) {
    case TTermKey::Up:
        SendSequence(escAppCursorUp, nullptr);
        break;
    case TTermKey::Down:
        SendSequence(escAppCursorDown, nullptr);
        break;
    case TTermKey::Left:
        SendSequence(escAppCursorLeft, nullptr);
        break;
    case TTermKey::Right:
        SendSequence(escAppCursorRight, nullptr);
        break;
    case TTermKey::Home:
        break;
    }
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
    // Rows above the caret go to the history so that the caret's row stays on the screen.
    const int pushTop = std::max(0, caretPos_.Y - Rows);
    const TTermPos caret{caretPos_.X, caretPos_.Y - pushTop};
    if (pushTop + Rows < rows_) // rows below the caret that no longer fit are dropped
        screenRowsChanged(pushTop + Rows + 1, rows_);
    columns_ = Columns;
    rows_ = Rows;
    GridSizeChanged();
    buffer_.Resize(pushTop);
    MoveCaret(caret);
    HistoryChanged();
    InvalidateAll();
}

void TTermEngine::SetShowControls(bool Value)
{
    showControls_ = Value;
}
