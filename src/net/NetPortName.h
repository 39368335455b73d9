#pragma once
// Names of ports on other machines: "socket://host:port" (raw TCP, the bytes only) and
// "rfc2217://host:port" (Telnet with the COM port option). An IPv6 address goes in brackets:
// "rfc2217://[::1]:2217". The scheme is matched without regard to case. No widgets.

#include <QString>
#include <cstdint>
#include <optional>

enum class TNetPortKind { Socket, Rfc2217 };

struct TNetPortName {
    TNetPortKind Kind = TNetPortKind::Socket;
    QString Host; // without brackets
    uint16_t Port = 0;
    bool operator==(const TNetPortName&) const = default;
};

// Whether a port name asks for the network at all ("xyz://..." does too, and is then
// refused by ParseNetPortName with its reason, instead of being taken for a device path).
bool IsNetPortName(const QString& name);

// The parts of a network port name, or nothing with the reason for the operator (Bulgarian).
std::optional<TNetPortName> ParseNetPortName(const QString& name, QString* reason = nullptr);

// The name again in its usual spelling: lower-case scheme, brackets around IPv6.
QString NetPortNameText(const TNetPortName& name);
