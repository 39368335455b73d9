// The terminal in a small window, set up as the console's terminal page sets it up, fed by the
// device simulator over a pseudo-terminal. It answers the records with "OK" as the console
// does and echoes its own sends, some of them Cyrillic. With ORVIK_TERMINAL_SCREENSHOT=<png>
// the window is saved as a picture at the end; ORVIK_TERMINAL_HOLD_MS keeps it open longer.

#include "PtyDevice.h"
#include "common/Cp1251.h"
#include "serial/ComPort.h"
#include "terminal/ComTerminal.h"

#include <QApplication>
#include <QFile>
#include <QPixmap>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

#include "ChildProcess.h"

namespace {

QByteArray screenText(const TCustomComTerminal& t)
{
    QByteArray out;
    for (int y = 1; y <= t.Rows(); ++y) {
        for (int x = 1; x <= t.Columns(); ++x) {
            const char ch = t.Buffer().GetCell(x, y).Ch;
            out.append(ch ? ch : ' ');
        }
        out.append('\n');
    }
    return out;
}

TEST(TerminalWithDeviceSimulator, ShowsTheTrafficAndAnswers)
{
    const QString simulator = QCoreApplication::applicationDirPath() + QStringLiteral("/orvik-devsim");
    if (!QFile::exists(simulator))
        GTEST_SKIP() << "orvik-devsim is not built";

    ChildProcess sim;
    ASSERT_TRUE(sim.start(
        simulator, {"--seed", "7", "--rate", "40", "--count", "30", "--quiet", "--linger", "2000"}));
    QByteArray first;
    ASSERT_TRUE(sim.readLine(first, 5000));
    ASSERT_TRUE(first.startsWith("PORT ")) << first.constData();
    const QString path = QString::fromLocal8Bit(first.mid(5));

    QWidget window;
    window.setWindowTitle(QStringLiteral("Терминал"));
    auto* layout = new QVBoxLayout(&window);
    auto* memo = new TComTerminal(&window);
    memo->setObjectName(QStringLiteral("Memo1"));
    layout->addWidget(memo);
    window.resize(729 + 20, 425 + 20);

    TComPort port;
    port.setObjectName(QStringLiteral("ComPort1"));
    port.SetPort(path);
    memo->SetEmulation(teNone);
    memo->SetLocalEcho(true);
    memo->SetSendLF(true);
    memo->SetAppendLF(true);
    memo->SetWrapLines(true);
    memo->SetScrollBars(ssBoth);
    memo->SetColor(clAqua);
    QFont font(QStringLiteral("Fixedsys"));
    font.setPixelSize(12);
    memo->setFont(font);
    memo->SetFontColor(clBlack);
    memo->SetComPort(&port);

    // What the console's send routine does: write, then echo in the echo colour.
    auto send = [&](const QString& text) {
        const QByteArray bytes = cp1251::encode(text) + "\r\n";
        port.WriteText(bytes);
        memo->SetFontColor(clGray);
        memo->ShowText(bytes);
        memo->SetFontColor(clBlack);
    };
    QByteArray pending;
    int records = 0;
    memo->OnStrRecieved = [&](QObject*, QByteArray& str) {
        pending += str;
        for (qsizetype cr = pending.indexOf('\r'); cr >= 0; cr = pending.indexOf('\r')) {
            const QByteArray line = pending.left(cr).trimmed();
            pending.remove(0, cr + 1);
            if (line.startsWith("W:")) {
                ++records;
                send(QStringLiteral("OK"));
            }
        }
    };

    window.show();
    port.OpenPort();
    ASSERT_TRUE(memo->Connected());
    memo->ShowText(cp1251::encode(QStringLiteral("Комплекс за изследване на аварийни процеси\r\n")));
    send(QStringLiteral("PUSK"));
    send(QStringLiteral("Пуск: диагностика на инвертора"));

    EXPECT_TRUE(waitFor([&] { return records >= 30; }, 20000)) << records << " records";
    send(QStringLiteral("Рестарт: диагностика завършена, t°C = 41"));
    QTest::qWait(100);

    const QByteArray screen = screenText(*memo);
    EXPECT_TRUE(screen.contains("W:")) << screen.constData();
    EXPECT_TRUE(screen.contains("OK"));
    EXPECT_TRUE(screen.contains(cp1251::encode(QStringLiteral("диагностика"))));
    if (const QByteArray png = qgetenv("ORVIK_TERMINAL_SCREENSHOT"); !png.isEmpty()) {
        EXPECT_TRUE(window.grab().save(QString::fromLocal8Bit(png)));
    }
    if (const int holdMs = qEnvironmentVariableIntValue("ORVIK_TERMINAL_HOLD_MS"); holdMs > 0) {
        memo->setFocus();
        QTest::qWait(holdMs); // time for an outside screenshot
    }

    memo->SetComPort(nullptr);
    port.ClosePort();
    sim.terminate();
    sim.finished(5000);
}

} // namespace
