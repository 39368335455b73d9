#include "widgets/core/ValidateEditLogic.h"

#include <cmath>
#include <limits>

namespace validate_edit {

namespace {

// Decimal text of a limit truncated toward zero, kept inside the 64-bit range.
QString limitText(double v)
{
    if (std::isnan(v))
        return QStringLiteral("0");
    const double t = std::trunc(v);
    if (t >= 9223372036854775807.0)
        return QString::number(std::numeric_limits<std::int64_t>::max());
    if (t <= -9223372036854775808.0)
        return QString::number(std::numeric_limits<std::int64_t>::min());
    return QString::number(static_cast<std::int64_t>(t));
}

} // namespace

bool isValidChar(TValidateEditDisplayFormat format, const QString& checkChars, QChar c, const QString& text,
    int pos, bool hasSelection)
{
    switch (format) {
    case dfInteger:
        if (checkChars.contains(c))
            return true;
        if (c == u'+')
            return pos == 1 && (!text.contains(u'+') || hasSelection);
        if (c == u'-')
            return pos == 1 && (!text.contains(u'-') || hasSelection);
        return false;
    case dfCheckChars:
        return checkChars.contains(c);
    case dfNonCheckChars:
        return !checkChars.contains(c);
    default:
        // The other formats are not built; they accept what they are given.
        return true;
    }
}

QString filterText(TValidateEditDisplayFormat format, const QString& checkChars, const QString& text)
{
    QString kept;
    kept.reserve(text.size());
    for (QChar c : text) {
        if (isValidChar(format, checkChars, c, kept, int(kept.size()) + 1, false))
            kept.append(c);
    }
    return kept;
}

std::optional<std::int64_t> parseInteger(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    int i = 0;
    bool negative = false;
    if (text[0] == u'+' || text[0] == u'-') {
        negative = text[0] == u'-';
        i = 1;
    }
    if (i == text.size())
        return std::nullopt;
    // Accumulate negatively so that the most negative value fits.
    std::int64_t acc = 0;
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int d = c.unicode() - u'0';
        if (acc < (kMin + d) / 10)
            return std::nullopt;
        acc = acc * 10 - d;
    }
    if (negative)
        return acc;
    if (acc == kMin)
        return std::nullopt;
    return -acc;
}

Model::Model(Host host)
    : host_(std::move(host))
{
}

void Model::setDisplayFormat(TValidateEditDisplayFormat format)
{
    if (format == displayFormat_)
        return;
    displayFormat_ = format;
    if (format == dfInteger)
        checkChars_ = kIntegerCheckChars;
    if (!loading_)
        commit(editText_);
}

void Model::setCheckChars(const QString& chars)
{
    checkChars_ = chars;
}

bool Model::isNumericFormat() const
{
    switch (displayFormat_) {
    case dfBinary:
    case dfCurrency:
    case dfFloat:
    case dfHex:
    case dfInteger:
    case dfOctal:
    case dfPercent:
    case dfScientific:
    case dfYear:
        return true;
    default:
        return false;
    }
}

std::int64_t Model::value() const
{
    return parseInteger(editText_).value_or(0);
}

bool Model::acceptsKey(QChar c, const QString& text, int caretIndex, bool hasSelection) const
{
    // Control characters (Backspace, Ctrl+C, Delete) always pass.
    if (c.unicode() < 32 || c.unicode() == 127)
        return true;
    return isValidChar(displayFormat_, checkChars_, c, text, caretIndex + 1, hasSelection);
}

void Model::setMinValue(double v)
{
    minValue_ = v;
    if (maxValue_ < minValue_)
        maxValue_ = minValue_;
    if (!loading_)
        clampMin();
}

void Model::setMaxValue(double v)
{
    maxValue_ = v;
    if (minValue_ > maxValue_)
        minValue_ = maxValue_;
    if (!loading_)
        clampMax();
}

