#pragma once
// TComSelect: the value holder behind one set-up combo box. It fills the box's item texts
// for one port setting, holds the value the operator picked, reads the port's current value
// back into an item index and applies the held value through the port's setter. No widgets:
// the combo box mirrors `items` into its list.

#include "serial/ComTypes.h"

#include <QString>
#include <QStringList>

class TCustomComPort;

// Scoped: the validated edit has a cpNone of its own.
enum class TComProperty { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

class TComSelect {
public:
    // items: the combo box's item texts (not owned).
    explicit TComSelect(QStringList& items);

    TCustomComPort* ComPort() const { return comPort_; }
    // Stores the reference. For TComProperty::cpPort the port's own name is offered when its device exists
    // but the system list lacks it (a pseudo-terminal); returns whether items changed.
    bool SetComPort(TCustomComPort* port);
    TComProperty ComProperty() const { return comProperty_; }
    bool AutoApply() const { return autoApply_; }
    void SetAutoApply(bool value) { autoApply_ = value; }

    // Stores the property and replaces the items; TComProperty::cpPort reads the device list (EComPort 23).
    void FillItems(TComProperty property);
    // Holds the value a chosen text names; applies it at once with AutoApply.
    void TakeText(const QString& text);
    // Holds the value without applying it (a name being typed).
    void Hold(const QString& text) { hold(text); }
    // TComProperty::cpPort: adds name to the items when they lack it, whether or not its
    // device exists (the name whose open just failed); returns whether items changed.
    bool OfferName(const QString& name);
    void ApplyToPort();
    // Index of the item naming the port's current value (case-insensitive), holding that
    // item's value; -1 (nothing held) without port, for TComProperty::cpNone or when no item matches.
    int ReadFromPort();

private:
    void hold(const QString& text);
    bool offerPortName();
    bool insertName(const QString& name);
    QString portValueText() const;

    QStringList& items_;
    TComProperty comProperty_ = TComProperty::cpNone;
    TCustomComPort* comPort_ = nullptr;
    bool autoApply_ = false;
    QString port_;
    TBaudRate baudRate_ = brCustom;
    TDataBits dataBits_ = dbFive;
    TStopBits stopBits_ = sbOneStopBit;
    TParityBits parity_ = prNone;
    TFlowControl flowControl_ = fcHardware;
};
