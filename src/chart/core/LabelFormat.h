#pragma once
// Axis label text: a number in a "#,##0.###"-style pattern (digit grouping, minimum integer
// digits, required and optional decimals) with a locale's grouping and decimal characters.

#include <QLocale>
#include <QString>

namespace chartmath {

QString formatValue(double value, const QString& pattern, const QLocale& locale = QLocale());

// The smallest difference the pattern shows: 10 to the minus number of decimals it allows.
double formatResolution(const QString& pattern);

} // namespace chartmath
