#include "terminal/CustomComTerminal.h"

#include "common/BackgroundWrite.h"
#include "common/Color.h"
#include "common/Cp1251.h"
#include "common/ErrorReport.h"
#include "common/FileNames.h"
#include "common/Intl.h"
#include "terminal/TermFindBar.h"
#include "transport/Transport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

#if __has_include("terminal/ComTrmSetForm.h")
#include "terminal/ComTrmSetForm.h"
#define ORVIK_HAVE_COMTRMSETFORM 1
#endif

namespace {

constexpr char16_t kCyrillicProbe = 0x0416; // Ж

bool usableTerminalFont(const QFont& font)
{
    return QFontInfo(font).fixedPitch() && QFontMetrics(font).inFont(QChar(kCyrillicProbe));
}

QFont resolveDefaultFont()
{
    QFont font(QStringLiteral("Fixedsys"), 9);
    font.setStyleHint(QFont::TypeWriter);
    const QStringList families = QFontDatabase::families();
    if (families.contains(font.family()) && usableTerminalFont(font))
        return font;
    for (const char* name : {"DejaVu Sans Mono", "Noto Sans Mono", "Liberation Mono", "FreeMono"}) {
        font.setFamily(QString::fromLatin1(name));
        if (families.contains(font.family()) && usableTerminalFont(font))
            return font;
    }
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(9);
    return fixed;
}

// Marks a text for the catalogue; it is translated where it is shown.
constexpr const char* N_(const char* text)
{
    return text;
}

// The terminal's own texts (menu, find bar, messages), in one place.
struct TermText {
    const char* key;
    const char* text;
};
constexpr TermText kTexts[] = {
    {"CopyAction", N_("Copy")},
    {"PasteAction", N_("Paste")},
    {"SelectAllAction", N_("Select all")},
    {"FindAction", N_("Find")},
    {"ClearAction", N_("Clear")},
    {"SaveTextAction", N_("Save as\u2026")},
    {"FindPrevious", N_("Previous")},
    {"FindNext", N_("Next")},
    {"FindClose", N_("Close")},
    {"NotFound", N_("Not found")},
    {"PasteRefused",
        N_("The text cannot be sent: the character \"%1\" is not in the Windows-1251 code page.")},
    {"PasteAsk", N_("Send %1 characters to the port?")},
    {"SaveFilter", N_("Text files (*.txt);;All files (*)")},
    {"SaveFailed", N_("Unable to write to %1")},
};

} // namespace

QString TCustomComTerminal::Text(const char* Key)
{
    for (const TermText& t : kTexts) {
        if (qstrcmp(t.key, Key) == 0)
            return intl::sp(t.text);
    }
    return QString::fromLatin1(Key);
}

QList<std::pair<QString, QString>> TCustomComTerminal::Texts()
{
    QList<std::pair<QString, QString>> all;
    for (const TermText& t : kTexts)
        all.append({QString::fromLatin1(t.key), intl::sp(t.text)});
    return all;
}

QFont TCustomComTerminal::DefaultTerminalFont()
{
    static const QFont font = resolveDefaultFont();
    return font;
}

TCustomComTerminal::TCustomComTerminal(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    viewport()->setCursor(Qt::IBeamCursor);
    horizontalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setTracking(smoothScroll_);
    verticalScrollBar()->setTracking(smoothScroll_);
    frameTimer_ = new QTimer(this);
    frameTimer_->setSingleShot(true);
    connect(frameTimer_, &QTimer::timeout, this, &TCustomComTerminal::FlushPicture);
    autoScrollTimer_ = new QTimer(this);
    autoScrollTimer_->setInterval(50);
    connect(autoScrollTimer_, &QTimer::timeout, this, &TCustomComTerminal::autoScroll);
    createActions();
    findBar_ = new TTermFindBar(this);
    connect(findBar_, &TTermFindBar::TextEdited, this, [this](const QString& text) {
        match_.reset();
        FindNext(text, true); // the newest occurrence first
    });
    connect(findBar_, &TTermFindBar::FindRequested, this,
        [this](bool backwards) { FindNext(findBar_->Text(), backwards); });
    connect(findBar_, &TTermFindBar::Closed, this, [this] {
        findText_.clear();
        match_.reset();
        InvalidateAll();
        setFocus(Qt::OtherFocusReason);
    });
    comLink_.RxBufHandler = [this](QObject*, const char* Buffer, int Count) {
        Receive(Buffer, Count);
        FlushPicture();
    };
    applyFrame();
    SetScrollBars(ssBoth);
    QFont font = DefaultTerminalFont();
    setFont(font);
    fontChanged();
    SetColor(clBlack);
    SetFontColor(clWhite);
    resize(400, 250);
    // No stored form is loaded in this program: the end-of-loading step runs here.
    Loaded();
}

TCustomComTerminal::~TCustomComTerminal()
{
    SetComPort(nullptr);
}

void TCustomComTerminal::RunSettingsDialog()
{
#ifdef ORVIK_HAVE_COMTRMSETFORM
    TComTrmSetForm::Execute(*this, window());
#endif
}

// --- port ----------------------------------------------------------------------------------

void TCustomComTerminal::SetComPort(TTransport* Value)
{
    if (Value == comPort_)
        return;
    if (comPort_) {
        QObject::disconnect(portDestroying_);
        TTransport* old = comPort_;
        comPort_ = nullptr;
        old->DetachLink(&comLink_);
    }
    if (Value) {
        Value->AttachLink(&comLink_);
        comPort_ = Value;
        portDestroying_ = connect(Value, &TTransport::Destroying, this, [this](TTransport* port) {
            if (port == comPort_)
                SetComPort(nullptr);
        });
    }
}

void TCustomComTerminal::SetHostFed(bool Value)
{
    if (Value == hostFed_)
        return;
    // Attached again, so that the port knows whether it still has a data link.
    TTransport* port = comPort_;
    SetComPort(nullptr);
    hostFed_ = Value;
    if (Value)
        comLink_.RxBufHandler = nullptr;
    else
        comLink_.RxBufHandler = [this](QObject*, const char* Buffer, int Count) {
            Receive(Buffer, Count);
            FlushPicture();
        };
    SetComPort(port);
}

