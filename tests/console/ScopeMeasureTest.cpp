// The scope bar's cursors, measurements and spectrum on a chart of their own, driven with the
// mouse and the keys as the operator would.

#include "chart/Chart.h"
#include "chart/CursorPanel.h"
#include "chart/FourierWindow.h"
#include "chart/MeasurePanel.h"
#include "chart/ScopeCursors.h"
#include "chart/ScopeForm.h"
#include "chart/ScopePicture.h"
#include "chart/core/ChartTraces.h"
#include "console/ScopeToolBar.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

QString valueOf(const MeasurePanel& panel, const char* name)
{
    for (const QLabel* l : panel.Values) {
        if (l->objectName() == QLatin1String(name)) {
            return l->text();
        }
    }
    return QStringLiteral("?");
}

// The number of "141.42 V", and that the unit is the one expected.
double numberOf(const MeasurePanel& panel, const char* name, const QString& unit)
{
    const QStringList parts = valueOf(panel, name).split(QLatin1Char(' '));
    EXPECT_EQ(parts.size(), 2) << name;
    EXPECT_EQ(parts.value(1), unit) << name;
    return parts.value(0).toDouble();
}

const QLabel* labelOf(const MeasurePanel& panel, const char* name)
{
    for (const QLabel* l : panel.Values) {
        if (l->objectName() == QLatin1String(name)) {
            return l;
        }
    }
    return nullptr;
}

} // namespace

TEST(ScopeMeasure, CursorsDraggedAndSteppedMeasureBetweenThemAndTheSpectrumFollows)
{
    QWidget page;
    auto* chart = new TChart(&page);
    TLineSeries* live = SetupScopeChart(*chart);
    TChartTraces traces(*chart, *live);
    TTraceInfo info;
    info.xUnit = QStringLiteral("mS");
    info.yUnit = QStringLiteral("V");
    traces.SetLiveInfo(info);
    auto* bar = new TScopeToolBar(*chart, traces, &page);
    bar->LimitFor = [](const QString& unit) -> std::optional<measure::TLimit> {
        return unit == QStringLiteral("V") ? std::optional(measure::TLimit{150, true}) : std::nullopt;
    };
    auto* layout = new QVBoxLayout(&page);
    layout->addWidget(chart, 1);
    layout->addWidget(bar);
    page.resize(800, 600);

    // 200 V at 50 Hz for 100 mS, a sample every 0.1 mS.
    for (int k = 0; k <= 1000; ++k) {
        live->AddPoint(k * 0.1, 200 * std::sin(2 * M_PI * 50 * k * 0.1e-3));
    }
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    MeasurePanel& m = *bar->Measures;
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m.Title->text().contains(QStringLiteral("цялата следа")); }, 5000))
        << m.Title->text().toStdString();
    EXPECT_NEAR(numberOf(m, "Rms", "V"), 200 / std::sqrt(2.0), 0.15);
    EXPECT_NEAR(numberOf(m, "Frequency", "Hz"), 50, 0.05);
    // |sin| > 0.75 for 1 − 2·asin(0.75)/π of the time
    EXPECT_NEAR(numberOf(m, "TimeBeyond", "mS"), 100 * (1 - 2 * std::asin(0.75) / M_PI), 0.05);
    EXPECT_EQ(valueOf(m, "Decrement"), QStringLiteral("—"));
    EXPECT_FALSE(labelOf(m, "Decrement")->toolTip().isEmpty());
    EXPECT_FALSE(bar->CursorValues->isVisible());

    // Both cursors on, A dragged to 10 mS, then one sample right with the arrow key.
    QTest::mouseClick(bar->CursorA, Qt::LeftButton);
    QTest::mouseClick(bar->CursorB, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->CursorValues->isVisible(); }, 2000));
    TChartCursors& cursors = bar->Cursors->Cursors();
    const int grab = *cursors.Pixel(TCursorId::A);
    const int y = (chart->ChartRect().Top + chart->ChartRect().Bottom) / 2;
    const int to = chart->BottomAxis().CalcPosValue(10);
    QTest::mousePress(chart, Qt::LeftButton, {}, QPoint(grab, y));
    QTest::mouseMove(chart, QPoint((grab + to) / 2, y));
    QTest::mouseMove(chart, QPoint(to, y));
    QTest::mouseRelease(chart, Qt::LeftButton, {}, QPoint(to, y));
    EXPECT_FALSE(chart->Zoomed()) << "a drag of a cursor is not a zoom";
    const double dragged = chart->BottomAxis().CalcPosPoint(to);
    EXPECT_DOUBLE_EQ(*cursors.Position(TCursorId::A), dragged);
    QTest::keyClick(chart, Qt::Key_Right);
    const double stepped = std::floor(dragged * 10 + 1 + 1e-9) / 10;
    EXPECT_NEAR(*cursors.Position(TCursorId::A), stepped, 1e-9);

    // B to 30 mS: exactly one period between them.
    cursors.MoveTo(TCursorId::B, stepped + 20);
    bar->RefreshMeasures();
    EXPECT_TRUE(m.Title->text().contains(QStringLiteral("между курсорите")));
    EXPECT_EQ(bar->CursorValues->Cell(0, 3)->text(), QStringLiteral("20 mS"));
    EXPECT_EQ(bar->CursorValues->InverseDx->text(), QStringLiteral("1/ΔX = 50 Hz"));
    EXPECT_EQ(bar->CursorValues->Cell(1, 3)->text(), QStringLiteral("0 V"));
    EXPECT_EQ(valueOf(m, "Frequency"), QStringLiteral("—")); // one period only
    EXPECT_FALSE(labelOf(m, "Frequency")->toolTip().isEmpty());
    ASSERT_EQ(chart->CursorLines().size(), 2u);
    // A saved picture shows the cursors too, below its title block.
    const QImage picture = ScopePicture(*chart, traces, bar->Legend);
    const TChartCursorLine& line = chart->CursorLines().back();
    const int below = picture.height() - chart->height();
    EXPECT_EQ(
        QColor(picture.pixel(line.x, below + (line.top + line.bottom) / 2)), color::toQColor(line.color));

    QTest::mouseClick(bar->ShowSpectrum, Qt::LeftButton);
    ASSERT_NE(bar->Spectrum, nullptr);
    EXPECT_TRUE(bar->Spectrum->isVisible());
    EXPECT_TRUE(bar->Spectrum->Peak->text().contains(QStringLiteral(" Hz")))
        << bar->Spectrum->Peak->text().toStdString();
    EXPECT_GT(bar->Spectrum->Series->Count(), 50);
    EXPECT_FALSE(bar->Spectrum->Note->isVisible());
    bar->Spectrum->close();
}

