// The archive list model: captures stored meanwhile arrive as one batch and go in as one
// insertion at the top; a grown capture keeps its row; removals and edits of the note; the
// measures it sorts by, and how they are computed.
#include "archive/CaptureListModel.h"
#include "archive/CaptureMeasures.h"

#include <QSignalSpy>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>

namespace {

CaptureRow row(std::int64_t id, std::int64_t points = 1)
{
    CaptureRow r;
    r.id = id;
    r.started = QStringLiteral("2026-12-08T10:51:02.125Z");
    r.points = points;
    return r;
}

std::vector<std::int64_t> ids(const CaptureListModel& m)
{
    std::vector<std::int64_t> v;
    for (int r = 0; r < m.rowCount(); ++r)
        v.push_back(m.rowAt(r)->id);
    return v;
}

} // namespace

TEST(CaptureListModel, ABatchOfNewCapturesGoesInAtTheTopInOneStep)
{
    CaptureListModel m({"№", "Начало", "Точки", "Оси", "Порт", "Бележка"});
    m.setRows({row(1), row(3), row(2)});
    EXPECT_EQ(ids(m), (std::vector<std::int64_t>{3, 2, 1}));
    QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&m, &QAbstractItemModel::modelReset);
    QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);
    // 4 stored, then grown twice, 5 and 6 stored, 2 grew: the latest copy of each wins.
    m.apply({row(4, 10), row(4, 20), row(5), row(2, 7), row(6), row(4, 30)}, {});
    EXPECT_EQ(ids(m), (std::vector<std::int64_t>{6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(m.rowAt(2)->points, 30);
    EXPECT_EQ(m.rowAt(4)->points, 7);
}

TEST(CaptureListModel, RemovedRowsGoAndARowRemovedInTheSameBatchStaysGone)
{
    CaptureListModel m({"№", "Начало", "Точки", "Оси", "Порт", "Бележка"});
    m.setRows({row(1), row(2), row(3), row(4), row(5)});
    QSignalSpy removed(&m, &QAbstractItemModel::rowsRemoved);
    m.apply({row(6), row(1, 9)}, {1, 2, 4});
    EXPECT_EQ(ids(m), (std::vector<std::int64_t>{6, 5, 3}));
    EXPECT_EQ(removed.count(), 2); // 1 and 2 together, 4 alone
    EXPECT_EQ(m.rowOf(4), -1);
}

TEST(CaptureListModel, OnlyTheNoteIsEditableAndAnEditIsReportedWithItsId)
{
    CaptureListModel m({"№", "Начало", "Точки", "Оси", "Порт", "Бележка"});
    m.setRows({row(7), row(8)});
    QSignalSpy edited(&m, &CaptureListModel::noteEdited);
    EXPECT_FALSE(m.setData(m.index(0, CaptureListModel::Points), 5, Qt::EditRole));
    EXPECT_FALSE(m.flags(m.index(0, CaptureListModel::Port)).testFlag(Qt::ItemIsEditable));
    EXPECT_TRUE(m.setData(m.index(1, CaptureListModel::Note), QStringLiteral("проба"), Qt::EditRole));
    ASSERT_EQ(edited.count(), 1);
    EXPECT_EQ(edited[0][0].value<std::int64_t>(), 7);
    EXPECT_EQ(m.rowAt(1)->note, QStringLiteral("проба"));
    EXPECT_EQ(m.data(m.index(1, CaptureListModel::Axes), Qt::DisplayRole).toString(), QString());
}

// The four figures kept per capture, against signals with known answers.
TEST(CaptureMeasures, KnownSignalsGiveTheirFigures)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        std::function<double(double)> y; // of the time in seconds
        int points;
        double stepS; // X step in seconds; uneven when negative (steps alternate 0.5 and 1.5 of it)
        const char* xTitle;
        double peak, rms, frequency; // NaN: no frequency
    } cases[] = {
        {"sine", [](double t) { return 1000 * std::sin(2 * M_PI * 50 * t); }, 2000, 1e-3, "mS", 1000,
            1000 / std::sqrt(2.0), 50},
        {"uneven sine", [](double t) { return 1000 * std::sin(2 * M_PI * 50 * t); }, 2000, -1e-4, "\u00B5S",
            1000, 1000 / std::sqrt(2.0), 50},
        {"noisy ringing",
            [](double t) {
                return 800 * std::exp(-t * 5) * std::sin(2 * M_PI * 1200 * t) + (int(t * 1e6) % 7 - 3) * 8;
            },
            4000, 2e-5, "\u00B5S", nan, nan, 1200},
        {"step", [](double t) { return t < 0.01 ? 0 : 300; }, 1000, 1e-4, "\u00B5S", 300, nan, nan},
        {"a period and a half", [](double t) { return 500 * std::sin(2 * M_PI * 50 * t); }, 300, 1e-4,
            "\u00B5S", 500, nan, nan},
        {"constant", [](double) { return -42; }, 10, 1e-3, "mS", 42, 42, nan},
    };
    for (const Case& c : cases) {
        std::vector<std::int64_t> x;
        std::vector<std::int32_t> y;
        const double perUnit = QString::fromUtf8(c.xTitle) == QStringLiteral("S") ? 1
            : QString::fromUtf8(c.xTitle) == QStringLiteral("mS")                 ? 1e-3
                                                                                  : 1e-6;
        double t = 0;
        for (int i = 0; i < c.points; ++i) {
            x.push_back(std::llround(t / perUnit));
            y.push_back(std::int32_t(std::lround(c.y(double(x.back()) * perUnit))));
            t += c.stepS > 0 ? c.stepS : -c.stepS * (i % 2 ? 1.5 : 0.5);
        }
        const CaptureMeasures m = measureCapture(x, y, x.size(), QString::fromUtf8(c.xTitle));
        const auto [lo, hi] = std::minmax_element(y.begin(), y.end());
        EXPECT_EQ(m.peakToPeak, double(*hi) - double(*lo)) << c.what;
        if (!std::isnan(c.peak)) {
            EXPECT_NEAR(m.peak, c.peak, 1) << c.what;
        }
        if (!std::isnan(c.rms)) {
            EXPECT_NEAR(m.rms, c.rms, c.rms * 0.002) << c.what;
        }
        if (std::isnan(c.frequency)) {
            EXPECT_TRUE(std::isnan(m.frequency)) << c.what << ": " << m.frequency;
        } else {
            EXPECT_NEAR(m.frequency, c.frequency, c.frequency * 0.005) << c.what;
        }
    }
}

