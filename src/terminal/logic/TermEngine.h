#pragma once
// What the terminal control does with bytes and cells, without a window: printing received text
// into the grid, the caret steps, carrying out escape codes, and turning keys into the bytes it
// sends. The control (TCustomComTerminal) derives from it and supplies the window and the port
// through the virtual hooks below; a test derives from it with fakes.
//
// Everything runs on the user-interface thread. Text is 8-bit (Windows-1251) bytes throughout.

#include "terminal/core/EscapeCodes.h"
#include "terminal/core/TermBuffer.h"
#include "terminal/core/TermHistory.h"
#include "terminal/logic/TermText.h"
#include "terminal/logic/TermTypes.h"

#include <QByteArray>
#include <QByteArrayList>
#include <array>
#include <memory>

class TTermEngine : public TTermBufferOwner, public TTermLines {
public:
    static constexpr int kMinColumns = 2;
    static constexpr int kMaxColumns = 256;
    static constexpr int kMinRows = 2;
    static constexpr int kMaxRows = 100;
    static constexpr TColor kDefaultAltColor = 0xA6A6A6;
    static constexpr int kDefaultScrollback = 10000;
    static constexpr int kMaxScrollback = 100000;
    // A paste longer than this is confirmed first.
    static constexpr qsizetype kPasteAskBytes = 4096;

    // Colours of the attribute codes 30..37 and 40..47, and their bright forms (bold text,
    // 90..97 and 100..107).
    static const std::array<TColor, 8> kAttrColors;
    static const std::array<TColor, 8> kBrightColors;

    TTermEngine();
    virtual ~TTermEngine();
    TTermEngine(const TTermEngine&) = delete;
    TTermEngine& operator=(const TTermEngine&) = delete;

    // End of loading: creates the parser and the grid. Runs once; ShowBytes runs it on first use
    // if the owner has not.
    void Loaded();
    bool Loading() const { return loading_; }

    // --- received and shown text
    // The link's receive routine: copies, inserts LF after CR (AppendLF), clears the eighth bit
    // (Force7Bit), raises FireStrRecieved and shows the possibly changed text.
    void Receive(const char* Buffer, int Count);
    void ShowText(const QByteArray& Str) { ShowBytes(Str.constData(), int(Str.size())); }
    void ShowBytes(const char* Buffer, int Count);
    void PutChar(char Ch);
    void AdvanceCaret(TCaretMotion Step);
    void MoveCaret(int X, int Y);
    void MoveCaret(TTermPos Pos) { MoveCaret(Pos.X, Pos.Y); }
    TTermCell CurrentCell() const;
    void ClearScreen();

    // --- code execution; Params may be absent (key codes)
    bool ExecuteCode(TEscapeCode Code, QByteArrayList* Params);
    void SetAttributes(const QByteArrayList& Params);
    void SetMode(const QByteArrayList& Params, bool On);
    void FillScreen(char Ch);
    void SaveCaret() { savedCaret_ = caretPos_; }
    void RestoreCaret() { MoveCaret(savedCaret_); }
    void SaveAttr() { savedAttr_ = termAttr_; }
    void RestoreAttr() { termAttr_ = savedAttr_; }
    // The scroll region (DECSTBM), rows ScrollTop..ScrollBottom; the whole screen by default.
    int ScrollTop() const { return scrollTop_; }
    int ScrollBottom() const { return scrollBottom_; }
    // DECOM: row numbers count from the region's top, and the caret stays inside it.
    bool OriginMode() const { return originMode_; }
    // LNM: a line feed also returns, and Enter sends CR LF.
    bool NewLineMode() const { return newLineMode_; }
    // A character went into the last column with WrapLines on: the next one wraps first.
    bool WrapPending() const { return wrapPending_; }
    // DECTCEM: the caret is shown (the mode ?25).
    bool CaretVisible() const { return caretVisible_; }

    // --- scroll-back, selection and the clipboard
    // Rows kept above the screen (0..kMaxScrollback; 0 keeps none).
    int ScrollbackLines() const { return history_.Capacity(); }
    void SetScrollbackLines(int Value);
    const TTermHistory& History() const { return history_; }
    // Forgets the screen and the history (the clear action).
    void ClearAll();
    // The selection; changes are reported through SelectionChanged.
    const TTermSelection& Selection() const { return selection_; }
    void SelectBegin(TTermTextPos Pos, TSelectUnit Unit);
    void SelectExtend(TTermTextPos Pos);
    void SelectAll();
    void ClearSelection();
    QString SelectedText() const;
    // Text position of a window cell (from (1, 1)), with the view where it is now.
    TTermTextPos WindowToText(int Column, int Row) const;
    // Window row (from 1) at which a line is shown; may lie outside the window.
    std::int64_t LineToWindowRow(std::int64_t Line) const { return Line - ScreenLine() - topLeft_.Y + 2; }
    // Sends text as typing it would: each line in one write, each line break as Enter (CR, and
    // LF with SendLF), echoed with LocalEcho. False, sending nothing, when the code page cannot
    // hold it (Unencodable gets the first such character) or no port is open.
    enum class TPaste { Sent, NotConnected, Unencodable };
    TPaste PasteText(const QString& Text, QChar* Unencodable = nullptr);

