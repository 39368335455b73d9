// The archive through the window against the device simulator: PUSK captures appear on
// "Архив" with the points the device sent (also one that came while the picture was held),
// are shown on the chart, exported in both formats, one is deleted, and the rest are there
// after a restart; a flood of captures at the pty's full speed leaves no backlog.
#include "console/MainUnit.h"

#include "E2eSupport.h"
#include "archive/ArchiveStore.h"
#include "archive/CaptureListModel.h"
#include "archive/CaptureRecorder.h"
#include "archive/ComtradeReader.h"
#include "console/ArchivePage.h"
#include "console/CommandDialogs.h"

#include <QAction>
#include <QFile>
#include <QImage>
#include <QItemSelection>
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
#include <cstdio>
#include <gtest/gtest.h>
#include <unordered_set>

#include <map>

#include "chart/Chart.h"
#include "chart/TraceLegend.h"
#include "chart/core/ChartTraces.h"
#include "console/ScopePage.h"
#include "console/ScopeToolBar.h"
#include "console/SetupPage.h"
#include "console/TerminalPage.h"
#include "serial/ComPort.h"

namespace {

using Points = std::vector<std::pair<std::int64_t, std::int32_t>>;

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
    QString proposedFile;

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
        form->FileDialog = [this](const QString&, const QString& proposed, const QString&, bool) {
            proposedFile = proposed;
            return chosenFile;
        };
        // The window's own references still draw; the test notes what they were given.
        form->Archive->ShowReference = [this, draw = form->Archive->ShowReference](const StoredCapture& c) {
            Points p;
            for (std::size_t i = 0; i < c.x.size(); ++i)
                p.emplace_back(c.x[i], c.y[i]);
            shown.push_back(p);
            return draw(c);
        };
        form->Archive->HideReferences
            = [this, hide = form->Archive->HideReferences](const std::vector<std::int64_t>& ids) {
                  ++hidden;
                  hide(ids);
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
    form->Setup->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    form->PresetDialog(0)->Edit2->setText(QStringLiteral("PUSK"));
    form->PageControl1->setCurrentIndex(0);
    for (int round = 1; round <= 3; ++round) {
        form->Terminal->Button1->click();
        // Stored at the next capture's reset, the last one after the quiet spell.
        ASSERT_TRUE(waitFor([&] { return list().rowCount() == round; })) << round;
    }
    ASSERT_TRUE(waitFor([&] { return list().rowAt(0)->points == form->Scope->Series1->Count(); }));
    const auto liveY = [&] {
        std::vector<double> y;
        for (int i = 0; i < form->Scope->Series1->Count(); ++i)
            y.push_back(form->Scope->Series1->YValues()[i]);
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
    form->Terminal->Button1->click();
    ASSERT_TRUE(waitFor([&] { return list().rowCount() == 4; }));
    EXPECT_EQ(liveY(), pictureBeforeHold);
    form->PageControl1->setCurrentIndex(2);
    hold->click();
    sim.stop();
    const std::vector<Points> sent = capturesSent(recordLog);
    ASSERT_EQ(sent.size(), 4u);
    // The last capture is listed while it grows; its end comes with the quiet spell.
    ASSERT_TRUE(waitFor([&] { return list().rowAt(0)->points == std::int64_t(sent.back().size()); }));

    // Newest first; each one's points are what the device sent, drawn as a reference trace in
    // its own units (Series2 for the first).
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
        const TReferenceTrace* trace = form->Scope->Traces().Reference(r->id);
        ASSERT_NE(trace, nullptr);
        EXPECT_EQ(trace->series, row == 0 ? form->Scope->Series2 : trace->series);
        EXPECT_EQ(trace->info.yUnit, r->yTitle);
        ASSERT_EQ(trace->series->Count(), int(expected.size()));
        EXPECT_EQ(trace->series->XValues().Raw().back(), double(expected.back().first));
        EXPECT_EQ(trace->series->YValues()[int(expected.size()) - 1], double(expected.back().second));
    }
    form->PageControl1->setCurrentIndex(4);
    form->Archive->CaptureList->selectAll();
    form->Archive->HideCapture->click();
    EXPECT_EQ(hidden, 1);
    EXPECT_EQ(form->Scope->Series2->Count(), 0);
    EXPECT_TRUE(form->Scope->Traces().References().empty());
    EXPECT_FALSE(form->Archive->HideCapture->isEnabled());
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
        form->PageControl1->setCurrentIndex(4);
        form->Archive->HideCapture->click();
    }

