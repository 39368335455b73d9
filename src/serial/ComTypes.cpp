#include "serial/ComTypes.h"

#include <array>

namespace {

template <std::size_t N>
int textToIndex(const QString& text, const std::array<const char*, N>& texts, int fallback)
{
    // Upper case of ASCII letters only; other characters compare as they are.
    auto upper = [](QString s) {
        for (QChar& c : s)
            if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
                c = QChar(c.unicode() - 'a' + 'A');
        return s;
    };
    const QString wanted = upper(text);
    for (std::size_t i = 0; i < N; ++i)
        if (upper(QString::fromLatin1(texts[i])) == wanted)
            return int(i);
    return fallback;
}

constexpr std::array<const char*, 16> kBaudTexts = {"Custom", "110", "300", "600", "1200", "2400", "4800",
    "9600", "14400", "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
constexpr std::array<int32_t, 16> kBaudValues
    = {0, 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
constexpr std::array<const char*, 3> kStopTexts = {"1", "1.5", "2"};
constexpr std::array<const char*, 4> kDataTexts = {"5", "6", "7", "8"};
constexpr std::array<const char*, 5> kParityTexts = {"None", "Odd", "Even", "Mark", "Space"};
constexpr std::array<const char*, 4> kFlowTexts = {"Hardware", "Software", "None", "Custom"};

constexpr std::array<uint32_t, 10> kEventBits
    = {comm::EV_RXCHAR, comm::EV_TXEMPTY, comm::EV_RXFLAG, comm::EV_RING, comm::EV_BREAK, comm::EV_CTS,
        comm::EV_DSR, comm::EV_ERR, comm::EV_RLSD, comm::EV_RX80FULL};

template <std::size_t N> QString textAt(const std::array<const char*, N>& texts, int index)
{
    return index >= 0 && std::size_t(index) < N ? QString::fromLatin1(texts[index]) : QString();
}

} // namespace

QString BaudRateToText(TBaudRate value)
{
    return textAt(kBaudTexts, value);
}
QString StopBitsToText(TStopBits value)
{
    return textAt(kStopTexts, value);
}
QString DataBitsToText(TDataBits value)
{
    return textAt(kDataTexts, value);
}
QString ParityToText(TParityBits value)
{
    return textAt(kParityTexts, value);
}
QString FlowControlToText(TFlowControl value)
{
    return textAt(kFlowTexts, value);
}

TBaudRate TextToBaudRate(const QString& text)
{
    return TBaudRate(textToIndex(text, kBaudTexts, br9600));
}
TStopBits TextToStopBits(const QString& text)
{
    return TStopBits(textToIndex(text, kStopTexts, sbOneStopBit));
}
TDataBits TextToDataBits(const QString& text)
{
    return TDataBits(textToIndex(text, kDataTexts, dbEight));
}
TParityBits TextToParity(const QString& text)
{
    return TParityBits(textToIndex(text, kParityTexts, prNone));
}
TFlowControl TextToFlowControl(const QString& text)
{
    return TFlowControl(textToIndex(text, kFlowTexts, fcCustom));
}

int32_t BaudRateValue(TBaudRate value)
{
    // A value read from a settings file may lie outside the enumeration.
    const int i = static_cast<int>(value);
    return i >= 0 && i < 16 ? kBaudValues[i] : 9600;
}
int StopBitsValue(TStopBits value)
{
    return int(value);
}
int DataBitsValue(TDataBits value)
{
    return 5 + int(value);
}
int ParityValue(TParityBits value)
{
    return int(value);
}

uint32_t EventsToMask(TComEvents events)
{
    uint32_t mask = 0;
    for (std::size_t i = 0; i < kEventBits.size(); ++i)
        if (events.contains(TComEvent(i)))
            mask |= kEventBits[i];
    return mask;
}

TComEvents MaskToEvents(uint32_t mask)
{
    TComEvents events;
    for (std::size_t i = 0; i < kEventBits.size(); ++i)
        if (mask & kEventBits[i])
            events.insert(TComEvent(i));
    return events;
}

TComSignals ModemStatusToSignals(uint32_t modemStatus)
{
    TComSignals s;
    if (modemStatus & comm::MS_CTS_ON)
        s.insert(sigCTS);
    if (modemStatus & comm::MS_DSR_ON)
        s.insert(sigDSR);
    if (modemStatus & comm::MS_RING_ON)
        s.insert(sigRing);
    if (modemStatus & comm::MS_RLSD_ON)
        s.insert(sigRLSD);
    return s;
}

TComErrors ErrorWordToErrors(uint32_t errorWord, bool parityChecked)
{
    TComErrors e;
    if (errorWord & comm::CE_FRAME)
        e.insert(errFraming);
    if ((errorWord & comm::CE_RXPARITY) && parityChecked)
        e.insert(errParity);
    if (errorWord & comm::CE_OVERRUN)
        e.insert(errOverrun);
    if (errorWord & comm::CE_BREAK)
        e.insert(errBreak);
    if (errorWord & comm::CE_IOE)
        e.insert(errIO);
    if (errorWord & comm::CE_MODE)
        e.insert(errMode);
    if (errorWord & comm::CE_RXOVER)
        e.insert(errRxOverflow);
    if (errorWord & comm::CE_TXFULL)
        e.insert(errTxFull);
    return e;
}