    // --- the grid following the window
    // Takes a new size keeping the text: rows continued by wrapping are joined and wrapped again
    // at the new width, and rows that no longer fit above the caret go to the history; unlike
    // SetColumns/SetRows it does not clear the screen.
    void FitGrid(int Columns, int Rows);
    // Control bytes that show nothing (0-7, 11, 14-31, 127) are drawn as symbols instead.
    bool ShowControls() const { return showControls_; }
    void SetShowControls(bool Value);

    // TTermLines: history then screen.
    std::int64_t FirstLine() const override { return history_.FirstLine(); }
    std::int64_t ScreenLine() const override { return history_.EndLine(); }
    std::int64_t EndLine() const override { return history_.EndLine() + buffer_.Rows(); }
    int LineColumns() const override { return columns_; }
    void LineCells(std::int64_t Line, std::vector<TTermCell>& Out) const override;
    bool LineWrapped(std::int64_t Line) const override;

    // --- keys and answers
    void SendChar(char Ch);
    // A key that sends a sequence. The cursor keys and Home keep their codes (local echo,
    // ArrowKeys = akWindows); every key is sent in every emulation, as KeyBytes says.
    void CursorKey(TTermKey Key);
    // What a key sends: the VT52 forms in VT52 (also the VT52 mode of VT100) where VT52 has
    // them, otherwise the ANSI ones (also with no emulation), application cursor keys with
    // the mode ?1.
    QByteArray KeyBytes(TTermKey Key) const;
    void SendSequence(TEscapeCode Code, QByteArrayList* Params);
    void SendSequenceQuiet(TEscapeCode Code, QByteArrayList* Params);

    // --- properties
    int Columns() const { return columns_; }
    void SetColumns(int Value);
    int Rows() const { return rows_; }
    void SetRows(int Value);
    TTermEmulation Emulation() const { return emulation_; }
    void SetEmulation(TTermEmulation Value);
    bool LocalEcho() const { return localEcho_; }
    void SetLocalEcho(bool Value) { localEcho_ = Value; }
    bool SendLF() const { return sendLF_; }
    void SetSendLF(bool Value) { sendLF_ = Value; }
    bool AppendLF() const { return appendLF_; }
    void SetAppendLF(bool Value) { appendLF_ = Value; }
    bool Force7Bit() const { return force7Bit_; }
    void SetForce7Bit(bool Value) { force7Bit_ = Value; }
    bool WrapLines() const { return wrapLines_; }
    void SetWrapLines(bool Value) { wrapLines_ = Value; }
    TArrowKeys ArrowKeys() const { return arrowKeys_; }
    void SetArrowKeys(TArrowKeys Value) { arrowKeys_ = Value; }
    TColor AltColor() const { return altColor_; }
    void SetAltColor(TColor Value) { altColor_ = Value; }
    // The control's background (Color) and text colour (Font.Color): a change becomes the
    // current attribute colour for what is printed next; printed cells keep theirs.
    TColor Color() const { return color_; }
    virtual void SetColor(TColor Value);
    TColor FontColor() const { return fontColor_; }
    virtual void SetFontColor(TColor Value);

    // --- state
    TTermPos CaretPos() const { return caretPos_; }
    TTermPos TopLeft() const { return topLeft_; }
    TTermPos SavedCaret() const { return savedCaret_; }
    const TTermAttr& TermAttr() const { return termAttr_; }
    const TTermAttr& SavedAttr() const { return savedAttr_; }
    bool CursorKeysMode() const { return cursorKeysMode_; }
    TEscapeCodes* EscapeCodes() const { return escapeCodes_.get(); }
    const TComTermBuffer& Buffer() const { return buffer_; }
    TComTermBuffer& Buffer() { return buffer_; }

    // TTermBufferOwner: the grid size comes from here; the rest is the window's.
    int TermColumns() const override { return columns_; }
    int TermRows() const override { return rows_; }

protected:
    void MakeParser();
    void SetTopLeft(TTermPos Pos) { topLeft_ = Pos; }

