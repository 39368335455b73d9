#include "console/StatusLine.h"

#include <QHBoxLayout>
#include <QLabel>

TStatusLine::TStatusLine(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("StatusLine"));
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    connection_ = new QLabel(this);
    connection_->setObjectName(QStringLiteral("ConnectionState"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 1, 4, 1);
    row->addWidget(connection_, 1);
    // Keeps its height when empty, so the window does not jump when a state appears.
    setMinimumHeight(connection_->sizeHint().height() + 4);
}

void TStatusLine::setConnectionState(const QString& text)
{
    connection_->setText(text);
}

QString TStatusLine::connectionState() const
{
    return connection_->text();
}
