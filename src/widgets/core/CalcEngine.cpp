#include "widgets/core/CalcEngine.h"

#include <algorithm>
#include <cmath>

namespace {

// Beyond 17 significant digits a double has nothing more to show.
constexpr int kMaxFormatDigits = 17;

QChar decimalOf(const QLocale& locale)
{
    const QString d = locale.decimalPoint();
    return d.isEmpty() ? QChar('.') : d.at(0);
}

// Mantissa without trailing zeros (and without a bare point).
QString stripZeros(QString s)
{
    if (s.contains('.')) {
        while (s.endsWith('0'))
            s.chop(1);
        if (s.endsWith('.'))
            s.chop(1);
    }
    return s;
}

} // namespace

TCalcEngine::TCalcEngine(const QLocale& locale)
    : locale_(locale)
    , decimal_(decimalOf(locale))
{
}

QString TCalcEngine::FormatValue(double V) const
{
    const int digits = std::min(std::max(2, precision_), kMaxFormatDigits);
    if (V == 0)
        return QStringLiteral("0");
    // The exponent after rounding to the shown digits decides fixed or exponent notation.
    const QString sci = QString::number(V, 'e', digits - 1);
    const qsizetype ePos = sci.indexOf('e');
    const int exponent = sci.mid(ePos + 1).toInt();
    QString text;
    if (exponent >= -5 && exponent < digits) {
        text = stripZeros(QString::number(V, 'f', std::max(0, digits - 1 - exponent)));
    } else {
        text = stripZeros(sci.left(ePos)) + QChar('E') + QString::number(exponent);
    }
    if (decimal_ != QChar('.'))
        text.replace(QChar('.'), decimal_);
    return text;
}

void TCalcEngine::setText(const QString& t)
{
    if (t == displayText_)
        return;
    displayText_ = t;
    if (OnTextChange)
        OnTextChange(displayText_);
}

void TCalcEngine::beep()
{
    if (beepOnError_ && OnBeep)
        OnBeep();
}

bool TCalcEngine::isDecimalKey(QChar k) const
{
    return k == QChar('.') || k == QChar(',') || k == decimal_;
}

double TCalcEngine::DisplayValue() const
{
    if (status_ == cstError)
        return 0;
    QString t = displayText_.trimmed();
    if (decimal_ != QChar('.'))
        t.replace(decimal_, QChar('.'));
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0;
}

void TCalcEngine::SetDisplayValue(double V)
{
    // An overflow or an undefined result is an arithmetic error like a division by zero.
    if (!std::isfinite(V)) {
        Error();
        return;
    }
    const QString t = FormatValue(V == 0 ? 0.0 : V);
    if (t == displayText_)
        return;
    setText(t);
    if (OnDisplayChange)
        OnDisplayChange();
}

void TCalcEngine::Error()
{
    status_ = cstError;
    setText(QStringLiteral("Error"));
    beep();
}

void TCalcEngine::BeginNumber()
{
    if (status_ == cstNewNumber) {
        status_ = cstEntering;
        setText(QStringLiteral("0"));
    }
}

void TCalcEngine::Paste(const QString& Text)
{
    QString t = Text;
    const QString currency = locale_.currencySymbol();
    if (!currency.isEmpty())
        t.remove(currency);
    t = t.trimmed();
    bool ok = false;
    const double v = locale_.toDouble(t, &ok);
    if (ok && std::isfinite(v))
        SetDisplayValue(v);
    else
        setText(QStringLiteral("0"));
}

void TCalcEngine::SetMemory(double m)
{
    memory_ = m;
    if (OnMemoryChange)
        OnMemoryChange();
}

void TCalcEngine::MemoryAdd()
{
    if (status_ == cstError)
        return;
    status_ = cstNewNumber;
    const double sum = memory_ + DisplayValue();
    // An overflowing sum is an arithmetic error; the memory keeps its last good value.
    if (std::isfinite(sum))
        SetMemory(sum);
    else
        Error();
}

void TCalcEngine::MemoryStore()
{
    if (status_ == cstError)
        return;
    status_ = cstNewNumber;
    SetMemory(DisplayValue());
}