bool TCustomComTerminal::Connected() const
{
    return comPort_ && comPort_->Connected();
}

void TCustomComTerminal::SetConnected(bool Value)
{
    if (!comPort_ || Value == comPort_->Connected())
        return;
    if (Value)
        comPort_->OpenPort();
    else
        comPort_->ClosePort();
}

bool TCustomComTerminal::PortConnected() const
{
    return Connected();
}

void TCustomComTerminal::PortWriteText(const QByteArray& Str)
{
    comPort_->WriteText(Str);
}

// --- events --------------------------------------------------------------------------------

void TCustomComTerminal::FireChar(char Ch)
{
    if (OnChar)
        OnChar(this, Ch);
}

void TCustomComTerminal::FireGetEscapeCodes(std::unique_ptr<TEscapeCodes>& EscapeCodes)
{
    if (OnGetEscapeCodes)
        OnGetEscapeCodes(this, EscapeCodes);
}

void TCustomComTerminal::FireStrRecieved(QByteArray& Str)
{
    if (OnStrRecieved)
        OnStrRecieved(this, Str);
}

void TCustomComTerminal::FireUnhandledCode(TEscapeCode Code, const QByteArray& Data)
{
    if (OnUnhandledCode)
        OnUnhandledCode(this, Code, Data);
}

// --- properties ----------------------------------------------------------------------------

void TCustomComTerminal::SetColor(TColor Value)
{
    TTermEngine::SetColor(Value);
    InvalidateAll(); // empty cells and the area beyond the grid show the new colour
}

void TCustomComTerminal::SetFontColor(TColor Value)
{
    TTermEngine::SetFontColor(Value);
}

void TCustomComTerminal::SetCaret(TTermCaret Value)
{
    if (Value == caret_)
        return;
    caret_ = Value;
    if (hasFocus()) {
        caretCreated_ = false;
        markDirty(shownCaret_);
        CreateTerminalCaret();
        MoveCaret(CaretPos());
    }
}

void TCustomComTerminal::SetScrollBars(TScrollStyle Value)
{
    scrollBars_ = Value;
    const bool h = Value == ssHorizontal || Value == ssBoth;
    const bool v = Value == ssVertical || Value == ssBoth;
    applyScrollPolicies();
    if (!h)
        horizontalScrollBar()->setRange(0, 0);
    if (!v)
        verticalScrollBar()->setRange(0, 0);
    AdjustScrollBars();
    InvalidateAll();
}

