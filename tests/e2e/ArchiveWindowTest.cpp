// The archive through the window against the device simulator: PUSK captures appear on
// "Архив" with the points the device sent (also one that came while the picture was held),
// are shown on the chart, exported in both formats, one is deleted, and the rest are there
// after a restart; a flood of captures at the pty's full speed leaves no backlog.
#include "console/MainUnit.h"

#include "../archive/ComtradeReader.h"
#include "E2eSupport.h"
#include "archive/ArchiveStore.h"
#include "archive/CaptureListModel.h"
#include "archive/CaptureRecorder.h"
#include "console/ArchivePage.h"
#include "console/CommandDialogs.h"

#include <QAction>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <unordered_set>

#include "chart/Chart.h"
#include "serial/ComPort.h"

namespace {

using Points = ArchivePage::OverlayPoints;

// The captures the device sent, from its record log: each begins at a scope reset.
std::vector<Points> capturesSent(const QString& recordLog)
{
    QFile f(recordLog);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    std::vector<Points> captures;
    std::int64_t scale = 1;
    std::int64_t k = 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QJsonObject ev = QJsonDocument::fromJson(line).object();
        if (ev[QStringLiteral("ev")].toString() != QStringLiteral("record"))
            continue;
        const QByteArray record = ev[QStringLiteral("line")].toString().toLatin1();
        if (record.startsWith("W:RS") && record.contains("+ROSC")) {
            captures.emplace_back();
            scale = 1;
            k = 0;
        } else if (record.startsWith("W:SC")) {
            scale = record.mid(7).toLongLong();
        } else if (record.startsWith("W:ST")) {
            for (const QByteArray& field : record.mid(4).split(';')) {
                if (field.isEmpty() || field.startsWith('*'))
                    break;
                captures.back().emplace_back(k++ * scale, field.toInt());
            }
        }
    }
    return captures;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class ArchiveWindow : public ::testing::Test {
protected:
    QTemporaryDir folder;
    QStringList errors;
    std::unique_ptr<TForm1> form;
    std::vector<Points> shown;
    int hidden = 0;
    QString chosenFile;

    void start(const QString& port)
    {
        QFile ini(folder.filePath(QStringLiteral("Orvik.ini")));
        if (!ini.exists()) {
            ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
            ini.write("[Com]\r\nComPortNo=" + port.toLocal8Bit() + "\r\nBaudRate=13\r\n");
            ini.close();
        }
        form = std::make_unique<TForm1>(folder.path());
        form->ErrorReport = [this](const QString& m) { errors << m; };
        form->ControlKeyDown = [] { return false; };
        form->FileDialog
            = [this](const QString&, const QString&, const QString&, bool) { return chosenFile; };
        // The window's own overlay still draws; the test notes what it was given.
        form->Archive->ShowOverlay = [this, draw = form->Archive->ShowOverlay](const Points& p) {
            shown.push_back(p);
            draw(p);
        };
        form->Archive->HideOverlay = [this, hide = form->Archive->HideOverlay] {
            ++hidden;
            hide();
        };
        form->Archive->Confirm = [](const QString&) { return true; };
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    CaptureListModel& list() { return *form->Archive->Model(); }
    void select(int row) { form->Archive->CaptureList->selectRow(row); }
    ExportResult exportWith(QAbstractButton* button, const QString& file)
    {
        return exportWith([button] { button->click(); }, file);
    }
    ExportResult exportWith(const std::function<void()>& trigger, const QString& file)
    {
        chosenFile = file;
        ExportResult result;
        bool done = false;
        const auto c
            = QObject::connect(form->Archive, &ArchivePage::exportFinished, [&](const ExportResult& r) {
                  result = r;
                  done = true;
              });
        trigger();
        waitFor([&] { return done; });
        QObject::disconnect(c);
        return result;
    }
};

} // namespace

TEST_F(ArchiveWindow, PuskCapturesAreListedHeldShownExportedDeletedAndKeptAcrossARestart)
{
    const QString recordLog = folder.filePath(QStringLiteral("device.jsonl"));
    Simulator sim({"--rate", "0", "--seed", "3", "--record-log", recordLog});
    ASSERT_FALSE(sim.port().isEmpty());
    start(sim.port());
    EXPECT_EQ(form->PageControl1->tabText(4), QStringLiteral("Архив"));
    EXPECT_EQ(form->PageControl1->widget(4)->objectName(), QStringLiteral("Archive"));
    form->PageControl1->setCurrentIndex(1);
    form->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    form->PresetDialog(0)->Edit2->setText(QStringLiteral("PUSK"));
    form->PageControl1->setCurrentIndex(0);
    for (int round = 1; round <= 3; ++round) {
        form->Button1->click();
        // Stored at the next capture's reset, the last one after the quiet spell.
        ASSERT_TRUE(waitFor([&] { return list().rowCount() == round; })) << round;
    }
    ASSERT_TRUE(waitFor([&] { return list().rowAt(0)->points == form->Series1->Count(); }));
    const auto liveY = [&] {
        std::vector<double> y;
        for (int i = 0; i < form->Series1->Count(); ++i)
            y.push_back(form->Series1->YValues()[i]);
        return y;
    };
    const std::vector<double> pictureBeforeHold = liveY();

    // Held, the picture stays as it was while the next capture is still archived.
    auto* hold = form->findChild<QPushButton*>(QStringLiteral("HoldScope"));
    ASSERT_NE(hold, nullptr);
    form->PageControl1->setCurrentIndex(2);
    hold->click();
    ASSERT_TRUE(hold->isChecked());
    form->PageControl1->setCurrentIndex(0);
    form->Button1->click();
    ASSERT_TRUE(waitFor([&] { return list().rowCount() == 4; }));
    EXPECT_EQ(liveY(), pictureBeforeHold);
    form->PageControl1->setCurrentIndex(2);
    hold->click();
    sim.stop();
    const std::vector<Points> sent = capturesSent(recordLog);
    ASSERT_EQ(sent.size(), 4u);
    // The last capture is listed while it grows; its end comes with the quiet spell.
    ASSERT_TRUE(waitFor([&] { return list().rowAt(0)->points == std::int64_t(sent.back().size()); }));

    // Newest first; each one's points are what the device sent, drawn as Series2.
    for (int row = 0; row < 4; ++row) {
        const CaptureRow* r = list().rowAt(row);
        const Points& expected = sent[std::size_t(3 - row)];
        EXPECT_EQ(r->id, 4 - row);
        EXPECT_EQ(r->port, sim.port());
        EXPECT_EQ(r->points, std::int64_t(expected.size()));
        form->PageControl1->setCurrentIndex(4);
        select(row);
        form->Archive->ShowCapture->click();
        ASSERT_TRUE(waitFor([&] { return shown.size() == std::size_t(row + 1); }));
        EXPECT_EQ(shown.back(), expected) << "capture " << r->id;
        EXPECT_EQ(form->PageControl1->currentIndex(), 2);
        ASSERT_EQ(form->Series2->Count(), int(expected.size()));
        EXPECT_EQ(form->Series2->XValues()[int(expected.size()) - 1], double(expected.back().first));
        EXPECT_EQ(form->Series2->YValues()[int(expected.size()) - 1], double(expected.back().second));
    }
    form->PageControl1->setCurrentIndex(4);
    form->Archive->HideCapture->click();
    EXPECT_EQ(hidden, 1);
    EXPECT_EQ(form->Series2->Count(), 0);
    // With ORVIK_SHOTS=<folder> the filled page is saved for a person to look at.
    if (const QByteArray shots = qgetenv("ORVIK_SHOTS"); !shots.isEmpty()) {
        list().setData(
            list().index(1, CaptureListModel::Note), QStringLiteral("след смяна на тиристора"), Qt::EditRole);
        QCoreApplication::processEvents();
        form->grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/archive.png"));
        select(3);
        form->Archive->ShowCapture->click();
        waitFor([&] { return form->PageControl1->currentIndex() == 2; });
        QTest::qWait(100); // a redraw waits for the next frame
        form->grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/overlay.png"));
        form->Archive->HideCapture->click();
        form->PageControl1->setCurrentIndex(4);
    }

    // Capture 1 exported both ways.
    select(3);
    const ExportResult csv = exportWith(form->Archive->ExportCsv, folder.filePath(QStringLiteral("first")));
    ASSERT_EQ(csv.outcome, ExportOutcome::Written) << csv.error.toStdString();
    const QList<QByteArray> lines = readAll(folder.filePath(QStringLiteral("first.csv"))).split('\n');
    ASSERT_EQ(lines.size(), qsizetype(sent[0].size()) + 2);
    EXPECT_TRUE(lines[0].startsWith("k,x [")) << lines[0].data();
    EXPECT_EQ(lines[1], QByteArray("1,0,") + QByteArray::number(sent[0][0].second) + "\r");

    const ExportResult cfg
        = exportWith(form->Archive->ExportComtrade, folder.filePath(QStringLiteral("first")));
    ASSERT_EQ(cfg.outcome, ExportOutcome::Written) << cfg.error.toStdString();
    const auto record = readComtrade(readAll(folder.filePath(QStringLiteral("first.cfg"))),
        readAll(folder.filePath(QStringLiteral("first.dat"))));
    ASSERT_TRUE(record);
    ASSERT_EQ(record->values.size(), sent[0].size());
    for (std::size_t i = 0; i < sent[0].size(); ++i)
        EXPECT_EQ(record->values[i], double(sent[0][i].second));
    EXPECT_GT(record->sampleRate, 0); // the device's points are evenly spaced

    // The button's second choice: COMTRADE 2013, BINARY32.
    const QList<QAction*> choices = form->Archive->ExportComtrade->menu()->actions();
    ASSERT_EQ(choices.size(), 2);
    const ExportResult exact
        = exportWith([&] { choices[1]->trigger(); }, folder.filePath(QStringLiteral("exact")));
    ASSERT_EQ(exact.outcome, ExportOutcome::Written) << exact.error.toStdString();
    const auto binary = readComtrade(readAll(folder.filePath(QStringLiteral("exact.cfg"))),
        readAll(folder.filePath(QStringLiteral("exact.dat"))));
    ASSERT_TRUE(binary);
    EXPECT_EQ(binary->fileType, "BINARY32");
    EXPECT_EQ(binary->values, record->values);
    EXPECT_EQ(binary->timesUs, record->timesUs);

    // Capture 2 deleted after the question.
    select(2);
    form->Archive->DeleteCapture->click();
    ASSERT_TRUE(waitFor([&] { return list().rowCount() == 3; }));
    EXPECT_EQ(list().rowAt(2)->id, 1);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();

    form->close();
    form.reset();
    const QByteArray ini = readAll(folder.filePath(QStringLiteral("Orvik.ini")));
    EXPECT_GT(ini.indexOf("[Archive]"), ini.indexOf("[Position]"));
    EXPECT_NE(ini.indexOf("Keep=1000"), -1);
    start(sim.port());
    ASSERT_TRUE(waitFor([&] { return list().rowCount() == 3; }));
    EXPECT_EQ(list().rowAt(0)->id, 4);
    EXPECT_EQ(list().rowAt(2)->id, 1);
}

TEST_F(ArchiveWindow, AnUnusableArchiveIsReportedOnceAndTheConsoleGoesOn)
{
    QFile bad(folder.filePath(QStringLiteral("OrvikArchive.db")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray(4096, 'x'));
    bad.close();
    Simulator sim({"--rate", "0", "--seed", "4"});
    start(sim.port());
    ASSERT_TRUE(waitFor([&] { return !errors.isEmpty(); }));
    form->PageControl1->setCurrentIndex(1);
    form->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    form->PresetDialog(0)->Edit2->setText(QStringLiteral("PUSK"));
    form->Button1->click();
    ASSERT_TRUE(waitFor([&] { return form->Series1->Count() > 0; }));
    form->Button19->click(); // a capture handed to the archive that is off
    QCoreApplication::processEvents();
    EXPECT_EQ(errors.size(), 1) << errors.join('\n').toStdString();
    EXPECT_TRUE(form->Archive->ArchiveStatus->text().contains(bad.fileName()));
    EXPECT_EQ(list().rowCount(), 0);
}

TEST_F(ArchiveWindow, AnEmptyFileSettingTurnsTheArchiveOffAndIsKept)
{
    QFile ini(folder.filePath(QStringLiteral("Orvik.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Archive]\r\nFile=\r\nKeep=5\r\n");
    ini.close();
    start(QStringLiteral("/dev/null"));
    EXPECT_TRUE(form->Archive->ArchiveStatus->text().contains(QStringLiteral("изключен")));
    form->close();
    form.reset();
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("OrvikArchive.db"))));
    QByteArray saved = readAll(folder.filePath(QStringLiteral("Orvik.ini")));
    saved.replace("\r", "");
    EXPECT_NE(saved.indexOf("[Archive]\nFile=\nKeep=5\nJournalKeep=1000000\n"), -1) << saved.data();
}

TEST_F(ArchiveWindow, AFloodOfCapturesAtFullSpeedLeavesNoBacklog)
{
    Simulator sim({"--flood", "--chunk-max", "0", "--count", "60000", "--mix", "va=5,tr=4,burst=2",
        "--burst-samples", "96", "--seed", "8"});
    ASSERT_FALSE(sim.port().isEmpty());
    QFile ini(folder.filePath(QStringLiteral("Orvik.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Com]\r\nComPortNo=" + sim.port().toLocal8Bit()
        + "\r\nBaudRate=13\r\n[Archive]\r\nKeep=1000000\r\n");
    ini.close();
    start(sim.port());
    auto* recorder = form->findChild<CaptureRecorder*>();
    auto* store = form->findChild<ArchiveStore*>();
    ASSERT_TRUE(recorder && store);
    std::int64_t handed = 0;
    std::unordered_set<std::int64_t> stored;
    QObject::connect(recorder, &CaptureRecorder::captureReady,
        [&](const CaptureData& c) { handed = std::max(handed, c.key); });
    QObject::connect(
        store, &ArchiveStore::captureStored, [&](const CaptureRow& r, bool) { stored.insert(r.id); });
    form->PageControl1->setCurrentIndex(1);
    form->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    ASSERT_TRUE(sim.finished(120000));
    // Every capture handed over while the flood lasted is in the file moments after it.
    const std::int64_t atEnd = handed;
    QElapsedTimer sinceEnd;
    sinceEnd.start();
    ASSERT_TRUE(waitFor([&] { return std::int64_t(stored.size()) >= atEnd; }));
    EXPECT_GT(atEnd, 1000);
    // Moments, not the minutes a backlog of thousands would take; generous for a loaded machine.
    EXPECT_LT(sinceEnd.elapsed(), 10000) << atEnd << " captures";
    EXPECT_TRUE(store->failure().isEmpty()) << store->failure().toStdString();
}

// The page says how much an export could not keep, and why one was refused.
TEST(ArchivePageSays, RoundedSamplesAndATimeThatStandsStill)
{
    ArchiveStore store;
    ArchivePage page(store);
    QStringList reports;
    page.Report = [&](const QString& m) { reports << m; };
    ExportResult r;
    r.id = 3;
    r.format = ExportFormat::Comtrade;
    r.path = QStringLiteral("/tmp/fault.cfg");
    r.rounded = 81;
    r.points = 82;
    r.largestError = 0.61;
    emit store.exported(r);
    EXPECT_TRUE(page.ArchiveStatus->text().contains(QStringLiteral("81 от 82 проби са закръглени")))
        << page.ArchiveStatus->text().toStdString();
    EXPECT_TRUE(page.ArchiveStatus->text().contains(QStringLiteral("COMTRADE 2013")));
    EXPECT_TRUE(reports.isEmpty()); // written all the same
    r.outcome = ExportOutcome::XStandsStill;
    emit store.exported(r);
    EXPECT_TRUE(page.ArchiveStatus->text().contains(QStringLiteral("скала 0")));
    EXPECT_EQ(reports.size(), 1);
}
