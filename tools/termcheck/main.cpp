// orvik-termcheck DEVICE [SECONDS [PICTURE [KEYS...]]]
// Opens DEVICE as the terminal's port (for example one end of a pseudo-terminal pair whose
// other end runs a shell, a full-screen program or a conformance test), shows an 80 x 24 VT100
// terminal on it and, a second apart from the first second on, types each KEYS argument
// (\r, \n, \t, \e and \xHH are understood). With SECONDS it saves a picture of the terminal to
// PICTURE (default termcheck.png) after that time and quits; without, it runs until closed.
#include "serial/ComPort.h"
#include "terminal/ComTerminal.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace {

QByteArray unescape(const QByteArray& text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'r')
            out += '\r';
        else if (c == 'n')
            out += '\n';
        else if (c == 't')
            out += '\t';
        else if (c == 'e')
            out += '\x1b';
        else if (c == 'x' && i + 2 < text.size()) {
            out += char(text.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else
            out += c;
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: orvik-termcheck DEVICE [SECONDS [PICTURE [KEYS...]]]\n");
        return 2;
    }
    TComPort port;
    port.SetPort(QString::fromLocal8Bit(argv[1]));
    TComTerminal term;
    term.setObjectName(QStringLiteral("Memo1"));
    term.SetEmulation(teVT100orANSI);
    term.SetWrapLines(true);
    term.SetColumns(80);
    term.SetRows(24);
    term.SetComPort(&port);
    term.SetAutoSize(true);
    try {
        port.OpenPort();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    term.show();
    term.setFocus();

    for (int i = 4; i < argc; ++i) {
        const QByteArray keys = unescape(argv[i]);
        QTimer::singleShot(1000 * (i - 3), &term, [&port, keys] { port.WriteText(keys); });
    }
    if (argc > 2) {
        const QString picture = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("termcheck.png");
        QTimer::singleShot(int(std::atof(argv[2]) * 1000), &term, [&term, picture] {
            term.FlushPicture();
            term.repaint();
            term.grab().save(picture);
            QApplication::quit();
        });
    }
    const int rc = app.exec();
    term.SetComPort(nullptr);
    return rc;
}
