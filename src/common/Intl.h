#pragma once
// Message-catalogue lookup for the texts of the serial port's dialogs and errors.
// The catalogue is searched beside the program (<program folder>/locale), so a build
// tree works without installing, then where an installed program's catalogues are
// (<program folder>/../share/locale); without a catalogue every text stays as written.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <libintl.h>
#include <mutex>

namespace intl {

inline constexpr const char* kSerialDomain = "serialport";

// The folder of catalogues for a program in programFolder.
inline QString catalogueFolder(const QString& programFolder)
{
    const QString beside = programFolder + QStringLiteral("/locale");
    const QString installed = QDir::cleanPath(programFolder + QStringLiteral("/../share/locale"));
    return QFileInfo(beside).isDir() || !QFileInfo(installed).isDir() ? beside : installed;
}

inline void bindSerialDomain()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QByteArray dir = QCoreApplication::instance()
            ? QFile::encodeName(catalogueFolder(QCoreApplication::applicationDirPath()))
            : QByteArray("locale");
        bindtextdomain(kSerialDomain, dir.constData());
        bind_textdomain_codeset(kSerialDomain, "UTF-8");
    });
}

// Translated text of msgid in the "serialport" domain, as Unicode.
inline QString sp(const char* msgid)
{
    bindSerialDomain();
    return QString::fromUtf8(dgettext(kSerialDomain, msgid));
}

} // namespace intl
