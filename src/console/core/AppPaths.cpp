#include "console/core/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString withSlash(QString folder)
{
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

// An XDG base folder: the variable when it holds an absolute path (the base directory
// rules ignore relative ones), otherwise its default under the home folder.
QString baseFolder(const TAppPaths::Environment& env, const char* variable, const QString& underHome)
{
    const QString set = env(variable);
    if (!set.isEmpty() && QDir::isAbsolutePath(set))
        return withSlash(QDir::cleanPath(set));
    QString home = env("HOME");
    if (home.isEmpty())
        home = QDir::homePath();
    return withSlash(QDir::cleanPath(home + QLatin1Char('/') + underHome));
}

} // namespace

QString TAppPaths::systemEnvironment(const char* name)
{
    return QFile::decodeName(qgetenv(name));
}

TAppPaths TAppPaths::portable(const QString& folder)
{
    TAppPaths paths;
    paths.programFolder_ = withSlash(folder);
    paths.settingsFolder_ = paths.programFolder_;
    paths.dataFolder_ = paths.programFolder_;
    return paths;
}

TAppPaths TAppPaths::forExecutable(const QString& executablePath, const Environment& env)
{
    const QDir programDir = QFileInfo(executablePath).absoluteDir();
    TAppPaths paths = portable(programDir.absolutePath());
    const bool installed = programDir.dirName() == QLatin1String("bin")
        && QFileInfo(programDir.absoluteFilePath(QStringLiteral("../share/orvik"))).isDir();
    if (!installed)
        return paths;
    paths.installed_ = true;
    paths.settingsFolder_
        = baseFolder(env, "XDG_CONFIG_HOME", QStringLiteral(".config")) + QStringLiteral("Orvik/");
    paths.dataFolder_
        = baseFolder(env, "XDG_DATA_HOME", QStringLiteral(".local/share")) + QStringLiteral("Orvik/");
    return paths;
}

TAppPaths TAppPaths::forRunningProgram()
{
    TAppPaths paths = forExecutable(QCoreApplication::applicationFilePath());
    paths.createFolders();
    return paths;
}

bool TAppPaths::createFolders() const
{
    return QDir().mkpath(settingsFolder_) && QDir().mkpath(dataFolder_);
}
