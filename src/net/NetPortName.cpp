#include "net/NetPortName.h"

#include <QHostAddress>

namespace {

const QString kSocketScheme = QStringLiteral("socket://");
const QString kRfc2217Scheme = QStringLiteral("rfc2217://");

std::optional<TNetPortName> refuse(QString* reason, const QString& text)
{
    if (reason)
        *reason = text;
    return std::nullopt;
}

} // namespace

bool IsNetPortName(const QString& name)
{
    const qsizetype sep = name.indexOf(QStringLiteral("://"));
    if (sep <= 0)
        return false;
    for (qsizetype i = 0; i < sep; ++i) {
        const QChar c = name.at(i);
        if (!(c.isLetterOrNumber() || c == '+' || c == '-' || c == '.'))
            return false;
    }
    return true;
}

std::optional<TNetPortName> ParseNetPortName(const QString& name, QString* reason)
{
    const QString quoted = QStringLiteral("„%1“").arg(name);
    TNetPortName out;
    QString rest;
    if (name.startsWith(kSocketScheme, Qt::CaseInsensitive)) {
        out.Kind = TNetPortKind::Socket;
        rest = name.mid(kSocketScheme.size());
    } else if (name.startsWith(kRfc2217Scheme, Qt::CaseInsensitive)) {
        out.Kind = TNetPortKind::Rfc2217;
        rest = name.mid(kRfc2217Scheme.size());
    } else {
        return refuse(reason,
            QStringLiteral("Непознат вид порт в %1: очаква се socket://адрес:порт или rfc2217://адрес:порт.")
                .arg(quoted));
    }
    for (const QChar c : rest)
        if (c.isSpace())
            return refuse(reason, QStringLiteral("Името %1 съдържа интервал.").arg(quoted));

    QString portText;
    if (rest.startsWith('[')) {
        const qsizetype close = rest.indexOf(']');
        if (close < 0)
            return refuse(reason, QStringLiteral("Липсва затварящата скоба „]“ на адреса в %1.").arg(quoted));
        out.Host = rest.mid(1, close - 1);
        QHostAddress address;
        if (!address.setAddress(out.Host) || address.protocol() != QAbstractSocket::IPv6Protocol)
            return refuse(reason, QStringLiteral("В скобите на %1 няма IPv6 адрес.").arg(quoted));
        const QString after = rest.mid(close + 1);
        if (!after.startsWith(':'))
            return refuse(reason, QStringLiteral("Липсва номерът на порта след адреса в %1.").arg(quoted));
        portText = after.mid(1);
    } else {
        const qsizetype colon = rest.lastIndexOf(':');
        if (colon < 0)
            return refuse(reason, QStringLiteral("Липсва номерът на порта („:порт“) в %1.").arg(quoted));
        out.Host = rest.left(colon);
        if (out.Host.contains(':'))
            return refuse(
                reason, QStringLiteral("IPv6 адресът в %1 трябва да е в квадратни скоби.").arg(quoted));
        portText = rest.mid(colon + 1);
    }
    if (out.Host.isEmpty())
        return refuse(reason, QStringLiteral("Липсва адресът на сървъра в %1.").arg(quoted));
    if (portText.isEmpty())
        return refuse(reason, QStringLiteral("Липсва номерът на порта в %1.").arg(quoted));
    for (const QChar c : portText)
        if (c < '0' || c > '9')
            return refuse(reason, QStringLiteral("Портът в %1 трябва да е число от 1 до 65535.").arg(quoted));
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return refuse(reason, QStringLiteral("Портът в %1 трябва да е число от 1 до 65535.").arg(quoted));
    out.Port = uint16_t(port);
    return out;
}

QString NetPortNameText(const TNetPortName& name)
{
    const QString scheme = name.Kind == TNetPortKind::Socket ? kSocketScheme : kRfc2217Scheme;
    const QString host = name.Host.contains(':') ? '[' + name.Host + ']' : name.Host;
    return scheme + host + ':' + QString::number(name.Port);
}
