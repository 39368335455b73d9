#include "console/SessionBar.h"

#include "console/WindowTexts.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace {

QToolButton* actionButton(const char* name, QAction* action, QWidget* parent)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setDefaultAction(action);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setMinimumHeight(25);
    return b;
}

} // namespace

SessionBar::SessionBar(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("SessionBar"));
    RecordAction = new QAction(text::recordSession, this);
    RecordAction->setObjectName(QStringLiteral("RecordSessionAction"));
    RecordAction->setCheckable(true);
    RecordAction->setToolTip(text::recordSessionHint);
    ReplayAction = new QAction(text::replaySession, this);
    ReplayAction->setObjectName(QStringLiteral("ReplaySessionAction"));
    ReplayAction->setCheckable(true);
    ReplayAction->setToolTip(text::replaySessionHint);

    RecordSession = actionButton("RecordSession", RecordAction, this);
    ReplaySession = actionButton("ReplaySession", ReplayAction, this);
    ReplaySpeed = new QComboBox(this);
    ReplaySpeed->setObjectName(QStringLiteral("ReplaySpeed"));
    ReplaySpeed->addItems({QStringLiteral("×1"), QStringLiteral("×10"), text::replayFastest});
    ReplaySpeed->setToolTip(text::replaySpeedHint);
    ReplayState = new QLabel(this);
    ReplayState->setObjectName(QStringLiteral("ReplayState"));
    ReplayState->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // The style draws a checked tool button barely apart from an unchecked one.
    setStyleSheet(QStringLiteral("QToolButton:checked { color: #b00000; font-weight: bold; }"));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(RecordSession);
    row->addSpacing(8);
    row->addWidget(ReplaySession);
    row->addWidget(ReplaySpeed);
    row->addWidget(ReplayState, 1);
}

double SessionBar::Speed() const
{
    const int i = ReplaySpeed->currentIndex();
    return i >= 0 && i < int(std::size(kSpeeds)) ? kSpeeds[i] : 1;
}
