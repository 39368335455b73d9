#pragma once
// Where the console keeps its settings file and its data (the log, the archive).
//
// Run from an installed layout (its executable in <prefix>/bin beside <prefix>/share/orvik)
// the program writes in the user's folders: the settings in $XDG_CONFIG_HOME/Orvik and
// the log and archive in $XDG_DATA_HOME/Orvik. Run from anywhere else (the build folder, a
// copy on a stick) everything stays in the program's own folder.

#include <QString>
#include <functional>

class TAppPaths {
public:
    // Value of an environment variable, empty when unset; tests give their own.
    using Environment = std::function<QString(const char* name)>;
    static QString systemEnvironment(const char* name);

    static TAppPaths forExecutable(const QString& executablePath, const Environment& env = systemEnvironment);
    // Every file in one folder.
    static TAppPaths portable(const QString& folder);
    // The running program's paths; the user's folders are made when missing.
    static TAppPaths forRunningProgram();

    bool installed() const { return installed_; }
    // Folders end in '/'.
    const QString& programFolder() const { return programFolder_; }
    const QString& settingsFolder() const { return settingsFolder_; }
    const QString& dataFolder() const { return dataFolder_; }
    QString settingsFile() const { return settingsFolder_ + QStringLiteral("Orvik.ini"); }
    QString logFile() const { return dataFolder_ + QStringLiteral("OrvikLog.txt"); }

    // Makes the settings and data folders where they are missing; false when one cannot be made.
    bool createFolders() const;

private:
    bool installed_ = false;
    QString programFolder_;
    QString settingsFolder_;
    QString dataFolder_;
};
