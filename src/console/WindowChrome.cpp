#include "console/WindowChrome.h"

#include "console/ColorBox.h"
#include "console/SetupPage.h"
#include "terminal/ComTerminal.h"
#include "widgets/TrayIcon.h"

#include <QPalette>
#include <QWidget>

TWindowChrome::TWindowChrome(QWidget& window, SetupPage& setup, TComTerminal& terminal, TTrayIcon& tray)
    : window_(window)
    , setup_(setup)
    , terminal_(terminal)
    , tray_(tray)
{
    setWindowColor(clSilver);
}

void TWindowChrome::setWindowColor(TColor color)
{
    QPalette p = window_.palette();
    p.setColor(QPalette::Window, color::toQColor(color));
    window_.setPalette(p);
}

void TWindowChrome::MainColorChange()
{
    setWindowColor(setup_.MainColor->Selected());
}

void TWindowChrome::TerminalBackColorChange()
{
    terminal_.SetColor(setup_.TerminalBackColor->Selected());
}

void TWindowChrome::TerminalFontColorChange()
{
    terminal_.SetFontColor(setup_.TerminalFontColor->Selected());
}

void TWindowChrome::ApplyColors()
{
    MainColorChange();
    TerminalBackColorChange();
    TerminalFontColorChange();
}

void TWindowChrome::CaptionButton1Click()
{
    tray_.SetActive(true);
    tray_.MinimizeToTray();
}

void TWindowChrome::TrayIcon1DblClick()
{
    tray_.RestoreFromTray();
    tray_.SetActive(false);
}

bool TWindowChrome::ComeBack()
{
    const bool away = tray_.InTray() || window_.isMinimized();
    if (tray_.InTray())
        TrayIcon1DblClick();
    if (window_.isMinimized())
        window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
    return away;
}
