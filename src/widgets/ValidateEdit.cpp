#include "widgets/ValidateEdit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>

TCustomValidateEdit::TCustomValidateEdit(QWidget* parent)
    : TCustomEditBase(parent)
{
    // Drops would bypass both filters.
    setAcceptDrops(false);
    model_.setNormalFontColor(FontColor());
    model_.setHost({
        .shownText = [this] { return QLineEdit::text(); },
        .setShownText = [this](const QString& s) { QLineEdit::setText(s); },
        .setFontColor = [this](TColor c) { applyTextColor(c); },
        .valueChanged =
            [this] {
                if (OnValueChanged)
                    OnValueChanged(this);
            },
    });
    connect(this, &QLineEdit::textChanged, this, &TCustomValidateEdit::shownTextChanged);
    applyAutoAlignment();
    model_.commit(model_.editText());
}

TCustomValidateEdit::~TCustomValidateEdit()
{
    destroying_ = true;
}

void TCustomValidateEdit::SetText(const QString& text)
{
    model_.setText(text);
}

void TCustomValidateEdit::SetEditText(const QString& text)
{
    model_.commit(text);
}

void TCustomValidateEdit::SetDisplayFormat(TValidateEditDisplayFormat format)
{
    model_.setDisplayFormat(format);
    applyAutoAlignment();
}

void TCustomValidateEdit::SetAutoAlignment(bool on)
{
    autoAlignment_ = on;
    applyAutoAlignment();
}

void TCustomValidateEdit::applyAutoAlignment()
{
    if (autoAlignment_)
        SetAlignment(model_.isNumericFormat() ? taRightJustify : taLeftJustify);
}

void TCustomValidateEdit::shownTextChanged(const QString& text)
{
    model_.operatorChanged(text);
}

void TCustomValidateEdit::fontColorChanged(TColor c)
{
    model_.setNormalFontColor(c);
}

void TCustomValidateEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        model_.revert();
        selectAll();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        pasteText(QGuiApplication::clipboard()->text());
        event->accept();
        return;
    }
    if (!(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && !acceptsTyped(event->text())) {
        event->accept();
        return;
    }
    TCustomEditBase::keyPressEvent(event);
}

bool TCustomValidateEdit::acceptsTyped(const QString& typed) const
{
    // Each character is checked where it lands: typed text replaces a selection, so the first
    // lands at the selection's start whichever end the caret stands at. Control characters pass.
    const bool selected = hasSelectedText();
    int landing = selected ? selectionStart() : cursorPosition();
    int printable = 0;
    for (QChar c : typed) {
        if (c.unicode() < 32 || c.unicode() == 127)
            continue;
        ++printable;
        if (!model_.acceptsKey(c, QLineEdit::text(), landing++, selected))
            return false;
    }
    return printable == 0 || roomForInput() >= printable;
}

void TCustomValidateEdit::inputMethodEvent(QInputMethodEvent* event)
{
    if (!acceptsTyped(event->commitString())) {
        // Keep the composition state, drop only the text that would land.
        QInputMethodEvent filtered(event->preeditString(), event->attributes());
        TCustomEditBase::inputMethodEvent(&filtered);
        return;
    }
    TCustomEditBase::inputMethodEvent(event);
}

void TCustomValidateEdit::pasteText(const QString& clip)
{
    if (isReadOnly())
        return;
    insert(clip.left(roomForInput()));
    model_.commit(QLineEdit::text());
}

void TCustomValidateEdit::contextMenuEvent(QContextMenuEvent* event)
{
    std::unique_ptr<QMenu> menu(createStandardContextMenu());
    // The standard Paste would skip the filter and the commit.
    for (QAction* action : menu->actions()) {
        if (action->objectName() == QLatin1String("edit-paste")) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this,
                [this] { pasteText(QGuiApplication::clipboard()->text()); });
        }
    }
    menu->exec(event->globalPos());
}

void TCustomValidateEdit::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
        pasteText(QGuiApplication::clipboard()->text(QClipboard::Selection));
        event->accept();
        return;
    }
    TCustomEditBase::mouseReleaseEvent(event);
}

void TCustomValidateEdit::focusInEvent(QFocusEvent* event)
{
    model_.display();
    TCustomEditBase::focusInEvent(event);
}

void TCustomValidateEdit::focusOutEvent(QFocusEvent* event)
{
    // A context menu borrows the focus without the operator leaving the box.
    if (!destroying_ && event->reason() != Qt::PopupFocusReason)
        model_.commit(QLineEdit::text());
    TCustomEditBase::focusOutEvent(event);
}
