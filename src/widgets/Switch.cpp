#include "widgets/Switch.h"

#include "widgets/SwitchWarningPictures.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace {

constexpr int kCreatedWidth = 50;
constexpr int kCreatedHeight = 60;
constexpr int kBorderWidth = 2;

QPixmap transparent(const QPixmap& p)
{
    return QPixmap::fromImage(switch_warning::withTransparentBackground(p.toImage()));
}

// Embossed grey copy: the dark parts of the picture in highlight, offset by one pixel, under
// the same parts in shadow.
QPixmap greyed(const QPixmap& p)
{
    const QImage src = switch_warning::withTransparentBackground(p.toImage());
    QImage out(src.size(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    const QRgb highlight = color::toQColor(clBtnHighlight).rgb();
    const QRgb shadow = color::toQColor(clBtnShadow).rgb();
    auto dark = [&src](int x, int y) {
        if (x < 0 || y < 0 || x >= src.width() || y >= src.height())
            return false;
        const QRgb c = src.pixel(x, y);
        return qAlpha(c) > 127 && qGray(c) < 160;
    };
    for (int y = 0; y < src.height(); ++y) {
        for (int x = 0; x < src.width(); ++x) {
            if (dark(x, y))
                out.setPixel(x, y, shadow);
            else if (dark(x - 1, y - 1))
                out.setPixel(x, y, highlight);
        }
    }
    return QPixmap::fromImage(out);
}

Qt::KeyboardModifiers keyModifiers(Qt::KeyboardModifiers m)
{
    return m & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
}

} // namespace

TSwitch::TSwitch(QWidget* parent)
    : QWidget(parent)
{
    glyphOn_ = BuiltinGlyph(true);
    glyphOff_ = BuiltinGlyph(false);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(kCreatedWidth, kCreatedHeight);
}

TSwitch::~TSwitch() = default;

QPixmap TSwitch::BuiltinGlyph(bool on)
{
    return QPixmap::fromImage(
        switch_warning::withTransparentBackground(switch_warning::image(on ? "SwitchON" : "SwitchOFF")));
}

QSize TSwitch::sizeHint() const
{
    return {kCreatedWidth, kCreatedHeight};
}

void TSwitch::SetStateOn(bool on)
{
    if (on == stateOn_)
        return;
    stateOn_ = on;
    update();
    if (on) {
        if (OnOn)
            OnOn(this);
    } else if (OnOff) {
        OnOff(this);
    }
}

void TSwitch::SetGlyphOn(const QPixmap& p)
{
    onReplaced_ = !p.isNull();
    glyphOn_ = onReplaced_ ? transparent(p) : BuiltinGlyph(true);
    greyOn_ = onReplaced_ ? greyed(p) : QPixmap();
    update();
}

void TSwitch::SetGlyphOff(const QPixmap& p)
{
    offReplaced_ = !p.isNull();
    glyphOff_ = offReplaced_ ? transparent(p) : BuiltinGlyph(false);
    greyOff_ = offReplaced_ ? greyed(p) : QPixmap();
    update();
}

void TSwitch::SetShowFocus(bool on)
{
    showFocus_ = on;
    update();
}

void TSwitch::SetTextPosition(TTextPos p)
{
    textPosition_ = p;
    update();
}

void TSwitch::SetBorderStyle(TBorderStyle s)
{
    borderStyle_ = s;
    const int m = s == bsSingle ? kBorderWidth : 0;
    setContentsMargins(m, m, m, m);
    update();
}

void TSwitch::SetCaption(const QString& c)
{
    caption_ = c;
    updateAccelerator();
    update();
}

void TSwitch::SetColor(TColor c)
{
    color_ = c;
    colorSet_ = true;
    update();
}

void TSwitch::SetTabStop(bool on)
{
    tabStop_ = on;
    setFocusPolicy(on ? Qt::TabFocus : Qt::NoFocus);
}

const QPixmap& TSwitch::currentGlyph() const
{
    const QPixmap& grey = stateOn_ ? greyOn_ : greyOff_;
    if (!isEnabled() && !grey.isNull())
        return grey;
    return stateOn_ ? glyphOn_ : glyphOff_;
}

QRect TSwitch::GlyphRect() const
{
    const QRect client = contentsRect();
    const QPixmap& g = currentGlyph();
    const int w = int(g.deviceIndependentSize().width());
    const int h = int(g.deviceIndependentSize().height());
    int x = client.left() + (client.width() - w) / 2;
    int y = client.top();
    switch (textPosition_) {
    case tpNone:
    case tpBelow:
        break;
    case tpLeft:
        x = client.left() + client.width() - w;
        break;
    case tpRight:
        x = client.left();
        break;
    case tpAbove:
        y = client.top() + client.height() - h;
        break;
    }
    return {x, y, w, h};
}

QRect TSwitch::CaptionRect() const
{
    if (textPosition_ == tpNone)
        return {};
    QRect area = contentsRect();
    const QRect glyph = GlyphRect();
    switch (textPosition_) {
    case tpNone:
        break;
    case tpLeft:
        area.setRight(area.right() - glyph.width());
        break;
    case tpRight:
        area.setLeft(area.left() + glyph.width());
        break;
    case tpAbove:
        area.setBottom(area.bottom() - glyph.height());
        break;
    case tpBelow:
        area.setTop(area.top() + glyph.height());
        break;
    }
    const int h = QFontMetrics(font()).boundingRect(QStringLiteral("W")).height();
    const int top = (area.top() + area.bottom() + 1 - h) / 2;
    return {area.left(), top, area.width(), h};
}

void TSwitch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), colorSet_ ? color::toQColor(color_) : palette().color(backgroundRole()));
    if (borderStyle_ == bsSingle) {
        // A sunken window edge: shadow on top and left, highlight on bottom and right.
        const QRect r = rect().adjusted(0, 0, -1, -1);
        p.setPen(color::toQColor(clBtnShadow));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(color::toQColor(clBtnHighlight));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        const QRect in = r.adjusted(1, 1, -1, -1);
        p.setPen(color::toQColor(cl3DDkShadow));
        p.drawLine(in.topLeft(), in.topRight());
        p.drawLine(in.topLeft(), in.bottomLeft());
        p.setPen(color::toQColor(cl3DLight));
        p.drawLine(in.bottomLeft(), in.bottomRight());
        p.drawLine(in.topRight(), in.bottomRight());
    }
    p.setFont(font());

    const QRect glyph = GlyphRect();
    p.drawPixmap(glyph.topLeft(), currentGlyph());

    if (hasFocus() && showFocus_ && tabStop_) {
        // Dotted frame exactly around the picture.
        QPen pen(color::toQColor(clWindowText));
        pen.setStyle(Qt::DotLine);
        p.setPen(pen);
        p.drawRect(glyph.adjusted(0, 0, -1, -1));
    }

    if (textPosition_ != tpNone) {
        p.setPen(isEnabled() ? palette().color(QPalette::WindowText) : color::toQColor(clGrayText));
        p.drawText(CaptionRect(),
            Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine | Qt::TextExpandTabs | Qt::TextShowMnemonic,
            caption_);
    }
}

