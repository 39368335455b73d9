#pragma once
// Validated numeric edit: the operator can type only what the display format allows, and
// every commit (focus loss, paste, program write) normalises the shown text.

#include "widgets/ValidateEditBase.h"
#include "widgets/core/ValidateEditLogic.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class TCustomValidateEdit : public TCustomEditBase {
    Q_OBJECT
public:
    explicit TCustomValidateEdit(QWidget* parent = nullptr);
    ~TCustomValidateEdit() override;

    // The shown text (may be unfinished while the operator types).
    QString Text() const { return QLineEdit::text(); }
    // Commits text and then runs the value-changed step.
    void SetText(const QString& text);

    // The validated value text; writing it commits.
    const QString& EditText() const { return model_.editText(); }
    void SetEditText(const QString& text);
    // The integer of EditText, 0 when it is not one.
    std::int64_t Value() const { return model_.value(); }

    TValidateEditDisplayFormat DisplayFormat() const { return model_.displayFormat(); }
    void SetDisplayFormat(TValidateEditDisplayFormat format);
    const QString& CheckChars() const { return model_.checkChars(); }
    void SetCheckChars(const QString& chars) { model_.setCheckChars(chars); }

    double MinValue() const { return model_.minValue(); }
    void SetMinValue(double v) { model_.setMinValue(v); }
    double MaxValue() const { return model_.maxValue(); }
    void SetMaxValue(double v) { model_.setMaxValue(v); }
    bool HasMinValue() const { return model_.hasMinValue(); }
    void SetHasMinValue(bool on) { model_.setHasMinValue(on); }
    bool HasMaxValue() const { return model_.hasMaxValue(); }
    void SetHasMaxValue(bool on) { model_.setHasMaxValue(on); }

    bool ZeroEmpty() const { return model_.zeroEmpty(); }
    void SetZeroEmpty(bool on) { model_.setZeroEmpty(on); }
    bool AllowEmpty() const { return model_.allowEmpty(); }
    void SetAllowEmpty(bool on) { model_.setAllowEmpty(on); }
    const QString& DisplayPrefix() const { return model_.displayPrefix(); }
    void SetDisplayPrefix(const QString& s) { model_.setDisplayPrefix(s); }
    const QString& DisplaySuffix() const { return model_.displaySuffix(); }
    void SetDisplaySuffix(const QString& s) { model_.setDisplaySuffix(s); }
    int DecimalPlaces() const { return model_.decimalPlaces(); }
    void SetDecimalPlaces(int n) { model_.setDecimalPlaces(n); }
    bool TrimDecimals() const { return model_.trimDecimals(); }
    void SetTrimDecimals(bool on) { model_.setTrimDecimals(on); }

    // When on, the display format chooses the alignment (right for the numbers).
    bool AutoAlignment() const { return autoAlignment_; }
    void SetAutoAlignment(bool on);

    const TValidateEditCriticalPoints& CriticalPoints() const { return model_.criticalPoints(); }
    void SetCriticalPoints(const TValidateEditCriticalPoints& points) { model_.setCriticalPoints(points); }

    // Form-style set-up: between BeginLoad and Loaded limit changes do not clamp; Loaded
    // commits the stored EditText once.
    void BeginLoad() { model_.beginLoading(); }
    void Loaded() { model_.endLoading(); }

    std::function<void(QObject* Sender)> OnValueChanged;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void fontColorChanged(TColor c) override;

private:
    void applyAutoAlignment();
    // Typing filter and length limit for text the operator enters at the caret.
    bool acceptsTyped(const QString& typed) const;
    void shownTextChanged(const QString& text);
    // Paste: insert as far as MaxLength allows, then filter and commit the whole text.
    void pasteText(const QString& clip);

    validate_edit::Model model_;
    bool autoAlignment_ = true;
    bool destroying_ = false;
};

class TValidateEdit : public TCustomValidateEdit {
    Q_OBJECT
public:
    using TCustomValidateEdit::TCustomValidateEdit;
};