void TCustomComTerminal::applyScrollPolicies()
{
    const bool h = scrollBars_ == ssHorizontal || scrollBars_ == ssBoth;
    const bool v = scrollBars_ == ssVertical || scrollBars_ == ssBoth;
    // A fitted grid keeps the vertical bar so that its appearing with the first history row
    // does not change the width the grid fits; it needs the horizontal one only when a
    // program asks for more columns (132) than the box holds.
    setHorizontalScrollBarPolicy(
        h && (!fitToWindow_ || panSideways_) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(!v ? Qt::ScrollBarAlwaysOff
            : fitToWindow_        ? Qt::ScrollBarAlwaysOn
                                  : Qt::ScrollBarAsNeeded);
}

void TCustomComTerminal::SetFitToWindow(bool Value)
{
    if (Value == fitToWindow_)
        return;
    fitToWindow_ = Value;
    applyScrollPolicies();
    fitGrid();
    AdjustScrollBars();
}

// The view's size as if the horizontal bar were hidden: it shows only over a grid a program
// made wider than the view.
QSize TCustomComTerminal::fitArea() const
{
    const QScrollBar* bar = horizontalScrollBar();
    return {viewport()->width(), viewport()->height() + (bar->isVisible() ? bar->height() : 0)};
}

void TCustomComTerminal::fitGrid()
{
    // A hidden control has no size of its own yet (its box is laid out when it is shown).
    if (!fitToWindow_ || !isVisible() || fontWidth_ <= 0 || fontHeight_ <= 0)
        return;
    fittedArea_ = fitArea();
    FitGrid(fittedArea_.width() / fontWidth_, fittedArea_.height() / fontHeight_);
}

void TCustomComTerminal::SetBorderStyle(TBorderStyle Value)
{
    if (Value == borderStyle_)
        return;
    borderStyle_ = Value;
    applyFrame();
}

void TCustomComTerminal::SetCtl3D(bool Value)
{
    if (Value == ctl3D_)
        return;
    ctl3D_ = Value;
    applyFrame();
}

void TCustomComTerminal::applyFrame()
{
    if (borderStyle_ == bsNone) {
        setFrameStyle(QFrame::NoFrame);
    } else if (ctl3D_) {
        setFrameStyle(QFrame::Panel | QFrame::Sunken); // the sunken client edge
        setLineWidth(2);
    } else {
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(1);
    }
    applyAutoSize();
    AdjustScrollBars();
}

void TCustomComTerminal::SetSmoothScroll(bool Value)
{
    smoothScroll_ = Value;
    horizontalScrollBar()->setTracking(Value);
    verticalScrollBar()->setTracking(Value);
}

void TCustomComTerminal::SetAutoSize(bool Value)
{
    autoSize_ = Value;
    applyAutoSize();
}

QSize TCustomComTerminal::AutoSizeExtent() const
{
    const int border = borderStyle_ == bsSingle ? frameWidth() : 0;
    return {Columns() * fontWidth_ + 2 * border, Rows() * fontHeight_ + 2 * border};
}

void TCustomComTerminal::applyAutoSize()
{
    if (autoSize_) {
        updateGeometry();
        resize(AutoSizeExtent());
    }
}

QSize TCustomComTerminal::sizeHint() const
{
    return autoSize_ ? AutoSizeExtent() : QSize(400, 250);
}

void TCustomComTerminal::GridSizeChanged()
{
    applyAutoSize();
    AdjustScrollBars();
}

// --- font ----------------------------------------------------------------------------------

bool TCustomComTerminal::MeasureFont()
{
    const QFontMetrics fm(font());
    fontHeight_ = std::max(1, fm.height());
    fontWidth_ = std::max(1, fm.horizontalAdvance(QLatin1Char('M')));
    fontAscent_ = fm.ascent();
    underlineWidth_ = std::max(1, fm.lineWidth());
    underlineTop_
        = std::clamp(fontAscent_ + fm.underlinePos(), 0, std::max(0, fontHeight_ - underlineWidth_));
    QFont plain = font();
    plain.setUnderline(false);
    rawFont_ = QRawFont::fromFont(plain);
    for (int b = 0; b < 256; ++b) {
        const QChar ch(cp1251::toUnicode(static_cast<unsigned char>(b)));
        quint32 glyph = 0;
        int found = 1;
        const bool have = rawFont_.isValid() && b >= 32 && ch.isPrint()
            && rawFont_.glyphIndexesForChars(&ch, 1, &glyph, &found) && found == 1 && glyph != 0;
        glyphs_[std::size_t(b)] = glyph;
        runnable_[std::size_t(b)] = have
            && qRound(rawFont_.advancesForGlyphIndexes(QList<quint32>{glyph}).value(0).x()) == fontWidth_;
    }
    return QFontInfo(font()).fixedPitch();
}

void TCustomComTerminal::fontChanged()
{
    if (inFontChange_)
        return;
    struct Guard {
        bool& flag;
        ~Guard() { flag = false; }
    } guard{inFontChange_ = true};
    TTermEngine::SetFontColor(FontColor());
    QFont f = font();
    bool changed = false;
    if (!MeasureFont()) {
        f.setFamily(DefaultTerminalFont().family());
        changed = true;
    }
    if (f.underline()) { // underline comes only from cell attributes
        f.setUnderline(false);
        changed = true;
    }
    if (changed) {
        setFont(f);
        MeasureFont();
    }
    if (caretCreated_) {
        CreateTerminalCaret();
        MoveCaret(CaretPos());
    }
    applyAutoSize();
    fitGrid();
    AdjustScrollBars();
    InvalidateAll();
}

void TCustomComTerminal::changeEvent(QEvent* e)
{
    QAbstractScrollArea::changeEvent(e);
    if (e->type() == QEvent::FontChange)
        fontChanged();
}

// --- caret ---------------------------------------------------------------------------------

void TCustomComTerminal::CreateTerminalCaret()
{
    switch (caret_) {
    case tcBlock:
        caretHeight_ = fontHeight_;
        break;
    case tcUnderline:
        caretHeight_ = fontHeight_ / 8;
        break;
    case tcNone:
        caretHeight_ = 0;
        break;
    }
    caretCreated_ = caretHeight_ > 0;
}

QPoint TCustomComTerminal::CaretPixelPos() const
{
    const TTermPos caret = CaretPos();
    const TTermPos topLeft = TopLeft();
    return {(caret.X - topLeft.X) * fontWidth_, (caret.Y - topLeft.Y + 1) * fontHeight_ - caretHeight_};
}

QRect TCustomComTerminal::caretRect() const
{
    if (!caretCreated_ || !CaretVisible())
        return {};
    return QRect(CaretPixelPos(), QSize(fontWidth_, caretHeight_));
}

void TCustomComTerminal::CaretMoved()
{
    // A grid wider than the view: the view follows the caret sideways when the caret moves
    // (not when the view is panned away from it).
    if (panSideways_ && CaretPos() != followedCaret_) {
        followedCaret_ = CaretPos();
        QScrollBar* bar = horizontalScrollBar();
        const int x = CaretPos().X;
        const int shown = std::max(1, viewport()->width() / fontWidth_);
        if (x < TopLeft().X)
            bar->setValue(x - 1);
        else if (x >= TopLeft().X + shown)
            bar->setValue(x - shown);
    }
    if (!caretCreated_)
        return;
    const QRect now = caretRect();
    if (now == shownCaret_)
        return;
    markDirty(shownCaret_);
    markDirty(now);
    shownCaret_ = now;
}

void TCustomComTerminal::focusInEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusInEvent(e);
    CreateTerminalCaret();
    shownCaret_ = {};
    MoveCaret(CaretPos());
}

void TCustomComTerminal::focusOutEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusOutEvent(e);
    caretCreated_ = false;
    markDirty(shownCaret_);
    shownCaret_ = {};
}

// --- picture -------------------------------------------------------------------------------

void TCustomComTerminal::markDirty(const QRect& pixels)
{
    // During a burst nearly every mark falls inside what is already waiting (a scroll marks the
    // whole grid): nothing to add then, and the flush is already queued.
    if (flushQueued_ && pixels.left() >= dirty_.left() && pixels.right() <= dirty_.right()
        && pixels.top() >= dirty_.top() && pixels.bottom() <= dirty_.bottom())
        return;
    const QRect r = pixels & viewport()->rect();
    if (r.isEmpty())
        return;
    dirty_ |= r;
    if (!flushQueued_) {
        flushQueued_ = true;
        QMetaObject::invokeMethod(this, &TCustomComTerminal::FlushPicture, Qt::QueuedConnection);
    }
}

void TCustomComTerminal::FlushPicture()
{
    flushQueued_ = false;
    if (dirty_.isEmpty() && !scrollBarsStale_)
        return;
    const qint64 since = sincePaint_.isValid() ? sincePaint_.elapsed() : kFrameMs;
    if (since < kFrameMs) {
        if (!frameTimer_->isActive())
            frameTimer_->start(int(kFrameMs - since));
        return;
    }
    frameTimer_->stop();
    // The scroll bar follows the history once a frame, like the picture: each change of it
    // repaints the bar.
    if (scrollBarsStale_)
        AdjustScrollBars();
    if (!dirty_.isEmpty())
        viewport()->update(dirty_);
    dirty_ = {};
}

int TCustomComTerminal::TermClientWidth() const
{
    return viewport()->width();
}

int TCustomComTerminal::TermClientHeight() const
{
    return viewport()->height();
}

void TCustomComTerminal::InvalidateAll()
{
    markDirty(viewport()->rect());
}