    // Capture 1 exported both ways; the dialog proposed a name for it in the data folder.
    select(3);
    const ExportResult csv = exportWith(form->Archive->ExportCsv, folder.filePath(QStringLiteral("first")));
    EXPECT_TRUE(proposedFile.startsWith(folder.filePath(QStringLiteral("capture-1-"))))
        << proposedFile.toStdString();
    EXPECT_TRUE(proposedFile.endsWith(QStringLiteral(".csv"))) << proposedFile.toStdString();
    EXPECT_TRUE(form->Archive->ArchiveStatus->text().contains(folder.filePath(QStringLiteral("first.csv"))));
    ASSERT_EQ(csv.outcome, ExportOutcome::Written) << csv.error.toStdString();
    const QList<QByteArray> lines = readAll(folder.filePath(QStringLiteral("first.csv"))).split('\n');
    ASSERT_EQ(lines.size(), qsizetype(sent[0].size()) + 2);
    EXPECT_TRUE(lines[0].startsWith("k,x [")) << lines[0].data();
    EXPECT_EQ(lines[1], QByteArray("1,0,") + QByteArray::number(sent[0][0].second) + "\r");

    const ExportResult cfg
        = exportWith(form->Archive->ExportComtrade, folder.filePath(QStringLiteral("first")));
    ASSERT_EQ(cfg.outcome, ExportOutcome::Written) << cfg.error.toStdString();
    const auto record = readComtrade(readAll(folder.filePath(QStringLiteral("first.cfg"))),
        readAll(folder.filePath(QStringLiteral("first.dat"))))
                            .record;
    ASSERT_TRUE(record);
    ASSERT_EQ(record->analogs[0].raw.size(), sent[0].size());
    for (std::size_t i = 0; i < sent[0].size(); ++i)
        EXPECT_EQ(record->analogs[0].value(i), double(sent[0][i].second));
    EXPECT_GT(record->rates[0].rate, 0); // the device's points are evenly spaced

