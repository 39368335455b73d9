#pragma once
// TLabelRoom: a label's room in a grid. A label's new text lays out its parent, and every
// layout from there up to the window, which then repaints whole: many times a second for the
// values a flood keeps changing. In a room of its own, sized once, the label repaints itself
// alone.

#include <QLabel>
#include <QResizeEvent>
#include <QWidget>

class TLabelRoom : public QWidget {
public:
    // The label moves in. The room is as wide as the label's minimum width (more when its
    // column gives more) and one line high.
    TLabelRoom(QLabel* label, QSizePolicy::Policy horizontal, QWidget* parent)
        : QWidget(parent)
        , label_(label)
    {
        label->setParent(this);
        setSizePolicy(horizontal, QSizePolicy::Fixed);
        setMinimumSize(label->minimumWidth(), label->sizeHint().height());
    }

    // Widens the room for a text longer than any before: the one new text that lays the
    // window out again.
    void Fit()
    {
        const int needed = label_->sizeHint().width();
        if (needed > minimumWidth())
            setMinimumWidth(needed);
    }

protected:
    void resizeEvent(QResizeEvent*) override { label_->setGeometry(rect()); }

private:
    QLabel* label_;
};
