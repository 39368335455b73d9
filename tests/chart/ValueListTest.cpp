#include "ChartTestSupport.h"

#include <gtest/gtest.h>

namespace {

std::vector<double> values(const TChartValueList& list)
{
    std::vector<double> out;
    for (int i = 0; i < list.Count(); ++i) {
        out.push_back(list[i]);
    }
    return out;
}

TEST(ValueListTest, AscendingInsertKeepsOrderAndMovesTheOtherListsAlong)
{
    TLineSeries s;
    EXPECT_EQ(s.AddPoint(0, 10, "a", clBlue), 0);
    EXPECT_EQ(s.AddPoint(2, 20, "b"), 1);
    EXPECT_EQ(s.AddPoint(1, 15, "c", clGreen), 1);
    EXPECT_EQ(values(s.XValues()), (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(values(s.YValues()), (std::vector<double>{10, 15, 20}));
    EXPECT_EQ(s.PointLabel(1), "c");
    EXPECT_EQ(s.PointColor(1), clGreen);
    EXPECT_EQ(s.ValueColor(2), clRed); // clDefault draws in the series' colour
    EXPECT_EQ(s.ValueColor(0), clBlue);

    // Labels start with the first point that has one and stay beside their points.
    TLineSeries plain;
    plain.AddPoint(0, 0);
    plain.AddPoint(2, 2);
    EXPECT_EQ(plain.PointLabel(1), QString());
    plain.AddPoint(1, 1, "mid");
    plain.AddPoint(3, 3);
    plain.Delete(0);
    EXPECT_EQ(plain.PointLabel(0), "mid");
    EXPECT_EQ(plain.PointLabel(1), QString());
    EXPECT_EQ(plain.PointLabel(2), QString());
}

TEST(ValueListTest, EqualXGoesAfterEveryEqualValue)
{
    TLineSeries s;
    s.AddPoint(1, 1);
    s.AddPoint(2, 2);
    s.AddPoint(1, 3);
    EXPECT_EQ(s.AddPoint(1, 4), 2);
    EXPECT_EQ(s.AddPoint(-5, 5), 0);
    EXPECT_EQ(values(s.XValues()), (std::vector<double>{-5, 1, 1, 1, 2}));
    EXPECT_EQ(values(s.YValues()), (std::vector<double>{5, 1, 3, 4, 2}));
}

TEST(ValueListTest, DescendingAndUnorderedLists)
{
    TChartValueList down(nullptr, "X");
    down.SetOrder(loDescending);
    for (double v : {5.0, 3.0, 4.0, 3.0, 9.0}) {
        down.AddChartValue(v);
    }
    EXPECT_EQ(values(down), (std::vector<double>{9, 5, 4, 3, 3}));

    TChartValueList none(nullptr, "Y");
    for (double v : {5.0, 3.0, 4.0}) {
        const int index = none.AddChartValue(v);
        EXPECT_EQ(index, none.Count() - 1);
    }
    EXPECT_EQ(values(none), (std::vector<double>{5, 3, 4}));
}

TEST(ValueListTest, StatisticsFollowEveryChange)
{
    TChartValueList list(nullptr, "Y");
    EXPECT_EQ(list.MinValue(), 0);
    EXPECT_EQ(list.MaxValue(), 0);
    EXPECT_EQ(list.Total(), 0);
    for (double v : {3.0, -2.0, 7.0, 1.0}) {
        list.AddChartValue(v);
    }
    EXPECT_EQ(list.MinValue(), -2);
    EXPECT_EQ(list.MaxValue(), 7);
    EXPECT_EQ(list.Total(), 9);
    EXPECT_EQ(list.TotalABS(), 13);

    list.SetValue(2, -10);
    EXPECT_EQ(list.MinValue(), -10);
    EXPECT_EQ(list.MaxValue(), 3);
    list.Delete(2);
    EXPECT_EQ(list.MinValue(), -2);
    list.InsertChartValue(0, 100);
    EXPECT_EQ(list.MaxValue(), 100);
    list.SetMultiplier(-1);
    EXPECT_EQ(list[0], -100);
    EXPECT_EQ(list.MinValue(), -100);
    EXPECT_EQ(list.MaxValue(), 2);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.MaxValue(), 0);
}

TEST(ValueListTest, FirstNotBelowFindsTheVisibleWindow)
{
    TChartValueList list(nullptr, "X");
    list.SetOrder(loAscending);
    for (double v : {0.0, 1.0, 1.0, 2.0, 5.0}) {
        list.AddChartValue(v);
    }
    EXPECT_EQ(list.FirstNotBelow(-1), 0);
    EXPECT_EQ(list.FirstNotBelow(1), 1);
    EXPECT_EQ(list.FirstNotBelow(1.5), 3);
    EXPECT_EQ(list.FirstNotBelow(6), 5);
    EXPECT_EQ(list.FirstAbove(1), 3);
    EXPECT_EQ(list.FirstAbove(5), 5);
}

TEST(ValueListTest, AddPointInvalidatesOnlyAndClearNotifies)
{
    RecordingChart chart;
    chart.addRamp(1000);
    EXPECT_EQ(chart.invalidations, 1000);
    EXPECT_EQ(chart.repaints, 0);

    int cleared = 0;
    chart.series->OnClearValues = [&](TChartSeries* s) {
        EXPECT_EQ(s, chart.series);
        ++cleared;
    };
    chart.invalidations = 0;
    chart.series->Clear();
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(chart.series->Count(), 0);
    EXPECT_EQ(chart.series->YValues().Count(), 0);
    EXPECT_EQ(chart.invalidations, 1);

    chart.series->SetActive(false);
    chart.invalidations = 0;
    chart.series->Clear();
    EXPECT_EQ(chart.invalidations, 0);
}

TEST(ValueListTest, AxisTitleInvalidatesOnlyWhenItChanges)
{
    RecordingChart chart;
    chart.LeftAxis().Title().SetCaption("V");
    EXPECT_EQ(chart.invalidations, 0);
    chart.LeftAxis().Title().SetCaption(QStringLiteral("t \u00B0C"));
    EXPECT_EQ(chart.invalidations, 1);
    chart.BottomAxis().Title().SetCaption(QStringLiteral("\u00B5S"));
    EXPECT_EQ(chart.invalidations, 2);
}

} // namespace
