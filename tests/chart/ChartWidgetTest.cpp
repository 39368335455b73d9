#include "chart/Chart.h"
#include "chart/ScopeForm.h"
#include "chart/core/LineThinning.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

void send(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void press(QWidget* w, QPoint pos, Qt::MouseButton b)
{
    send(w, QEvent::MouseButtonPress, pos, b, b);
}

void move(QWidget* w, QPoint pos, Qt::MouseButtons held)
{
    send(w, QEvent::MouseMove, pos, Qt::NoButton, held);
}

void release(QWidget* w, QPoint pos, Qt::MouseButton b)
{
    send(w, QEvent::MouseButtonRelease, pos, b, Qt::NoButton);
}

void wheel(QWidget* w, QPoint pos, int delta)
{
    QWheelEvent e(QPointF(pos), QPointF(w->mapToGlobal(pos)), QPoint(), QPoint(0, delta), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

bool isRed(QRgb c)
{
    return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60;
}

// The scope chart at the form's size with a few thousand points of a damped sine wave.
class ChartWidgetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        chart = std::make_unique<TChart>();
        series = SetupScopeChart(*chart);
        chart->resize(705, 449);
        for (int k = 0; k < 3000; ++k) {
            const double t = k * 0.5;
            series->AddPoint(t, std::round(1000 * std::exp(-t / 900) * std::sin(t / 40.0)));
        }
        chart->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(chart.get()));
    }

    QImage picture() { return chart->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    std::unique_ptr<TChart> chart;
    TLineSeries* series = nullptr;
};

TEST_F(ChartWidgetTest, DesignNamesAndRestingCursor)
{
    EXPECT_EQ(chart->objectName(), "Chart1");
    EXPECT_EQ(series->Name(), "Series1");
    EXPECT_EQ(chart->cursor().shape(), Qt::CrossCursor);
}

TEST_F(ChartWidgetTest, PaintsRedLineGreyDottedGridAndLabels)
{
    const QImage img = picture();
    chart->BuildPicture();
    const TChartRect plot = chart->ChartRect();
    int red = 0;
    for (int y = plot.Top + 1; y < plot.Bottom; ++y) {
        for (int x = plot.Left + 1; x < plot.Right; ++x) {
            red += isRed(img.pixel(x, y));
        }
    }
    EXPECT_GT(red, 500);
    // No red outside the plotting rectangle (clipped).
    for (int x = 0; x < img.width(); ++x) {
        EXPECT_FALSE(isRed(img.pixel(x, plot.Top - 3)));
    }
    // A grid line of the left axis: grey dots with gaps along a row away from the line.
    const TChartPicture& p = chart->LastPicture();
    const TAxisPicture& left = p.Axes[1];
    ASSERT_GE(left.GridLines.size(), 3u);
    const int gy = left.GridLines[1].Y1;
    int grey = 0;
    int gaps = 0;
    for (int x = plot.Left + 3; x < plot.Left + 60; ++x) {
        const QRgb c = img.pixel(x, gy);
        if (qRed(c) == 0x80 && qGreen(c) == 0x80 && qBlue(c) == 0x80) {
            ++grey;
        } else if (!isRed(c)) {
            ++gaps;
        }
    }
    EXPECT_GT(grey, 10);
    EXPECT_GT(gaps, 10);
    // Dark label text inside the first label's box.
    const TChartRect& box = left.Labels.front().Rect;
    int dark = 0;
    for (int y = box.Top; y < box.Bottom; ++y) {
        for (int x = box.Left; x < box.Right; ++x) {
            dark += qGray(img.pixel(x, y)) < 100;
        }
    }
    EXPECT_GT(dark, 5);
}

TEST_F(ChartWidgetTest, LeftDragZoomsWithArrowCursorAndInvertingBand)
{
    const QImage before = picture();
    const double x150 = chart->BottomAxis().CalcPosPoint(150);
    const double x400 = chart->BottomAxis().CalcPosPoint(400);
    press(chart.get(), {150, 100}, Qt::LeftButton);
    EXPECT_EQ(chart->cursor().shape(), Qt::ArrowCursor);
    move(chart.get(), {250, 200}, Qt::LeftButton);
    move(chart.get(), {400, 300}, Qt::LeftButton);
    const QImage during = picture();
    EXPECT_NE(during, before);
    // The band lies on its outline only.
    EXPECT_NE(during.pixel(150, 200), before.pixel(150, 200));
    EXPECT_EQ(during.pixel(275, 200), before.pixel(275, 200));
    release(chart.get(), {400, 300}, Qt::LeftButton);
    EXPECT_EQ(chart->cursor().shape(), Qt::CrossCursor);
    EXPECT_TRUE(chart->Zoomed());
    EXPECT_DOUBLE_EQ(chart->BottomAxis().Minimum(), x150);
    EXPECT_DOUBLE_EQ(chart->BottomAxis().Maximum(), x400);
}

// The band shows on any chart colour (the form's button face among them, on which an inverted
// outline in that colour was white on almost white), and drawing it twice gives the picture back.
TEST_F(ChartWidgetTest, BandShowsOnEveryChartColourAndDrawnTwiceRestoresThePicture)
{
    for (TColor background : {clBtnFace, clWhite, clBlack, clGray, TColor(0x7F7F7F), clSilver, clRed}) {
        SCOPED_TRACE(background);
        chart->SetColor(background);
        series->Clear(); // the plot shows the chart colour alone
        const QImage before = picture();
        press(chart.get(), {200, 150}, Qt::LeftButton);
        move(chart.get(), {260, 300}, Qt::LeftButton);
        move(chart.get(), {400, 160}, Qt::LeftButton);
        const QImage during = picture();
        // Along the band's top edge, the dashes move every channel by half its range or more.
        int strong = 0;
        for (int x = 200; x <= 400; ++x) {
            const QRgb a = before.pixel(x, 150);
            const QRgb b = during.pixel(x, 150);
            strong += std::abs(qRed(a) - qRed(b)) >= 128 && std::abs(qGreen(a) - qGreen(b)) >= 128
                && std::abs(qBlue(a) - qBlue(b)) >= 128;
        }
        EXPECT_GE(strong, 90);
        EXPECT_EQ(during.pixel(300, 155), before.pixel(300, 155));
        release(chart.get(), {210, 160}, Qt::LeftButton); // 10 pixels: no zoom
        EXPECT_FALSE(chart->Zoomed());
        EXPECT_EQ(picture(), before);
    }
}

TEST_F(ChartWidgetTest, FullRedrawDuringADragDrawsTheBandLast)
{
    press(chart.get(), {200, 150}, Qt::LeftButton);
    move(chart.get(), {300, 250}, Qt::LeftButton);
    const QImage incremental = picture();
    series->AddPoint(2000, 0); // invalidates: the next paint is a full redraw
    series->Delete(series->Count() - 1);
    const QImage full = picture();
    EXPECT_EQ(full, incremental);
    release(chart.get(), {300, 250}, Qt::LeftButton);
}

TEST_F(ChartWidgetTest, RightDragScrollsUntilTheMouseLeaves)
{
    picture();
    const double min0 = chart->BottomAxis().Minimum();
    press(chart.get(), {300, 200}, Qt::RightButton);
    EXPECT_EQ(chart->cursor().shape(), Qt::ArrowCursor);
    move(chart.get(), {340, 200}, Qt::RightButton);
    const double min1 = chart->BottomAxis().Minimum();
    EXPECT_LT(min1, min0);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(chart.get(), &leave);
    EXPECT_EQ(chart->cursor().shape(), Qt::CrossCursor);
    move(chart.get(), {400, 200}, Qt::RightButton);
    EXPECT_EQ(chart->BottomAxis().Minimum(), min1);
    release(chart.get(), {400, 200}, Qt::RightButton);
}

TEST_F(ChartWidgetTest, WheelNotchShiftsTheLeftAxis)
{
    picture();
    const double min0 = chart->LeftAxis().Minimum();
    const double span = chart->LeftAxis().Maximum() - min0;
    wheel(chart.get(), {300, 200}, -120); // towards the user
    EXPECT_NEAR(chart->LeftAxis().Minimum(), min0 + span * 0.03, 1e-9);
    wheel(chart.get(), {300, 200}, 60); // half a notch: nothing yet
    EXPECT_NEAR(chart->LeftAxis().Minimum(), min0 + span * 0.03, 1e-9);
    wheel(chart.get(), {300, 200}, 60);
    EXPECT_NEAR(chart->LeftAxis().Minimum(), min0, 1e-9);
}

TEST_F(ChartWidgetTest, ZoomedSnapshot)
{
    picture();
    chart->ZoomByPercent(120);
    const QImage img = picture();
    const QByteArray path
        = qEnvironmentVariableIsSet("ORVIK_CHART_SNAPSHOT") ? qgetenv("ORVIK_CHART_SNAPSHOT") : QByteArray();
    if (!path.isEmpty()) {
        EXPECT_TRUE(img.save(QString::fromLocal8Bit(path)));
    }
    EXPECT_EQ(img.size(), QSize(705, 449));
}

} // namespace

