#include "console/MainUnit.h"

#include "archive/ArchiveStore.h"
#include "archive/ArchiveTypes.h"
#include "archive/CaptureListModel.h"
#include "chart/Chart.h"
#include "chart/core/ChartTraces.h"
#include "chart/core/LineSeries.h"
#include "console/ArchivePage.h"
#include "console/ColorBox.h"
#include "console/CommandDialogs.h"
#include "console/DataLogSwitch.h"
#include "console/HelpPage.h"
#include "console/JournalPage.h"
#include "console/LineTracePanel.h"
#include "console/ScopeOnEvent.h"
#include "console/ScopePage.h"
#include "console/ScopeToolBar.h"
#include "console/SetupPage.h"
#include "console/StatusLine.h"
#include "console/TerminalPage.h"
#include "console/WindowChrome.h"
#include "console/core/LineTraceModel.h"
#include "serial/ComPort.h"
#include "session/JournalRecorder.h"
#include "session/LineLog.h"
#include "terminal/ComTerminal.h"
#include "widgets/Switch.h"
#include "widgets/TrayIcon.h"
#include "widgets/ValidateEdit.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace {

// The journal's rows other than the connection's, oldest first, as "kind subject value".
std::vector<std::string> journalRows(TForm1& form)
{
    TJournalModel* model = form.Journal->model();
    model->flush();
    std::vector<std::string> rows;
    for (int r = model->rowCount() - 1; r >= 0; --r) {
        const TJournalRow& row = model->row(r);
        if (row.kind != QStringLiteral("connection"))
            rows.push_back((row.kind + ' ' + row.subject + ' ' + row.value).toStdString());
    }
    return rows;
}

template <class T = QWidget> T* find(QWidget& root, const char* name)
{
    T* w = root.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The master side of a pseudo-terminal: the console's port opens the slave.
class PtyPeer {
public:
    PtyPeer()
    {
        fd_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (fd_ >= 0 && grantpt(fd_) == 0 && unlockpt(fd_) == 0)
            slave_ = QString::fromLocal8Bit(ptsname(fd_));
    }
    ~PtyPeer()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    const QString& slave() const { return slave_; }
    void write(const QByteArray& bytes)
    {
        ASSERT_EQ(::write(fd_, bytes.data(), size_t(bytes.size())), bytes.size());
    }
    // Everything the console sent until count bytes arrived or the deadline passed.
    QByteArray read(qsizetype count, int deadlineMs = 5000)
    {
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (got.size() < count && t.elapsed() < deadlineMs) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
                char buf[4096];
                const ssize_t n = ::read(fd_, buf, sizeof buf);
                if (n > 0)
                    got.append(buf, n);
            }
            QCoreApplication::processEvents();
        }
        return got;
    }
    // Whatever arrives within a short quiet period (for "nothing was sent").
    QByteArray drain(int ms = 200) { return read(1 << 30, ms); }

private:
    int fd_ = -1;
    QString slave_;
};

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<TForm1>(dir.path());
        form->ErrorReport = [this](const QString& m) { errors << m; };
        form->ControlKeyDown = [this] { return ctrl; };
        form->FileDialog
            = [this](const QString&, const QString&, const QString&, bool) { return chosenFile; };
    }
    void TearDown() override
    {
        form->ComPort1->ClosePort();
        form.reset();
    }

    void connectPeer()
    {
        ASSERT_FALSE(peer.slave().isEmpty());
        form->ComPort1->SetPort(peer.slave());
        form->ComPort1->OpenPort();
        ASSERT_TRUE(form->ComPort1->Connected());
    }

    // A row of the terminal's grid, without the empty cells at its end.
    QByteArray screenRow(int y) const
    {
        QByteArray row;
        for (int x = 1; x <= form->Terminal->Memo1->Columns(); ++x)
            row += form->Terminal->Memo1->Buffer().GetCell(x, y).Ch;
        while (row.endsWith('\0'))
            row.chop(1);
        return row;
    }

    QTemporaryDir dir;
    std::unique_ptr<TForm1> form;
    PtyPeer peer;
    QStringList errors;
    bool ctrl = false;
    QString chosenFile;
};

