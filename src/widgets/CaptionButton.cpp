#include "widgets/CaptionButton.h"

#include "common/Color.h"
#include <QCoreApplication>
#include <QDynamicPropertyChangeEvent>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QTabWidget>
#include <QWidget>
#include <algorithm>
#include <stdexcept>

namespace {

// Extra reactive margins around the drawn button: left, top, right, bottom.
constexpr int kHitLeft = 2;
constexpr int kHitTop = 2;
constexpr int kHitRight = 1;
constexpr int kHitBottom = 2;
// Distance of the button's top and right edge from the host's corner.
constexpr int kCornerMargin = 2;

// The drawn button; its whole area, less the Position gap on the right, reacts to the mouse.
class Face : public QWidget {
public:
    Face(TCaptionButton* owner, QWidget* parent)
        : QWidget(parent)
        , owner_(owner)
    {
        setObjectName(QStringLiteral("CaptionButton1"));
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_NoMousePropagation);
    }

    // Size of one standard caption button of this desktop.
    int standardSize() const
    {
        return std::max(18, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
    }
    QSize buttonSize() const
    {
        const int w = owner_->ButtonWidth() ? owner_->ButtonWidth() : standardSize() - 2;
        const int h = owner_->ButtonHeight() ? owner_->ButtonHeight() : standardSize() - 5;
        return {w, h};
    }
    QRect buttonRect() const { return QRect(QPoint(kHitLeft, kHitTop), buttonSize()); }
    QRect hitRect() const { return buttonRect().adjusted(-kHitLeft, -kHitTop, kHitRight, kHitBottom); }
    QSize sizeHint() const override
    {
        const QRect hit = hitRect();
        return {hit.width() + owner_->Position() * standardSize(), hit.height()};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
    bool pressedLook() const { return (captured_ && inside_) || owner_->Down(); }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override
    {
        if (e->button() != Qt::LeftButton || !hitRect().contains(e->position().toPoint())) {
            QWidget::mousePressEvent(e);
            return;
        }
        // The widget holds the mouse until release, wherever the pointer goes.
        captured_ = true;
        inside_ = true;
        update();
    }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        if (!captured_)
            return;
        const bool in = hitRect().contains(e->position().toPoint());
        if (in != inside_) {
            inside_ = in;
            update();
        }
    }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        if (!captured_ || e->button() != Qt::LeftButton)
            return;
        captured_ = false;
        const bool in = hitRect().contains(e->position().toPoint());
        inside_ = false;
        update();
        if (in)
            owner_->Click();
    }
    void changeEvent(QEvent* e) override
    {
        if (e->type() == QEvent::EnabledChange && !isEnabled())
            captured_ = false;
        QWidget::changeEvent(e);
    }

private:
    void drawGlyph(QPainter& p, const QRect& r) const;

    TCaptionButton* owner_;
    bool captured_ = false;
    bool inside_ = false;
};