void TCalcEngine::MemoryRecall()
{
    if (status_ == cstError)
        return;
    status_ = cstNewNumber;
    BeginNumber();
    SetDisplayValue(memory_);
}

void TCalcEngine::MemoryClear()
{
    SetMemory(0);
}

bool TCalcEngine::Confirm()
{
    if (status_ == cstError) {
        beep();
        return false;
    }
    SetDisplayValue(DisplayValue());
    return true;
}

void TCalcEngine::digit(QChar d)
{
    BeginNumber();
    QString t = displayText_ == QStringLiteral("0") ? QString() : displayText_;
    if (t.contains(QChar('E')))
        return;
    const int limit = std::max(2, precision_) + (t.startsWith('-') ? 1 : 0);
    if (t.size() < limit)
        setText(t + d);
    else
        beep();
}

void TCalcEngine::backspace()
{
    BeginNumber();
    const QString& t = displayText_;
    if (t.size() == 1 || (t.size() == 2 && t.startsWith('-'))) {
        setText(QStringLiteral("0"));
        return;
    }
    // Dropping one digit of an exponent changes the magnitude by orders ("1E-11" to "1E-1"):
    // the exponent goes as a whole and leaves the mantissa.
    const qsizetype exponent = t.indexOf(QChar('E'));
    QString s = exponent > 0 ? t.left(exponent) : t.left(t.size() - 1);
    setText(s.isEmpty() || s == QStringLiteral("-") ? QStringLiteral("0") : s);
}

void TCalcEngine::applyOperator(QChar Key)
{
    if (status_ == cstEntering) {
        status_ = cstNewNumber;
        double r = DisplayValue();
        const char16_t pending = operator_.unicode();
        if (Key == QChar('%')) {
            if (pending == '*' || pending == '/')
                r = r / 100;
            else if (pending == '+' || pending == '-')
                r = operand_ * r / 100;
        }
        switch (pending) {
        case '*':
            SetDisplayValue(operand_ * r);
            break;
        case '+':
            SetDisplayValue(operand_ + r);
            break;
        case '-':
            SetDisplayValue(operand_ - r);
            break;
        case '/':
            if (r == 0)
                Error();
            else
                SetDisplayValue(operand_ / r);
            break;
        default:
            break;
        }
    }
    operator_ = Key;
    operand_ = DisplayValue();
}

void TCalcEngine::CalcKey(QChar Key)
{
    Key = Key.toUpper();
    if (status_ == cstError && Key != QChar('C') && Key != QChar(kEscape))
        Key = QChar(0);
    if (OnCalcKey)
        OnCalcKey(Key);

    if (isDecimalKey(Key)) {
        BeginNumber();
        // An exponent form takes no decimal point: it would no longer read as a number.
        if (!displayText_.contains(decimal_) && !displayText_.contains(QChar('E')))
            setText(displayText_ + decimal_);
        return;
    }
    const char16_t k = Key.unicode();
    switch (k) {
    case kCopy:
        if (OnCopy)
            OnCopy(displayText_);
        break;
    case kPaste:
        if (OnPaste) {
            if (const auto text = OnPaste())
                Paste(*text);
        }
        break;
    case kBackspace:
        backspace();
        break;
    case kEscape:
    case 'C':
        status_ = cstNewNumber;
        SetDisplayValue(0);
        operator_ = QChar('=');
        break;
    case '_':
        SetDisplayValue(-DisplayValue());
        break;
    case 'Q':
        if (status_ != cstError) {
            status_ = cstNewNumber;
            const double v = DisplayValue();
            if (v >= 0)
                SetDisplayValue(std::sqrt(v));
            else
                Error();
        }
        break;
    case 'R':
        if (status_ != cstError) {
            status_ = cstNewNumber;
            const double v = DisplayValue();
            if (v != 0)
                SetDisplayValue(1 / v);
            else
                Error();
        }
        break;
    case '+':
    case '-':
    case '*':
    case '/':
    case '%':
    case '=':
    case kReturn:
        applyOperator(Key);
        break;
    default:
        if (k >= '0' && k <= '9')
            digit(Key);
        break;
    }
}
