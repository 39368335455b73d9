#include "serial/widgets/ComSelect.h"

#include "serial/ComPort.h"
#include "serial/SerialDevice.h"
#include "serial/widgets/SerialPortList.h"

#include <algorithm>

namespace {

// Ports on other machines named in this run, offered again beside the serial devices.
QStringList& rememberedRemoteNames()
{
    static QStringList names;
    return names;
}

void rememberRemoteName(const QString& name)
{
    if (IsRemotePortName(name) && !rememberedRemoteNames().contains(name, Qt::CaseInsensitive))
        rememberedRemoteNames() << name;
}

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
    return comProperty_ == TComProperty::cpPort && offerPortName();
}

void TComSelect::FillItems(TComProperty property)
{
    // Read first: a device list that cannot be read leaves the items as they were.
    std::vector<TSerialDeviceInfo> devices;
    if (property == TComProperty::cpPort)
        devices = ListSerialDevices(SerialPortsSysfsRoot(), SerialPortsDevRoot());
    comProperty_ = property;
    items_.clear();
    switch (property) {
    case TComProperty::cpNone:
        break;
    case TComProperty::cpPort: {
        descriptions_.clear();
        for (const TSerialDeviceInfo& device : devices) {
            items_ << device.path;
            descriptions_.insert(device.path, device.description);
        }
        for (const QString& name : rememberedRemoteNames())
            insertName(name);
        offerPortName();
        break;
    }
    case TComProperty::cpBaudRate:
        addTexts(items_, brCustom, br256000, BaudRateToText);
        break;
    case TComProperty::cpDataBits:
        addTexts(items_, dbFive, dbEight, DataBitsToText);
        break;
    case TComProperty::cpStopBits:
        addTexts(items_, sbOneStopBit, sbTwoStopBits, StopBitsToText);
        break;
    case TComProperty::cpParity:
        addTexts(items_, prNone, prSpace, ParityToText);
        break;
    case TComProperty::cpFlowControl:
        addTexts(items_, fcHardware, fcCustom, FlowControlToText);
        break;
    }
}

bool TComSelect::offerPortName()
{
    if (!comPort_)
        return false;
    const QString name = comPort_->Port();
    rememberRemoteName(name);
    return (SerialDeviceExists(name) || IsRemotePortName(name)) && insertName(name);
}

bool TComSelect::OfferName(const QString& name)
{
    return comProperty_ == TComProperty::cpPort && !name.isEmpty() && insertName(name);
}

bool TComSelect::insertName(const QString& name)
{
    const auto same = [&name](const QString& item) { return item.compare(name, Qt::CaseInsensitive) == 0; };
    if (std::any_of(items_.cbegin(), items_.cend(), same))
        return false;
    items_.insert(std::upper_bound(items_.begin(), items_.end(), name, SerialPortNameLess), name);
    return true;
}

void TComSelect::hold(const QString& text)
{
    switch (comProperty_) {
    case TComProperty::cpNone:
        break;
    case TComProperty::cpPort:
        port_ = text;
        break;
    case TComProperty::cpBaudRate:
        baudRate_ = TextToBaudRate(text);
        break;
    case TComProperty::cpDataBits:
        dataBits_ = TextToDataBits(text);
        break;
    case TComProperty::cpStopBits:
        stopBits_ = TextToStopBits(text);
        break;
    case TComProperty::cpParity:
        parity_ = TextToParity(text);
        break;
    case TComProperty::cpFlowControl:
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
    case TComProperty::cpNone:
        break;
    case TComProperty::cpPort:
        rememberRemoteName(port_);
        comPort_->SetPort(port_);
        break;
    case TComProperty::cpBaudRate:
        comPort_->SetBaudRate(baudRate_);
        break;
    case TComProperty::cpDataBits:
        comPort_->SetDataBits(dataBits_);
        break;
    case TComProperty::cpStopBits:
        comPort_->SetStopBits(stopBits_);
        break;
    case TComProperty::cpParity:
        comPort_->Parity().SetBits(parity_);
        break;
    case TComProperty::cpFlowControl:
        comPort_->FlowControl().SetFlowControl(flowControl_);
        break;
    }
}

QString TComSelect::portValueText() const
{
    switch (comProperty_) {
    case TComProperty::cpNone:
        break;
    case TComProperty::cpPort:
        return comPort_->Port();
    case TComProperty::cpBaudRate:
        return BaudRateToText(comPort_->BaudRate());
    case TComProperty::cpDataBits:
        return DataBitsToText(comPort_->DataBits());
    case TComProperty::cpStopBits:
        return StopBitsToText(comPort_->StopBits());
    case TComProperty::cpParity:
        return ParityToText(comPort_->Parity().Bits());
    case TComProperty::cpFlowControl:
        return FlowControlToText(comPort_->FlowControl().FlowControl());
    }
    return QString();
}

int TComSelect::ReadFromPort()
{
    if (!comPort_ || comProperty_ == TComProperty::cpNone)
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