QRect TCustomComTerminal::CellsToPixels(const QRect& Cells) const
{
    const TTermPos topLeft = TopLeft();
    const int left = std::max(0, (Cells.left() - topLeft.X) * fontWidth_);
    const int top = std::max(0, (Cells.top() - topLeft.Y) * fontHeight_);
    const int right = std::max(0, (Cells.right() - topLeft.X + 1) * fontWidth_);
    const int bottom = std::max(0, (Cells.bottom() - topLeft.Y + 1) * fontHeight_);
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

void TCustomComTerminal::InvalidateCells(const QRect& cells)
{
    markDirty(CellsToPixels(cells));
}

// The whole shifted area is repainted from the grid on the next pass instead of moving
// pixels: many scrolls in one burst then cost a single repaint.
void TCustomComTerminal::ScrollPixels(const QRect& pixelRect, int)
{
    markDirty(pixelRect);
}

void TCustomComTerminal::DrawCell(int Column, int Row, const TTermCell&)
{
    markDirty(QRect((Column - 1) * fontWidth_, (Row - 1) * fontHeight_, fontWidth_, fontHeight_));
}

void TCustomComTerminal::DrawCellRun(int Column, int Row, int Count)
{
    markDirty(QRect((Column - 1) * fontWidth_, (Row - 1) * fontHeight_, Count * fontWidth_, fontHeight_));
}

void TCustomComTerminal::paintEvent(QPaintEvent* e)
{
    QPainter p(viewport());
    const QRect clip = e->rect();
    p.fillRect(clip, color::toQColor(Color()));
    paintCells(p, clip);
    if (caretCreated_ && hasFocus()) {
        const QRect caret = caretRect();
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.fillRect(caret, Qt::white);
        shownCaret_ = caret;
    }
    sincePaint_.start();
}

namespace {

// The DEC line-drawing corners, tees and lines as the sides their strokes reach.
enum Side : unsigned { kLeft = 1, kRight = 2, kUp = 4, kDown = 8 };

unsigned lineSides(unsigned char ch)
{
    switch (ch) {
    case 0x6A:
        return kLeft | kUp;
    case 0x6B:
        return kLeft | kDown;
    case 0x6C:
        return kRight | kDown;
    case 0x6D:
        return kRight | kUp;
    case 0x6E:
        return kLeft | kRight | kUp | kDown;
    case 0x71:
        return kLeft | kRight;
    case 0x74:
        return kUp | kDown | kRight;
    case 0x75:
        return kUp | kDown | kLeft;
    case 0x76:
        return kLeft | kRight | kUp;
    case 0x77:
        return kLeft | kRight | kDown;
    case 0x78:
        return kUp | kDown;
    default:
        return 0;
    }
}

} // namespace

bool TCustomComTerminal::drawLineCell(QPainter& p, const QRect& box, const TTermCell& cell) const
{
    const unsigned sides = lineSides(static_cast<unsigned char>(cell.Ch));
    if (sides == 0)
        return false;
    const int w = std::max(1, fontWidth_ / 8);
    const int cx = box.left() + (box.width() - w) / 2;
    const int cy = box.top() + (box.height() - w) / 2;
    const QColor color = color::toQColor(cell.ForeColor);
    if (sides & kLeft)
        p.fillRect(QRect(QPoint(box.left(), cy), QPoint(cx + w - 1, cy + w - 1)), color);
    if (sides & kRight)
        p.fillRect(QRect(QPoint(cx, cy), QPoint(box.right(), cy + w - 1)), color);
    if (sides & kUp)
        p.fillRect(QRect(QPoint(cx, box.top()), QPoint(cx + w - 1, cy + w - 1)), color);
    if (sides & kDown)
        p.fillRect(QRect(QPoint(cx, cy), QPoint(cx + w - 1, box.bottom())), color);
    return true;
}

void TCustomComTerminal::paintCells(QPainter& p, const QRect& clip)
{
    if (!Buffer().Initialized())
        return;
    const TTermPos topLeft = TopLeft();
    const int firstCol = clip.left() / fontWidth_ + 1;
    const int firstRow = clip.top() / fontHeight_ + 1;
    const int lastCol = std::min(clip.right() / fontWidth_ + 1, Columns() - topLeft.X + 1);
    const int lastRow = std::min(clip.bottom() / fontHeight_ + 1, Rows() - topLeft.Y + 1);
    if (lastCol < firstCol)
        return;

    QFont plain = font();
    plain.setUnderline(false);
    p.setFont(plain);
    // Underlines are drawn as lines under their own cells: a glyph run's underline starts at
    // the run's origin, which is the left edge of the view here.
    const auto underline = [&](int firstCol, int count, int y, TColor color) {
        p.fillRect(QRect((firstCol - 1) * fontWidth_, y + underlineTop_, count * fontWidth_, underlineWidth_),
            color::toQColor(color));
    };

    // The painted part of one line, with the selection and the find matches laid over it.
    std::vector<TTermCell> historyRow;
    std::vector<TTermCell> look(std::size_t(lastCol - firstCol + 1));
    const auto cellAt = [&](int col) -> const TTermCell& { return look[std::size_t(col - firstCol)]; };
    constexpr TColor kMatchBack = 0x00FFFF; // yellow
    constexpr TColor kCurrentMatchBack = 0x0080FF; // orange

    QList<quint32> glyphs;
    QList<QPointF> positions;
    QGlyphRun glyphRun;
    glyphRun.setRawFont(rawFont_);
    for (int row = firstRow; row <= lastRow; ++row) {
        const std::int64_t line = ScreenLine() + topLeft.Y - 1 + row - 1;
        if (line < FirstLine())
            continue;
        const TTermCell* cells = nullptr;
        int count = 0;
        if (line >= ScreenLine()) {
            cells = Buffer().RowCells(int(line - ScreenLine()) + 1);
            count = Buffer().Columns();
        } else {
            History().Row(line, historyRow);
            cells = historyRow.data();
            count = int(historyRow.size());
        }
        if (!cells && count > 0)
            continue;
        for (int col = firstCol; col <= lastCol; ++col) {
            const int x = col + topLeft.X - 1;
            look[std::size_t(col - firstCol)] = x >= 1 && x <= count ? cells[x - 1] : TTermCell{};
        }
        const auto over = [&](int from, int to, auto&& change) {
            for (int x = std::max(from, firstCol + topLeft.X - 1); x <= std::min(to, lastCol + topLeft.X - 1);
                 ++x) {
                TTermCell& c = look[std::size_t(x - topLeft.X + 1 - firstCol)];
                if (c.Ch == '\0' && !c.Control)
                    c = TTermCell{' ', FontColor(), Color(), false, false};
                change(c);
            }
        };
        if (!findText_.isEmpty()) {
            // Matches starting on this line, and those that wrapped on to it from the lines above.
            std::int64_t from = line;
            while (from > FirstLine() && from > line - findText_.size() && LineWrapped(from - 1))
                --from;
            for (std::int64_t start = from; start <= line; ++start) {
                const int shift = int(line - start) * LineColumns();
                for (const term_text::Match& m : term_text::FindInLine(*this, start, findText_)) {
                    const bool current = match_ && match_->Start == m.Start;
                    over(m.Start.Column - shift, m.Start.Column + m.Length - 1 - shift, [&](TTermCell& c) {
                        c.ForeColor = clBlack;
                        c.BackColor = current ? kCurrentMatchBack : kMatchBack;
                    });
                }
            }
        }
        if (const auto selected = Selection().ColumnsOn(line, Columns()))
            over(
                selected->first, selected->second, [](TTermCell& c) { std::swap(c.ForeColor, c.BackColor); });

        const int y = (row - 1) * fontHeight_;
        int col = firstCol;
        while (col <= lastCol) {
            const TTermCell cell = cellAt(col);
            if (cell.Ch == '\0' && !cell.Control) {
                ++col;
                continue;
            }
            const int start = col;
            const auto byte = static_cast<unsigned char>(cell.Ch);
            ++col;
            p.setPen(color::toQColor(cell.ForeColor));
            if (cell.Control || !runnable_[byte]) {
                // Missing from the font, of another width, or a control byte's symbol: drawn
                // alone through font fallback so the grid stays exact.
                const QRect box((start - 1) * fontWidth_, y, fontWidth_, fontHeight_);
                p.fillRect(box, color::toQColor(cell.BackColor));
                if (cell.Control && drawLineCell(p, box, cell)) {
                    // a line-drawing character, drawn as lines that meet their neighbours'
                } else if (cell.Control) {
                    p.save();
                    p.setClipRect(box);
                    p.drawText(box, Qt::AlignCenter, QString(term_text::cellChar(cell)));
                    p.restore();
                } else {
                    p.drawText(box.left(), y + fontAscent_, QString(QChar(cp1251::toUnicode(byte))));
                }
                if (cell.Underline)
                    underline(start, 1, y, cell.ForeColor);
                continue;
            }
            // A run of cells with the same look is one glyph run placed cell by cell.
            glyphs.clear();
            positions.clear();
            glyphs.append(glyphs_[byte]);
            positions.append(QPointF((start - 1) * fontWidth_, y + fontAscent_));
            while (col <= lastCol) {
                const TTermCell& next = cellAt(col);
                const auto nb = static_cast<unsigned char>(next.Ch);
                if (next.Ch == '\0' || next.Control || !runnable_[nb] || next.ForeColor != cell.ForeColor
                    || next.BackColor != cell.BackColor || next.Underline != cell.Underline)
                    break;
                glyphs.append(glyphs_[nb]);
                positions.append(QPointF((col - 1) * fontWidth_, y + fontAscent_));
                ++col;
            }
            p.fillRect(QRect((start - 1) * fontWidth_, y, (col - start) * fontWidth_, fontHeight_),
                color::toQColor(cell.BackColor));
            glyphRun.setGlyphIndexes(glyphs);
            glyphRun.setPositions(positions);
            p.drawGlyphRun(QPointF(0, 0), glyphRun);
            if (cell.Underline)
                underline(start, col - start, y, cell.ForeColor);
        }
    }
}

// --- scroll bars ---------------------------------------------------------------------------

void TCustomComTerminal::AdjustScrollBars()
{
    if (scrollBars_ == ssNone || adjusting_)
        return;
    struct Guard {
        bool& flag;
        ~Guard() { flag = false; }
    } guard{adjusting_ = true};

    const bool hOn = scrollBars_ == ssHorizontal || scrollBars_ == ssBoth;
    const bool vOn = scrollBars_ == ssVertical || scrollBars_ == ssBoth;
    // The area without bars; a bar takes room from the other direction when it shows.
    const QRect area = contentsRect();
    const int barHeight = horizontalScrollBar()->sizeHint().height();
    const int barWidth = verticalScrollBar()->sizeHint().width();
    const int fullW = area.width();
    const int fullH = area.height();
    bool needH = hOn && fullW / fontWidth_ < Columns();
    // The history and a fitted grid keep the vertical bar (fitting shows it always, so that the
    // bar appearing does not change the width it fits).
    const bool needV = vOn
        && (fitToWindow_ || History().Count() > 0
            || (fullH - (needH ? barHeight : 0)) / fontHeight_ < Rows());
    if (needV && hOn && !needH)
        needH = (fullW - barWidth) / fontWidth_ < Columns();
    const int w = std::max(0, fullW - (needV ? barWidth : 0));
    const int h = std::max(0, fullH - (needH ? barHeight : 0));
    const int n = w / fontWidth_;
    const int m = h / fontHeight_;
    if (const bool pan = hOn && n < Columns(); pan != panSideways_) {
        panSideways_ = pan;
        if (fitToWindow_)
            applyScrollPolicies();
    }
    if (hOn) {
        horizontalScrollBar()->setRange(0, n < Columns() ? Columns() - n : 0);
        horizontalScrollBar()->setPageStep(std::max(1, n));
    }
    if (vOn) {
        // Positions 0..Count - 1 put a history row at the top; Count and more pan the grid.
        const int count = History().Count();
        QScrollBar* bar = verticalScrollBar();
        const int max = count + (m < Rows() ? Rows() - m : 0);
        // Read before the range changes: a clamped value reports back through UpdateScrollPos.
        const int want = count + TopLeft().Y - 1;
        bar->setRange(0, max);
        bar->setPageStep(std::max(1, m));
        bar->setValue(std::clamp(want, 0, max));
    }
    scrollBarsStale_ = false;
    UpdateScrollPos();
}

void TCustomComTerminal::UpdateScrollPos()
{
    TTermPos topLeft = TopLeft();
    if (scrollBars_ == ssHorizontal || scrollBars_ == ssBoth)
        topLeft.X = horizontalScrollBar()->value() + 1;
    if (scrollBars_ == ssVertical || scrollBars_ == ssBoth) {
        topLeft.Y = verticalScrollBar()->value() - History().Count() + 1;
        // In the history the view stays on its text; on the screen it follows it.
        SetFollowing(topLeft.Y >= 1);
    }
    if (topLeft == TopLeft())
        return;
    SetTopLeft(topLeft);
    InvalidateAll();
    CaretMoved();
}

void TCustomComTerminal::ApplyScrollBar(Qt::Orientation Bar, TScrollCode Code, int Pos)
{
    if (Code == scEndScroll || (Code == scThumbTrack && !smoothScroll_))
        return;
    if (scrollBarsStale_)
        AdjustScrollBars();
    QScrollBar* bar = Bar == Qt::Horizontal ? horizontalScrollBar() : verticalScrollBar();
    // AdjustScrollBars keeps the page step at the whole cells across the client extent.
    const int page = bar->pageStep();
    const int old = bar->value();
    int pos = old;
    switch (Code) {
    case scLineUp:
        pos = old - 1;
        break;
    case scLineDown:
        pos = old + 1;
        break;
    case scPageUp:
        pos = old - page;
        break;
    case scPageDown:
        pos = old + page;
        break;
    case scThumbPosition:
    case scThumbTrack:
        pos = Pos;
        break;
    case scTop:
    case scBottom:
    case scEndScroll:
        break;
    }
    bar->setValue(pos); // clamped to the range; scrollContentsBy follows
    UpdateScrollPos();
}

void TCustomComTerminal::wheelEvent(QWheelEvent* e)
{
    // The wheel moves the bar from where the history is now.
    if (scrollBarsStale_)
        AdjustScrollBars();
    QAbstractScrollArea::wheelEvent(e);
}

void TCustomComTerminal::scrollContentsBy(int, int)
{
    UpdateScrollPos();
}

void TCustomComTerminal::showEvent(QShowEvent* e)
{
    QAbstractScrollArea::showEvent(e);
    fitGrid();
    AdjustScrollBars();
}

void TCustomComTerminal::resizeEvent(QResizeEvent* e)
{
    QAbstractScrollArea::resizeEvent(e);
    // The viewport's own resizes come here too; a scroll bar appearing over a grid a program
    // made wider (132 columns) must not fit the grid back to the view.
    if (fitArea() != fittedArea_)
        fitGrid();
    AdjustScrollBars();
    InvalidateAll();
    placeFindBar();
}

// --- keyboard ------------------------------------------------------------------------------

bool TCustomComTerminal::event(QEvent* e)
{
    // With WantTab, Tab and Shift+Tab are typed into the terminal instead of moving the focus
    // (Ctrl+Tab and Ctrl+Shift+Tab still move it).
    if (e->type() == QEvent::KeyPress && wantTab_) {
        auto* key = static_cast<QKeyEvent*>(e);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
            && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            keyPressEvent(key);
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

void TCustomComTerminal::keyPressEvent(QKeyEvent* e)
{
    // A failing port write must not unwind through the event loop: it goes to the
    // application's error report, and the echo of that key does not happen.
    try {
        handleKey(e);
    } catch (const std::exception& error) {
        ReportError(error);
    }
}

void TCustomComTerminal::handleKey(QKeyEvent* e)
{
    int key = e->key();
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        // Ctrl+Tab moves the focus on (Ctrl+Shift+Tab back); so does Tab without WantTab.
        if (ctrl || !wantTab_) {
            if (!focusNextPrevChild(key == Qt::Key_Tab && !(e->modifiers() & Qt::ShiftModifier)))
                e->ignore();
            return;
        }
    }
    // Shift with PageUp/PageDown moves the view over history and screen; nothing is typed.
    if ((key == Qt::Key_PageUp || key == Qt::Key_PageDown) && e->modifiers() == Qt::ShiftModifier) {
        ApplyScrollBar(Qt::Vertical, key == Qt::Key_PageUp ? scPageUp : scPageDown, 0);
        return;
    }
    if (OnKeyDown)
        OnKeyDown(this, key, e->modifiers());
    if (key == 0)
        return;
    static const std::pair<int, TTermKey> kKeys[] = {
        {Qt::Key_Home, TTermKey::Home},
        {Qt::Key_Left, TTermKey::Left},
        {Qt::Key_Up, TTermKey::Up},
        {Qt::Key_Right, TTermKey::Right},
        {Qt::Key_Down, TTermKey::Down},
        {Qt::Key_End, TTermKey::End},
        {Qt::Key_PageUp, TTermKey::PageUp},
        {Qt::Key_PageDown, TTermKey::PageDown},
        {Qt::Key_Insert, TTermKey::Insert},
        {Qt::Key_Delete, TTermKey::Delete},
        {Qt::Key_Backtab, TTermKey::BackTab},
        {Qt::Key_F1, TTermKey::F1},
        {Qt::Key_F2, TTermKey::F2},
        {Qt::Key_F3, TTermKey::F3},
        {Qt::Key_F4, TTermKey::F4},
        {Qt::Key_F5, TTermKey::F5},
        {Qt::Key_F6, TTermKey::F6},
        {Qt::Key_F7, TTermKey::F7},
        {Qt::Key_F8, TTermKey::F8},
        {Qt::Key_F9, TTermKey::F9},
        {Qt::Key_F10, TTermKey::F10},
        {Qt::Key_F11, TTermKey::F11},
        {Qt::Key_F12, TTermKey::F12},
    };
    for (const auto& [qtKey, termKey] : kKeys) {
        if (key == qtKey) {
            ScrollToBottom(); // a typed key shows the screen again
            CursorKey(termKey);
            return;
        }
    }
    if (!e->text().isEmpty() || key == Qt::Key_Return || key == Qt::Key_Enter)
        ScrollToBottom();
    QString text = e->text();
    if (text.isEmpty() && (key == Qt::Key_Return || key == Qt::Key_Enter))
        text = QStringLiteral("\r");
    for (const QChar ch : text) {
        unsigned char byte = 0;
        if (!cp1251::fromUnicode(ch.unicode(), byte))
            continue; // the code page has no byte for it: nothing is sent
        char c = char(byte);
        if (OnKeyPress)
            OnKeyPress(this, c);
        SendChar(c);
    }
}

// --- actions, clipboard, find ---------------------------------------------------------------

void TCustomComTerminal::createActions()
{
    const auto make = [this](const char* name, const QString& text, QList<QKeySequence> keys, auto slot) {
        auto* action = new QAction(text, this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcuts(keys);
        // Only while the terminal (or its find bar) has the focus: elsewhere these keys are
        // the other controls' own.
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
        return action;
    };
    copyAction_ = make("CopyAction", Text("CopyAction"),
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)},
        [this] { CopySelection(); });
    pasteAction_ = make("PasteAction", Text("PasteAction"),
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)}, [this] {
            if (const QClipboard* clip = QGuiApplication::clipboard())
                Paste(clip->text());
        });
    selectAllAction_ = make("SelectAllAction", Text("SelectAllAction"), {}, [this] { SelectAll(); });
    findAction_ = make("FindAction", Text("FindAction"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F)},
        [this] { OpenFind(); });
    clearAction_ = make("ClearAction", Text("ClearAction"), {}, [this] {
        ClearAll();
        AdjustScrollBars();
    });
    saveTextAction_ = make("SaveTextAction", Text("SaveTextAction"), {}, [this] { SaveText(); });
}

