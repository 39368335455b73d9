// The archive list model: captures stored meanwhile arrive as one batch and go in as one
// insertion at the top; a grown capture keeps its row; removals and edits of the note.
#include "archive/CaptureListModel.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

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
