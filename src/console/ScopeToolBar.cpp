#include "console/ScopeToolBar.h"

#include "chart/Chart.h"
#include "chart/CursorPanel.h"
#include "chart/FourierWindow.h"
#include "chart/MeasurePanel.h"
#include "chart/ScopeCursors.h"
#include "chart/ScopePicture.h"
#include "chart/TraceLegend.h"
#include "chart/core/TraceSamples.h"
#include "common/BackgroundWrite.h"
#include "common/FileNames.h"
#include "measure/Fourier.h"

#include <QBuffer>
#include <QEvent>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

namespace text {
const QString hold = QStringLiteral("Задръж");
const QString holdHint = QStringLiteral("Задържа картината; получените точки се показват при отпускане");
const QString savePicture = QStringLiteral("PNG");
const QString savePictureHint = QStringLiteral("Записва графиката като картина PNG");
const QString pictureNotWritten = QStringLiteral("Графиката не може да се запише в %1");
const QString pictureWritten = QStringLiteral("Графиката е записана в %1");
const QString cursorHint
    = QStringLiteral("Курсор %1: влачете линията с мишката, стрелките я местят с една точка");
const QString spectrum = QStringLiteral("Спектър");
const QString held = QStringLiteral("задържаната картина");
const QString spectrumHint = QStringLiteral("Амплитуден спектър на избраната следа");
} // namespace text

} // namespace

TScopeToolBar::TScopeToolBar(TChart& chart, TChartTraces& traces, QWidget* parent)
    : QWidget(parent)
    , chart_(chart)
    , traces_(traces)
    , hold_(std::make_unique<TScopeHold>(chart, traces.Live(), &traces))
{
    setObjectName(QStringLiteral("ScopeToolBar"));
    HoldScope = new QPushButton(text::hold, this);
    HoldScope->setObjectName(QStringLiteral("HoldScope"));
    HoldScope->setCheckable(true);
    HoldScope->setAutoDefault(false);
    HoldScope->setToolTip(text::holdHint);
    SaveChart = new QPushButton(text::savePicture, this);
    SaveChart->setObjectName(QStringLiteral("SaveChart"));
    SaveChart->setAutoDefault(false);
    SaveChart->setToolTip(text::savePictureHint);
    // Neither label's text decides its size: a new reading or message must not lay the page
    // out again.
    CursorReadout = new QLabel(this);
    CursorReadout->setObjectName(QStringLiteral("CursorReadout"));
    CursorReadout->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    CursorReadout->setMinimumWidth(120); // the bar must fit the chart at the window's design size
    SaveStatus = new QLabel(this);
    SaveStatus->setObjectName(QStringLiteral("SaveStatus"));
    SaveStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    SaveStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    SaveStatus->hide(); // until there is something to say
    auto cursorButton = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setCheckable(true);
        b->setAutoDefault(false);
        b->setToolTip(text::cursorHint.arg(caption));
        b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("BB")) + 16);
        return b;
    };
    CursorA = cursorButton("CursorA", QStringLiteral("A"));
    CursorB = cursorButton("CursorB", QStringLiteral("B"));
    ShowSpectrum = new QPushButton(text::spectrum, this);
    ShowSpectrum->setObjectName(QStringLiteral("ShowSpectrum"));
    ShowSpectrum->setAutoDefault(false);
    ShowSpectrum->setToolTip(text::spectrumHint);
    CursorValues = new CursorPanel(this);
    CursorValues->hide(); // until a cursor is on
    Measures = new MeasurePanel(this);
    // One above the other: side by side they would be wider than the chart.
    auto* panels = new QVBoxLayout;
    panels->setSpacing(4);
    panels->addWidget(CursorValues);
    panels->addWidget(Measures);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(7);
    layout->setVerticalSpacing(2);
    layout->addWidget(HoldScope, 0, 0);
    layout->addWidget(SaveChart, 0, 1);
    layout->addWidget(CursorA, 0, 2);
    layout->addWidget(CursorB, 0, 3);
    layout->addWidget(ShowSpectrum, 0, 4);
    layout->addWidget(CursorReadout, 0, 5);
    layout->addWidget(SaveStatus, 1, 0, 1, 6);
    layout->addLayout(panels, 2, 0, 1, 6);
    layout->setColumnStretch(5, 1);

    Legend = new TraceLegend(chart, traces);
    traces_.OnChanged = [this] { tracesChanged(); };

    connect(HoldScope, &QPushButton::toggled, this, [this](bool held) { hold_->SetHeld(held); });
    connect(SaveChart, &QPushButton::clicked, this, [this] { SaveChartClick(); });
    chart_.installEventFilter(this);

    // After the bar's own filter, so that it sees the chart's events first: a press on a
    // cursor's line drags the line instead of starting a zoom.
    Cursors = new TScopeCursors(chart, traces, this);
    Cursors->WatchKeys(CursorA, TCursorId::A);
    Cursors->WatchKeys(CursorB, TCursorId::B);
    connect(CursorA, &QPushButton::toggled, this, [this](bool on) { Cursors->SetOn(TCursorId::A, on); });
    connect(CursorB, &QPushButton::toggled, this, [this](bool on) { Cursors->SetOn(TCursorId::B, on); });
    connect(Cursors, &TScopeCursors::Changed, this, [this] {
        CursorValues->setVisible(Cursors->Cursors().AnyOn());
        queueMeasures();
    });
    connect(ShowSpectrum, &QPushButton::clicked, this, [this] { ShowSpectrumClick(); });
    queueMeasures();
}

