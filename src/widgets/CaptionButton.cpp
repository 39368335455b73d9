#include "widgets/CaptionButton.h"

#include <QWidget>
#include <stdexcept>

TCaptionButton::TCaptionButton(QObject* Owner)
    : QObject(Owner)
{
    auto* form = qobject_cast<QWidget*>(Owner);
    if (!form || !form->isWindow())
        throw std::invalid_argument("TCaptionButton owner must be a TCustomForm");
    owner_ = form;
}

TCaptionButton::~TCaptionButton() = default;

QWidget* TCaptionButton::Button() const
{
    return face_;
}
void TCaptionButton::SetHost(QWidget* host)
{
    host_ = host;
}
void TCaptionButton::SetCaption(const QString& c)
{
    caption_ = c;
}
void TCaptionButton::SetHint(const QString& h)
{
    hint_ = h;
}
void TCaptionButton::SetFont(const QFont& f)
{
    font_ = f;
}
void TCaptionButton::SetStandard(TCaptionButtonStandard s)
{
    standard_ = s;
}
void TCaptionButton::SetPosition(int p)
{
    position_ = p;
}
void TCaptionButton::SetButtonLeft(int v)
{
    left_ = v;
}
void TCaptionButton::SetButtonTop(int v)
{
    top_ = v;
}
void TCaptionButton::SetButtonWidth(int v)
{
    width_ = v;
}
void TCaptionButton::SetButtonHeight(int v)
{
    height_ = v;
}
void TCaptionButton::SetEnabled(bool on)
{
    enabled_ = on;
}
void TCaptionButton::SetVisible(bool on)
{
    visible_ = on;
}
void TCaptionButton::SetToggle(bool on)
{
    toggle_ = on;
}
void TCaptionButton::SetDown(bool on)
{
    down_ = on;
}
void TCaptionButton::SetShowHint(bool on)
{
    showHint_ = on;
}
void TCaptionButton::SetParentShowHint(bool on)
{
    parentShowHint_ = on;
}
void TCaptionButton::Click()
{
    if (OnClick)
        OnClick(this);
}
bool TCaptionButton::eventFilter(QObject* watched, QEvent* event)
{
    return QObject::eventFilter(watched, event);
}
void TCaptionButton::relayout() { }
void TCaptionButton::updateHint() { }