QMenu* TCustomComTerminal::CreateContextMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("TerminalMenu"));
    copyAction_->setEnabled(Selection().Active());
    menu->addAction(copyAction_);
    menu->addAction(pasteAction_);
    menu->addAction(selectAllAction_);
    menu->addSeparator();
    menu->addAction(findAction_);
    menu->addAction(saveTextAction_);
    menu->addSeparator();
    menu->addAction(clearAction_);
    return menu;
}

void TCustomComTerminal::contextMenuEvent(QContextMenuEvent* e)
{
    QMenu* menu = CreateContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(e->globalPos());
    // The shortcut of a disabled action would do nothing later: enable it again.
    connect(menu, &QMenu::aboutToHide, this, [this] { copyAction_->setEnabled(true); });
}

bool TCustomComTerminal::CopySelection()
{
    const QString text = SelectedText();
    if (!Selection().Active())
        return false;
    if (QClipboard* clip = QGuiApplication::clipboard())
        clip->setText(text);
    return true;
}

bool TCustomComTerminal::Paste(const QString& Text)
{
    if (Text.isEmpty())
        return false;
    QChar bad;
    for (const QChar ch : Text) {
        unsigned char byte = 0;
        if (!cp1251::fromUnicode(ch.unicode(), byte)) {
            bad = ch;
            break;
        }
    }
    if (!bad.isNull()) {
        const QString message = TCustomComTerminal::Text("PasteRefused").arg(QString(bad));
        if (ShowPasteRefusal)
            ShowPasteRefusal(message);
        else
            QMessageBox::warning(this, TCustomComTerminal::Text("PasteAction"), message);
        return false;
    }
    if (Text.size() > kPasteAskBytes) {
        const bool go = ConfirmLongPaste
            ? ConfirmLongPaste(Text.size())
            : QMessageBox::question(this, TCustomComTerminal::Text("PasteAction"),
                  TCustomComTerminal::Text("PasteAsk").arg(Text.size()))
                == QMessageBox::Yes;
        if (!go)
            return false;
    }
    try {
        ScrollToBottom();
        const bool sent = PasteText(Text) == TPaste::Sent;
        FlushPicture();
        return sent;
    } catch (const std::exception& error) {
        ReportError(error);
        return false;
    }
}

