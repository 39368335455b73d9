#include "session/DataLog.h"

QString programFolderOf(const QString& executablePath)
{
    const qsizetype slash = executablePath.lastIndexOf(QLatin1Char('/'));
    QString folder = slash < 0 ? QString() : executablePath.left(slash + 1);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}