// The chart may go first (a sibling); Qt drops a filter that goes before its object.
TScopeToolBar::~TScopeToolBar()
{
    traces_.OnChanged = nullptr;
}

void TScopeToolBar::tracesChanged()
{
    Legend->Refresh();
    if (mouse_) {
        showReadout();
    }
    queueMeasures();
    emit TracesChanged();
}

void TScopeToolBar::SaveChartClick()
{
    const QString proposed = chartmath::captureFileName(traces_.PictureCapture());
    QString path = ChoosePictureFile ? ChoosePictureFile(proposed) : QString();
    if (path.isEmpty()) {
        return;
    }
    SaveChartTo(withExtension(path, QStringLiteral(".png"), TExtensionRule::AnyCase));
}

void TScopeToolBar::SaveChartTo(const QString& path)
{
    const QImage picture = ScopePicture(chart_, traces_, Legend);
    // Encoding and writing take their time on a slow disk: the window goes on meanwhile.
    const auto encode = [picture] {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "PNG");
        return bytes;
    };
    writeFileInBackground(
        this, path, encode, [this, path](const QString& error) { pictureWritten(path, error.isEmpty()); });
}

void TScopeToolBar::pictureWritten(const QString& path, bool ok)
{
    const QString message = (ok ? text::pictureWritten : text::pictureNotWritten).arg(path);
    SaveStatus->setText(message);
    SaveStatus->setToolTip(message);
    SaveStatus->show();
    if (!ok && ErrorReport) {
        ErrorReport(message);
    }
    emit PictureSaved(path, ok);
}

void TScopeToolBar::showReadout()
{
    readoutQueued_ = false;
    if (!mouse_) {
        return;
    }
    const TCursorReading reading = traces_.CursorAt(mouse_->x(), mouse_->y());
    const QString text = traces_.CursorText(reading);
    CursorReadout->setText(text);
    CursorReadout->setToolTip(text);
    if (!reading.valid) {
        chart_.SetMarker(std::nullopt);
        return;
    }
    TChartMarker marker;
    marker.x = reading.pixel;
    marker.top = chart_.ChartRect().Top;
    marker.bottom = chart_.ChartRect().Bottom;
    for (const TCursorValue& v : reading.values) {
        if (v.has && v.axis) {
            const int y = v.axis->CalcPosValue(v.value);
            if (y >= marker.top && y <= marker.bottom) {
                marker.dots.emplace_back(y, v.color);
            }
        }
    }
    chart_.SetMarker(marker);
}

