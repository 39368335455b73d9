#include "console/StatusLine.h"

#include <QHBoxLayout>
#include <QLabel>

namespace {
namespace text {
const QString disconnected = QStringLiteral("Изключен");
} // namespace text
} // namespace

TStatusLine::TStatusLine(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("StatusLine"));
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setSpacing(14);
    state_ = new QLabel(text::disconnected, this);
    state_->setObjectName(QStringLiteral("StatusConnection"));
    layout->addWidget(state_, 1);
}

void TStatusLine::setConnectionState(const QString& text)
{
    state_->setText(text);
}

QString TStatusLine::connectionState() const
{
    return state_->text();
}
