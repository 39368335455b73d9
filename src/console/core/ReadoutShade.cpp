#include "console/core/ReadoutShade.h"

#include <QDateTime>
#include <utility>

namespace {
namespace text {
const QString down = QStringLiteral("Няма връзка от %1.");
const QString last = QStringLiteral("Последна стойност: %1 (в %2)");
const QString none = QStringLiteral("Не е получена стойност.");
} // namespace text

QString clockTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss"));
}
} // namespace

void TReadoutShade::setValue(TReadout which, const QString& text, qint64 ms)
{
    values_[std::size_t(which)] = Value{text, ms};
}

void TReadoutShade::linkDown(qint64 ms)
{
    if (down_)
        return;
    down_ = true;
    downMs_ = ms;
}

bool TReadoutShade::linkUp()
{
    return std::exchange(down_, false);
}

std::optional<TColor> TReadoutShade::shownColor(TReadout which) const
{
    if (down_)
        return kDownColor;
    return colors_[std::size_t(which)];
}

QString TReadoutShade::toolTip(TReadout which) const
{
    if (!down_)
        return {};
    const auto& v = values_[std::size_t(which)];
    return text::down.arg(clockTime(downMs_)) + QLatin1Char('\n')
        + (v ? text::last.arg(v->text, clockTime(v->ms)) : text::none);
}