    // The port: open state and the synchronous text write.
    virtual bool PortConnected() const = 0;
    virtual void PortWriteText(const QByteArray& Str) = 0;
    // The window: one printed cell at its window cell position (from (1, 1)); the caret moved;
    // the grid changed size (before the buffer is rebuilt).
    virtual void DrawCell(int Column, int Row, const TTermCell& Cell) = 0;
    // Count printed cells side by side from a window cell; by default one DrawCell each.
    virtual void DrawCellRun(int Column, int Row, int Count);
    virtual void CaretMoved() { }
    virtual void GridSizeChanged() { }
    // The selection or the view's place over the history changed (repaint, scroll bar).
    virtual void SelectionChanged() { }
    virtual void HistoryChanged() { }
    // TTermBufferOwner: a row went to the history; the view keeps its text unless it follows
    // the screen.
    void RowScrolledOff() override;
    // The view follows the screen (the default) or stays on its text while rows scroll off.
    bool Following() const { return following_; }
    void SetFollowing(bool Value) { following_ = Value; }

    // False when nobody listens to FireChar, so runs of plain text may be printed as a block.
    virtual bool CharEventsWanted() const { return true; }
    virtual void FireChar(char Ch);
    virtual void FireGetEscapeCodes(std::unique_ptr<TEscapeCodes>& EscapeCodes);
    virtual void FireStrRecieved(QByteArray& Str);
    virtual void FireUnhandledCode(TEscapeCode Code, const QByteArray& Data);

private:
    void moveCaretBy(long long dx, long long dy);
    // Caret to a row and column as a sequence numbers them (from the region's top in origin
    // mode), clamped into the grid or the region.
    void moveCaretTo(long long Row, long long Column);
    void lineFeed();
    void reverseLineFeed();
    // Rows of the scroll region move up by Count (down when negative); a full-screen region
    // scrolling up hands its top rows to the history.
    void scrollRegion(int Top, int Bottom, int Count);
    void wrapNow();
    void printCell(char Ch, bool Control);
    void reflow(int Columns, int Rows);
    void resetRegion();
    bool dialectVT52() const;
    bool graphicsActive() const { return charsets_.graphics[charsets_.shift]; }
    bool parserIdle() const;
    int putPrintableRun(const char* Text, int Count);
    void gridChanged();
    // Printed as itself: DEL is a control, drawn only as a symbol with ShowControls.
    static bool runByte(unsigned char Byte) { return Byte >= 32 && Byte != 127; }
    // The selection goes when its rows on the screen are written or cleared.
    void screenRowsChanged(int FirstRow, int LastRow)
    {
        if (selection_.Active())
            selectionRowsChanged(FirstRow, LastRow);
    }
    // Out of line: printing checks the selection once per run, and mostly there is none.
    void selectionRowsChanged(int FirstRow, int LastRow);
    // How many of Text's first Count bytes are run bytes.
    int runLength(const char* Text, int Count) const;

    TTermHistory history_{kDefaultScrollback};
    TComTermBuffer buffer_;
    TTermSelection selection_;
    bool following_ = true;
    bool showControls_ = false;
    std::unique_ptr<TEscapeCodes> escapeCodes_;
    // Which parser escapeCodes_ holds: the built-in ones can tell when they are between
    // sequences, so plain text needs no byte-by-byte feeding then.
    enum class ParserKind { None, VT100, VT52, Other } parserKind_ = ParserKind::None;
    bool loading_ = true;

    int columns_ = 80;
    int rows_ = 24;
    TTermEmulation emulation_ = teVT100orANSI;
    bool localEcho_ = false;
    bool sendLF_ = false;
    bool appendLF_ = false;
    bool force7Bit_ = false;
    bool wrapLines_ = false;
    TArrowKeys arrowKeys_ = akTerminal;
    TColor altColor_ = kDefaultAltColor;
    TColor color_ = clBlack;
    TColor fontColor_ = clWhite;

    TTermPos caretPos_{1, 1};
    TTermPos topLeft_{1, 1};
    TTermPos savedCaret_{0, 0};
    TTermAttr termAttr_;
    TTermAttr savedAttr_;
    bool cursorKeysMode_ = false;

    // G0 and G1 (DEC line drawing or not) and which of them prints (SO/SI).
    struct Charsets {
        std::array<bool, 2> graphics{};
        int shift = 0;
    } charsets_, savedCharsets_;
    int scrollTop_ = 1;
    int scrollBottom_ = 24;
    bool originMode_ = false;
    bool savedOriginMode_ = false;
    bool newLineMode_ = false;
    bool insertMode_ = false;
    bool wrapPending_ = false;
    bool caretVisible_ = true;
};