void TCustomComTerminal::OpenFind()
{
    QString seed;
    if (Selection().Active() && Selection().Start().Line == Selection().End().Line)
        seed = SelectedText();
    findBar_->Open(seed);
    placeFindBar();
    findText_ = findBar_->Text();
    if (!seed.isEmpty()) {
        match_.reset();
        FindNext(seed, true);
    }
    InvalidateAll();
}

void TCustomComTerminal::placeFindBar()
{
    if (!findBar_ || !findBar_->isVisible())
        return;
    findBar_->adjustSize();
    const QRect area = viewport()->geometry();
    const int width = std::min(findBar_->sizeHint().width(), area.width());
    findBar_->setGeometry(area.right() - width + 1, area.top(), width, findBar_->sizeHint().height());
}

bool TCustomComTerminal::FindNext(const QString& Text, bool Backwards)
{
    findText_ = Text;
    TTermTextPos from;
    if (match_) {
        from = match_->Start;
    } else {
        // A new search starts at the end: the newest text first.
        from = Backwards ? TTermTextPos{EndLine() - 1, Columns() + 1} : TTermTextPos{FirstLine(), 0};
    }
    match_ = term_text::Find(*this, Text, from, Backwards);
    InvalidateAll();
    if (!match_) {
        findBar_->SetResult(Text.isEmpty() ? QString() : TCustomComTerminal::Text("NotFound"), false);
        placeFindBar(); // the message widens the bar: keep its buttons inside the view
        return false;
    }
    findBar_->SetResult(QString(), true);
    placeFindBar();
    // Bring the match into view: near the middle when it is outside.
    const std::int64_t row = LineToWindowRow(match_->Start.Line);
    const int visible = std::max(1, viewport()->height() / fontHeight_);
    if (row < 1 || row > visible) {
        QScrollBar* bar = verticalScrollBar();
        const std::int64_t value = match_->Start.Line - FirstLine() - visible / 2;
        bar->setValue(int(std::clamp<std::int64_t>(value, bar->minimum(), bar->maximum())));
    }
    return true;
}