TEST_F(MainWindow, ControlsCarryTheirDesignNamesAndTexts)
{
    EXPECT_EQ(form->windowTitle(),
        QStringLiteral("Orvik  v1.8 -  Комплекс за изследване на аварийни процеси - ЖБФ"));
    auto* pages = find<QTabWidget>(*form, "PageControl1");
    // The design's four pages keep their indexes; the archive and the journal follow them.
    ASSERT_GE(pages->count(), 6);
    const char* names[] = {"Terminal", "Setup", "Scope", "TabSheet1", "Archive", "Journal"};
    const char* captions[] = {"Терминал", "Настройки", "Графични данни", "Помощ", "Архив", "Журнал"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(pages->widget(i)->objectName(), QString::fromLatin1(names[i]));
        EXPECT_EQ(pages->tabText(i), QString::fromUtf8(captions[i]));
    }
    EXPECT_EQ(pages->currentIndex(), 0);
    // The journal page comes after the design's pages, the status line below them all.
    auto* journal = find<QWidget>(*form, "Journal");
    EXPECT_EQ(pages->tabText(pages->indexOf(journal)), QStringLiteral("Журнал"));
    EXPECT_GT(pages->indexOf(journal), 3);
    auto* filter = find<QComboBox>(*journal, "JournalFilter");
    QStringList filters;
    for (int i = 0; i < filter->count(); ++i)
        filters << filter->itemText(i);
    EXPECT_EQ(filters,
        (QStringList{"Всички", "Събития", "Граници", "Връзка", "Записи", "Нулирания", "Грешки", "Събитие RK1",
            "Събитие RK2", "Събитие RK3", "Събитие CFK", "Събитие SUK"}));
    auto* list = find<QTableView>(*journal, "JournalList");
    QStringList columns;
    for (int i = 0; i < list->model()->columnCount(); ++i)
        columns << list->model()->headerData(i, Qt::Horizontal).toString();
    EXPECT_EQ(columns, (QStringList{"Време", "Вид", "Обект", "Стойност", "Текст", "Произход"}));
    EXPECT_EQ(find<QPushButton>(*journal, "ExportJournal")->text(), QStringLiteral("Експорт CSV"));
    EXPECT_EQ(find<QPushButton>(*journal, "PauseInspector")->text(), QStringLiteral("Пауза"));
    EXPECT_EQ(find<QPushButton>(*journal, "ExportInspector")->text(), QStringLiteral("Експорт CSV"));
    find<QTableView>(*journal, "LineInspector");
    EXPECT_EQ(find<QWidget>(*form, "StatusLine")->parentWidget(), form.get());

    const std::pair<const char*, const char*> buttons[]
        = {{"Button1", "PUSK"}, {"Button2", "RESTART"}, {"Button5", "DIAGNOSTIC"}, {"Button3", "INVERTER"},
            {"Button4", "RECTIFIER"}, {"Button6", "Vcc"}, {"Button7", "It"}, {"Button11", "t°C"},
            {"Button8", "Изпрати -->>"}, {"Button9", "RS232 Настройки"}, {"Button12", "LPT  Настройки"},
            {"Button13", "USB  Настройки"}, {"Button10", "Терминал"}, {"ViewLog", "Покажи лог файла"},
            {"BitBtn5", "Зареди от файл"}, {"BitBtn6", "Запази във файл"}, {"Button16", "Нулиране"},
            {"Button14", "Нулиране"}, {"Button18", "+"}, {"Button17", "-"}, {"Button20", "><"},
            {"Button19", "C"}, {"WinCalc", "Windows калкулатор"}, {"Button15", "Вграден  калкулатор"}};
    for (auto [name, caption] : buttons) {
        if (auto* b = find<QPushButton>(*form, name)) {
            EXPECT_EQ(b->text(), QString::fromUtf8(caption)) << name;
        }
    }
    EXPECT_EQ(form->Terminal->Button8->toolTip(), QStringLiteral("Sending The Command"));
    for (QPushButton* b : {form->Terminal->Button1, form->Terminal->Button3, form->Terminal->Button11})
        EXPECT_TRUE(b->toolTip().isEmpty());

    const std::tuple<const char*, const char*, bool> boxes[]
        = {{"Wrap", "Wrap", true}, {"Echo", "Echo", true}, {"CR", "CR", true}, {"LF", "LF", true},
            {"LogIncomming", "Входящи данни", true}, {"LogOutgoing", "Изходящи данни", true}};
    for (const char* name : {"DTR", "RTS"})
        EXPECT_EQ(find<QCheckBox>(*form, name)->text(), QString::fromLatin1(name));
    for (auto [name, caption, checked] : boxes) {
        if (auto* c = find<QCheckBox>(*form, name)) {
            EXPECT_EQ(c->text(), QString::fromUtf8(caption));
            EXPECT_EQ(c->isChecked(), checked) << name;
        }
    }
    EXPECT_TRUE(find<QRadioButton>(*form, "NoneBut")->isChecked());
    EXPECT_EQ(find<QLabel>(*form, "Label3")->text(), "Closed");
    EXPECT_EQ(find<QLabel>(*form, "Label5")->text(), "Not Set");

    QStringList groups;
    for (auto* g : form->findChildren<QGroupBox*>())
        groups << g->title();
    for (const char* title : {" Контроли: ( натисни и задръж CTRL ) ",
             " Устройства: ", " Измервания: ", " Настройки: ", " Connection Type ", "Color Settings",
             " Записване на данни: ", " Глобални настройки: ", " Статистика: ", " Аварийни събития: ",
             " RK1: ", " RK2: ", " RK3: ", " CFK: ", " SUK: "})
        EXPECT_TRUE(groups.contains(QString::fromUtf8(title))) << title;

    EXPECT_EQ(form->Setup->MainColor->Selected(), clSilver);
    EXPECT_EQ(form->Setup->TerminalBackColor->Selected(), clAqua);
    EXPECT_EQ(form->Setup->TerminalFontColor->Selected(), clBlack);
    EXPECT_EQ(form->Setup->EchoFontColor->Selected(), clGray);
    EXPECT_EQ(form->Terminal->Memo1->Color(), clAqua);
    EXPECT_EQ(form->Terminal->Memo1->FontColor(), clBlack);
    EXPECT_EQ(form->Terminal->Memo1->Emulation(), teNone);
    EXPECT_TRUE(form->Terminal->Memo1->FitToWindow()); // the grid takes the box it is given
    EXPECT_EQ(form->Terminal->Memo1->ScrollbackLines(), 10000);
    EXPECT_EQ(form->palette().color(QPalette::Window), color::toQColor(clSilver));
    for (const char* name : {"VoltageLimit", "CurrentLimit", "TempLimit"}) {
        auto* e = find<TValidateEdit>(*form, name);
        EXPECT_EQ(e->Text(), "50");
        EXPECT_EQ(e->MaxLength(), 4);
    }
    for (const char* name : {"Voltage", "Current", "Temperature"})
        EXPECT_EQ(find<QLabel>(*form, name)->text(), "0");
    for (const char* name : {"RK1", "RK2", "RK3", "CFK", "SUK"})
        EXPECT_EQ(find<TValidateEdit>(*form, name)->Color(), clBackground);
    EXPECT_EQ(form->Scope->Series1->SeriesColor(), clRed);
    EXPECT_EQ(form->Help->PageControl2->count(), 4);
    EXPECT_GT(form->Help->Memo2->toPlainText().size(), 2000);
    const QSize sizes[] = {{1544, 984}, {1197, 886}, {1388, 1028}};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(form->Help->SchemeImages[std::size_t(i)]->pixmap().size(), sizes[i]) << "picture " << i + 1;
    EXPECT_EQ(form->SettingsPath(), dir.path() + "/Orvik.ini");
    EXPECT_EQ(form->Setup->LogFile->text(), dir.path() + "/OrvikLog.txt");
    EXPECT_EQ(form->pos(), QPoint(100, 100));
}

TEST_F(MainWindow, PresetDialogsHaveTheirCaptionsAndKeys)
{
    const std::tuple<const char*, const char*, const char*> dialogs[]
        = {{"Form2", "Pusk Command", "PUSK"}, {"Form3", "Restart Command", "RESTART"},
            {"Form4", "Diagnostic Command", "DIAGNOSTIC"}, {"Form5", "Inverter Conmmand", "INVERTER"},
            {"Form6", "Rectifier Command", "RECTIFIER"}, {"Form7", "Vcc Command", "VCC"},
            {"Form8", "Current Command", "CURRENT"}, {"Form9", "Temperature Command", "TEMPERATURE"}};
    for (int i = 0; i < 8; ++i) {
        auto [name, caption, key] = dialogs[i];
        TCommandForm* d = form->PresetDialog(i);
        EXPECT_EQ(d->objectName(), QString::fromLatin1(name));
        EXPECT_EQ(d->windowTitle(), QString::fromLatin1(caption));
        EXPECT_EQ(d->Key(), QByteArray(key));
        EXPECT_FALSE(d->isVisible());
        EXPECT_NE(d->findChild<QLineEdit*>("Edit2"), nullptr);
        EXPECT_NE(d->findChild<QPushButton*>(i == 0 ? "Button1" : "Button3"), nullptr);
        EXPECT_NE(d->findChild<QPushButton*>(i == 0 ? "Button2" : "Button4"), nullptr);
    }
    EXPECT_EQ(form->PresetDialog(1)->pos(), QPoint(563, 339));
}

TEST_F(MainWindow, CommandsAreReadFromTheSettingsFile)
{
    QFile ini(dir.filePath("Orvik.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Commands]\r\nPUSK=go\xE8\r\nTEMPERATURE=T?\r\n");
    ini.close();
    TForm1 other(dir.path());
    EXPECT_EQ(other.PresetDialog(0)->Edit2->text(), QStringLiteral("goи"));
    EXPECT_EQ(other.PresetDialog(7)->Edit2->text(), "T?");
    EXPECT_EQ(other.PresetDialog(1)->Edit2->text(), "");
}

TEST_F(MainWindow, SendingWhileDisconnectedWarnsThenShowsTheSettingsPage)
{
    QString warned;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            for (auto* l : modal->findChildren<QLabel*>())
                warned += l->text();
            warned += modal->windowTitle();
            modal->close();
        }
    });
    closer.start(20);
    form->PresetDialog(0)->Edit2->setText("PUSK");
    QTest::mouseClick(form->Terminal->Button1, Qt::LeftButton);
    EXPECT_TRUE(warned.contains("Not Connected !  Go to Setup tab.")) << warned.toStdString();
    EXPECT_TRUE(warned.contains("Connection Error"));
    EXPECT_EQ(form->PageControl1->currentIndex(), 1);
}

TEST_F(MainWindow, PresetSendsItsTextWithTheLineEndsAndEchoes)
{
    connectPeer();
    form->PresetDialog(0)->Edit2->setText("PUSK");
    QTest::mouseClick(form->Terminal->Button1, Qt::LeftButton);
    EXPECT_EQ(peer.read(6), "PUSK\r\n");
    EXPECT_EQ(screenRow(1), "PUSK");
    EXPECT_EQ(form->Terminal->Memo1->Buffer().GetCell(1, 1).ForeColor, clGray) << "echo in the echo colour";
    EXPECT_EQ(form->Terminal->Memo1->FontColor(), clBlack) << "font colour put back";
    EXPECT_EQ(form->Terminal->Memo1->CaretPos().Y, 2);

    // Only CR: the port gets text + CR, the screen text + CR LF.
    form->Terminal->LF->setChecked(false);
    form->Terminal->Edit1->setText("Vcc?");
    QTest::mouseClick(form->Terminal->Button8, Qt::LeftButton);
    EXPECT_EQ(peer.read(5), "Vcc?\r");
    EXPECT_EQ(screenRow(2), "Vcc?");
    EXPECT_EQ(form->Terminal->Memo1->CaretPos().Y, 3);
    EXPECT_EQ(form->Terminal->Edit1->text(), "Vcc?") << "the command line keeps its text";

    // Neither: an empty command reaches neither the port nor the screen.
    form->Terminal->CR->setChecked(false);
    form->Terminal->Edit1->clear();
    QTest::mouseClick(form->Terminal->Button8, Qt::LeftButton);
    EXPECT_EQ(peer.drain(), "");
    EXPECT_EQ(form->Terminal->Memo1->CaretPos(), (TTermPos{1, 3}));

    // Echo off: sent, not shown.
    form->Terminal->CR->setChecked(true);
    form->Terminal->Echo->setChecked(false);
    form->Terminal->Edit1->setText("x");
    QTest::mouseClick(form->Terminal->Button8, Qt::LeftButton);
    EXPECT_EQ(peer.read(2), "x\r");
    EXPECT_EQ(screenRow(3), "");
}

