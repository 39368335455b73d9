#include "console/ProgramIcon.h"

#include "common/Version.h"

#include <QGuiApplication>
#include <QString>

QIcon ProgramIcon()
{
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
            i.addFile(QStringLiteral(":/icon/orvik-%1.png").arg(size), QSize(size, size));
        return i;
    }();
    return icon;
}

void SetUpApplicationIdentity()
{
    QGuiApplication::setApplicationName(QStringLiteral("Orvik"));
    QGuiApplication::setApplicationVersion(QString::fromLatin1(orvik::kVersion));
    // Lets a Wayland compositor match the windows with the desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(orvik::kAppId));
    QGuiApplication::setWindowIcon(ProgramIcon());
}
