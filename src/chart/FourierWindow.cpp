#include "chart/FourierWindow.h"

#include "chart/Chart.h"
#include "chart/ScopeForm.h"
#include "chart/core/TraceSamples.h"

#include <QLabel>
#include <QVBoxLayout>

#include <cmath>

namespace {

namespace text {
const QString caption = QStringLiteral("Спектър");
const QString captionOf = QStringLiteral("Спектър на %1 — %2");
const QString whole = QStringLiteral("цялата следа");
const QString between = QStringLiteral("между курсорите");
const QString peak = QStringLiteral("Връх: %1, %2");
const QString noPeak = QStringLiteral("Връх: — (%1)");
const QString nothing = QStringLiteral("Няма начертана следа");
const QString resampled = QStringLiteral(
    "Точките не са на равни интервали: следата е преизчислена през %1 по права между тях преди спектъра.");
const QString magnitude = QStringLiteral("Амплитуда на синусоида с тази честота, прозорец на Хан");
} // namespace text

} // namespace

SpectrumChart::SpectrumChart(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("SpectrumChart"));
    setWindowTitle(text::caption);
    Peak = new QLabel(this);
    Peak->setObjectName(QStringLiteral("SpectrumPeak"));
    Peak->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = Peak->font();
    bold.setBold(true);
    Peak->setFont(bold);
    Note = new QLabel(this);
    Note->setObjectName(QStringLiteral("SpectrumNote"));
    Note->setWordWrap(true);
    Note->hide();
    Chart = new TChart(this);
    Chart->setObjectName(QStringLiteral("SpectrumChart1"));
    Chart->setToolTip(text::magnitude);
    Series = SetupScopeChart(*Chart);
    // The scope's whole-number steps would leave a spectrum below 1 Hz without labels.
    Chart->BottomAxis().SetIncrement(0);
    // Magnitudes from zero, so that peaks compare by height.
    Chart->LeftAxis().SetAutomaticMinimum(false);
    Chart->LeftAxis().SetMinimum(0);
    Chart->setMinimumSize(400, 250);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Peak);
    layout->addWidget(Note);
    layout->addWidget(Chart, 1);
    resize(640, 420);
    ShowNone();
}

void SpectrumChart::Show(const TTrace& trace, const measure::TSpectrum& spectrum)
{
    setWindowTitle(text::captionOf.arg(trace.name, trace.betweenCursors ? text::between : text::whole));
    const chartmath::TFrequencyUnit hz = chartmath::frequencyUnit(trace.xUnit);
    Chart->BottomAxis().Title().SetCaption(hz.unit);
    // About eight labels in steps of 1, 2 or 5 times a power of ten: the axis's own choice
    // packs decimal fractions too tightly to read.
    if (!spectrum.frequency.empty() && spectrum.frequency.back() > 0) {
        const double rough = spectrum.frequency.back() * hz.factor / 8;
        const double power = std::pow(10, std::floor(std::log10(rough)));
        const double step = rough / power < 2 ? 2 : (rough / power < 5 ? 5 : 10);
        Chart->BottomAxis().SetIncrement(step * power);
    }
    Chart->LeftAxis().Title().SetCaption(trace.yUnit);
    Series->SetSeriesColor(trace.color);
    Series->Clear();
    for (std::size_t k = 0; k < spectrum.frequency.size(); ++k) {
        Series->AddPoint(spectrum.frequency[k] * hz.factor, spectrum.magnitude[k]);
    }
    if (!spectrum.ok) {
        Peak->setText(text::noPeak.arg(spectrum.why));
    } else if (spectrum.peakFrequency.ok) {
        Peak->setText(
            text::peak.arg(chartmath::measureText(spectrum.peakFrequency.value * hz.factor, hz.unit),
                chartmath::measureText(spectrum.peakMagnitude.value, trace.yUnit)));
    } else {
        Peak->setText(text::noPeak.arg(spectrum.peakFrequency.why));
    }
    Note->setVisible(spectrum.resampled);
    if (spectrum.resampled) {
        Note->setText(text::resampled.arg(chartmath::measureText(spectrum.step, trace.xUnit)));
    }
}

void SpectrumChart::ShowNone()
{
    setWindowTitle(text::caption);
    Series->Clear();
    Chart->LeftAxis().Title().SetCaption(QString());
    Peak->setText(text::nothing);
    Note->hide();
}
