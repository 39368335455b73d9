#include "terminal/CustomComTerminal.h"

#include "common/Color.h"
#include "common/Cp1251.h"
#include "serial/ComPort.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
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

} // namespace

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

void TCustomComTerminal::SetComPort(TCustomComPort* Value)
{
    if (Value == comPort_)
        return;
    if (comPort_) {
        QObject::disconnect(portDestroying_);
        TCustomComPort* old = comPort_;
        comPort_ = nullptr;
        old->DetachLink(&comLink_);
    }
    if (Value) {
        Value->AttachLink(&comLink_);
        comPort_ = Value;
        portDestroying_ = connect(Value, &TCustomComPort::Destroying, this, [this](TCustomComPort* port) {
            if (port == comPort_)
                SetComPort(nullptr);
        });
    }
}

bool TCustomComTerminal::Connected() const
{
    return comPort_ && comPort_->Connected();
}

void TCustomComTerminal::SetConnected(bool Value)
{
    if (comPort_)
        comPort_->SetConnected(Value);
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
    setHorizontalScrollBarPolicy(h ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(v ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    if (!h)
        horizontalScrollBar()->setRange(0, 0);
    if (!v)
        verticalScrollBar()->setRange(0, 0);
    AdjustScrollBars();
    InvalidateAll();
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
    if (!caretCreated_)
        return {};
    return QRect(CaretPixelPos(), QSize(fontWidth_, caretHeight_));
}

void TCustomComTerminal::CaretMoved()
{
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
    if (dirty_.isEmpty())
        return;
    const qint64 since = sincePaint_.isValid() ? sincePaint_.elapsed() : kFrameMs;
    if (since < kFrameMs) {
        if (!frameTimer_->isActive())
            frameTimer_->start(int(kFrameMs - since));
        return;
    }
    frameTimer_->stop();
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

void TCustomComTerminal::paintCells(QPainter& p, const QRect& clip)
{
    if (!Buffer().Initialized())
        return;
    const TTermPos topLeft = TopLeft();
    const int firstCol = clip.left() / fontWidth_ + 1;
    const int firstRow = clip.top() / fontHeight_ + 1;
    const int lastCol
        = std::min({clip.right() / fontWidth_ + 1, Columns() - topLeft.X + 1, Buffer().Columns()});
    const int lastRow = std::min({clip.bottom() / fontHeight_ + 1, Rows() - topLeft.Y + 1, Buffer().Rows()});

    QFont plain = font();
    plain.setUnderline(false);
    p.setFont(plain);
    // Underlines are drawn as lines under their own cells: a glyph run's underline starts at
    // the run's origin, which is the left edge of the view here.
    const auto underline = [&](int firstCol, int count, int y, TColor color) {
        p.fillRect(QRect((firstCol - 1) * fontWidth_, y + underlineTop_, count * fontWidth_, underlineWidth_),
            color::toQColor(color));
    };

    QList<quint32> glyphs;
    QList<QPointF> positions;
    QGlyphRun glyphRun;
    glyphRun.setRawFont(rawFont_);
    for (int row = firstRow; row <= lastRow; ++row) {
        const int y = (row - 1) * fontHeight_;
        int col = firstCol;
        while (col <= lastCol) {
            const TTermCell cell = Buffer().GetCell(col + topLeft.X - 1, row + topLeft.Y - 1);
            if (cell.Ch == '\0') {
                ++col;
                continue;
            }
            const int start = col;
            const auto byte = static_cast<unsigned char>(cell.Ch);
            ++col;
            p.setPen(color::toQColor(cell.ForeColor));
            if (!runnable_[byte]) {
                // Missing from the font or of another width: drawn alone through font fallback
                // so the grid stays exact.
                const QRect box((start - 1) * fontWidth_, y, fontWidth_, fontHeight_);
                p.fillRect(box, color::toQColor(cell.BackColor));
                p.drawText(box.left(), y + fontAscent_, QString(QChar(cp1251::toUnicode(byte))));
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
                const TTermCell next = Buffer().GetCell(col + topLeft.X - 1, row + topLeft.Y - 1);
                const auto nb = static_cast<unsigned char>(next.Ch);
                if (next.Ch == '\0' || !runnable_[nb] || next.ForeColor != cell.ForeColor
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
    const bool needV = vOn && (fullH - (needH ? barHeight : 0)) / fontHeight_ < Rows();
    if (needV && hOn && !needH)
        needH = (fullW - barWidth) / fontWidth_ < Columns();
    const int w = std::max(0, fullW - (needV ? barWidth : 0));
    const int h = std::max(0, fullH - (needH ? barHeight : 0));
    const int n = w / fontWidth_;
    const int m = h / fontHeight_;
    if (hOn) {
        horizontalScrollBar()->setRange(0, n < Columns() ? Columns() - n : 0);
        horizontalScrollBar()->setPageStep(std::max(1, n));
    }
    if (vOn) {
        verticalScrollBar()->setRange(0, m < Rows() ? Rows() - m : 0);
        verticalScrollBar()->setPageStep(std::max(1, m));
    }
    UpdateScrollPos();
}

void TCustomComTerminal::UpdateScrollPos()
{
    TTermPos topLeft = TopLeft();
    if (scrollBars_ == ssHorizontal || scrollBars_ == ssBoth)
        topLeft.X = horizontalScrollBar()->value() + 1;
    if (scrollBars_ == ssVertical || scrollBars_ == ssBoth)
        topLeft.Y = verticalScrollBar()->value() + 1;
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

void TCustomComTerminal::scrollContentsBy(int, int)
{
    UpdateScrollPos();
}

void TCustomComTerminal::resizeEvent(QResizeEvent* e)
{
    QAbstractScrollArea::resizeEvent(e);
    AdjustScrollBars();
    InvalidateAll();
}

// --- keyboard ------------------------------------------------------------------------------

bool TCustomComTerminal::event(QEvent* e)
{
    // With WantTab the Tab key is typed into the terminal instead of moving the focus.
    if (e->type() == QEvent::KeyPress && wantTab_) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_Tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
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
        TCustomComPort::ReportError(error);
    }
}

void TCustomComTerminal::handleKey(QKeyEvent* e)
{
    int key = e->key();
    // Without WantTab a Tab that found no other control to focus is still not typed.
    if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && !wantTab_) {
        e->ignore();
        return;
    }
    if (OnKeyDown)
        OnKeyDown(this, key, e->modifiers());
    if (key == 0)
        return;
    switch (key) {
    case Qt::Key_Home:
        CursorKey(TTermKey::Home);
        return;
    case Qt::Key_Left:
        CursorKey(TTermKey::Left);
        return;
    case Qt::Key_Up:
        CursorKey(TTermKey::Up);
        return;
    case Qt::Key_Right:
        CursorKey(TTermKey::Right);
        return;
    case Qt::Key_Down:
        CursorKey(TTermKey::Down);
        return;
    default:
        break;
    }
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
