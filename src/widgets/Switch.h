#pragma once
// On/off rocker switch: a focusable control that paints one of two pictures and toggles on
// a left click or its toggle key.

#include "common/Color.h"

#include <QKeySequence>
#include <QPixmap>
#include <QWidget>
#include <functional>

enum TTextPos { tpNone, tpLeft, tpRight, tpAbove, tpBelow };

class TSwitch : public QWidget {
    Q_OBJECT
public:
    enum TBorderStyle { bsNone, bsSingle };

    explicit TSwitch(QWidget* parent = nullptr);
    ~TSwitch() override;

    bool StateOn() const { return stateOn_; }
    // Stores a new state, repaints and fires OnOn or OnOff; the current value does nothing.
    void SetStateOn(bool on);
    void Toggle() { SetStateOn(!stateOn_); }

    // Pictures of the two states; a null pixmap brings back the built-in one.
    const QPixmap& GlyphOn() const { return glyphOn_; }
    void SetGlyphOn(const QPixmap& p);
    const QPixmap& GlyphOff() const { return glyphOff_; }
    void SetGlyphOff(const QPixmap& p);
    // Whether the picture was replaced (a form stores only these).
    bool GlyphOnReplaced() const { return onReplaced_; }
    bool GlyphOffReplaced() const { return offReplaced_; }

    // Key code plus modifiers; the space bar without modifiers by default.
    QKeyCombination ToggleKey() const { return toggleKey_; }
    void SetToggleKey(QKeyCombination k) { toggleKey_ = k; }
    bool ShowFocus() const { return showFocus_; }
    void SetShowFocus(bool on);
    TTextPos TextPosition() const { return textPosition_; }
    void SetTextPosition(TTextPos p);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle s);
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& c);
    // Background; until set, the parent's background shows through as the form's colour.
    TColor Color() const { return color_; }
    void SetColor(TColor c);
    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool on);

    // Where the picture lands in the client area (for tests and the focus frame).
    QRect GlyphRect() const;
    // The caption's rectangle, empty with tpNone.
    QRect CaptionRect() const;

    // The built-in pictures "SwitchON" and "SwitchOFF", background already transparent.
    static QPixmap BuiltinGlyph(bool on);

    std::function<void(QObject* Sender)> OnOn;
    std::function<void(QObject* Sender)> OnOff;
    std::function<void(QObject* Sender)> OnClick;
    std::function<void(QObject* Sender)> OnDblClick;
    std::function<void(QObject* Sender, Qt::MouseButton, Qt::KeyboardModifiers, int X, int Y)> OnMouseDown;
    std::function<void(QObject* Sender, Qt::MouseButton, Qt::KeyboardModifiers, int X, int Y)> OnMouseUp;
    // A handler may set Key to 0 to keep the switch from seeing it.
    std::function<void(QObject* Sender, int& Key, Qt::KeyboardModifiers)> OnKeyDown;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void leftPress(QMouseEvent* event);
    const QPixmap& currentGlyph() const;
    void updateAccelerator();

    bool stateOn_ = false;
    QPixmap glyphOn_;
    QPixmap glyphOff_;
    QPixmap greyOn_;
    QPixmap greyOff_;
    bool onReplaced_ = false;
    bool offReplaced_ = false;
    QKeyCombination toggleKey_{Qt::Key_Space};
    bool showFocus_ = true;
    TTextPos textPosition_ = tpNone;
    TBorderStyle borderStyle_ = bsNone;
    QString caption_;
    TColor color_ = clBtnFace;
    bool colorSet_ = false;
    bool tabStop_ = true;
    bool clickPending_ = false;
    int shortcutId_ = 0;
};
