#pragma once
// The validated numeric edit without its window: typing filter, validity filter, commit,
// display step and limits. The widget forwards its events here and shows what it is told.

#include "common/Color.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

enum TValidateEditDisplayFormat {
    dfAlphabetic,
    dfAlphaNumeric,
    dfBinary,
    dfCheckChars,
    dfCurrency,
    dfCustom,
    dfFloat,
    dfHex,
    dfInteger,
    dfNonCheckChars,
    dfNone,
    dfOctal,
    dfPercent,
    dfScientific,
    dfYear,
};

enum TValidateEditCriticalPointsCheck { cpNone, cpMinValue, cpMaxValue, cpBoth };

struct TValidateEditCriticalPoints {
    TValidateEditCriticalPointsCheck CheckPoints = cpNone;
    TColor ColorAbove = clBlue;
    TColor ColorBelow = clRed;
    double MinValue = 0;
    double MaxValue = 0;
};

namespace validate_edit {

// The digits the integer format accepts anywhere ("0" is listed twice, as designed).
inline const QString kIntegerCheckChars = QStringLiteral("01234567890");

// Typing filter: whether c may stand at the 1-based position pos of text.
bool isValidChar(TValidateEditDisplayFormat format, const QString& checkChars, QChar c, const QString& text,
    int pos, bool hasSelection);

// Validity filter: keeps each character that is valid after the kept text before it.
QString filterText(TValidateEditDisplayFormat format, const QString& checkChars, const QString& text);

// The 64-bit integer of text, or nothing when text is empty, a lone sign or out of range.
std::optional<std::int64_t> parseInteger(const QString& text);

// What the window of the edit has to do for the logic; every member may be left empty.
struct Host {
    std::function<QString()> shownText;
    std::function<void(const QString&)> setShownText;
    std::function<void(TColor)> setFontColor;
    std::function<void()> valueChanged;
};

class Model {
public:
    explicit Model(Host host = {});

    void setHost(Host host) { host_ = std::move(host); }

    TValidateEditDisplayFormat displayFormat() const { return displayFormat_; }
    void setDisplayFormat(TValidateEditDisplayFormat format);
    const QString& checkChars() const { return checkChars_; }
    void setCheckChars(const QString& chars);

    // The validated value text (raw while the operator types, until the next commit).
    const QString& editText() const { return editText_; }
    const QString& lastCommitted() const { return lastCommitted_; }

    double minValue() const { return minValue_; }
    double maxValue() const { return maxValue_; }
    bool hasMinValue() const { return hasMinValue_; }
    bool hasMaxValue() const { return hasMaxValue_; }
    void setMinValue(double v);
    void setMaxValue(double v);
    void setHasMinValue(bool on);
    void setHasMaxValue(bool on);

    bool zeroEmpty() const { return zeroEmpty_; }
    void setZeroEmpty(bool on);
    bool allowEmpty() const { return allowEmpty_; }
    void setAllowEmpty(bool on);
    const QString& displayPrefix() const { return displayPrefix_; }
    void setDisplayPrefix(const QString& s);
    const QString& displaySuffix() const { return displaySuffix_; }
    void setDisplaySuffix(const QString& s);
    int decimalPlaces() const { return decimalPlaces_; }
    void setDecimalPlaces(int n) { decimalPlaces_ = n; }
    bool trimDecimals() const { return trimDecimals_; }
    void setTrimDecimals(bool on) { trimDecimals_ = on; }

    const TValidateEditCriticalPoints& criticalPoints() const { return criticalPoints_; }
    void setCriticalPoints(const TValidateEditCriticalPoints& points);
    // The font colour used when no critical point applies.
    void setNormalFontColor(TColor c);
    TColor normalFontColor() const { return normalFontColor_; }

    // While loading, limit changes are stored without clamping; endLoading commits EditText.
    void beginLoading() { loading_ = true; }
    void endLoading();

    // Value of EditText: its integer, 0 when it is not one.
    std::int64_t value() const;
    bool isNumericFormat() const;

    // Typing filter of one character at the caret (0-based caret index).
    bool acceptsKey(QChar c, const QString& text, int caretIndex, bool hasSelection) const;

    // Commit: filter, clamp, display, value changed.
    void commit(const QString& text);
    // Sets EditText by a commit and then runs the value-changed step again (the Text write).
    void setText(const QString& text);
    // The operator changed the shown text: EditText takes it raw.
    void operatorChanged(const QString& shown);
    // Display step: normalised EditText to the window, then the critical-point colouring.
    void display();
    // Escape: back to the last committed text.
    void revert();
    // True while the model itself writes the shown text.
    bool writing() const { return writing_; }
    // The text the display step shows for the current EditText.
    QString displayText() const;

private:
    void clampMax();
    void clampMin();
    void valueChangedStep();
    void colourByValue();

    Host host_;
    TValidateEditDisplayFormat displayFormat_ = dfInteger;
    QString checkChars_ = kIntegerCheckChars;
    QString editText_;
    QString lastCommitted_;
    double minValue_ = 0;
    double maxValue_ = 0;
    bool hasMinValue_ = false;
    bool hasMaxValue_ = false;
    bool zeroEmpty_ = false;
    bool allowEmpty_ = false;
    QString displayPrefix_;
    QString displaySuffix_;
    int decimalPlaces_ = 0;
    bool trimDecimals_ = false;
    TValidateEditCriticalPoints criticalPoints_;
    TColor normalFontColor_ = clWindowText;
    bool loading_ = false;
    bool writing_ = false;
};

} // namespace validate_edit
