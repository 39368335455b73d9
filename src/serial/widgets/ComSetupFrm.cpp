#include "serial/widgets/ComSetupFrm.h"

#include "common/Intl.h"
#include "serial/ComPort.h"
#include "serial/PortDiagnosis.h"
#include "serial/widgets/ComComboBox.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

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
        *r.label = named(new QLabel(intl::sp(r.caption), GroupBox1), r.labelName);
        *r.combo = named(new TComComboBox(GroupBox1), r.comboName);
        (*r.combo)->setFixedWidth(kComboWidth);
        (*r.label)->setBuddy(*r.combo);
        grid->addWidget(*r.label, row, 0);
        grid->addWidget(*r.combo, row, 1);
        ++row;
    }
    grid->setColumnStretch(2, 1);

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
    QWidget::setTabOrder(Combo2, Combo3);
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
        form.SetReason(OpenFailureText(port.Port(), *openFailure));
    }
    for (TComComboBox* combo : form.Combos())
        combo->ReadFromPort();
    // The port may go while the dialog runs its own event loop.
    const QPointer<TCustomComPort> alive(&port);
    if (form.exec() != QDialog::Accepted || !alive)
        return false;

    port.BeginSettingsUpdate();
    try {
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
