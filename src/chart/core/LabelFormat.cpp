#include "chart/core/LabelFormat.h"

#include <cmath>

namespace chartmath {

namespace {

int maxDecimals(const QString& pattern)
{
    const qsizetype point = pattern.indexOf(QLatin1Char('.'));
    if (point < 0) {
        return 0;
    }
    const QString decimalPart = pattern.mid(point + 1);
    return int(decimalPart.count(QLatin1Char('0')) + decimalPart.count(QLatin1Char('#')));
}

} // namespace

double formatResolution(const QString& pattern)
{
    return std::pow(10.0, -maxDecimals(pattern));
}

QString formatValue(double value, const QString& pattern, const QLocale& locale)
{
    const qsizetype point = pattern.indexOf(QLatin1Char('.'));
    const QString integerPart = point < 0 ? pattern : pattern.left(point);
    const QString decimalPart = point < 0 ? QString() : pattern.mid(point + 1);
    const bool grouping = integerPart.contains(QLatin1Char(','));
    const int minDecimals = int(decimalPart.count(QLatin1Char('0')));
    const int maxDecimals = minDecimals + int(decimalPart.count(QLatin1Char('#')));

    QLocale loc = locale;
    auto options = loc.numberOptions();
    if (grouping) {
        options &= ~QLocale::OmitGroupSeparator;
    } else {
        options |= QLocale::OmitGroupSeparator;
    }
    loc.setNumberOptions(options);

    // A value that rounds to zero prints as 0, never as -0.
    if (std::isfinite(value) && std::fabs(value) * std::pow(10.0, maxDecimals) < 0.5) {
        value = 0;
    }
    QString text = loc.toString(value, 'f', maxDecimals);
    if (maxDecimals > minDecimals) {
        const QString decimalPoint = loc.decimalPoint();
        const QString zero = loc.zeroDigit();
        const qsizetype at = text.lastIndexOf(decimalPoint);
        if (at >= 0) {
            qsizetype end = text.size();
            const qsizetype keep = at + decimalPoint.size() + minDecimals * zero.size();
            while (
                end - zero.size() >= keep && QStringView(text).mid(end - zero.size(), zero.size()) == zero) {
                end -= zero.size();
            }
            if (end == at + decimalPoint.size()) {
                end = at;
            }
            text.truncate(end);
        }
    }
    return text;
}

} // namespace chartmath
