#pragma once
// TComComboBox: a drop-down list bound to one setting of one port. Setting ComProperty fills
// the items (TComProperty::cpPort reads the system's device list); setting ComPort selects the port's
// current value; picking an item holds its value, applied at once only with AutoApply,
// otherwise by ApplyToPort. The box refers to its port without owning it and forgets it
// when the port is destroyed.
//
// The port box also takes a typed device path (a pseudo-terminal, a /dev/serial/by-id
// link), which the system's list does not hold: it is editable, the others pick only.

#include "serial/widgets/ComSelect.h"

#include <QComboBox>
#include <QMetaObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class TCustomComPort;

class TComComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit TComComboBox(QWidget* parent = nullptr);
    ~TComComboBox() override;

    TCustomComPort* ComPort() const { return select_->ComPort(); }
    void SetComPort(TCustomComPort* value);
    TComProperty ComProperty() const { return select_->ComProperty(); }
    // Raises EComPort 23 when TComProperty::cpPort cannot read the device list.
    void SetComProperty(TComProperty value);
    bool AutoApply() const { return select_->AutoApply(); }
    void SetAutoApply(bool value) { select_->SetAutoApply(value); }

    // The selected item's text, or empty text without a selection; the typed text in the
    // port box.
    QString Text() const;
    // Selects the item equal to text (case-insensitive); otherwise nothing changes.
    void SetText(const QString& value);

    void ApplyToPort() { select_->ApplyToPort(); }
    // Selects the item naming the port's current value (none when no item does).
    int ReadFromPort();
    // The port box: adds name as an item when the list lacks it.
    void OfferPortName(const QString& name);

    // Called after an item picked by the operator was taken.
    std::function<void(QObject* Sender)> OnChange;

private:
    void picked(int index);
    void typed(const QString& text);
    void take(const QString& text);
    void reloadItems();
    void portDestroyed();

    QStringList items_;
    std::unique_ptr<TComSelect> select_;
    QMetaObject::Connection portDestroying_;
};