// "The worst RK1": the list filtered by its event, then one click on "Пик" puts the largest
// first; captures not yet measured go last, and the cells say why they hold no figure.
TEST(CaptureListModel, FilteredByEventAndSortedByPeakTheWorstComesFirst)
{
    CaptureListModel m({});
    const auto measured = [](std::int64_t id, const char* event, double peak, double frequency) {
        CaptureRow r = row(id);
        r.event = QString::fromLatin1(event);
        r.yTitle = QStringLiteral("A");
        r.measured = true;
        r.peak = peak;
        r.peakToPeak = 2 * peak;
        r.rms = peak / 2;
        r.frequency = frequency;
        return r;
    };
    CaptureRow old = row(1);
    old.event = QStringLiteral("RK1");
    m.setRows({old, measured(2, "RK1", 800, 50), measured(3, "RK2", 5000, 50),
        measured(4, "RK1", 1200, std::numeric_limits<double>::quiet_NaN()), measured(5, "RK1", 90, 49.5)});
    CaptureFilterModel shown;
    shown.setSourceModel(&m);
    shown.setSortRole(CaptureListModel::SortRole);
    shown.setEvent(QStringLiteral("RK1"));
    const auto order = m.headerData(CaptureListModel::Peak, Qt::Horizontal, Qt::InitialSortOrderRole).toInt();
    shown.sort(CaptureListModel::Peak, Qt::SortOrder(order));
    std::vector<std::int64_t> ids;
    for (int r = 0; r < shown.rowCount(); ++r)
        ids.push_back(m.rowAt(shown.mapToSource(shown.index(r, 0)).row())->id);
    EXPECT_EQ(ids, (std::vector<std::int64_t>{4, 2, 5, 1}));
    const auto cell = [&](std::int64_t id, int column, int role = Qt::DisplayRole) {
        return m.data(m.index(m.rowOf(id), column), role).toString();
    };
    EXPECT_EQ(cell(4, CaptureListModel::Peak), QStringLiteral("1200 A"));
    EXPECT_EQ(cell(4, CaptureListModel::Rms), QStringLiteral("600.0 A"));
    EXPECT_EQ(cell(4, CaptureListModel::Frequency), QStringLiteral("—"));
    EXPECT_FALSE(cell(4, CaptureListModel::Frequency, Qt::ToolTipRole).isEmpty());
    EXPECT_EQ(cell(5, CaptureListModel::Frequency), QStringLiteral("49.50 Hz"));
    EXPECT_EQ(cell(1, CaptureListModel::Peak), QStringLiteral("…"));
    EXPECT_FALSE(cell(1, CaptureListModel::Peak, Qt::ToolTipRole).isEmpty());
}