// During a flood the panels show new values and a new capture's name many times a second:
// they repaint their labels and lay out nothing above them (each layout pass went up to the
// window and repainted all of it). Only a value longer than any before widens its cell.
TEST(ScopeMeasure, NewValuesLayOutNothingAboveThePanels)
{
    struct LayoutRequests : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            count += e->type() == QEvent::LayoutRequest;
            return false;
        }
    } requests;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* measures = new MeasurePanel(&window);
    auto* cursors = new CursorPanel(&window);
    layout->addWidget(measures);
    layout->addWidget(cursors);
    std::vector<double> x, y;
    for (int k = 0; k <= 200; ++k) {
        x.push_back(k * 0.1);
        y.push_back(100 * std::sin(k * 0.3) * std::exp(-k * 0.01));
    }
    TCursorPairReading reading;
    reading.xUnit = QStringLiteral("mS");
    TCursorRow live;
    live.name = QStringLiteral("Живо");
    live.unit = QStringLiteral("A");
    live.resolution = 1e-6;
    reading.rows.push_back(live);
    const auto show = [&](int n) {
        for (double& v : y)
            v *= 1.5;
        measures->Show({QStringLiteral("№%1").arg(n * 1000), QStringLiteral("mS"), QStringLiteral("A")},
            measure::Measure(x, y, {}));
        reading.a = n * 0.1;
        reading.b = n * 0.3;
        reading.rows[0].a = y[std::size_t(n)];
        reading.rows[0].b = y[std::size_t(3 * n)];
        cursors->Show(reading);
        QCoreApplication::processEvents();
    };
    show(1);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (QWidget* w :
        {static_cast<QWidget*>(&window), static_cast<QWidget*>(measures), static_cast<QWidget*>(cursors)})
        w->installEventFilter(&requests);
    for (int n = 2; n <= 6; ++n)
        show(n);
    EXPECT_NE(valueOf(*measures, "Maximum"), QStringLiteral("—"));
    EXPECT_TRUE(measures->Title->text().contains(QStringLiteral("№6000")));
    EXPECT_EQ(cursors->Cell(0, 1)->text(), QStringLiteral("0.6 mS"));
    EXPECT_EQ(requests.count, 0);

    // A longer value widens its cell, whole.
    reading.rows[0].a = -123456789.5;
    cursors->Show(reading);
    QCoreApplication::processEvents();
    const QLabel* wide = cursors->Cell(1, 1);
    EXPECT_GE(wide->width(), wide->sizeHint().width()) << wide->text().toStdString();
}