void Face::drawGlyph(QPainter& p, const QRect& r) const
{
    const QColor ink = isEnabled() ? color::toQColor(clBtnText) : color::toQColor(clGrayText);
    p.setPen(QPen(ink, 1));
    const QPoint c = r.center();
    const int s = std::max(3, std::min(r.width(), r.height()) / 2 - 1);
    switch (owner_->Standard()) {
    case tsbClose:
        p.setPen(QPen(ink, 2));
        p.drawLine(c + QPoint(-s + 1, -s + 1), c + QPoint(s - 1, s - 1));
        p.drawLine(c + QPoint(s - 1, -s + 1), c + QPoint(-s + 1, s - 1));
        break;
    case tsbHelp:
        p.drawText(r, Qt::AlignCenter, QStringLiteral("?"));
        break;
    case tsbMax:
        p.drawRect(QRect(c - QPoint(s, s - 1), QSize(2 * s, 2 * s - 2)));
        p.drawLine(c + QPoint(-s, -s + 2), c + QPoint(s, -s + 2));
        break;
    case tsbMin:
        p.fillRect(QRect(c + QPoint(-s + 1, s - 2), QSize(s + 1, 2)), ink);
        break;
    case tsbRestore:
        p.drawRect(QRect(c + QPoint(-s + 2, -s), QSize(s + 1, s)));
        p.fillRect(QRect(c + QPoint(-s, -1), QSize(s + 2, s)), color::toQColor(clBtnFace));
        p.drawRect(QRect(c + QPoint(-s, -1), QSize(s + 1, s)));
        break;
    case tsbNone:
    case tsbMinimizeToTray: {
        // Into the tray: an arrow down to the right onto a short bar in the bottom-right corner.
        const QRect bar(c.x() + 1, c.y() + s - 2, s, 2);
        p.fillRect(bar, ink);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(ink, 1.4));
        const QPointF from(c.x() - s + 1, c.y() - s + 1);
        const QPointF to(c.x() + s - 2.5, c.y() + s - 4.5);
        p.drawLine(from, to);
        p.drawLine(to, to - QPointF(3.5, 0));
        p.drawLine(to, to - QPointF(0, 3.5));
        break;
    }
    }
}

void Face::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = buttonRect();
    const QColor face = color::toQColor(clBtnFace);
    const QColor light = color::toQColor(clBtnHighlight);
    const QColor shade = color::toQColor(clBtnShadow);
    const QColor dark = color::toQColor(cl3DDkShadow);
    const bool down = pressedLook();
    p.fillRect(r, face);
    const auto edge = [&p](const QRect& box, const QColor& topLeft, const QColor& bottomRight) {
        p.setPen(topLeft);
        p.drawLine(box.topLeft(), box.topRight() - QPoint(1, 0));
        p.drawLine(box.topLeft(), box.bottomLeft() - QPoint(0, 1));
        p.setPen(bottomRight);
        p.drawLine(box.bottomLeft(), box.bottomRight());
        p.drawLine(box.topRight(), box.bottomRight());
    };
    // A push-button face: raised, or sunken while pressed.
    if (down) {
        edge(r, dark, light);
        edge(r.adjusted(1, 1, -1, -1), shade, face);
    } else {
        edge(r, light, dark);
        edge(r.adjusted(1, 1, -1, -1), face, shade);
    }
    QRect content = r.adjusted(2, 2, -2, -2);
    if (down)
        content.translate(1, 1);
    if (owner_->Standard() == tsbNone && !owner_->Caption().isEmpty()) {
        p.setFont(owner_->Font());
        p.setPen(isEnabled() ? color::toQColor(clBtnText) : color::toQColor(clGrayText));
        p.drawText(content, Qt::AlignCenter | Qt::TextSingleLine, owner_->Caption());
    } else {
        drawGlyph(p, content);
    }
}

} // namespace

TCaptionButton::TCaptionButton(QObject* Owner)
    : QObject(Owner)
{
    // The form here is a top-level window widget: a main window, a dialog, a parentless widget.
    auto* form = qobject_cast<QWidget*>(Owner);
    if (!form || !form->isWindow())
        throw std::invalid_argument("TCaptionButton owner must be a TCustomForm");
    owner_ = form;
    setObjectName(QStringLiteral("CaptionButton1"));
    font_ = form->font();
    face_ = new Face(this, form);
    // The owner's "ShowHint" property decides the tool-tip when ParentShowHint is on.
    form->installEventFilter(this);
    SetHost(form);
    updateHint();
}

TCaptionButton::~TCaptionButton()
{
    if (host_)
        host_->removeEventFilter(this);
    if (owner_)
        owner_->removeEventFilter(this);
    if (face_) {
        if (auto* tabs = qobject_cast<QTabWidget*>(host_.data());
            tabs && tabs->cornerWidget(Qt::TopRightCorner) == face_)
            tabs->setCornerWidget(nullptr, Qt::TopRightCorner);
        delete face_.data();
    }
}