TEST_F(MainWindow, ControlClickOpensTheDialogAndSendsNothing)
{
    connectPeer();
    ctrl = true;
    QTest::mouseClick(form->Terminal->Button3, Qt::LeftButton, Qt::ControlModifier);
    TCommandForm* inverter = form->PresetDialog(3);
    EXPECT_TRUE(inverter->isVisible());
    EXPECT_EQ(inverter->windowTitle(), "Inverter Conmmand");
    EXPECT_EQ(peer.drain(), "");

    inverter->Edit2->setText("INV ON");
    QTest::mouseClick(inverter->findChild<QPushButton*>("Button3"), Qt::LeftButton);
    EXPECT_FALSE(inverter->isVisible());
    EXPECT_EQ(form->Terminal->Button3->toolTip(), "INV ON");

    // An edited text is sent from then on, confirmed or not.
    ctrl = false;
    form->PresetDialog(5)->Edit2->setText("VCC?");
    QTest::mouseClick(form->Terminal->Button6, Qt::LeftButton);
    EXPECT_EQ(peer.read(6), "VCC?\r\n");
    EXPECT_TRUE(form->Terminal->Button6->toolTip().isEmpty());

    // "Clear" empties the text and leaves the dialog open.
    ctrl = true;
    QTest::mouseClick(form->Terminal->Button11, Qt::LeftButton);
    TCommandForm* temperature = form->PresetDialog(7);
    temperature->Edit2->setText("T");
    QTest::mouseClick(temperature->findChild<QPushButton*>("Button4"), Qt::LeftButton);
    EXPECT_TRUE(temperature->Edit2->text().isEmpty());
    EXPECT_TRUE(temperature->isVisible());
}

TEST_F(MainWindow, RecordsFromThePeerUpdateTheScopePageAndAreAnswered)
{
    connectPeer();
    form->Scope->VoltageLimit->SetText("200");
    peer.write("W:VA-230/5\rW:TR80/RK2\rW:ST10;12;15;*\rW:SCxVm10\r");
    EXPECT_EQ(peer.read(16), "OK\r\nOK\r\nOK\r\nOK\r\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->Parser().timeScale() == 10; }, 5000));
    EXPECT_EQ(form->Scope->Voltage->text(), "-230");
    EXPECT_EQ(form->Scope->Voltage->palette().color(QPalette::WindowText), color::toQColor(clRed));
    EXPECT_EQ(form->Scope->Current->palette().color(QPalette::WindowText), color::toQColor(clGreen));
    EXPECT_EQ(form->Scope->Temperature->text(), "80");
    EXPECT_EQ(form->Scope->Temperature->palette().color(QPalette::WindowText), color::toQColor(clRed));
    EXPECT_EQ(form->Scope->Counter(TEvent::RK2)->Text(), "1");
    EXPECT_EQ(form->Scope->Counter(TEvent::RK2)->Color(), clRed);
    EXPECT_EQ(form->Scope->Counter(TEvent::RK1)->Color(), clBackground);
    EXPECT_EQ(form->PageControl1->currentIndex(), 2);
    EXPECT_EQ(form->Scope->Series1->Count(), 3);
    EXPECT_EQ(form->Scope->Series1->XValues().Value(2), 2);
    EXPECT_EQ(form->Scope->Chart1->LeftAxis().Title().Caption(), "V");
    EXPECT_EQ(form->Scope->Chart1->BottomAxis().Title().Caption(), "mS");

    // The answers are shown before the line that caused them: the "OK" echo precedes it.
    EXPECT_EQ(screenRow(1), "OK");
    int recordRow = 0;
    for (int y = 1; y <= form->Terminal->Memo1->Rows() && !recordRow; ++y)
        recordRow = screenRow(y) == "W:VA-230/5" ? y : 0;
    EXPECT_GT(recordRow, 1);

    QTest::mouseClick(form->Scope->Button14, Qt::LeftButton);
    EXPECT_EQ(form->Scope->Counter(TEvent::RK2)->Text(), "0");
    EXPECT_EQ(form->Scope->Counter(TEvent::RK2)->Color(), clGreen);
    QTest::mouseClick(form->Scope->Button16, Qt::LeftButton);
    EXPECT_EQ(form->Scope->Voltage->text(), "0");
    EXPECT_EQ(form->Scope->Voltage->palette().color(QPalette::WindowText), color::toQColor(clGreen));
    QTest::mouseClick(form->Scope->Button19, Qt::LeftButton);
    EXPECT_EQ(form->Scope->Series1->Count(), 0);
    EXPECT_EQ(form->Parser().timeScale(), 1);

    // What happened, in the journal: the records' crossings and event, then the buttons.
    EXPECT_EQ(journalRows(*form),
        (std::vector<std::string>{"limit Voltage -230", "limit Temperature 80", "event RK2 80",
            "reset counters button", "reset readouts button", "reset scope button"}));
}

// Counts the paint events of one widget.
struct Paints : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        count += e->type() == QEvent::Paint;
        return false;
    }
};

TEST_F(MainWindow, NewReadoutValuesRepaintTheReadoutsAlone)
{
    // The tab widget repaints all of itself when it is laid out again: new values of the
    // usual width must not make it lay itself out.
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    connectPeer();
    peer.write("W:VA-230/5\rW:TR80/RK2\r");
    EXPECT_EQ(peer.read(8), "OK\r\nOK\r\n");
    QTest::qWait(100);
    Paints paints;
    form->PageControl1->installEventFilter(&paints);
    peer.write("W:VA-5/12\rW:VA7/3\rW:VA-1234/999\rW:TR1/RK1\rW:TR-88/RK3\r");
    EXPECT_EQ(peer.read(20), "OK\r\nOK\r\nOK\r\nOK\r\nOK\r\n");
    QTest::qWait(100); // a layout request climbs one level per turn of the event loop
    EXPECT_EQ(form->Scope->Voltage->text(), "-1234");
    EXPECT_EQ(form->Scope->Temperature->text(), "-88");
    EXPECT_EQ(paints.count, 0);

    // A value longer than any before widens its read-out so that all of it shows.
    peer.write("W:VA-123456789/1\r");
    EXPECT_EQ(peer.read(4), "OK\r\n");
    QApplication::processEvents();
    EXPECT_EQ(form->Scope->Voltage->text(), "-123456789");
    EXPECT_GE(form->Scope->Voltage->contentsRect().width(),
        form->Scope->Voltage->fontMetrics().horizontalAdvance(form->Scope->Voltage->text()));
    form->PageControl1->removeEventFilter(&paints);
}

