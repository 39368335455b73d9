#pragma once
// The program's icon (drawn by resources/icon/make_icon.py) and the application's identity
// on the desktop: its name, version, desktop file name and icon.

#include <QIcon>

// Every drawn size of the icon, from 16 to 256 pixels.
QIcon ProgramIcon();

// Names the application and gives it the program's icon; windows without an icon of
// their own and the tray show it.
void SetUpApplicationIdentity();
