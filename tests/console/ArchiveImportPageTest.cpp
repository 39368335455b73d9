// "Внос" on the archive page: the file chosen is read by the archive, its channels are listed
// and the first chosen; a broken file is reported with its line; with the archive off nothing
// is asked.
#include "archive/ArchiveStore.h"
#include "archive/CaptureExport.h"
#include "archive/CaptureListModel.h"
#include "console/ArchivePage.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

TEST(ArchivePageImport, TheChosenRecordIsListedAndChosenABrokenOneIsReported)
{
    QTemporaryDir dir;
    StoredCapture original;
    original.row.started = QStringLiteral("2026-12-08T10:51:02.125Z");
    original.row.port = QStringLiteral("COM3");
    original.row.xTitle = QStringLiteral("mS");
    original.row.yTitle = QStringLiteral("V");
    original.x = {0, 1, 2};
    original.y = {5, -7, 9};
    const QString cfg = dir.filePath(QStringLiteral("fault.cfg"));
    ASSERT_EQ(exportCapture(original, ExportFormat::Comtrade, cfg).outcome, ExportOutcome::Written);
    const QString broken = dir.filePath(QStringLiteral("broken.cff"));
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("--- file type: CFG ---\r\nS,D,1999\r\n1,1A,0D\r\n1,U,,,V,x,0,0,0,0,1,1,P\r\n");
    f.close();

    ArchiveStore store;
    store.open(dir.filePath(QStringLiteral("OrvikArchive.db")), 100);
    ArchivePage page(store);
    QStringList reports;
    page.Report = [&](const QString& m) { reports << m; };
    QString chosen = cfg;
    QString filter;
    page.OpenFileDialog = [&](const QString&, const QString&, const QString& f) {
        filter = f;
        return chosen;
    };
    std::vector<ImportResult> results;
    QObject::connect(
        &page, &ArchivePage::importFinished, [&](const ImportResult& r) { results.push_back(r); });
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return store.isOn() && page.ArchiveStatus->text().startsWith("Архив:"); }));

    page.ImportComtrade->click();
    EXPECT_TRUE(filter.contains(QStringLiteral("*.cff")));
    EXPECT_TRUE(page.ArchiveStatus->text().startsWith(QStringLiteral("Чете се"))); // the window goes on
    ASSERT_TRUE(QTest::qWaitFor([&] { return results.size() == 1; }, 10000));
    ASSERT_EQ(page.Model()->rowCount(), 1);
    EXPECT_EQ(page.SelectedCapture(), results[0].ids.at(0));
    EXPECT_EQ(page.Model()->rowAt(0)->port, QStringLiteral("COMTRADE Orvik COM3"));
    EXPECT_TRUE(
        page.ArchiveStatus->text().startsWith(QStringLiteral("Внесен е fault.cfg: 1 канала, 3 точки")))
        << page.ArchiveStatus->text().toStdString();
    EXPECT_TRUE(reports.isEmpty());

    chosen = broken;
    page.ImportComtrade->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return results.size() == 2; }, 10000));
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].contains(QStringLiteral("CFG, ред 3, поле 6 (a)"))) << reports[0].toStdString();
    EXPECT_EQ(page.Model()->rowCount(), 1);

    ArchiveStore off;
    ArchivePage offPage(off);
    bool asked = false;
    offPage.OpenFileDialog = [&](const QString&, const QString&, const QString&) {
        asked = true;
        return cfg;
    };
    offPage.Report = [&](const QString& m) { reports << m; };
    offPage.ImportComtrade->click();
    EXPECT_FALSE(asked);
    EXPECT_EQ(reports.size(), 2);
    store.close();
}
