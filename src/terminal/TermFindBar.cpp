#include "terminal/TermFindBar.h"

#include "terminal/CustomComTerminal.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

TTermFindBar::TTermFindBar(QWidget* parent)
    : QFrame(parent)
    , field_(new QLineEdit(this))
    , result_(new QLabel(this))
    , previous_(new QToolButton(this))
    , next_(new QToolButton(this))
    , close_(new QToolButton(this))
{
    setObjectName(QStringLiteral("FindBar"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    setAutoFillBackground(true);
    field_->setObjectName(QStringLiteral("FindText"));
    field_->setPlaceholderText(TCustomComTerminal::Text("FindAction"));
    field_->setClearButtonEnabled(true);
    field_->setMinimumWidth(160);
    previous_->setObjectName(QStringLiteral("FindPrevious"));
    previous_->setText(TCustomComTerminal::Text("FindPrevious"));
    previous_->setArrowType(Qt::UpArrow);
    previous_->setToolTip(TCustomComTerminal::Text("FindPrevious"));
    next_->setObjectName(QStringLiteral("FindNext"));
    next_->setText(TCustomComTerminal::Text("FindNext"));
    next_->setArrowType(Qt::DownArrow);
    next_->setToolTip(TCustomComTerminal::Text("FindNext"));
    close_->setObjectName(QStringLiteral("FindClose"));
    close_->setText(QStringLiteral("\u00D7"));
    close_->setToolTip(TCustomComTerminal::Text("FindClose"));
    close_->setAutoRaise(true);
    result_->setObjectName(QStringLiteral("FindResult"));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 2, 2);
    row->setSpacing(3);
    row->addWidget(field_, 1);
    row->addWidget(result_);
    row->addWidget(previous_);
    row->addWidget(next_);
    row->addWidget(close_);

    field_->installEventFilter(this);
    connect(field_, &QLineEdit::textEdited, this, &TTermFindBar::TextEdited);
    connect(previous_, &QToolButton::clicked, this, [this] { emit FindRequested(true); });
    connect(next_, &QToolButton::clicked, this, [this] { emit FindRequested(false); });
    connect(close_, &QToolButton::clicked, this, [this] {
        hide();
        emit Closed();
    });
    hide();
}

QString TTermFindBar::Text() const
{
    return field_->text();
}

void TTermFindBar::Open(const QString& text)
{
    if (!text.isEmpty())
        field_->setText(text);
    adjustSize();
    show();
    raise();
    field_->setFocus(Qt::ShortcutFocusReason);
    field_->selectAll();
}

void TTermFindBar::SetResult(const QString& text, bool found)
{
    result_->setText(text);
    QPalette pal = field_->palette();
    pal.setColor(QPalette::Base,
        found || field_->text().isEmpty() ? palette().color(QPalette::Base) : QColor(0xFF, 0xD0, 0xD0));
    field_->setPalette(pal);
    adjustSize();
}

bool TTermFindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == field_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            emit FindRequested(key->modifiers() & Qt::ShiftModifier);
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            hide();
            emit Closed();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}