TEST_F(MainWindow, ScopeButtonsZoomAndUndo)
{
    for (int i = 0; i < 11; ++i)
        form->Scope->Series1->AddPoint(i * 10, i, QString(), clDefault);
    form->PageControl1->setCurrentIndex(2);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QApplication::processEvents();
    const double min0 = form->Scope->Chart1->BottomAxis().EffectiveMinimum();
    const double max0 = form->Scope->Chart1->BottomAxis().EffectiveMaximum();
    ASSERT_LT(min0, max0);
    QTest::mouseClick(form->Scope->Button18, Qt::LeftButton);
    EXPECT_TRUE(form->Scope->Chart1->Zoomed());
    QApplication::processEvents();
    const double span = form->Scope->Chart1->BottomAxis().EffectiveMaximum()
        - form->Scope->Chart1->BottomAxis().EffectiveMinimum();
    EXPECT_NEAR(span, 0.6 * (max0 - min0), 1e-6);
    QTest::mouseClick(form->Scope->Button17, Qt::LeftButton);
    QApplication::processEvents();
    const double span2 = form->Scope->Chart1->BottomAxis().EffectiveMaximum()
        - form->Scope->Chart1->BottomAxis().EffectiveMinimum();
    EXPECT_NEAR(span2, 0.84 * (max0 - min0), 1e-6);
    QTest::mouseClick(form->Scope->Button20, Qt::LeftButton);
    EXPECT_FALSE(form->Scope->Chart1->Zoomed());
}

std::vector<double> xValues(const TLineSeries& s)
{
    std::vector<double> out;
    for (int i = 0; i < s.Count(); ++i)
        out.push_back(s.XValues().Value(i));
    return out;
}

// While "Задръж" is down the picture stays as it was; the records are still answered and the
// samples stored, and the release shows what came meanwhile (a reset included).
TEST_F(MainWindow, HoldKeepsThePictureAndReleaseShowsWhatCameMeanwhile)
{
    auto* hold = find<QPushButton>(*form, "HoldScope");
    ASSERT_NE(hold, nullptr);
    EXPECT_EQ(hold->text(), "Задръж");
    EXPECT_TRUE(hold->isCheckable());
    connectPeer();
    peer.write("W:ST1;2;3;*\r");
    EXPECT_EQ(peer.read(4), "OK\r\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->Scope->Series1->Count() == 3; }, 5000));

    QTest::mouseClick(hold, Qt::LeftButton);
    ASSERT_TRUE(hold->isChecked());
    peer.write("W:ST4;5;*\r");
    EXPECT_EQ(peer.read(4), "OK\r\n");
    EXPECT_EQ(form->Scope->Series1->Count(), 3);
    EXPECT_EQ(form->Parser().sampleCount(), 5);
    peer.write("W:RS+ROSC\rW:ST7;8;*\r");
    EXPECT_EQ(peer.read(8), "OK\r\nOK\r\n");
    EXPECT_EQ(xValues(*form->Scope->Series1), (std::vector<double>{0, 1, 2}));
    QTest::mouseClick(form->Scope->Button19, Qt::LeftButton); // "C" is a reset too
    peer.write("W:ST9;10;11;*\r");
    EXPECT_EQ(peer.read(4), "OK\r\n");
    EXPECT_EQ(form->Scope->Series1->Count(), 3);

    QTest::mouseClick(hold, Qt::LeftButton);
    EXPECT_EQ(xValues(*form->Scope->Series1), (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(form->Scope->Series1->YValues().Value(0), 9);
}

TEST_F(MainWindow, ReferenceStaysThroughResetsUntilHiddenAndKeepsItsUnits)
{
    connectPeer();
    peer.write("W:SCxVm1\rW:ST1;2;3;*\r");
    EXPECT_EQ(peer.read(8), "OK\r\nOK\r\n");
    StoredCapture stored;
    stored.row.id = 7;
    stored.row.xTitle = "S";
    stored.row.yTitle = "A";
    stored.x = {0, 1};
    stored.y = {-5, 500};
    ASSERT_TRUE(form->Archive->ShowReference(stored));
    EXPECT_EQ(form->PageControl1->currentIndex(), 2);
    EXPECT_EQ(form->Scope->Series2->Name(), "Series2");
    EXPECT_EQ(form->Scope->Series2->SeriesColor(), clGray);
    form->Scope->Chart1->BuildPicture();
    // Amperes over seconds beside volts over milliseconds: its own axis, its times in mS.
    EXPECT_EQ(form->Scope->Chart1->RightAxis().Title().Caption(), "A");
    EXPECT_EQ(form->Scope->Chart1->RightAxis().Minimum(), -5);
    EXPECT_EQ(form->Scope->Chart1->RightAxis().Maximum(), 500);
    EXPECT_EQ(form->Scope->Chart1->LeftAxis().Maximum(), 3);
    EXPECT_EQ(form->Scope->Chart1->BottomAxis().Maximum(), 1000);

    peer.write("W:RS+RALL\r");
    EXPECT_EQ(peer.read(4), "OK\r\n");
    QTest::mouseClick(form->Scope->Button19, Qt::LeftButton);
    EXPECT_EQ(form->Scope->Series1->Count(), 0);
    EXPECT_EQ(xValues(*form->Scope->Series2), (std::vector<double>{0, 1}));
    EXPECT_EQ(form->Scope->Chart1->LeftAxis().Title().Caption(), "A"); // the live trace is empty

    form->Archive->HideReferences({7});
    EXPECT_EQ(form->Scope->Series2->Count(), 0);
    EXPECT_EQ(form->Scope->Chart1->LeftAxis().Title().Caption(), "V");
}

TEST_F(MainWindow, ScopeBarSavesThePictureAndReadsTheMouse)
{
    for (int i = 0; i <= 10; ++i)
        form->Scope->Series1->AddPoint(i * 10, i * i, QString(), clDefault);
    form->PageControl1->setCurrentIndex(2);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QApplication::processEvents();

    auto* readout = find<QLabel>(*form, "CursorReadout");
    ASSERT_NE(readout, nullptr);
    // The scope cursor reads the line between samples at the mouse's X, and marks that X.
    const int px = form->Scope->Chart1->BottomAxis().CalcPosValue(50);
    const int py = form->Scope->Chart1->LeftAxis().CalcPosValue(25);
    const double x = form->Scope->Chart1->BottomAxis().CalcPosPoint(px);
    const double k = std::floor(x / 10); // on the segment from (10k, k²) to (10k + 10, (k + 1)²)
    const double y = k * k + (x - 10 * k) / 10 * (2 * k + 1);
    const QString expected = "X = " + form->Scope->Chart1->BottomAxis().FormatValue(x)
        + " ms   Y = " + form->Scope->Chart1->LeftAxis().FormatValue(y) + " V";
    QTest::mouseMove(form->Scope->Chart1, QPoint(px, py + 1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return readout->text() == expected; }, 2000))
        << readout->text().toStdString() << " != " << expected.toStdString();
    ASSERT_TRUE(form->Scope->Chart1->Marker().has_value());
    EXPECT_EQ(form->Scope->Chart1->Marker()->x, px);
    // A new capture under the resting mouse: the read-out follows the chart, not the old one.
    form->Scope->Series1->Clear();
    for (int i = 0; i <= 10; ++i)
        form->Scope->Series1->AddPoint(i * 20, i * i * 2, QString(), clDefault);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return readout->text().startsWith("X = ") && readout->text() != expected; }, 5000))
        << readout->text().toStdString();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(form->Scope->Chart1, &leave);
    EXPECT_EQ(readout->text(), "");
    EXPECT_FALSE(form->Scope->Chart1->Marker().has_value());

    auto* save = find<QPushButton>(*form, "SaveChart");
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->text(), "PNG");
    chosenFile = dir.filePath("scope");
    QTest::mouseClick(save, Qt::LeftButton);
    QImage picture;
    EXPECT_TRUE(QTest::qWaitFor([&] { return picture.load(dir.filePath("scope.png")); }, 10000));
    // The chart below a title block, and the page says where it went.
    EXPECT_EQ(picture.width(), form->Scope->Chart1->width());
    EXPECT_GT(picture.height(), form->Scope->Chart1->height() + 20);
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return form->Scope->ScopeBar->SaveStatus->text().contains(dir.filePath("scope.png")); }, 10000))
        << form->Scope->ScopeBar->SaveStatus->text().toStdString();

    chosenFile = dir.filePath("no/such/folder/scope.png");
    QTest::mouseClick(save, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !errors.isEmpty(); }, 10000));
}

