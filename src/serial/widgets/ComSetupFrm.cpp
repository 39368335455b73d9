#include "serial/widgets/ComSetupFrm.h"

#include "common/Intl.h"
#include "serial/ComPort.h"
#include "serial/DeviceIdentity.h"
#include "serial/EComPort.h"
#include "serial/PortDiagnosis.h"
#include "serial/widgets/ComComboBox.h"
#include "serial/widgets/SerialPortList.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>
#include <limits>

namespace {

constexpr int kClientWidth = 231;
constexpr int kClientHeight = 216;
constexpr int kComboWidth = 129;

template <class W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

TComSetupFrm::TComSetupFrm(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ComSetupFrm"));
    // Captions pass through the catalogue; the boxes' items are setting texts and do not.
    setWindowTitle(intl::sp("Setup"));
    QFont dialogFont(QStringLiteral("MS Sans Serif"));
    dialogFont.setStyleHint(QFont::SansSerif);
    dialogFont.setPixelSize(11);
    setFont(dialogFont);
    setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowContextHelpButtonHint);

    GroupBox1 = named(new QGroupBox(intl::sp(" Settings "), this), "GroupBox1");
    auto* grid = new QGridLayout(GroupBox1);
    grid->setContentsMargins(8, 4, 8, 8);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(3);
    grid->setColumnMinimumWidth(0, 64);

    const struct {
        QLabel** label;
        const char* labelName;
        const char* caption;
        TComComboBox** combo;
        const char* comboName;
    } rows[] = {
        {&Label1, "Label1", "Port", &Combo1, "Combo1"},
        {&Label2, "Label2", "Baud rate", &Combo2, "Combo2"},
        {&Label3, "Label3", "Data bits", &Combo3, "Combo3"},
        {&Label4, "Label4", "Stop bits", &Combo4, "Combo4"},
        {&Label5, "Label5", "Parity", &Combo5, "Combo5"},
        {&Label6, "Label6", "Flow control", &Combo6, "Combo6"},
    };
    int row = 0;
    for (const auto& r : rows) {
        if (row == 2)
            ++row; // the custom rate's place, under the baud rate
        *r.label = named(new QLabel(intl::sp(r.caption), GroupBox1), r.labelName);
        *r.combo = named(new TComComboBox(GroupBox1), r.comboName);
        (*r.combo)->setFixedWidth(kComboWidth);
        (*r.label)->setBuddy(*r.combo);
        grid->addWidget(*r.label, row, 0);
        grid->addWidget(*r.combo, row, 1);
        ++row;
    }
    grid->setColumnStretch(2, 1);

    CustomRate = named(new QComboBox(GroupBox1), "CustomRate");
    CustomRate->setEditable(true);
    CustomRate->setInsertPolicy(QComboBox::NoInsert);
    CustomRate->addItems(CustomRateSuggestions());
    CustomRate->setValidator(new QIntValidator(1, std::numeric_limits<int>::max(), CustomRate));
    CustomRate->setFixedWidth(kComboWidth);
    CustomRate->setToolTip(intl::sp("Custom baud rate"));
    CustomRate->hide();
    grid->addWidget(CustomRate, 2, 1);

    Button1 = named(new QPushButton(intl::sp("OK"), this), "Button1");
    Button2 = named(new QPushButton(intl::sp("Cancel"), this), "Button2");
    for (QPushButton* button : {Button1, Button2})
        button->setFixedSize(75, 25);
    Button1->setDefault(true);
    Button2->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(5);
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);

    Reason = named(new QLabel(this), "Reason");
    Reason->setWordWrap(true);
    Reason->setTextFormat(Qt::PlainText);
    Reason->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Reason->setFixedWidth(kClientWidth - 14);
    Reason->hide();

    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(8, 8, 6, 7);
    form->setSpacing(7);
    form->addWidget(GroupBox1);
    form->addWidget(Reason);
    form->addStretch(1);
    form->addLayout(buttons);
    // Fixed dialog border: the design's client area, larger only if the texts need it.
    setMinimumSize(kClientWidth, kClientHeight);
    form->setSizeConstraint(QLayout::SetFixedSize);

    QWidget::setTabOrder(Combo1, Combo2);
    QWidget::setTabOrder(Combo2, CustomRate);
    QWidget::setTabOrder(CustomRate, Combo3);
    QWidget::setTabOrder(Combo3, Combo4);
    QWidget::setTabOrder(Combo4, Combo5);
    QWidget::setTabOrder(Combo5, Combo6);
    QWidget::setTabOrder(Combo6, Button1);
    QWidget::setTabOrder(Button1, Button2);
    Combo1->setFocus();

    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    // Loading the boxes reads the device list; an error leaves the constructor (and the
    // widgets made so far are freed with the dialog by Qt's ownership).
    Combo1->SetComProperty(TComProperty::cpPort);
    Combo2->SetComProperty(TComProperty::cpBaudRate);
    Combo3->SetComProperty(TComProperty::cpDataBits);
    Combo4->SetComProperty(TComProperty::cpStopBits);
    Combo5->SetComProperty(TComProperty::cpParity);
    Combo6->SetComProperty(TComProperty::cpFlowControl);
    connect(Combo2, &QComboBox::currentIndexChanged, this, &TComSetupFrm::baudRateChosen);
    baudRateChosen();

    // udev makes the stable names a moment after the node: one refresh for a burst.
    settle_.setSingleShot(true);
    settle_.setInterval(150);
    connect(&settle_, &QTimer::timeout, this, &TComSetupFrm::devicesChanged);
    connect(&devices_, &QFileSystemWatcher::directoryChanged, &settle_, qOverload<>(&QTimer::start));
    watchDevices();
}

