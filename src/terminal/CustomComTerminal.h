#pragma once
// TCustomComTerminal: the character-cell terminal control bound to a serial port.
//
// The logic (printing, caret, escape codes, keys to bytes) is TTermEngine; this class adds
// the window: it paints the grid, places the caret, pans over a grid larger than the window
// with its scroll bars, turns key presses into SendChar/CursorKey calls, and binds the engine
// to a TCustomComPort through its own TComLink.
//
//     TComTerminal term(parent);
//     term.setObjectName("Memo1");
//     term.SetComPort(&port);                 // attaches the link; Destroying detaches it
//     term.OnStrRecieved = [](QObject*, QByteArray& s) { /* each received block */ };
//     term.ShowText("echo\r\n");              // as if received, without OnStrRecieved
//
// Text is Windows-1251 bytes in the grid and on the wire; it is drawn as Unicode and typed
// text goes back to Windows-1251 (characters the code page lacks are not sent). Changes are
// collected and painted once per pass of the event loop, so a burst costs one repaint.

#include "serial/ComLink.h"
#include "terminal/logic/TermEngine.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QFont>
#include <QMetaObject>
#include <QRawFont>
#include <array>
#include <functional>
#include <memory>

class TCustomComPort;
class QTimer;

class TCustomComTerminal : public QAbstractScrollArea, public TTermEngine {
    Q_OBJECT

public:
    using TChScreenEvent = std::function<void(QObject* Sender, char Ch)>;
    using TEscapeEvent = std::function<void(QObject* Sender, std::unique_ptr<TEscapeCodes>& EscapeCodes)>;
    using TStrRecvEvent = std::function<void(QObject* Sender, QByteArray& Str)>;
    using TUnhandledEvent = std::function<void(QObject* Sender, TEscapeCode Code, const QByteArray& Data)>;
    // Ordinary key events, run before the terminal acts; clearing Key to 0 in OnKeyDown
    // suppresses a cursor key. Key is a Qt::Key code; the OnKeyPress character is a byte.
    using TKeyEvent = std::function<void(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift)>;
    using TKeyPressEvent = std::function<void(QObject* Sender, char& Key)>;

    // Scroll-bar requests of ApplyScrollBar.
    enum TScrollCode {
        scLineUp,
        scLineDown,
        scPageUp,
        scPageDown,
        scThumbPosition,
        scThumbTrack,
        scTop,
        scBottom,
        scEndScroll
    };

    explicit TCustomComTerminal(QWidget* parent = nullptr);
    ~TCustomComTerminal() override;

    // The shared default terminal font: "Fixedsys", size 9, when that is a real fixed-pitch font
    // here, otherwise the first installed fixed-pitch font with Cyrillic glyphs, same size.
    static QFont DefaultTerminalFont();

    void RunSettingsDialog();