TEST_F(MainWindow, LogHoldsTrafficInOrder)
{
    connectPeer();
    const QString path = dir.filePath("traffic.txt");
    chosenFile = dir.filePath("traffic");
    QTest::mouseClick(form->Setup->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(form->Setup->LogFile->text(), path) << "\".txt\" appended";
    form->Setup->Log->SetStateOn(true);
    ASSERT_TRUE(form->LogOpen());

    peer.write("W:VA1/2\r");
    EXPECT_EQ(peer.read(4), "OK\r\n");
    form->Terminal->Edit1->setText("PUSK");
    QTest::mouseClick(form->Terminal->Button8, Qt::LeftButton);
    EXPECT_EQ(peer.read(6), "PUSK\r\n");
    form->Setup->Log->SetStateOn(false);
    EXPECT_FALSE(form->LogOpen());
    // The chunk (with the terminal's LF) first, then the answer as sent and as echoed.
    EXPECT_EQ(readAll(path), "W:VA1/2\r\nOK\r\nOK\r\nPUSK\r\nPUSK\r\n");

    // Appending keeps the old content; "Создай нов" starts anew.
    form->Setup->LogOutgoing->setChecked(false);
    form->Setup->Log->SetStateOn(true);
    QTest::mouseClick(form->Terminal->Button8, Qt::LeftButton);
    EXPECT_EQ(peer.read(6), "PUSK\r\n");
    form->Setup->Log->SetStateOn(false);
    EXPECT_EQ(readAll(path), "W:VA1/2\r\nOK\r\nOK\r\nPUSK\r\nPUSK\r\nPUSK\r\n");
    form->Setup->NewLog->setChecked(true);
    form->Setup->Log->SetStateOn(true);
    form->Setup->Log->SetStateOn(false);
    EXPECT_EQ(readAll(path), "");
}

// What the console makes of received bytes: the log holds each chunk as the terminal shaped it
// (AppendLF, Force7Bit), the answers go out, and the screen shows each answer's echo before the
// chunk that caused it. Every step is one chunk: the next is written once this one is handled.
TEST_F(MainWindow, ReceivedBytesReachLogWireAndScreenAsShaped)
{
    struct Case {
        bool appendLF;
        bool force7Bit;
        QByteArray log;
        QByteArray screen; // non-empty rows, "|" between them
    };
    const Case cases[] = {
        {true, false,
            "W:VA12/3\r\nOK\r\nOK\r\njunk\xE9\r\n\nW:TR45/RK1\r\nOK\r\nOK\r\nW:VA7/8\r\nOK\r\nOK\r\n",
            "OK|W:VA12/3|OK|junk\xE9|W:TR45/RK1|W:VA7/8OK|"},
        {false, false, "W:VA12/3\rOK\r\nOK\r\njunk\xE9\r\nW:TR45/RK1\rOK\r\nOK\r\nW:VA7/8\rOK\r\nOK\r\n",
            "OK|OKVA12/3|junk\xE9|W:VA7/8OK1|"},
        {false, true, "W:VA12/3\rOK\r\nOK\r\njunki\r\nW:TR45/RK1\rOK\r\nOK\r\nW:VA7/8\rOK\r\nOK\r\n",
            "OK|OKVA12/3|junki|W:VA7/8OK1|"},
    };
    connectPeer();
    const QString path = dir.filePath("shaped.txt");
    form->Setup->LogFile->setText(path);
    form->Setup->NewLog->setChecked(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "AppendLF " << c.appendLF << " Force7Bit " << c.force7Bit);
        // Through the settings file, as the operator's choices come back at a start.
        form->SaveIni();
        {
            TIniFile ini(form->SettingsPath());
            ini.writeBool("Terminal", "AppendLF", c.appendLF);
            ini.writeBool("Terminal", "Force7Bit", c.force7Bit);
        }
        form->LoadIni();
        form->Terminal->Memo1->ClearScreen();
        form->Setup->Log->SetStateOn(true);
        ASSERT_TRUE(form->LogOpen());

        peer.write("W:VA12/3\r");
        EXPECT_EQ(peer.read(4), "OK\r\n");
        peer.write("junk\xE9\r\nW:TR45/RK1\r");
        EXPECT_EQ(peer.read(4), "OK\r\n");
        peer.write("W:VA7/8");
        // With AppendLF the LF after the last CR is pending already.
        EXPECT_TRUE(QTest::qWaitFor([&] { return form->Parser().pendingBytes() >= 7; }, 5000));
        peer.write("\r");
        EXPECT_EQ(peer.read(4), "OK\r\n");
        form->Setup->Log->SetStateOn(false);

        EXPECT_EQ(readAll(path), c.log);
        QByteArray screen;
        for (int y = 1; y <= form->Terminal->Memo1->Rows(); ++y)
            if (!screenRow(y).isEmpty())
                screen += screenRow(y) + '|';
        EXPECT_EQ(screen, c.screen);
    }
}

TEST_F(MainWindow, LogFileNames)
{
    const QString before = form->Setup->LogFile->text();
    chosenFile.clear();
    QTest::mouseClick(form->Setup->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(form->Setup->LogFile->text(), before) << "cancel keeps the path";
    chosenFile = "/data/run.TXT";
    QTest::mouseClick(form->Setup->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(form->Setup->LogFile->text(), "/data/run.TXT");
    chosenFile = "/data/run.Txt";
    QTest::mouseClick(form->Setup->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(form->Setup->LogFile->text(), "/data/run.Txt.txt");
}

TEST_F(MainWindow, LogThatCannotBeOpenedTurnsTheSwitchOff)
{
    form->Setup->LogFile->setText(dir.filePath("no/such/folder/log.txt"));
    form->Setup->Log->SetStateOn(true);
    EXPECT_FALSE(form->Setup->Log->StateOn());
    EXPECT_FALSE(form->LogOpen());
    QApplication::processEvents();
    EXPECT_TRUE(errors.isEmpty()) << "nothing is reported";
}

TEST_F(MainWindow, FailingLogWriteIsReportedOnceAndTrafficGoesOn)
{
    connectPeer();
    form->Setup->LogFile->setText("/dev/full");
    form->Setup->NewLog->setChecked(true);
    form->Setup->Log->SetStateOn(true);
    ASSERT_TRUE(form->LogOpen());
    QByteArray records;
    for (int i = 0; i < 40; ++i)
        records += "W:VA1/2\r";
    peer.write(records);
    EXPECT_EQ(peer.read(160).count("OK\r\n"), 40);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !errors.isEmpty(); }, 5000));
    QApplication::processEvents();
    EXPECT_EQ(errors.size(), 1);
    EXPECT_FALSE(form->Setup->Log->StateOn());
    EXPECT_FALSE(form->LogOpen());
    EXPECT_EQ(journalRows(*form), std::vector<std::string>{"error log "});
}

TEST_F(MainWindow, ColourChoicesApplyAtOnce)
{
    form->Setup->MainColor->SetSelected(clTeal);
    form->Chrome()->MainColorChange();
    EXPECT_EQ(form->palette().color(QPalette::Window), color::toQColor(clTeal));
    form->Setup->TerminalBackColor->SetSelected(clWhite);
    form->Chrome()->TerminalBackColorChange();
    EXPECT_EQ(form->Terminal->Memo1->Color(), clWhite);
    form->Setup->TerminalFontColor->SetSelected(clNavy);
    form->Chrome()->TerminalFontColorChange();
    EXPECT_EQ(form->Terminal->Memo1->FontColor(), clNavy);
}

TEST_F(MainWindow, TrayMinimiseAndRestore)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->Chrome()->CaptionButton1Click();
    EXPECT_TRUE(form->TrayIcon1->Active());
    EXPECT_TRUE(form->TrayIcon1->InTray());
    form->Chrome()->TrayIcon1DblClick();
    EXPECT_FALSE(form->TrayIcon1->Active());
    EXPECT_FALSE(form->TrayIcon1->InTray());
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
}

