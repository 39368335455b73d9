#include "session/DataLog.h"

namespace {

QString withExtension(const QString& path, const QString& lower, const QString& upper)
{
    if (path.endsWith(lower, Qt::CaseSensitive) || path.endsWith(upper, Qt::CaseSensitive))
        return path;
    return path + lower;
}

} // namespace

QString withTxtExtension(const QString& path)
{
    return withExtension(path, QStringLiteral(".txt"), QStringLiteral(".TXT"));
}

QString withIniExtension(const QString& path)
{
    return withExtension(path, QStringLiteral(".ini"), QStringLiteral(".INI"));
}

QString programFolderOf(const QString& executablePath)
{
    const qsizetype slash = executablePath.lastIndexOf(QLatin1Char('/'));
    QString folder = slash < 0 ? QString() : executablePath.left(slash + 1);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}
