#include "console/DesktopPrograms.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <cerrno>
#include <cstring>

namespace {

// The programs that stand in for the system calculator and the text viewer, in order of choice.
const char* const kCalculators[]
    = {"gnome-calculator", "kcalc", "galculator", "mate-calc", "qalculate-gtk", "xcalc"};
const char* const kTextViewers[]
    = {"gnome-text-editor", "gedit", "mousepad", "pluma", "xed", "kate", "kwrite", "leafpad", "xdg-open"};

// Starts the first of the programs found on PATH with the arguments.
template <std::size_t N> QString startFirst(const char* const (&programs)[N], const QStringList& arguments)
{
    for (const char* name : programs) {
        const QString exe = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (exe.isEmpty())
            continue;
        if (QProcess::startDetached(exe, arguments))
            return {};
    }
    return QString::fromLocal8Bit(std::strerror(ENOENT));
}

} // namespace

QString desktop::startCalculator()
{
    return startFirst(kCalculators, {});
}

QString desktop::openTextFile(const QString& path)
{
    return startFirst(kTextViewers, {path});
}
