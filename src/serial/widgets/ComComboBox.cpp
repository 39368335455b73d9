#include "serial/widgets/ComComboBox.h"

#include "serial/ComPort.h"

#include <QSignalBlocker>

TComComboBox::TComComboBox(QWidget* parent)
    : QComboBox(parent)
    , select_(std::make_unique<TComSelect>(items_))
{
    setEditable(false);
    connect(this, &QComboBox::activated, this, &TComComboBox::picked);
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
    setCurrentIndex(-1);
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
    portDestroying_ = connect(value, &TCustomComPort::Destroying, this, [this](TCustomComPort* port) {
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

void TComComboBox::picked(int index)
{
    // An error applying a choice at once (AutoApply) cannot leave a Qt signal: report it.
    try {
        select_->TakeText(index < 0 ? QString() : itemText(index));
    } catch (const std::exception& error) {
        TCustomComPort::ReportError(error);
    }
    if (OnChange)
        OnChange(this);
}