void Model::setHasMinValue(bool on)
{
    hasMinValue_ = on;
    if (!loading_)
        clampMin();
}

void Model::setHasMaxValue(bool on)
{
    hasMaxValue_ = on;
    if (!loading_)
        clampMax();
}

void Model::setZeroEmpty(bool on)
{
    zeroEmpty_ = on;
    if (!loading_)
        display();
}

void Model::setAllowEmpty(bool on)
{
    allowEmpty_ = on;
    if (!loading_)
        display();
}

void Model::setDisplayPrefix(const QString& s)
{
    displayPrefix_ = s;
    if (!loading_)
        display();
}

void Model::setDisplaySuffix(const QString& s)
{
    displaySuffix_ = s;
    if (!loading_)
        display();
}

void Model::setCriticalPoints(const TValidateEditCriticalPoints& points)
{
    const bool wasOn = criticalPoints_.CheckPoints != cpNone;
    criticalPoints_ = points;
    // Switching the colouring off must not leave the last value colour behind.
    if (wasOn && points.CheckPoints == cpNone && host_.setFontColor)
        host_.setFontColor(normalFontColor_);
    colourByValue();
}

void Model::setNormalFontColor(TColor c)
{
    normalFontColor_ = c;
    if (criticalPoints_.CheckPoints != cpNone)
        colourByValue();
}

void Model::endLoading()
{
    loading_ = false;
    commit(editText_);
}

void Model::clampMax()
{
    if (isNumericFormat() && hasMaxValue_ && double(value()) > maxValue_)
        commit(editText_);
}

void Model::clampMin()
{
    if (isNumericFormat() && hasMinValue_ && double(value()) < minValue_)
        commit(editText_);
}

void Model::commit(const QString& text)
{
    editText_ = filterText(displayFormat_, checkChars_, text);
    // One pass of each clamp: a fractional limit truncated toward zero can fall outside the
    // range again, and committing it over and over would never end.
    if (isNumericFormat() && hasMaxValue_ && double(value()) > maxValue_)
        editText_ = limitText(maxValue_);
    if (isNumericFormat() && hasMinValue_ && double(value()) < minValue_)
        editText_ = limitText(minValue_);
    display();
    valueChangedStep();
}

void Model::setText(const QString& text)
{
    commit(text);
    valueChangedStep();
}

void Model::operatorChanged(const QString& shown)
{
    if (!writing_)
        editText_ = shown;
}

QString Model::displayText() const
{
    if (allowEmpty_ && editText_.isEmpty())
        return {};
    if (displayFormat_ != dfInteger)
        return displayPrefix_ + editText_ + displaySuffix_;
    const std::int64_t v = value();
    if (zeroEmpty_ && v == 0)
        return {};
    return displayPrefix_ + QString::number(v) + displaySuffix_;
}

void Model::display()
{
    const QString shown = displayText();
    if (host_.setShownText && (!host_.shownText || host_.shownText() != shown)) {
        writing_ = true;
        host_.setShownText(shown);
        writing_ = false;
    }
    colourByValue();
}

void Model::revert()
{
    commit(lastCommitted_);
}

void Model::valueChangedStep()
{
    if (lastCommitted_ != editText_ && host_.valueChanged) {
        lastCommitted_ = editText_;
        host_.valueChanged();
        return;
    }
    lastCommitted_ = editText_;
}

void Model::colourByValue()
{
    if (criticalPoints_.CheckPoints == cpNone)
        return;
    const double v = double(value());
    const auto check = criticalPoints_.CheckPoints;
    TColor c = normalFontColor_;
    if ((check == cpMaxValue || check == cpBoth) && v > criticalPoints_.MaxValue)
        c = criticalPoints_.ColorAbove;
    else if ((check == cpMinValue || check == cpBoth) && v < criticalPoints_.MinValue)
        c = criticalPoints_.ColorBelow;
    if (host_.setFontColor)
        host_.setFontColor(c);
}

} // namespace validate_edit