    // The button's second choice: COMTRADE 2013, BINARY32.
    const QList<QAction*> choices = form->Archive->ExportComtrade->menu()->actions();
    ASSERT_EQ(choices.size(), 2);
    const ExportResult exact
        = exportWith([&] { choices[1]->trigger(); }, folder.filePath(QStringLiteral("exact")));
    ASSERT_EQ(exact.outcome, ExportOutcome::Written) << exact.error.toStdString();
    const auto binary = readComtrade(readAll(folder.filePath(QStringLiteral("exact.cfg"))),
        readAll(folder.filePath(QStringLiteral("exact.dat"))))
                            .record;
    ASSERT_TRUE(binary);
    EXPECT_EQ(binary->fileType, "BINARY32");
    for (std::size_t i = 0; i < sent[0].size(); ++i)
        EXPECT_EQ(binary->analogs[0].value(i), record->analogs[0].value(i));
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

// Events every second, each followed by its capture in units of the device's choosing: three
// of them in two Y units shown beside each other, each against its own axis, with a legend;
// one hidden by its tick and then from the list, one deleted, and the picture exported.
TEST_F(ArchiveWindow, ReferencesInTwoUnitsAreShownWithALegendHiddenDeletedAndPictured)
{
    Simulator sim({"--rate", "12", "--mix", "va=0,tr=1,burst=0,rs=0", "--events", "1", "--burst-samples",
        "100", "--seed", "11"});
    ASSERT_FALSE(sim.port().isEmpty());
    start(sim.port());
    form->PageControl1->setCurrentIndex(1);
    form->Setup->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    form->PageControl1->setCurrentIndex(4);
    // Three captures in one Y unit and one in another, at least.
    auto unitsFound = [&] {
        std::map<QString, int> count;
        for (int r = 0; r < list().rowCount(); ++r)
            ++count[list().rowAt(r)->yTitle];
        int twice = 0;
        for (const auto& [unit, n] : count)
            twice += n >= 2;
        return count.size() >= 2 && twice >= 1;
    };
    ASSERT_TRUE(waitFor(unitsFound, 60000)) << list().rowCount();
    sim.stop();
    // By number: a capture still handed over after the end moves the rows.
    QString doubled;
    std::map<QString, std::vector<std::int64_t>> idsOf;
    for (int r = 0; r < list().rowCount(); ++r)
        idsOf[list().rowAt(r)->yTitle].push_back(list().rowAt(r)->id);
    for (const auto& [unit, ids] : idsOf) {
        if (ids.size() >= 2 && doubled.isEmpty())
            doubled = unit;
    }
    std::int64_t single = 0;
    for (const auto& [unit, ids] : idsOf) {
        if (unit != doubled) {
            single = ids.front();
            break;
        }
    }
    ASSERT_NE(single, 0);
    const std::vector<std::int64_t> picked{idsOf[doubled][0], idsOf[doubled][1], single};

    // The live trace cleared ("C"): the axes are the references' own.
    form->PageControl1->setCurrentIndex(2);
    form->Scope->Button19->click();
    form->PageControl1->setCurrentIndex(4);
    QItemSelection selection;
    for (std::int64_t id : picked) {
        const int r = list().rowOf(id);
        selection.select(list().index(r, 0), list().index(r, CaptureListModel::ColumnCount - 1));
    }
    form->Archive->CaptureList->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    EXPECT_FALSE(form->Archive->HideCapture->isEnabled()); // none of them shown yet
    form->Archive->ShowCapture->click();
    const TChartTraces& traces = form->Scope->Traces();
    ASSERT_TRUE(waitFor([&] { return traces.References().size() == 3; }));
    EXPECT_EQ(form->PageControl1->currentIndex(), 2);
    EXPECT_TRUE(form->Archive->HideCapture->isEnabled());
    form->Scope->Chart1->BuildPicture();
    const QString bottom = form->Scope->Chart1->BottomAxis().Title().Caption();
    for (const TReferenceTrace& r : traces.References()) {
        SCOPED_TRACE(r.info.id);
        ASSERT_TRUE(r.place == TTracePlace::Left || r.place == TTracePlace::Right);
        EXPECT_EQ(r.series->GetVertAxis()->Title().Caption(), r.info.yUnit);
        EXPECT_DOUBLE_EQ(r.series->XValues().Multiplier(), chartmath::timeFactor(r.info.xUnit, bottom));
        EXPECT_NE(r.series->XValues().Multiplier(), 0);
    }
    EXPECT_NE(form->Scope->Chart1->LeftAxis().Title().Caption(),
        form->Scope->Chart1->RightAxis().Title().Caption());
    TraceLegend* legend = form->Scope->ScopeBar->Legend;
    ASSERT_TRUE(waitFor([&] { return legend->isVisible(); }));
    ASSERT_EQ(legend->Rows().size(), 4u);
    EXPECT_EQ(legend->Rows()[1].number, QStringLiteral("№%1").arg(traces.References()[0].info.id));
    EXPECT_FALSE(legend->Rows()[1].start.isEmpty());

    // The scope cursor reads all three in their units.
    const TChartRect plot = form->Scope->Chart1->ChartRect();
    QTest::mouseMove(form->Scope->Chart1, QPoint(plot.Left + 3, (plot.Top + plot.Bottom) / 2));
    for (const TReferenceTrace& r : traces.References()) {
        EXPECT_TRUE(waitFor(
            [&] {
                return form->Scope->ScopeBar->CursorReadout->text().contains(
                    QStringLiteral("№%1 = ").arg(r.info.id));
            },
            5000))
            << form->Scope->ScopeBar->CursorReadout->text().toStdString();
    }

    // The tick of the second reference's row hides it from the chart, not from the legend.
    const std::int64_t ticked = traces.References()[1].info.id;
    QPoint tick;
    for (int y = 0; y < legend->height() && tick.isNull(); ++y) {
        bool onTick = false;
        if (legend->RowAt(QPoint(6, y), &onTick) == 2 && onTick)
            tick = QPoint(6, y);
    }
    ASSERT_FALSE(tick.isNull());
    QTest::mouseClick(legend, Qt::LeftButton, {}, tick);
    EXPECT_EQ(traces.Reference(ticked)->place, TTracePlace::Unticked);
    EXPECT_FALSE(traces.Reference(ticked)->series->Active());
    EXPECT_FALSE(legend->Rows()[2].ticked);
    QTest::mouseClick(legend, Qt::LeftButton, {}, tick);
    EXPECT_TRUE(traces.Reference(ticked)->series->Active());

    // "Скрий" on the first, then the second deleted: both leave the chart and the legend.
    form->PageControl1->setCurrentIndex(4);
    const std::int64_t hiddenId = picked[0];
    const std::int64_t deletedId = picked[1];
    select(list().rowOf(hiddenId));
    form->Archive->HideCapture->click();
    EXPECT_FALSE(traces.IsShown(hiddenId));
    EXPECT_FALSE(form->Archive->HideCapture->isEnabled());
    select(list().rowOf(deletedId));
    form->Archive->DeleteCapture->click();
    ASSERT_TRUE(waitFor([&] { return !traces.IsShown(deletedId); }));
    ASSERT_EQ(traces.References().size(), 1u);
    EXPECT_EQ(legend->Rows().size(), 2u);

    // The picture: proposed in the data folder under the capture's name, written with its
    // title block, and the page says where.
    form->PageControl1->setCurrentIndex(2);
    const std::int64_t left = traces.References()[0].info.id;
    chosenFile = folder.filePath(QStringLiteral("scope"));
    form->Scope->ScopeBar->SaveChart->click();
    EXPECT_TRUE(proposedFile.startsWith(folder.filePath(QStringLiteral("capture-%1-").arg(left))))
        << proposedFile.toStdString();
    EXPECT_TRUE(proposedFile.endsWith(QStringLiteral(".png")));
    QImage picture;
    ASSERT_TRUE(waitFor([&] { return picture.load(folder.filePath(QStringLiteral("scope.png"))); }));
    EXPECT_GT(picture.height(), form->Scope->Chart1->height());
    EXPECT_TRUE(waitFor([&] {
        return form->Scope->ScopeBar->SaveStatus->text().contains(
            folder.filePath(QStringLiteral("scope.png")));
    }));
    if (const QByteArray shots = qgetenv("ORVIK_SHOTS"); !shots.isEmpty())
        picture.save(QString::fromLocal8Bit(shots) + QStringLiteral("/references-picture.png"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
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
    form->Setup->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    form->PresetDialog(0)->Edit2->setText(QStringLiteral("PUSK"));
    form->Terminal->Button1->click();
    ASSERT_TRUE(waitFor([&] { return form->Scope->Series1->Count() > 0; }));
    form->Scope->Button19->click(); // a capture handed to the archive that is off
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
    form->Setup->RSBut->click();
    ASSERT_TRUE(form->ComPort1->Connected());
    ASSERT_TRUE(sim.finished(120000));
    // Every capture handed over while the flood lasted is in the file moments after it.
    const std::int64_t atEnd = handed;
    QElapsedTimer sinceEnd;
    sinceEnd.start();
    // Nothing handed over is lost; how long the store took to catch up is a figure to watch,
    // not a pass mark, since it follows the machine's load.
    ASSERT_TRUE(waitFor([&] { return std::int64_t(stored.size()) >= atEnd; }, 180000))
        << stored.size() << " of " << atEnd << " stored";
    EXPECT_GT(atEnd, 1000);
    std::printf("figures: flood of %lld captures, in the file %lld ms after its end\n",
        static_cast<long long>(atEnd), static_cast<long long>(sinceEnd.elapsed()));
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
    emit store.answered(r);
    EXPECT_TRUE(page.ArchiveStatus->text().contains(QStringLiteral("81 от 82 проби са закръглени")))
        << page.ArchiveStatus->text().toStdString();
    EXPECT_TRUE(page.ArchiveStatus->text().contains(QStringLiteral("COMTRADE 2013")));
    EXPECT_TRUE(reports.isEmpty()); // written all the same
    r.outcome = ExportOutcome::XStandsStill;
    emit store.answered(r);
    EXPECT_TRUE(page.ArchiveStatus->text().contains(QStringLiteral("скала 0")));
    EXPECT_EQ(reports.size(), 1);
}
