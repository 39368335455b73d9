#include "serial/widgets/ComComboBox.h"

#include "serial/ComPort.h"

#include <QLineEdit>
#include <QSignalBlocker>

TComComboBox::TComComboBox(QWidget* parent)
    : QComboBox(parent)
    , select_(std::make_unique<TComSelect>(items_))
{
    setEditable(false);
    connect(this, &QComboBox::activated, this, &TComComboBox::picked);
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        setToolTip(index < 0 ? QString() : itemData(index, Qt::ToolTipRole).toString());
    });
}

TComComboBox::~TComComboBox()
{
    QObject::disconnect(portDestroying_);
}

void TComComboBox::reloadItems()
{
    const QSignalBlocker quiet(this);
    clear();
    addItems(items_);
    for (int i = 0; i < count(); ++i) {
        const QString description = select_->Description(itemText(i));
        if (!description.isEmpty())
            setItemData(i, description, Qt::ToolTipRole);
    }
    setCurrentIndex(-1);
}

void TComComboBox::RefreshPorts()
{
    if (ComProperty() != TComProperty::cpPort)
        return;
    const QString kept = Text();
    const bool picked = findText(kept, Qt::MatchFixedString) >= 0;
    select_->FillItems(TComProperty::cpPort);
    if (picked)
        select_->OfferName(kept); // a picked name stays, even while its device is away
    reloadItems();
    const int index = findText(kept, Qt::MatchFixedString);
    if (index >= 0)
        setCurrentIndex(index);
    else
        setEditText(kept);
}

void TComComboBox::SetComPort(TCustomComPort* value)
{
    if (value == select_->ComPort())
        return;
    QObject::disconnect(portDestroying_);
    if (select_->SetComPort(value))
        reloadItems();
    if (!value)
        return;
    portDestroying_ = connect(value, &TTransport::Destroying, this, [this](TTransport* port) {
        if (port == select_->ComPort())
            portDestroyed();
    });
    setCurrentIndex(select_->ReadFromPort());
}

void TComComboBox::portDestroyed()
{
    QObject::disconnect(portDestroying_);
    select_->SetComPort(nullptr);
    if (count() > 0)
        setCurrentIndex(0);
}

void TComComboBox::SetComProperty(TComProperty value)
{
    const bool typing = value == TComProperty::cpPort;
    if (typing != isEditable()) {
        setEditable(typing);
        if (typing) {
            setInsertPolicy(QComboBox::NoInsert);
            connect(this, &QComboBox::editTextChanged, this, &TComComboBox::typed);
            connect(lineEdit(), &QLineEdit::editingFinished, this, [this] {
                if (select_->AutoApply())
                    take(currentText());
            });
        }
    }
    try {
        select_->FillItems(value);
    } catch (...) {
        reloadItems();
        throw;
    }
    reloadItems();
    if (count() > 0)
        setCurrentIndex(select_->ComPort() ? select_->ReadFromPort() : 0);
}

QString TComComboBox::Text() const
{
    if (isEditable())
        return currentText();
    return currentIndex() < 0 ? QString() : itemText(currentIndex());
}

void TComComboBox::SetText(const QString& value)
{
    for (int i = 0; i < count(); ++i) {
        if (itemText(i).compare(value, Qt::CaseInsensitive) == 0) {
            setCurrentIndex(i);
            return;
        }
    }
}

int TComComboBox::ReadFromPort()
{
    const int index = select_->ReadFromPort();
    setCurrentIndex(index);
    return index;
}

void TComComboBox::OfferPortName(const QString& name)
{
    if (!select_->OfferName(name))
        return;
    reloadItems();
    if (select_->ComPort())
        setCurrentIndex(select_->ReadFromPort());
}

void TComComboBox::typed(const QString& text)
{
    // Held at once, applied only where a pick would be: on OK, or at the end of the edit
    // with AutoApply.
    select_->Hold(text);
}

void TComComboBox::picked(int index)
{
    take(index < 0 ? QString() : itemText(index));
}

void TComComboBox::take(const QString& text)
{
    // An error applying a choice at once (AutoApply) cannot leave a Qt signal: report it.
    try {
        select_->TakeText(text);
    } catch (const std::exception& error) {
        TCustomComPort::ReportError(error);
    }
    if (OnChange)
        OnChange(this);
}