void TCustomComTerminal::ScrollToBottom()
{
    if (scrollBarsStale_)
        AdjustScrollBars();
    QScrollBar* bar = verticalScrollBar();
    if (bar->value() < History().Count())
        bar->setValue(std::min(History().Count(), bar->maximum()));
    SetFollowing(true);
}

void TCustomComTerminal::SaveText()
{
    const QString path = TextFilePath(
        QFileDialog::getSaveFileName(this, Text("SaveTextAction"), QString(), Text("SaveFilter")));
    if (path.isEmpty())
        return;
    QPointer<TCustomComTerminal> self(this);
    WriteTextFile(path, term_text::AllText(*this), [self](bool ok, const QString& file) {
        if (!ok && self)
            QMessageBox::warning(self, Text("SaveTextAction"), Text("SaveFailed").arg(file));
    });
}

QString TCustomComTerminal::TextFilePath(const QString& Chosen)
{
    return withExtension(Chosen, QStringLiteral(".txt"), TExtensionRule::AnyExtension);
}

void TCustomComTerminal::WriteTextFile(
    const QString& Path, const QString& Text, std::function<void(bool, QString)> Done)
{
    // Ten thousand rows are a megabyte: written on a worker, never on the window's thread.
    writeFileInBackground(
        QCoreApplication::instance(), Path, Text.toUtf8(), [Done, Path](const QString& error) {
            if (Done)
                Done(error.isEmpty(), Path);
        });
}

