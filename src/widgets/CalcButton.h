#pragma once
// One key of the calculator's keypad: a flat speed button that never takes the focus.

#include "common/Color.h"
#include <QAbstractButton>
#include <QPixmap>

class TCalcButton : public QAbstractButton {
    Q_OBJECT
public:
    // Kind 1..28 as the keypad arranges them; the tag is Kind - 1 for the keys of the
    // key string (1..22) and -1 for the memory, OK and Cancel keys.
    TCalcButton(int KeyKind, QWidget* parent = nullptr);

    int KeyKind() const { return kind_; }
    int Tag() const { return kind_ <= 22 ? kind_ - 1 : -1; }
    TColor TextColor() const { return color_; }
    void SetTextColor(TColor c);
    // A glyph replaces the face text.
    void SetGlyph(const QPixmap& glyph);
    const QPixmap& Glyph() const { return glyph_; }
    // New (flat, 3-D edges) or old (black-framed) button style.
    void SetNewStyle(bool on);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int kind_;
    TColor color_ = clBtnText;
    QPixmap glyph_;
    bool newStyle_ = true;
};