    // --- properties (the engine's are inherited)
    TTermCaret Caret() const { return caret_; }
    void SetCaret(TTermCaret Value);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle Value);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle Value);
    bool Ctl3D() const { return ctl3D_; }
    void SetCtl3D(bool Value);
    bool SmoothScroll() const { return smoothScroll_; }
    void SetSmoothScroll(bool Value);
    bool WantTab() const { return wantTab_; }
    void SetWantTab(bool Value) { wantTab_ = Value; }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool Value);
    bool TabStop() const { return focusPolicy() != Qt::NoFocus; }
    void SetTabStop(bool Value) { setFocusPolicy(Value ? Qt::StrongFocus : Qt::NoFocus); }
    TCustomComPort* ComPort() const { return comPort_; }
    void SetComPort(TCustomComPort* Value);
    bool Connected() const;
    void SetConnected(bool Value);
    void SetColor(TColor Value) override;
    void SetFontColor(TColor Value) override;
    TComLink& ComLink() { return comLink_; }

    // --- display state and maths
    int FontWidth() const { return fontWidth_; }
    int FontHeight() const { return fontHeight_; }
    int CaretHeight() const { return caretHeight_; }
    bool CaretCreated() const { return caretCreated_; }
    // Measures the font into FontWidth/FontHeight; true when it is fixed-pitch.
    bool MeasureFont();
    void AdjustScrollBars();
    void UpdateScrollPos();
    void ApplyScrollBar(Qt::Orientation Bar, TScrollCode Code, int Pos);
    // Pixel rectangle of a rectangle of buffer cells (inclusive), as InvalidateCells uses it.
    QRect CellsToPixels(const QRect& Cells) const;
    // Top-left pixel of the caret: at the bottom of the caret's cell.
    QPoint CaretPixelPos() const;
    // The size AutoSize asks for.
    QSize AutoSizeExtent() const;
    // Hands what changed to the window system for painting; called on the next pass of the
    // event loop after a change, and at once after each received block. Repaints are paced
    // to one per kFrameMs: faster traffic collects into the next frame.
    void FlushPicture();
    static constexpr int kFrameMs = 15;

    // --- events
    TChScreenEvent OnChar;
    TEscapeEvent OnGetEscapeCodes;
    TStrRecvEvent OnStrRecieved;
    TUnhandledEvent OnUnhandledCode;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;

    QSize sizeHint() const override;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;

    // TTermBufferOwner
    int TermFontWidth() const override { return fontWidth_; }
    int TermFontHeight() const override { return fontHeight_; }
    int TermClientWidth() const override;
    int TermClientHeight() const override;
    bool TermDoubleBuffered() const override { return false; }
    void InvalidateAll() override;
    void InvalidateCells(const QRect& cells) override;
    void ScrollPixels(const QRect& pixelRect, int dy) override;

    // TTermEngine
    bool PortConnected() const override;
    void PortWriteText(const QByteArray& Str) override;
    void DrawCell(int Column, int Row, const TTermCell& Cell) override;
    void DrawCellRun(int Column, int Row, int Count) override;
    bool CharEventsWanted() const override { return bool(OnChar); }
    void CaretMoved() override;
    void GridSizeChanged() override;
    void FireChar(char Ch) override;
    void FireGetEscapeCodes(std::unique_ptr<TEscapeCodes>& EscapeCodes) override;
    void FireStrRecieved(QByteArray& Str) override;
    void FireUnhandledCode(TEscapeCode Code, const QByteArray& Data) override;

private:
    void CreateTerminalCaret();
    void handleKey(QKeyEvent* e);
    void fontChanged();
    void applyFrame();
    void applyAutoSize();
    void markDirty(const QRect& pixels);
    QRect caretRect() const;
    void paintCells(QPainter& p, const QRect& clip);

    TCustomComPort* comPort_ = nullptr;
    QMetaObject::Connection portDestroying_;
    ::TComLink comLink_;

    TTermCaret caret_ = tcBlock;
    TScrollStyle scrollBars_ = ssBoth;
    TBorderStyle borderStyle_ = bsSingle;
    bool ctl3D_ = true;
    bool smoothScroll_ = false;
    bool wantTab_ = false;
    bool autoSize_ = false;

    int fontWidth_ = 8;
    int fontHeight_ = 16;
    int fontAscent_ = 12;
    int underlineTop_ = 13; // from the cell's top
    int underlineWidth_ = 1;
    // Glyph of each byte in the font itself; bytes whose glyph is there at the cell width are
    // drawn in runs without shaping, the others one by one through font fallback.
    QRawFont rawFont_;
    std::array<quint32, 256> glyphs_{};
    std::array<bool, 256> runnable_{};
    int caretHeight_ = 0;
    bool caretCreated_ = false;
    QRect shownCaret_;

    QRect dirty_;
    bool flushQueued_ = false;
    QElapsedTimer sincePaint_;
    QTimer* frameTimer_ = nullptr;
    bool adjusting_ = false;
    bool inFontChange_ = false;
};