void TCustomComTerminal::SelectionChanged()
{
    InvalidateAll();
}

void TCustomComTerminal::HistoryChanged()
{
    // The bars are brought up to date once per flush, not once per scrolled row.
    scrollBarsStale_ = true;
    if (!Following())
        InvalidateAll(); // the screen moved down under the history shown
    else if (!flushQueued_) {
        flushQueued_ = true;
        QMetaObject::invokeMethod(this, &TCustomComTerminal::FlushPicture, Qt::QueuedConnection);
    }
}

// --- mouse ---------------------------------------------------------------------------------

TTermTextPos TCustomComTerminal::textAt(const QPoint& pixel) const
{
    const auto floorDiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    const int column = floorDiv(pixel.x(), fontWidth_) + 1;
    const int row = floorDiv(pixel.y(), fontHeight_) + 1;
    TTermTextPos pos = WindowToText(column, row);
    pos.Line = std::clamp<std::int64_t>(pos.Line, FirstLine(), std::max(FirstLine(), EndLine() - 1));
    pos.Column = std::clamp(pos.Column, 1, Columns());
    return pos;
}

void TCustomComTerminal::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(e);
        return;
    }
    if (TabStop())
        setFocus(Qt::MouseFocusReason);
    const QPoint pixel = e->position().toPoint();
    // A press soon after a double click at the same place is the third click: the row.
    const bool triple = sinceDoubleClick_.isValid()
        && sinceDoubleClick_.elapsed() <= QApplication::doubleClickInterval()
        && (pixel - doubleClickPixel_).manhattanLength() <= QApplication::startDragDistance();
    sinceDoubleClick_.invalidate();
    dragging_ = true;
    dragMoved_ = triple;
    pressPixel_ = pixel;
    dragPixel_ = pixel;
    if (triple)
        SelectBegin(textAt(pixel), TSelectUnit::Line);
    else
        ClearSelection();
}

void TCustomComTerminal::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(e);
        return;
    }
    const QPoint pixel = e->position().toPoint();
    doubleClickPixel_ = pixel;
    sinceDoubleClick_.start();
    dragging_ = true;
    dragMoved_ = true;
    dragPixel_ = pixel;
    SelectBegin(textAt(pixel), TSelectUnit::Word);
}

void TCustomComTerminal::mouseMoveEvent(QMouseEvent* e)
{
    if (!dragging_ || !(e->buttons() & Qt::LeftButton)) {
        QAbstractScrollArea::mouseMoveEvent(e);
        return;
    }
    dragTo(e->position().toPoint());
}

void TCustomComTerminal::dragTo(const QPoint& pixel)
{
    dragPixel_ = pixel;
    if (!dragMoved_) {
        if ((pixel - pressPixel_).manhattanLength() < QApplication::startDragDistance())
            return;
        dragMoved_ = true;
        SelectBegin(textAt(pressPixel_), TSelectUnit::Character);
    }
    SelectExtend(textAt(pixel));
    // Past the top or bottom edge the view scrolls while the button is held.
    const bool outside = pixel.y() < 0 || pixel.y() >= viewport()->height();
    if (outside && !autoScrollTimer_->isActive())
        autoScrollTimer_->start();
    else if (!outside)
        autoScrollTimer_->stop();
}

void TCustomComTerminal::autoScroll()
{
    if (!dragging_) {
        autoScrollTimer_->stop();
        return;
    }
    if (scrollBarsStale_)
        AdjustScrollBars();
    const int lines = dragPixel_.y() < 0 ? -1 - (-dragPixel_.y()) / fontHeight_
                                         : 1 + (dragPixel_.y() - viewport()->height()) / fontHeight_;
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->value() + lines);
    const int y = std::clamp(dragPixel_.y(), 0, std::max(0, viewport()->height() - 1));
    SelectExtend(textAt(QPoint(dragPixel_.x(), y)));
}

void TCustomComTerminal::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !dragging_) {
        QAbstractScrollArea::mouseReleaseEvent(e);
        return;
    }
    dragging_ = false;
    autoScrollTimer_->stop();
    if (!dragMoved_)
        ClearSelection();
    else if (QClipboard* clip = QGuiApplication::clipboard(); clip && clip->supportsSelection())
        clip->setText(SelectedText(), QClipboard::Selection);
}