QWidget* TCaptionButton::Button() const
{
    return face_;
}

void TCaptionButton::SetHost(QWidget* host)
{
    if (!face_ || !host)
        return;
    if (host_) {
        if (host_ != owner_)
            host_->removeEventFilter(this);
        if (auto* tabs = qobject_cast<QTabWidget*>(host_.data());
            tabs && tabs->cornerWidget(Qt::TopRightCorner) == face_)
            tabs->setCornerWidget(nullptr, Qt::TopRightCorner);
    }
    host_ = host;
    if (auto* tabs = qobject_cast<QTabWidget*>(host)) {
        tabs->setCornerWidget(face_, Qt::TopRightCorner);
    } else {
        face_->setParent(host);
        host->installEventFilter(this);
    }
    face_->setVisible(visible_);
    relayout();
}

void TCaptionButton::relayout()
{
    auto* face = static_cast<Face*>(face_.data());
    if (!face || !host_)
        return;
    face->setFixedSize(face->sizeHint());
    if (qobject_cast<QTabWidget*>(host_.data())) {
        face->updateGeometry();
        // The tab widget places its corner widget when it lays itself out again.
        QEvent relayout(QEvent::LayoutRequest);
        QCoreApplication::sendEvent(host_, &relayout);
    } else {
        const int right = host_->width() - kCornerMargin + kHitRight;
        face->move(right - face->width() + left_, kCornerMargin - kHitTop + top_);
        face->raise();
    }
    face->update();
}

bool TCaptionButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == host_ && event->type() == QEvent::Resize)
        relayout();
    if (watched == owner_ && event->type() == QEvent::DynamicPropertyChange
        && static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName() == "ShowHint")
        updateHint();
    return QObject::eventFilter(watched, event);
}

void TCaptionButton::updateHint()
{
    if (!face_)
        return;
    const bool ownerShowsHints = owner_ && owner_->property("ShowHint").toBool();
    const bool show = showHint_ || (parentShowHint_ && ownerShowsHints);
    face_->setToolTip(show ? hint_ : QString());
}

void TCaptionButton::Click()
{
    if (toggle_)
        SetDown(!down_);
    if (OnClick)
        OnClick(this);
}

void TCaptionButton::SetCaption(const QString& c)
{
    caption_ = c;
    if (face_)
        face_->update();
}

void TCaptionButton::SetHint(const QString& h)
{
    hint_ = h;
    updateHint();
}

void TCaptionButton::SetFont(const QFont& f)
{
    font_ = f;
    if (face_)
        face_->update();
}

void TCaptionButton::SetStandard(TCaptionButtonStandard s)
{
    standard_ = s;
    if (face_)
        face_->update();
}

void TCaptionButton::SetPosition(int p)
{
    position_ = std::max(0, p);
    relayout();
}

void TCaptionButton::SetButtonLeft(int v)
{
    left_ = v;
    relayout();
}

void TCaptionButton::SetButtonTop(int v)
{
    top_ = v;
    relayout();
}

void TCaptionButton::SetButtonWidth(int v)
{
    width_ = std::max(0, v);
    relayout();
}

void TCaptionButton::SetButtonHeight(int v)
{
    height_ = std::max(0, v);
    relayout();
}

void TCaptionButton::SetEnabled(bool on)
{
    enabled_ = on;
    if (face_)
        face_->setEnabled(on);
}

void TCaptionButton::SetVisible(bool on)
{
    visible_ = on;
    if (face_)
        face_->setVisible(on);
}

void TCaptionButton::SetToggle(bool on)
{
    toggle_ = on;
    if (!on)
        SetDown(false);
}

void TCaptionButton::SetDown(bool on)
{
    down_ = on;
    if (face_)
        face_->update();
}

void TCaptionButton::SetShowHint(bool on)
{
    showHint_ = on;
    updateHint();
}

void TCaptionButton::SetParentShowHint(bool on)
{
    parentShowHint_ = on;
    updateHint();
}