namespace {

// Thinning a dense line per pixel column leaves the picture as it was.
TEST(LineThinningTest, SamePixelsAsTheFullLine)
{
    for (int seed : {1, 2, 3}) {
        QPolygon line;
        unsigned state = unsigned(seed) * 2654435761u;
        for (int i = 0; i < 20000; ++i) {
            state = state * 1664525u + 1013904223u;
            const int noise = int(state >> 24) % (seed * 40 + 1);
            line << QPoint(
                10 + i * 600 / 20000, 200 + int(150 * std::sin(i / (50.0 * seed))) + noise - seed * 20);
        }
        line << QPoint(700, 500) << QPoint(700, -20) << QPoint(-5, 100); // beyond the image, vertical runs
        QPolygon thinned;
        chartmath::thinColumns(line, thinned);
        EXPECT_LT(thinned.size(), line.size() / 4);
        QImage a(640, 400, QImage::Format_RGB32);
        QImage b(640, 400, QImage::Format_RGB32);
        a.fill(Qt::white);
        b.fill(Qt::white);
        QPen pen(Qt::red);
        pen.setCosmetic(true);
        pen.setWidth(1);
        {
            QPainter p(&a);
            p.setClipRect(QRect(20, 20, 580, 360));
            p.setPen(pen);
            p.drawPolyline(line);
        }
        {
            QPainter p(&b);
            p.setClipRect(QRect(20, 20, 580, 360));
            p.setPen(pen);
            p.drawPolyline(thinned);
        }
        int differing = 0;
        int drawn = 0;
        for (int y = 0; y < a.height(); ++y) {
            for (int x = 0; x < a.width(); ++x) {
                differing += a.pixel(x, y) != b.pixel(x, y);
                drawn += a.pixel(x, y) != qRgb(255, 255, 255);
            }
        }
        // The rasteriser may light or drop the one pixel where a line turns back on itself.
        EXPECT_LE(differing * 1000, drawn) << "seed " << seed;
        EXPECT_GT(drawn, 5000);
    }
}

} // namespace
