#pragma once
// Settings types of the serial port: enumerations in design order (their ordinals are
// stored in the settings file), the small sets built on them, their text forms and the
// mask, modem-status and error-word bits the device layer speaks in.

#include <QString>
#include <cstdint>
#include <initializer_list>

enum TBaudRate {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };
enum TSyncMethod { smThreadSync, smWindowSync, smNone };

enum TComEvent { evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full };
enum TComSignal { sigCTS, sigDSR, sigRing, sigRLSD };
enum TComError { errFraming, errParity, errOverrun, errBreak, errIO, errMode, errRxOverflow, errTxFull };

// A set of enumeration members, one bit per ordinal.
template <typename E> class TEnumSet {
public:
    constexpr TEnumSet() = default;
    constexpr TEnumSet(std::initializer_list<E> members)
    {
        for (E m : members)
            bits_ |= bit(m);
    }
    static constexpr TEnumSet fromBits(uint32_t bits)
    {
        TEnumSet s;
        s.bits_ = bits;
        return s;
    }
    constexpr uint32_t bits() const { return bits_; }
    constexpr bool contains(E m) const { return (bits_ & bit(m)) != 0; }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr TEnumSet& insert(E m)
    {
        bits_ |= bit(m);
        return *this;
    }
    constexpr TEnumSet& erase(E m)
    {
        bits_ &= ~bit(m);
        return *this;
    }
    constexpr TEnumSet operator|(TEnumSet o) const { return fromBits(bits_ | o.bits_); }
    constexpr TEnumSet operator&(TEnumSet o) const { return fromBits(bits_ & o.bits_); }
    constexpr bool operator==(const TEnumSet&) const = default;

private:
    static constexpr uint32_t bit(E m) { return uint32_t(1) << static_cast<int>(m); }
    uint32_t bits_ = 0;
};

using TComEvents = TEnumSet<TComEvent>;
using TComSignals = TEnumSet<TComSignal>;
using TComErrors = TEnumSet<TComError>;

inline constexpr TComEvents kAllComEvents = TComEvents::fromBits(0x3FF);

// Bits of the device layer's records; their values are those of the classic serial
// interface so that masks and error words read the same everywhere.
namespace comm {
// event mask
inline constexpr uint32_t EV_RXCHAR = 0x0001;
inline constexpr uint32_t EV_RXFLAG = 0x0002;
inline constexpr uint32_t EV_TXEMPTY = 0x0004;
inline constexpr uint32_t EV_CTS = 0x0008;
inline constexpr uint32_t EV_DSR = 0x0010;
inline constexpr uint32_t EV_RLSD = 0x0020;
inline constexpr uint32_t EV_BREAK = 0x0040;
inline constexpr uint32_t EV_ERR = 0x0080;
inline constexpr uint32_t EV_RING = 0x0100;
inline constexpr uint32_t EV_RX80FULL = 0x0400;
// modem status
inline constexpr uint32_t MS_CTS_ON = 0x10;
inline constexpr uint32_t MS_DSR_ON = 0x20;
inline constexpr uint32_t MS_RING_ON = 0x40;
inline constexpr uint32_t MS_RLSD_ON = 0x80;
// error word
inline constexpr uint32_t CE_RXOVER = 0x0001;
inline constexpr uint32_t CE_OVERRUN = 0x0002;
inline constexpr uint32_t CE_RXPARITY = 0x0004;
inline constexpr uint32_t CE_FRAME = 0x0008;
inline constexpr uint32_t CE_BREAK = 0x0010;
inline constexpr uint32_t CE_TXFULL = 0x0100;
inline constexpr uint32_t CE_IOE = 0x0400;
inline constexpr uint32_t CE_MODE = 0x8000;
// modem control
inline constexpr uint32_t SETRTS = 3;
inline constexpr uint32_t CLRRTS = 4;
inline constexpr uint32_t SETDTR = 5;
inline constexpr uint32_t CLRDTR = 6;
// purge
inline constexpr uint32_t PURGE_TXABORT = 0x0001;
inline constexpr uint32_t PURGE_RXABORT = 0x0002;
inline constexpr uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr uint32_t PURGE_RXCLEAR = 0x0008;
// line configuration flags
inline constexpr uint32_t fBinary = 0x0001;
inline constexpr uint32_t fParity = 0x0002;
inline constexpr uint32_t fOutxCtsFlow = 0x0004;
inline constexpr uint32_t fOutxDsrFlow = 0x0008;
inline constexpr uint32_t fDtrControlMask = 0x0030;
inline constexpr uint32_t fDtrControlEnable = 0x0010;
inline constexpr uint32_t fDtrControlHandshake = 0x0020;
inline constexpr uint32_t fDsrSensitivity = 0x0040;
inline constexpr uint32_t fTXContinueOnXoff = 0x0080;
inline constexpr uint32_t fOutX = 0x0100;
inline constexpr uint32_t fInX = 0x0200;
inline constexpr uint32_t fErrorChar = 0x0400;
inline constexpr uint32_t fNull = 0x0800;
inline constexpr uint32_t fRtsControlMask = 0x3000;
inline constexpr uint32_t fRtsControlEnable = 0x1000;
inline constexpr uint32_t fRtsControlHandshake = 0x2000;
inline constexpr uint32_t fRtsControlToggle = 0x3000;
// timeouts: -1 in the settings
inline constexpr uint32_t MAXDWORD = 0xFFFFFFFFu;
} // namespace comm

// Text forms, as the set-up dialog and the status labels show them.
QString BaudRateToText(TBaudRate value);
QString StopBitsToText(TStopBits value);
QString DataBitsToText(TDataBits value);
QString ParityToText(TParityBits value);
QString FlowControlToText(TFlowControl value);

// Case-insensitive (ASCII letters), untrimmed; unknown text gives br9600, sbOneStopBit,
// dbEight, prNone and fcCustom.
TBaudRate TextToBaudRate(const QString& text);
TStopBits TextToStopBits(const QString& text);
TDataBits TextToDataBits(const QString& text);
TParityBits TextToParity(const QString& text);
TFlowControl TextToFlowControl(const QString& text);

// Values the line configuration receives.
int32_t BaudRateValue(TBaudRate value); // 0 for brCustom: the port uses CustomBaudRate
int StopBitsValue(TStopBits value); // 0, 1, 2
int DataBitsValue(TDataBits value); // 5..8
int ParityValue(TParityBits value); // 0..4

uint32_t EventsToMask(TComEvents events);
TComEvents MaskToEvents(uint32_t mask);
TComSignals ModemStatusToSignals(uint32_t modemStatus);
// parityChecked: CE_RXPARITY counts only while Parity.Check is true.
TComErrors ErrorWordToErrors(uint32_t errorWord, bool parityChecked);
