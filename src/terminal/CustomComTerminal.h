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
//
// Above the screen lies the scroll-back (ScrollbackLines rows): the vertical scroll bar, the
// wheel and Shift+PageUp/PageDown move over history and screen, and while the view is in the
// history arriving text does not move it. The mouse selects (drag, double click a word, triple
// click a row); the terminal's own actions (CopyAction, PasteAction, SelectAllAction,
// FindAction, ClearAction, SaveTextAction) work by their shortcuts while it has the focus and
// from its context menu. Ctrl+C without Shift is still typed (0x03). With FitToWindow the
// grid follows the control's size.

#include "terminal/logic/TermEngine.h"
#include "transport/ComLink.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QFont>
#include <QMetaObject>
#include <QRawFont>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class TTransport;
class TTermFindBar;
class QAction;
class QMenu;
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
    // The terminal's own texts (menu, find bar, messages) by key, translated; all of them.
    static QString Text(const char* Key);
    static QList<std::pair<QString, QString>> Texts();

    // --- the terminal's actions (children of the control, added to it)
    QAction* CopyAction() const { return copyAction_; }
    QAction* PasteAction() const { return pasteAction_; }
    QAction* SelectAllAction() const { return selectAllAction_; }
    QAction* FindAction() const { return findAction_; }
    QAction* ClearAction() const { return clearAction_; }
    QAction* SaveTextAction() const { return saveTextAction_; }
    // The context menu as it is shown (built on each request).
    QMenu* CreateContextMenu(QWidget* parent);

    // Copies the selection to the clipboard as Unicode; false when nothing is selected.
    bool CopySelection();
    // Pastes as typing: refused with a message when the code page cannot hold the text, asked
    // about first when it is longer than kPasteAskBytes. Returns whether anything was sent.
    bool Paste(const QString& Text);
    // Shows the find bar; FindNext searches from the current match (or the bottom).
    void OpenFind();
    TTermFindBar* FindBar() const { return findBar_; }
    bool FindNext(const QString& Text, bool Backwards);
    // The current match, if the find bar found one.
    std::optional<term_text::Match> CurrentMatch() const { return match_; }
    // Asks for a file and writes history and screen to it as UTF-8 in the background.
    void SaveText();
    // The file a save writes: the chosen name, with ".txt" added when it has no suffix.
    static QString TextFilePath(const QString& Chosen);
    // Writes Text to Path as UTF-8 on a worker thread; Done runs on the user-interface thread.
    static void WriteTextFile(
        const QString& Path, const QString& Text, std::function<void(bool, QString)> Done);
    // Shows the screen and follows it again.
    void ScrollToBottom();

    // Hooks for the questions the paste asks; message boxes when unset.
    std::function<bool(qsizetype Bytes)> ConfirmLongPaste;
    std::function<void(const QString& Message)> ShowPasteRefusal;

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
    // Columns and Rows follow the control's size (within their limits).
    bool FitToWindow() const { return fitToWindow_; }
    void SetFitToWindow(bool Value);
    void SetAutoSize(bool Value);
    bool TabStop() const { return focusPolicy() != Qt::NoFocus; }
    void SetTabStop(bool Value) { setFocusPolicy(Value ? Qt::StrongFocus : Qt::NoFocus); }
    TTransport* ComPort() const { return comPort_; }
    void SetComPort(TTransport* Value);
    // Received text comes from the host (ShowReceived) instead of the port's link; what is
    // typed still goes to the port.
    bool HostFed() const { return hostFed_; }
    void SetHostFed(bool Value);
    // A received chunk the host has shaped already (AppendLF, Force7Bit), shown as the link
    // would show it.
    void ShowReceived(const QByteArray& Str)
    {
        ShowText(Str);
        FlushPicture();
    }
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
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
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
    void SelectionChanged() override;
    void HistoryChanged() override;

private:
    void createActions();
    void applyScrollPolicies();
    void fitGrid();
    QSize fitArea() const;
    TTermTextPos textAt(const QPoint& pixel) const;
    void dragTo(const QPoint& pixel);
    void autoScroll();
    void placeFindBar();
    void updateMatches();
    void CreateTerminalCaret();
    void handleKey(QKeyEvent* e);
    void fontChanged();
    void applyFrame();
    void applyAutoSize();
    void markDirty(const QRect& pixels);
    QRect caretRect() const;
    void paintCells(QPainter& p, const QRect& clip);
    bool drawLineCell(QPainter& p, const QRect& box, const TTermCell& cell) const;

    TTransport* comPort_ = nullptr;
    QMetaObject::Connection portDestroying_;
    ::TComLink comLink_;
    bool hostFed_ = false;

    TTermCaret caret_ = tcBlock;
    TScrollStyle scrollBars_ = ssBoth;
    TBorderStyle borderStyle_ = bsSingle;
    bool ctl3D_ = true;
    bool smoothScroll_ = false;
    // Tab belongs to the device's shell (completion); Ctrl+Tab moves the focus on.
    bool wantTab_ = true;
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
    TTermPos followedCaret_{1, 1};
    QSize fittedArea_; // fitArea() when the grid was last fitted
    bool panSideways_ = false; // the grid is wider than the view (checked on every caret move)

    QRect dirty_;
    bool flushQueued_ = false;
    QElapsedTimer sincePaint_;
    QTimer* frameTimer_ = nullptr;
    bool adjusting_ = false;
    bool inFontChange_ = false;
    bool scrollBarsStale_ = false;
    bool fitToWindow_ = false;

    QAction* copyAction_ = nullptr;
    QAction* pasteAction_ = nullptr;
    QAction* selectAllAction_ = nullptr;
    QAction* findAction_ = nullptr;
    QAction* clearAction_ = nullptr;
    QAction* saveTextAction_ = nullptr;
    TTermFindBar* findBar_ = nullptr;
    QString findText_; // highlighted while the find bar is open
    std::optional<term_text::Match> match_;

    // Mouse selection: a drag in progress, the last double click (a press soon after it at the
    // same place selects the row), and the timer that scrolls while dragging past an edge.
    bool dragging_ = false;
    bool dragMoved_ = false;
    QPoint pressPixel_;
    QPoint dragPixel_;
    QPoint doubleClickPixel_;
    QElapsedTimer sinceDoubleClick_;
    QTimer* autoScrollTimer_ = nullptr;
};