TEST_F(MainWindow, CloseClosesPortAndLog)
{
    connectPeer();
    form->Setup->Log->SetStateOn(true);
    ASSERT_TRUE(form->LogOpen());
    form->close();
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_FALSE(form->LogOpen());
}

TEST_F(MainWindow, ProgramsThatCannotStartAreReported)
{
    // No calculator and no text viewer on an empty PATH: the system's text of the failure.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", dir.path().toLocal8Bit());
    form->Help->WinCalc->click();
    form->Setup->LogFile->setText("/tmp/with blanks/log.txt");
    form->DataLog->ViewLogClick();
    qputenv("PATH", path);
    EXPECT_TRUE(errors.isEmpty()) << "reported after the handler returns";
    QApplication::processEvents();
    ASSERT_EQ(errors.size(), 2);
    EXPECT_EQ(errors[0], QString::fromLocal8Bit(std::strerror(ENOENT)));
    EXPECT_EQ(errors[1], QString::fromLocal8Bit(std::strerror(ENOENT)));
}

TEST_F(MainWindow, AReportIsNotStackedOnTheSameReportStillShown)
{
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", dir.path().toLocal8Bit());
    int shown = 0;
    // The report box runs the event loop while it is open, as a modal box does; the same
    // failure happens twice meanwhile.
    form->ErrorReport = [&](const QString& m) {
        errors << m;
        if (++shown == 1) {
            form->Help->WinCalc->click();
            form->Help->WinCalc->click();
            QApplication::processEvents();
            QApplication::processEvents();
        }
    };
    form->Help->WinCalc->click();
    QApplication::processEvents();
    EXPECT_EQ(errors.size(), 1);
    // Once the box is closed, the next failure is reported again.
    form->Help->WinCalc->click();
    QApplication::processEvents();
    qputenv("PATH", path);
    EXPECT_EQ(errors.size(), 2);
}

TEST(MainWindowFolders, ProgramFolderGetsOneSlash)
{
    QTemporaryDir dir;
    TForm1 form(dir.path() + "/");
    EXPECT_EQ(form.ProgramFolder(), dir.path() + "/");
    EXPECT_EQ(form.SettingsPath(), dir.path() + "/Orvik.ini");
}

// With ORVIK_SHOTS=<folder> the pages are saved as PNG for a person to look at.
TEST(MainWindowPictures, Pages)
{
    const QByteArray folder = qgetenv("ORVIK_SHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "ORVIK_SHOTS not set";
    QTemporaryDir dir;
    TForm1 form(dir.path());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    for (int i = 0; i < form.PageControl1->count(); ++i) {
        form.PageControl1->setCurrentIndex(i);
        QApplication::processEvents();
        form.grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/page%1.png").arg(i));
    }
    form.Help->PageControl2->setCurrentIndex(1);
    form.PageControl1->setCurrentIndex(3);
    QApplication::processEvents();
    form.grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/scheme1.png"));
    form.resize(1200, 800);
    for (int i = 0; i < form.PageControl1->count(); ++i) {
        form.PageControl1->setCurrentIndex(i);
        QApplication::processEvents();
        form.grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/large%1.png").arg(i));
    }
    // With traffic: read-outs, counters, samples and the echoed answers.
    PtyPeer peer;
    form.ComPort1->SetPort(peer.slave());
    form.ComPort1->OpenPort();
    form.resize(853, 588);
    QByteArray samples = "W:SCxVm2\rW:ST";
    for (int i = 0; i < 200; ++i)
        samples += QByteArray::number(int(100 * std::sin(i / 10.0))) + ';';
    peer.write("W:VA-230/5\rW:TR80/RK2\rW:TR30/SUK\r" + samples + "*\r");
    peer.read(20);
    QTest::qWait(300);
    for (int i : {0, 2}) {
        form.PageControl1->setCurrentIndex(i);
        QApplication::processEvents();
        form.grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/traffic%1.png").arg(i));
    }
    // Stored captures beside the live one, one in volts over mS and one in amperes over µS,
    // and the mouse over the lines.
    StoredCapture stored;
    stored.row = {3, "2026-12-09T00:31:05.123Z", "", "/dev/ttyUSB0", "mS", "V", 200, "", "RK1",
        "2026-12-09T00:31:05.000Z"};
    for (int i = 0; i < 200; ++i) {
        stored.x.push_back(2 * i);
        stored.y.push_back(std::int32_t(70 * std::sin(i / 12.0 + 0.8)));
    }
    form.Archive->ShowReference(stored);
    stored.row = {5, "2026-12-09T00:32:11.500Z", "", "/dev/ttyUSB0", "\u00B5S", "A", 40, "", {}, {}};
    stored.x.clear();
    stored.y.clear();
    for (int i = 0; i < 40; ++i) {
        stored.x.push_back(i * 10000);
        stored.y.push_back(std::int32_t(300 * std::exp(-i / 15.0)));
    }
    form.Archive->ShowReference(stored);
    QApplication::processEvents();
    const int px = form.Scope->Chart1->BottomAxis().CalcPosValue(120);
    const int py = form.Scope->Chart1->LeftAxis().CalcPosValue(form.Scope->Series1->YValues().Value(60));
    QMouseEvent hover(QEvent::MouseMove, QPointF(px, py), form.Scope->Chart1->mapToGlobal(QPointF(px, py)),
        Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(form.Scope->Chart1, &hover);
    QApplication::processEvents();
    form.grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/overlay2.png"));
    // A zoom rectangle being dragged.
    auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent e(
            type, QPointF(at), form.Scope->Chart1->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(form.Scope->Chart1, &e);
    };
    mouse(QEvent::MouseButtonPress, {150, 90}, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, {420, 300}, Qt::NoButton, Qt::LeftButton);
    QApplication::processEvents();
    form.grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/zoomband2.png"));
    mouse(QEvent::MouseButtonRelease, {420, 300}, Qt::LeftButton, Qt::NoButton);
    form.ComPort1->ClosePort();
}

} // namespace

namespace {

TEST_F(MainWindow, JournalFilteredToEventsExportsThemAndACaptureRowAsksForItsCapture)
{
    connectPeer();
    peer.write("W:TR80/RK1\rW:VA300/1\rW:TR20/SUK\r");
    EXPECT_EQ(peer.read(12), "OK\r\nOK\r\nOK\r\n");
    form->JournalRecorder().captureStored(12, 640);
    auto* page = form->Journal;
    page->refresh();
    page->JournalFilter->setCurrentIndex(1); // "Събития"
    ASSERT_EQ(page->model()->rowCount(), 2);
    EXPECT_EQ(page->model()->index(0, TJournalModel::ColSubject).data().toString(), QStringLiteral("SUK"));

    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("events.csv"));
    page->saveFileName = [&](const QString&, const QString&) { return path; };
    page->ExportJournal->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile(path).size() > 0; }, 5000));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray csv = file.readAll();
    EXPECT_EQ(csv.count("\r\n"), csv.count('\n')); // every line ends with CR LF
    const QList<QByteArray> lines = csv.split('\n');
    ASSERT_EQ(lines.size(), 4); // header, two rows, the empty piece after the last line end
    EXPECT_EQ(lines[0], QByteArray("time,kind,subject,value,text\r"));
    EXPECT_TRUE(lines[1].contains(",event,RK1,80,Аварийно събитие RK1 при температура 80 °C"))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[2].contains(",event,SUK,20,")) << lines[2].toStdString();
    EXPECT_TRUE(lines[1].endsWith("°C\r") && lines[1].at(23) == 'Z') << lines[1].toStdString();

    page->JournalFilter->setCurrentIndex(4); // "Записи"
    ASSERT_EQ(page->model()->rowCount(), 1);
    qint64 shown = -1;
    QObject::connect(page, &JournalPage::showCapture, [&](qint64 id) { shown = id; });
    emit page->JournalList->doubleClicked(page->model()->index(0, TJournalModel::ColText));
    EXPECT_EQ(shown, 12);
}

} // namespace

