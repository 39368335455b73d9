#pragma once
// The desktop's own programs the window starts: the calculator ("Windows калкулатор") and a
// text viewer for the data log ("Покажи лог файла"). Each answers with an empty text, or the
// reason when none of the programs it knows could be started.

#include <QString>

namespace desktop {

QString startCalculator();
// The path is the viewer's single argument as it stands, blanks included.
QString openTextFile(const QString& path);

} // namespace desktop