void TSwitch::leftPress(QMouseEvent* event)
{
    if (tabStop_ && isEnabled() && isVisible())
        setFocus(Qt::MouseFocusReason);
    Toggle();
    clickPending_ = true;
    if (OnMouseDown)
        OnMouseDown(this, event->button(), keyModifiers(event->modifiers()), event->position().toPoint().x(),
            event->position().toPoint().y());
}

void TSwitch::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        leftPress(event);
    } else if (OnMouseDown) {
        OnMouseDown(this, event->button(), keyModifiers(event->modifiers()), event->position().toPoint().x(),
            event->position().toPoint().y());
    }
    event->accept();
}

void TSwitch::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click toggles as well, and its release clicks, so a
    // handler of OnClick always sees every change made by the mouse.
    if (event->button() == Qt::LeftButton) {
        if (OnDblClick)
            OnDblClick(this);
        leftPress(event);
    }
    event->accept();
}

void TSwitch::mouseReleaseEvent(QMouseEvent* event)
{
    if (OnMouseUp)
        OnMouseUp(this, event->button(), keyModifiers(event->modifiers()), event->position().toPoint().x(),
            event->position().toPoint().y());
    if (event->button() == Qt::LeftButton) {
        const bool click = clickPending_ && rect().contains(event->position().toPoint());
        clickPending_ = false;
        if (click && OnClick)
            OnClick(this);
    }
    event->accept();
}

void TSwitch::keyPressEvent(QKeyEvent* event)
{
    int key = event->key();
    const Qt::KeyboardModifiers mods = keyModifiers(event->modifiers());
    if (OnKeyDown)
        OnKeyDown(this, key, mods);
    if (key == 0) {
        event->accept();
        return;
    }
    if (QKeyCombination(mods, Qt::Key(key)) == toggleKey_) {
        Toggle();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TSwitch::focusInEvent(QFocusEvent* event)
{
    if (showFocus_)
        update();
    QWidget::focusInEvent(event);
}

void TSwitch::focusOutEvent(QFocusEvent* event)
{
    if (showFocus_)
        update();
    QWidget::focusOutEvent(event);
}

void TSwitch::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange)
        update();
    QWidget::changeEvent(event);
}

bool TSwitch::event(QEvent* event)
{
    if (event->type() == QEvent::Shortcut) {
        // The caption's accelerator focuses without toggling.
        if (static_cast<QShortcutEvent*>(event)->shortcutId() == shortcutId_) {
            if (isEnabled() && isVisible())
                setFocus(Qt::ShortcutFocusReason);
            return true;
        }
    }
    return QWidget::event(event);
}

void TSwitch::updateAccelerator()
{
    if (shortcutId_ != 0) {
        releaseShortcut(shortcutId_);
        shortcutId_ = 0;
    }
    const QKeySequence mnemonic = QKeySequence::mnemonic(caption_);
    if (!mnemonic.isEmpty())
        shortcutId_ = grabShortcut(mnemonic);
}
