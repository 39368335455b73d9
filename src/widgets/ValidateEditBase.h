#pragma once
// The extended single-line edit the validated edit builds on: window-system colours for
// background and text, design alignment, and an input length limit that binds only the
// operator (QLineEdit's own limit would also cut the program's writes).

#include "common/Color.h"

#include <QLineEdit>

class TCustomEditBase : public QLineEdit {
    Q_OBJECT
public:
    enum TAlignment { taLeftJustify, taRightJustify, taCenter };

    explicit TCustomEditBase(QWidget* parent = nullptr);

    // Background colour of the box.
    TColor Color() const { return color_; }
    void SetColor(TColor c);
    // Text colour as the program sets it.
    TColor FontColor() const { return fontColor_; }
    void SetFontColor(TColor c);

    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment a);

    // Characters the operator may type or paste; 0 means no limit.
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int n) { maxLength_ = n < 0 ? 0 : n; }

protected:
    // Paints the text in c without changing FontColor (used for value-dependent colouring).
    void applyTextColor(TColor c);
    virtual void fontColorChanged(TColor) { }
    // How many more characters the operator may add in place of the current selection.
    int roomForInput() const;

private:
    TColor color_ = clWindow;
    TColor fontColor_ = clWindowText;
    TAlignment alignment_ = taLeftJustify;
    int maxLength_ = 0;
};
