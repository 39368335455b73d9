#include "chart/MeasurePanel.h"

#include "chart/LabelRoom.h"
#include "chart/core/TraceSamples.h"

#include <QGridLayout>
#include <QLabel>

namespace {

namespace text {
const QString title = QStringLiteral("Измервания на %1 — %2");
const QString whole = QStringLiteral("цялата следа");
const QString between = QStringLiteral("между курсорите");
const QString nothing = QStringLiteral("Измервания: няма начертана следа");
const QString none = QStringLiteral("—");
} // namespace text

enum class TUnit { Y, X, Percent, Frequency, None };

struct TRow {
    const char* name;
    measure::TMeasureResult measure::TMeasurements::*field;
    const char* caption;
    const char* hint;
    TUnit unit;
};

using M = measure::TMeasurements;
// Three columns of five, read down: levels, then times, then the oscillation.
const TRow kRows[] = {
    {"Minimum", &M::minimum, "Мин.", "Най-малката стойност", TUnit::Y},
    {"Maximum", &M::maximum, "Макс.", "Най-голямата стойност", TUnit::Y},
    {"PeakToPeak", &M::peakToPeak, "Размах", "Максимум минус минимум", TUnit::Y},
    {"Mean", &M::mean, "Средна", "Средна стойност във времето", TUnit::Y},
    {"Rms", &M::rms, "RMS", "Ефективна стойност (средноквадратична във времето)", TUnit::Y},
    {"Peak", &M::peak, "Връх", "Стойността, най-далеч от нулата", TUnit::Y},
    {"PeakTime", &M::peakTime, "t на върха", "Кога е върхът", TUnit::X},
    {"FirstCrossing", &M::firstCrossing, "t излизане", "Първият миг извън границата на величината", TUnit::X},
    {"TimeBeyond", &M::timeBeyond, "t извън", "Общо време извън границата на величината", TUnit::X},
    {"RiseTime", &M::riseTime, "t 10–90 %", "Време на нарастване от 10 % до 90 % от стъпалото", TUnit::X},
    {"Overshoot", &M::overshoot, "Пререг.",
        "Пререгулиране: с колко % от стъпалото следата минава крайното ниво", TUnit::Percent},
    {"Frequency", &M::frequency, "Честота", "Честота на трептенето около крайното ниво", TUnit::Frequency},
    {"Decrement", &M::decrement, "Декремент",
        "Логаритмичен декремент: логаритъм от отношението на две поредни амплитуди", TUnit::None},
    {"Damping", &M::damping, "ζ", "Коефициент на затихване, от декремента", TUnit::None},
};
constexpr int kPerColumn = 5;

} // namespace

MeasurePanel::MeasurePanel(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("MeasurePanel"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(1);
    Title = new QLabel(text::nothing);
    Title->setObjectName(QStringLiteral("MeasureTitle"));
    QFont bold = Title->font();
    bold.setBold(true);
    Title->setFont(bold);
    // A long title is cut at the panel's edge; its tool tip has it whole.
    grid->addWidget(new TLabelRoom(Title, QSizePolicy::Ignored, this), 0, 0, 1, -1);
    int i = 0;
    for (const TRow& row : kRows) {
        const int r = 1 + i % kPerColumn;
        const int c = 3 * (i / kPerColumn);
        auto* caption = new QLabel(QString::fromUtf8(row.caption), this);
        caption->setToolTip(QString::fromUtf8(row.hint));
        auto* value = new QLabel(text::none);
        value->setObjectName(QString::fromLatin1(row.name));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // Its text does not size it. The value columns share the room left by the captions.
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("-888.88 t °C")));
        grid->addWidget(caption, r, c);
        grid->addWidget(new TLabelRoom(value, QSizePolicy::Ignored, this), r, c + 1);
        Values.push_back(value);
        ++i;
    }
    for (int c = 0; c < 3 * ((i + kPerColumn - 1) / kPerColumn); c += 3) {
        grid->setColumnStretch(c + 1, 1);
        grid->setColumnMinimumWidth(c + 2, 6);
    }
    ShowNone();
}

void MeasurePanel::Show(const TTrace& trace, const measure::TMeasurements& m)
{
    const QString title = text::title.arg(trace.name, trace.betweenCursors ? text::between : text::whole);
    Title->setText(title);
    Title->setToolTip(title);
    const chartmath::TFrequencyUnit hz = chartmath::frequencyUnit(trace.xUnit);
    for (std::size_t i = 0; i < Values.size(); ++i) {
        const TRow& row = kRows[i];
        const measure::TMeasureResult& r = m.*row.field;
        QLabel* value = Values[i];
        if (!r.ok) {
            value->setText(text::none);
            value->setToolTip(r.why);
            continue;
        }
        value->setToolTip(QString());
        switch (row.unit) {
        case TUnit::Y:
            value->setText(chartmath::measureText(r.value, trace.yUnit));
            break;
        case TUnit::X:
            value->setText(chartmath::measureText(r.value, trace.xUnit));
            break;
        case TUnit::Percent:
            value->setText(chartmath::measureText(r.value, QStringLiteral("%")));
            break;
        case TUnit::Frequency:
            value->setText(chartmath::measureText(r.value * hz.factor, hz.unit));
            break;
        case TUnit::None:
            value->setText(chartmath::measureText(r.value));
            break;
        }
    }
}

void MeasurePanel::ShowNone()
{
    Title->setText(text::nothing);
    Title->setToolTip(QString());
    for (QLabel* value : Values) {
        value->setText(text::none);
        value->setToolTip(QString());
    }
}
