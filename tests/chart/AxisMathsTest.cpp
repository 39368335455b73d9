#include "chart/core/AxisMaths.h"
#include "chart/core/LabelFormat.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace chartmath;

namespace {

TEST(AxisMathsTest, NearestRoundsHalvesToEven)
{
    const std::pair<double, double> cases[] = {
        {0.5, 0}, {1.5, 2}, {2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {2.4999, 2}, {2.5001, 3}};
    for (auto [in, out] : cases) {
        EXPECT_EQ(nearest(in), out) << in;
    }
}

TEST(AxisMathsTest, NextStepFollowsOneTwoFive)
{
    const std::pair<double, double> cases[] = {{1, 2}, {1.5, 2}, {2, 5}, {3, 5}, {5, 10}, {7, 10}, {10, 20},
        {20, 50}, {50, 100}, {100, 200}, {0.1, 0.2}, {0.2, 0.5}, {0.5, 1}, {0.02, 0.05}, {1e-12, 2e-12},
        {5e-12, 1e-11}, {0.3, 0.5}, {1e6, 2e6}};
    for (auto [in, out] : cases) {
        EXPECT_DOUBLE_EQ(nextStep(in), out) << in;
    }
    // Repeated from the smallest step it climbs steadily through the decades.
    double s = kMinStep;
    int n = 0;
    while (s < 1 && n < 100) {
        const double next = nextStep(s);
        ASSERT_GT(next, s);
        s = next;
        ++n;
    }
    EXPECT_DOUBLE_EQ(s, 1);
    EXPECT_EQ(n, 36);
}

TEST(AxisMathsTest, LabelStep)
{
    struct Case {
        double range, increment;
        int axisSize, labelSize, separation;
        double step;
    };
    const Case cases[] = {
        // 600 pixels, 30-pixel labels: allowed = nearest(600 / 33) = 18, 1 → 2 → … → 100.
        {1000, 1, 600, 30, 10, 100},
        // 0.2 … 0.7 on 400 pixels with 13-pixel labels: allowed 29, from 1e-12 up to 0.02.
        {0.5, 0, 400, 13, 10, 0.02},
        // A zero range keeps the starting step.
        {0, 1, 600, 30, 10, 1},
        {0, 0, 600, 30, 10, kMinStep},
        // The increment is a lower bound.
        {10, 5, 600, 30, 10, 5},
        // Without a separation the step is never raised.
        {1000, 1, 600, 30, 0, 1},
        // No label size: one label allowed.
        {1000, 1, 600, 0, 10, 1000},
        // Not even one label fits.
        {1000, 1, 10, 30, 10, kMinStep},
        // A range whose quotient passes the int range climbs instead of overflowing.
        {1e300, 0, 600, 30, 10, 1e299},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(
            labelStep(c.range, c.increment, c.axisSize, c.labelSize, c.separation), c.step, c.step * 1e-9)
            << c.range << " on " << c.axisSize;
    }
    EXPECT_EQ(labelStep(std::nan(""), 1, 600, 30, 10), kMinStep);
    EXPECT_EQ(labelStep(INFINITY, 1, 600, 30, 10), kMinStep);
}

TEST(AxisMathsTest, LabelValuesFromTheTopDown)
{
    const auto thousand = labelValues(0, 1000, 100, true);
    ASSERT_EQ(thousand.size(), 11u);
    EXPECT_EQ(thousand.front(), 1000);
    EXPECT_EQ(thousand.back(), 0);

    // Rounded to whole steps inside the range.
    const auto inner = labelValues(3, 47, 10, true);
    EXPECT_EQ(inner, (std::vector<double>{40, 30, 20, 10}));

    // Unrounded: from the maximum itself.
    const auto raw = labelValues(0.5, 6.5, 2, false);
    EXPECT_EQ(raw, (std::vector<double>{6.5, 4.5, 2.5, 0.5}));

    // A zero range has one label.
    EXPECT_EQ(labelValues(0, 0, 1, true), (std::vector<double>{0}));
    EXPECT_EQ(labelValues(0, 0, kMinStep, true), (std::vector<double>{0}));

    // Both ends of a range that is not a whole decimal multiple.
    const auto small = labelValues(0.2, 0.7, 0.02, true);
    ASSERT_EQ(small.size(), 26u);
    EXPECT_NEAR(small.front(), 0.7, 1e-12);
    EXPECT_NEAR(small.back(), 0.2, 1e-12);

    // Both ends of a range below zero.
    const auto negative = labelValues(-5, 5, 1, true);
    ASSERT_EQ(negative.size(), 11u);
    EXPECT_EQ(negative.back(), -5);
    const auto below = labelValues(-300, -100, 50, true);
    EXPECT_EQ(below, (std::vector<double>{-100, -150, -200, -250, -300}));

    // Too many steps: no labels.
    EXPECT_TRUE(labelValues(0, 10000, 1, true).empty());
    EXPECT_EQ(labelValues(0, 9999, 1, true).size(), 10000u);
}

TEST(AxisMathsTest, LabelValuesEndOnValuesTooLargeForTheStep)
{
    // 1e20 - 1e-12 is 1e20 again: the walk must stop rather than repeat.
    const auto flat = labelValues(1e20, 1e20, kMinStep, true);
    EXPECT_EQ(flat, (std::vector<double>{1e20}));
    EXPECT_TRUE(labelValues(0, INFINITY, 1, true).empty());
    EXPECT_TRUE(labelValues(0, 1, 0, true).empty());
}

TEST(AxisMathsTest, PageRanges)
{
    struct Case {
        int count, perPage, page, first, last;
    };
    const Case cases[] = {
        {0, 32000, 1, 0, -1},
        {100, 0, 1, 0, 99},
        {100, 32000, 1, 0, 99},
        {32000, 32000, 1, 0, 31999},
        {32001, 32000, 1, 0, 31999},
        {32001, 32000, 2, 32000, 32000},
        {32001, 32000, 3, 0, 31999},
        {64000, 32000, 5, 32000, 63999},
        {10, 4, 3, 8, 9},
        {10, 4, 2, 4, 7},
    };
    for (const Case& c : cases) {
        const PageRange r = pageRange(c.count, c.perPage, c.page);
        EXPECT_EQ(r.first, c.first) << c.count << "/" << c.perPage << " page " << c.page;
        EXPECT_EQ(r.last, c.last) << c.count << "/" << c.perPage << " page " << c.page;
    }
    EXPECT_EQ(pageCount(0, 32000), 1);
    EXPECT_EQ(pageCount(100, 0), 1);
    EXPECT_EQ(pageCount(32000, 32000), 1);
    EXPECT_EQ(pageCount(32001, 32000), 2);
}

TEST(LabelFormatTest, GroupingAndUpToThreeDecimalsInTheLocale)
{
    const QString pattern = QStringLiteral("#,##0.###");
    const QLocale c = QLocale::c();
    const std::pair<double, const char*> cases[] = {{1234.5, "1,234.5"}, {1000, "1,000"}, {0, "0"},
        {0.0004, "0"}, {-0.0004, "0"}, {-1234.5678, "-1,234.568"}, {0.25, "0.25"}, {1e6, "1,000,000"},
        {999.9996, "1,000"}, {12.0, "12"}, {0.1 + 0.2, "0.3"}};
    for (auto [value, text] : cases) {
        EXPECT_EQ(formatValue(value, pattern, c), QString::fromLatin1(text)) << value;
    }

    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(formatValue(1234.5, pattern, german), QStringLiteral("1.234,5"));
    const QLocale french(QLocale::French, QLocale::France);
    EXPECT_EQ(formatValue(-1234567.25, pattern, french),
        french.negativeSign() + "1" + french.groupSeparator() + "234" + french.groupSeparator() + "567"
            + french.decimalPoint() + "25");
}

TEST(LabelFormatTest, OtherPatterns)
{
    const QLocale c = QLocale::c();
    EXPECT_EQ(formatValue(1.5, "0.00", c), "1.50");
    EXPECT_EQ(formatValue(1234.6, "#,##0", c), "1,235");
    EXPECT_EQ(formatValue(1234.6, "0.#", c), "1234.6");
    EXPECT_EQ(formatValue(2, "0.0#", c), "2.0");
}

} // namespace