namespace {

TEST_F(MainWindow, JournalRowsAreKeptInTheArchiveAndListedAtTheNextStart)
{
    connectPeer();
    peer.write("W:TR80/RK3\rW:ST1;2;3;*\rW:RS+ROSC\r");
    EXPECT_EQ(peer.read(12), "OK\r\nOK\r\nOK\r\n");
    // The capture ends at the scope reset; its first store makes one row.
    auto* page = form->Journal;
    page->JournalFilter->setCurrentIndex(4); // "Записи"
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            page->refresh();
            return page->model()->rowCount() == 1;
        },
        5000));
    EXPECT_EQ(page->model()->index(0, TJournalModel::ColValue).data().toString(), QStringLiteral("3"));
    form->close();
    form = std::make_unique<TForm1>(dir.path());
    form->ErrorReport = [this](const QString& m) { errors << m; };
    page = form->Journal;
    page->JournalFilter->setCurrentIndex(1); // "Събития"
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->model()->rowCount() == 1; }, 5000));
    EXPECT_EQ(page->model()->index(0, TJournalModel::ColSubject).data().toString(), QStringLiteral("RK3"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

} // namespace

namespace {

// What the archive file holds, read by a connection of the test's own after the window went.
QVariant archiveValue(const QString& folder, const QString& sql)
{
    QVariant value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        db.setDatabaseName(folder + QStringLiteral("/OrvikArchive.db"));
        QSqlQuery q(db);
        if (db.open() && q.exec(sql) && q.next())
            value = q.value(0);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
    return value;
}

TEST_F(MainWindow, TheRowOfACaptureCommittedAtCloseIsInTheFile)
{
    // Closed right after the samples, and right after a port close: the capture is committed
    // by the window's close, and so is the journal row its store makes.
    for (const bool portFirst : {false, true}) {
        SCOPED_TRACE(portFirst ? "port closed first" : "window closed");
        QTemporaryDir folder;
        form = std::make_unique<TForm1>(folder.path());
        form->ErrorReport = [this](const QString& m) { errors << m; };
        connectPeer();
        peer.write("W:ST1;2;3;4;*\r");
        EXPECT_EQ(peer.read(4), "OK\r\n");
        if (portFirst)
            form->ComPort1->ClosePort();
        form->close();
        EXPECT_EQ(archiveValue(folder.path(), QStringLiteral("SELECT points FROM captures")).toInt(), 4);
        EXPECT_EQ(
            archiveValue(folder.path(), QStringLiteral("SELECT value FROM journal WHERE kind = 'capture'"))
                .toString(),
            QStringLiteral("4"));
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    form = std::make_unique<TForm1>(dir.path());
}

TEST(JournalList, RowsTakenWithNoPortOpenAreListed)
{
    // No link refresh is coming (a replay's captures are stored after its end, the archive
    // speaks for itself): the rows still reach the list.
    TLineLog lines;
    JournalPage page(lines);
    page.model()->appendJournal({QStringLiteral("2026-12-09T10:00:00.000Z"), QStringLiteral("capture"),
        QStringLiteral("7"), QStringLiteral("96"), QStringLiteral("Запис 7 с 96 точки е съхранен"), {}});
    EXPECT_TRUE(QTest::qWaitFor([&] { return page.model()->rowCount() == 1; }, 10000));
}

TEST_F(MainWindow, ClosingWhileTheArchiveDoesNotWriteShowsWhatWaitsAndSaysWhatWasNotStored)
{
    connectPeer();
    peer.write("W:ST1;2;3;*\rW:RS+ROSC\r");
    EXPECT_EQ(peer.read(8), "OK\r\nOK\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Archive->Model()->rowCount() == 1; }, 5000));
    // Another program takes the file for longer than the busy wait.
    QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
    other.setDatabaseName(dir.path() + QStringLiteral("/OrvikArchive.db"));
    ASSERT_TRUE(other.open());
    {
        QSqlQuery q(other);
        ASSERT_TRUE(q.exec(QStringLiteral("BEGIN IMMEDIATE")));
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE other(x)")));
    }
    peer.write("W:ST5;6;*\rW:RS+ROSC\r");
    EXPECT_EQ(peer.read(8), "OK\r\nOK\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->StatusLine->archiveState().isEmpty(); }, 15000));
    EXPECT_TRUE(form->StatusLine->archiveState().startsWith(QStringLiteral("Архивът не записва: ")))
        << form->StatusLine->archiveState().toStdString();
    EXPECT_TRUE(form->StatusLine->archiveState().contains(QStringLiteral("locked")));
    EXPECT_EQ(form->Archive->ArchiveStatus->text(), form->StatusLine->archiveState());
    // Show and Export say why they cannot.
    form->Archive->CaptureList->selectRow(0);
    form->Archive->ShowCapture->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !errors.isEmpty(); }, 5000));
    EXPECT_TRUE(errors.last().contains(QStringLiteral("не може да се покаже")))
        << errors.last().toStdString();
    chosenFile = dir.path() + QStringLiteral("/x.csv");
    form->Archive->ExportCsv->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return errors.size() == 2; }, 5000));
    EXPECT_TRUE(errors.last().contains(QStringLiteral("не може да се изнесе")))
        << errors.last().toStdString();
    errors.clear();

    // The close shows what waits and why, and may give up on it.
    QString shown;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* dialog = form->findChild<QProgressDialog*>(QStringLiteral("ArchiveClosing"));
        if (dialog && dialog->isVisible() && shown.isEmpty()) {
            shown = dialog->labelText();
            dialog->findChild<QPushButton*>()->click();
        }
    });
    watch.start();
    form->close();
    watch.stop();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Архивът не записва: "))) << shown.toStdString();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("Архивът не съхрани 1 записа и ")))
        << errors[0].toStdString();
    other.close();
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
}

} // namespace