bool TScopeToolBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &chart_) {
        if (event->type() == QEvent::MouseMove) {
            mouse_ = static_cast<QMouseEvent*>(event)->position().toPoint();
            showReadout();
        } else if (event->type() == QEvent::Leave) {
            mouse_.reset();
            CursorReadout->clear();
            CursorReadout->setToolTip(QString());
            chart_.SetMarker(std::nullopt);
        }
        if (event->type() == QEvent::Paint) {
            queueMeasures(); // new points, or a trace shown or hidden
        }
        if (event->type() == QEvent::Paint && mouse_ && !readoutQueued_) {
            // New points or axes move the traces under a resting mouse: read them again once
            // the chart has laid out the picture it is about to paint.
            readoutQueued_ = true;
            QMetaObject::invokeMethod(
                this, [this] { showReadout(); }, Qt::QueuedConnection);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TScopeToolBar::queueMeasures()
{
    if (!measuresQueued_) {
        measuresQueued_ = true;
        QMetaObject::invokeMethod(
            this, [this] { RefreshMeasures(); }, Qt::QueuedConnection);
    }
}

void TScopeToolBar::ShowSpectrumClick()
{
    if (!Spectrum) {
        Spectrum = new SpectrumChart(this);
    }
    Spectrum->show();
    Spectrum->raise();
    Spectrum->activateWindow();
    measured_ = {}; // the spectrum was not made with the last measurements
    RefreshMeasures();
}

void TScopeToolBar::RefreshMeasures()
{
    measuresQueued_ = false;
    const TChartCursors& cursors = Cursors->Cursors();
    if (cursors.AnyOn()) {
        CursorValues->Show(cursors.Read());
    }

    const std::optional<TDrawnTrace> trace = traces_.MeasuredTrace();
    const bool spectrumShown = Spectrum && Spectrum->isVisible();
    if (!trace) {
        if (measured_.id != TChartTraces::kNone) {
            Measures->ShowNone();
            if (Spectrum) {
                Spectrum->ShowNone();
            }
        }
        measured_ = {};
        measured_.id = TChartTraces::kNone;
        return;
    }

    const QString xUnit = chart_.BottomAxis().Title().Caption();
    const std::optional<measure::TLimit> limit = LimitFor ? LimitFor(trace->info.yUnit) : std::nullopt;
    const TChartSeries& series = *trace->series;
    TMeasured now;
    now.id = trace->id;
    now.count = series.Count();
    now.firstX = series.XValues().Value(0);
    now.lastX = series.XValues().Value(now.count - 1);
    for (double y : series.YValues().Raw()) {
        now.sumY += y;
    }
    now.range = cursors.Range();
    if (limit) {
        now.limit = limit->level;
    }
    now.xUnit = xUnit;
    now.yUnit = trace->info.yUnit;
    now.spectrum = spectrumShown;
    now.held = hold_->Held();
    if (now == measured_) {
        return;
    }
    measured_ = now;

    const chartmath::TTraceSamples samples = chartmath::samplesOf(series);
    measure::TMeasureOptions options;
    if (now.range) {
        options.from = now.range->first;
        options.to = now.range->second;
    }
    options.limit = limit;
    const QString name = trace->id == 0 && hold_->Held() ? text::held : trace->name;
    Measures->Show(
        {name, xUnit, trace->info.yUnit, bool(now.range)}, measure::Measure(samples.x, samples.y, options));
    if (spectrumShown) {
        Spectrum->Show({name, series.SeriesColor(), xUnit, trace->info.yUnit, bool(now.range)},
            measure::Spectrum(samples.x, samples.y, options.from, options.to));
    }
}
