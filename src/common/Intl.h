#pragma once
// Message-catalogue lookup for the texts of the serial port's dialogs and errors.
// The catalogue is searched beside the program (<program folder>/locale), so a build
// tree works without installing; without a catalogue every text stays as written.

#include <QCoreApplication>
#include <QString>
#include <libintl.h>
#include <mutex>

namespace intl {

inline constexpr const char* kSerialDomain = "serialport";

inline void bindSerialDomain()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QByteArray dir = QCoreApplication::instance()
                             ? (QCoreApplication::applicationDirPath() + QStringLiteral("/locale")).toLocal8Bit()
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