const QStringList& TComSetupFrm::CustomRateSuggestions()
{
    static const QStringList rates{QStringLiteral("230400"), QStringLiteral("460800"),
        QStringLiteral("921600"), QStringLiteral("1000000"), QStringLiteral("1500000"),
        QStringLiteral("2000000"), QStringLiteral("3000000")};
    return rates;
}

int TComSetupFrm::CustomRateValue() const
{
    bool ok = false;
    const int value = CustomRate->currentText().trimmed().toInt(&ok);
    return ok && value > 0 ? value : 0;
}

void TComSetupFrm::baudRateChosen()
{
    CustomRate->setVisible(TextToBaudRate(Combo2->Text()) == brCustom && !Combo2->Text().isEmpty());
}

void TComSetupFrm::watchDevices()
{
    const QString dev = SerialPortsDevRoot();
    QStringList wanted{dev, DeviceWatchFolder(dev + QStringLiteral("/serial/by-id/x"))};
    wanted.removeDuplicates();
    const QStringList now = devices_.directories();
    for (const QString& path : wanted)
        if (!now.contains(path))
            devices_.addPath(path);
    for (const QString& path : now)
        if (!wanted.contains(path))
            devices_.removePath(path);
}

void TComSetupFrm::devicesChanged()
{
    watchDevices();
    try {
        Combo1->RefreshPorts();
    } catch (const EComPort&) {
        // The list could not be read this time: the one shown stays.
    }
}

TComSetupFrm::~TComSetupFrm() = default;

void TComSetupFrm::SetReason(const QString& text)
{
    Reason->setText(text);
    Reason->setVisible(!text.isEmpty());
}

void TComSetupFrm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (QScreen* s = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
}

bool RunSetupDialog(TCustomComPort& port, QWidget* parent, const EComPort* openFailure)
{
    TComSetupFrm form(parent ? parent : QApplication::activeWindow());
    for (TComComboBox* combo : form.Combos())
        combo->SetComPort(&port);
    if (openFailure) {
        // The name that failed stays in front of the operator, even when nothing of that
        // name exists any more.
        form.Combo1->OfferPortName(port.Port());
        form.SetReason(OpenFailureText(port, *openFailure));
    } else {
        form.SetReason(RateDeviationText(port));
    }
    for (TComComboBox* combo : form.Combos())
        combo->ReadFromPort();
    form.CustomRate->setEditText(QString::number(port.CustomBaudRate()));
    // The port may go while the dialog runs its own event loop.
    const QPointer<TCustomComPort> alive(&port);
    if (form.exec() != QDialog::Accepted || !alive)
        return false;

    port.BeginSettingsUpdate();
    try {
        // A field left empty keeps the rate the port had.
        if (form.CustomRate->isVisibleTo(&form) && form.CustomRateValue() > 0)
            port.SetCustomBaudRate(form.CustomRateValue());
        for (TComComboBox* combo : form.Combos())
            combo->ApplyToPort();
    } catch (...) {
        // Close the bracket whatever happens, so that no port stays deferred; the first error
        // is the one the caller hears of.
        try {
            port.EndSettingsUpdate();
        } catch (...) {
        }
        throw;
    }
    port.EndSettingsUpdate();
    return true;
}

void InstallComSetupDialog()
{
    TCustomComPort::SetSetupDialogRunner([](TCustomComPort* port) {
        if (port)
            RunSetupDialog(*port);
    });
}
