#pragma once
// TWindowChrome: what the main window does with itself. The colours chosen on the settings
// page take effect at once (the window's, the terminal's background and its font); the
// title-bar button hides the window in the tray, a double click on the tray icon brings it
// back, and so does an emergency event.

#include "common/Color.h"

class QWidget;
class SetupPage;
class TComTerminal;
class TTrayIcon;

class TWindowChrome {
public:
    TWindowChrome(QWidget& window, SetupPage& setup, TComTerminal& terminal, TTrayIcon& tray);

    void MainColorChange();
    void TerminalBackColorChange();
    void TerminalFontColorChange();
    // All three, as the settings file selected them.
    void ApplyColors();

    void CaptionButton1Click();
    void TrayIcon1DblClick();
    // Brings a window in the tray or minimised back; whether it was away.
    bool ComeBack();

private:
    void setWindowColor(TColor color);

    QWidget& window_;
    SetupPage& setup_;
    TComTerminal& terminal_;
    TTrayIcon& tray_;
};
