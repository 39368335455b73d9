#include "serial/widgets/ComSelect.h"

#include "serial/ComPort.h"
#include "serial/widgets/SerialPortList.h"

#include <algorithm>

namespace {

template <typename E, typename F> void addTexts(QStringList& items, E first, E last, F toText)
{
    for (int v = int(first); v <= int(last); ++v)
        items << toText(E(v));
}

} // namespace

TComSelect::TComSelect(QStringList& items)
    : items_(items)
{
}

bool TComSelect::SetComPort(TCustomComPort* port)
{
    comPort_ = port;
    return comProperty_ == cpPort && offerPortName();
}

void TComSelect::FillItems(TComProperty property)
{
    comProperty_ = property;
    items_.clear();
    switch (property) {
    case cpNone:
        break;
    case cpPort:
        ListSerialPorts(items_);
        offerPortName();
        break;
    case cpBaudRate:
        addTexts(items_, brCustom, br256000, BaudRateToText);
        break;
    case cpDataBits:
        addTexts(items_, dbFive, dbEight, DataBitsToText);
        break;
    case cpStopBits:
        addTexts(items_, sbOneStopBit, sbTwoStopBits, StopBitsToText);
        break;
    case cpParity:
        addTexts(items_, prNone, prSpace, ParityToText);
        break;
    case cpFlowControl:
        addTexts(items_, fcHardware, fcCustom, FlowControlToText);
        break;
    }
}

bool TComSelect::offerPortName()
{
    if (!comPort_)
        return false;
    const QString name = comPort_->Port();
    const auto same = [&name](const QString& item) { return item.compare(name, Qt::CaseInsensitive) == 0; };
    if (std::any_of(items_.cbegin(), items_.cend(), same) || !SerialDeviceExists(name))
        return false;
    items_.insert(std::upper_bound(items_.begin(), items_.end(), name, SerialPortNameLess), name);
    return true;
}

void TComSelect::hold(const QString& text)
{
    switch (comProperty_) {
    case cpNone:
        break;
    case cpPort:
        port_ = text;
        break;
    case cpBaudRate:
        baudRate_ = TextToBaudRate(text);
        break;
    case cpDataBits:
        dataBits_ = TextToDataBits(text);
        break;
    case cpStopBits:
        stopBits_ = TextToStopBits(text);
        break;
    case cpParity:
        parity_ = TextToParity(text);
        break;
    case cpFlowControl:
        flowControl_ = TextToFlowControl(text);
        break;
    }
}

void TComSelect::TakeText(const QString& text)
{
    hold(text);
    if (autoApply_)
        ApplyToPort();
}

void TComSelect::ApplyToPort()
{
    if (!comPort_)
        return;
    switch (comProperty_) {
    case cpNone:
        break;
    case cpPort:
        comPort_->SetPort(port_);
        break;
    case cpBaudRate:
        comPort_->SetBaudRate(baudRate_);
        break;
    case cpDataBits:
        comPort_->SetDataBits(dataBits_);
        break;
    case cpStopBits:
        comPort_->SetStopBits(stopBits_);
        break;
    case cpParity:
        comPort_->Parity().SetBits(parity_);
        break;
    case cpFlowControl:
        comPort_->FlowControl().SetFlowControl(flowControl_);
        break;
    }
}

QString TComSelect::portValueText() const
{
    switch (comProperty_) {
    case cpNone:
        break;
    case cpPort:
        return comPort_->Port();
    case cpBaudRate:
        return BaudRateToText(comPort_->BaudRate());
    case cpDataBits:
        return DataBitsToText(comPort_->DataBits());
    case cpStopBits:
        return StopBitsToText(comPort_->StopBits());
    case cpParity:
        return ParityToText(comPort_->Parity().Bits());
    case cpFlowControl:
        return FlowControlToText(comPort_->FlowControl().FlowControl());
    }
    return QString();
}

int TComSelect::ReadFromPort()
{
    if (!comPort_ || comProperty_ == cpNone)
        return -1;
    const QString text = portValueText();
    for (int i = 0; i < items_.size(); ++i) {
        if (items_[i].compare(text, Qt::CaseInsensitive) == 0) {
            // The item's own spelling is held: com3 read from the port becomes COM3.
            hold(items_[i]);
            return i;
        }
    }
    return -1;
}