namespace {

// The operator keeps the page: on "Архив" or "Журнал", or typing in the window, a counted event
// marks the chart's tab and says itself on the status line; elsewhere it shows the chart, as
// designed; with the option off it never does.
TEST_F(MainWindow, ACountedEventLeavesTheOperatorsPageOrShowsTheChart)
{
    connectPeer();
    qint64 now = 1'800'000'000'000;
    form->ScopeOnEvent()->clockMs = [&] { return now; };
    QTabWidget* pages = form->PageControl1;
    const int chart = 2;
    const auto event = [&](const char* name) {
        peer.write("W:TR20/" + QByteArray(name) + "\r");
        ASSERT_EQ(peer.read(4), "OK\r\n");
    };
    const auto notice = [&] { return find<TStatusLine>(*form, "StatusLine")->notice(); };

    for (QWidget* page : {static_cast<QWidget*>(form->Journal), static_cast<QWidget*>(form->Archive)}) {
        pages->setCurrentWidget(page);
        event("RK1");
        EXPECT_EQ(pages->currentWidget(), page);
        EXPECT_EQ(pages->tabText(chart), QStringLiteral("Графични данни ●"));
        EXPECT_TRUE(notice().contains(QStringLiteral("RK1"))) << notice().toStdString();
        pages->setCurrentIndex(chart); // looked at: the mark goes
        EXPECT_EQ(pages->tabText(chart), QStringLiteral("Графични данни"));
        EXPECT_TRUE(notice().isEmpty());
    }

    pages->setCurrentIndex(0);
    QTest::keyClicks(form->Terminal->Edit1, QStringLiteral("PUSK"));
    now += 9999;
    event("CFK");
    EXPECT_EQ(pages->currentIndex(), 0) << "the chart came while the operator typed";
    EXPECT_TRUE(notice().contains(QStringLiteral("CFK")));
    now += 1;
    event("SUK");
    EXPECT_EQ(pages->currentIndex(), chart) << "ten seconds after typing the design's switch is back";

    form->Setup->ShowScopeOnEvent->click();
    pages->setCurrentIndex(1);
    event("RK2");
    EXPECT_EQ(pages->currentIndex(), 1);
    EXPECT_TRUE(form->ScopeOnEvent()->chartMarked());
}

// Read-outs of a link that is down are grey with their last value in the tool tip, and come back
// in their colours with the next record.
TEST_F(MainWindow, ReadoutsAreGreyWhileTheLinkIsDownAndComeBackWithTheNextRecord)
{
    connectPeer();
    peer.write("W:VA230/5\r");
    ASSERT_EQ(peer.read(4), "OK\r\n");
    const auto shade = [](QLabel* l) { return l->palette().color(QPalette::WindowText); };
    EXPECT_EQ(shade(form->Scope->Voltage), color::toQColor(clRed));
    form->ComPort1->ClosePort();
    for (QLabel* l : {form->Scope->Voltage, form->Scope->Current, form->Scope->Temperature})
        EXPECT_EQ(shade(l), color::toQColor(clGray)) << l->objectName().toStdString();
    EXPECT_TRUE(form->Scope->Voltage->toolTip().contains(QStringLiteral("Последна стойност: 230")))
        << form->Scope->Voltage->toolTip().toStdString();
    EXPECT_EQ(form->Scope->Voltage->text(), QStringLiteral("230"));
    form->ComPort1->OpenPort();
    EXPECT_EQ(shade(form->Scope->Voltage), color::toQColor(clGray)) << "open, but no record yet";
    peer.write("W:SCxVm1\r");
    ASSERT_EQ(peer.read(4), "OK\r\n");
    EXPECT_EQ(shade(form->Scope->Voltage), color::toQColor(clRed));
    EXPECT_EQ(shade(form->Scope->Current), color::toQColor(clGreen));
    EXPECT_TRUE(form->Scope->Voltage->toolTip().isEmpty());
}

// One time line: an event row and the row of the capture it started open each other, the
// capture's row sits at the capture's start, and a chosen row shows its moment in the inspector.
TEST_F(MainWindow, AnEventRowAndItsCaptureRowOpenEachOther)
{
    connectPeer();
    peer.write("W:TR80/RK1\rW:RS+ROSC\rW:ST1;2;3;*\r");
    ASSERT_EQ(peer.read(12), "OK\r\nOK\r\nOK\r\n");
    peer.write("W:TR80/SUK\rW:RS+ROSC\r");
    ASSERT_EQ(peer.read(8), "OK\r\nOK\r\n");
    CaptureListModel* captures = form->Archive->Model();
    JournalPage* journal = form->Journal;
    TJournalModel* rows = journal->model();
    const auto rowOf = [&](const char* kind, const QString& subject) {
        for (int r = 0; r < rows->rowCount(); ++r)
            if (rows->row(r).kind == QLatin1String(kind) && rows->row(r).subject == subject)
                return r;
        return -1;
    };
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            journal->refresh();
            return captures->rowCount() == 1 && rowOf("capture", QStringLiteral("1")) >= 0;
        },
        5000));
    EXPECT_EQ(captures->rowAt(0)->event, QStringLiteral("RK1"));
    const int rk1 = rowOf("event", QStringLiteral("RK1"));
    const int suk = rowOf("event", QStringLiteral("SUK"));
    const int capture = rowOf("capture", QStringLiteral("1"));
    EXPECT_TRUE(suk < capture && capture < rk1) << suk << " " << capture << " " << rk1;

    form->PageControl1->setCurrentWidget(journal);
    emit journal->JournalList->doubleClicked(rows->index(rk1, TJournalModel::ColText));
    EXPECT_EQ(form->Archive->SelectedCapture(), 1);
    EXPECT_EQ(journal->JournalList->currentIndex().row(), rowOf("capture", QStringLiteral("1")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->PageControl1->currentIndex() == 2; }, 5000))
        << "the capture is shown";

    emit journal->JournalList->doubleClicked(rows->index(rowOf("capture", QStringLiteral("1")), 0));
    const int chosen = journal->JournalList->currentIndex().row();
    EXPECT_EQ(chosen, rowOf("event", QStringLiteral("RK1")));
    // The inspector shows the moment: the block the event's line came in begins there.
    QTableView* lines = journal->Inspector->LineInspector;
    const QModelIndex line = lines->currentIndex();
    ASSERT_TRUE(line.isValid());
    QStringList near;
    for (int r = line.row(); r >= std::max(0, line.row() - 3); --r)
        near << lines->model()->index(r, TLineInspectorModel::ColText).data().toString();
    EXPECT_TRUE(near.contains(QStringLiteral("W:TR80/RK1⟨CR⟩"))) << near.join(' ').toStdString();
}

// New captures never move the list under the operator: the selection stays on its capture, the
// row under the pointer stays where it is, and a note being typed is not cut off.
TEST(ArchiveList, StaysPutWhileAHundredCapturesArrive)
{
    ArchiveStore store; // never opened: the page hears only the store's signals
    ArchivePage page(store);
    page.resize(700, 300);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    const auto capture = [](std::int64_t id, std::int64_t points = 10) {
        CaptureRow r;
        r.id = id;
        r.started = QStringLiteral("2026-12-08T10:51:02.125Z");
        r.points = points;
        r.event = id % 2 ? QStringLiteral("RK1") : QString();
        return r;
    };
    std::vector<CaptureRow> first;
    for (int id = 1; id <= 30; ++id)
        first.push_back(capture(id));
    page.Model()->setRows(first);
    page.PointerOverList = [] { return true; };
    QTableView* list = page.CaptureList;
    const auto idAt = [&](int y) {
        const int row = list->rowAt(y);
        return row < 0
            ? std::int64_t(-1)
            : page.Model()->rowAt(page.Shown()->mapToSource(page.Shown()->index(row, 0)).row())->id;
    };
    ASSERT_TRUE(page.SelectCapture(27));
    const int pointerY = list->rowViewportPosition(list->currentIndex().row()) + 3;
    const std::int64_t underPointer = idAt(pointerY);
    const std::int64_t top = idAt(1);
    ASSERT_EQ(underPointer, 27);
    ASSERT_EQ(top, 30) << "the list starts at the top";

    const QModelIndex note = page.Shown()->index(list->currentIndex().row(), CaptureListModel::Note);
    list->setFocus();
    list->edit(note);
    auto* editor = list->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->insert(QStringLiteral("после смяна на"));

    for (std::int64_t id = 31; id <= 130; id += 10) {
        for (std::int64_t k = id; k < id + 10; ++k)
            emit store.captureStored(capture(k), true);
        emit store.captureStored(capture(27, 500), false); // the selected one grew
        ASSERT_TRUE(QTest::qWaitFor([&] { return page.Model()->rowCount() == int(id + 9); }, 5000));
    }
    EXPECT_EQ(page.SelectedCapture(), 27);
    EXPECT_EQ(idAt(pointerY), underPointer);
    EXPECT_EQ(idAt(1), top);
    ASSERT_EQ(list->viewport()->findChild<QLineEdit*>(), editor);
    EXPECT_EQ(editor->text(), QStringLiteral("после смяна на"));
    QSignalSpy edited(page.Model(), &CaptureListModel::noteEdited);
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return edited.count() == 1; }, 5000));
    EXPECT_EQ(edited[0][1].toString(), QStringLiteral("после смяна на"));

    // The filter shows one event's captures; the chosen one stays chosen while it is shown.
    page.CaptureFilter->setCurrentIndex(page.CaptureFilter->findText(QStringLiteral("RK1")));
    EXPECT_EQ(page.Shown()->rowCount(), 65);
    EXPECT_EQ(page.SelectedCapture(), 27);
    // Asked for a capture the filter hides, the page shows every capture again.
    ASSERT_TRUE(page.SelectCapture(28));
    EXPECT_EQ(page.CaptureFilter->currentIndex(), 0);
    EXPECT_EQ(page.SelectedCapture(), 28);
}

} // namespace
