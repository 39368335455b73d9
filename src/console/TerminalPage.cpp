#include "console/TerminalPage.h"

#include "console/CommandDialogs.h"
#include "console/PageControls.h"
#include "console/SessionBar.h"
#include "console/WindowTexts.h"
#include "console/core/IniFile.h"
#include "serial/ComPort.h"
#include "serial/widgets/ComLed.h"
#include "settings/LineOptions.h"
#include "terminal/ComTerminal.h"

#include <QContextMenuEvent>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QVBoxLayout>

using namespace controls;

TerminalPage::TerminalPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Terminal"));

    Memo1 = new TComTerminal(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->SetEmulation(teNone);
    Memo1->SetLocalEcho(true);
    Memo1->SetSendLF(true);
    Memo1->SetAppendLF(true);
    Memo1->SetWrapLines(true);
    Memo1->SetScrollBars(ssBoth);
    Memo1->SetFitToWindow(true);
    QFont termFont = TComTerminal::DefaultTerminalFont();
    termFont.setPixelSize(12);
    Memo1->setFont(termFont);
    Memo1->SetColor(clAqua);
    Memo1->SetFontColor(clBlack);
    Memo1->setMinimumSize(360, 200);

    auto* commandRow = new QHBoxLayout;
    commandRow->addWidget(label(text::command, this));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    commandRow->addWidget(Edit1, 1);
    Button8 = button("Button8", text::send, this);
    Button8->setToolTip(text::sendHint);
    commandRow->addWidget(Button8);

    Button1 = button("Button1", QStringLiteral("PUSK"), this);
    Button2 = button("Button2", QStringLiteral("RESTART"), this);
    Button5 = button("Button5", QStringLiteral("DIAGNOSTIC"), this);
    Button3 = button("Button3", QStringLiteral("INVERTER"), this);
    Button4 = button("Button4", QStringLiteral("RECTIFIER"), this);
    Button6 = button("Button6", QStringLiteral("Vcc"), this);
    Button7 = button("Button7", QStringLiteral("It"), this);
    Button11 = button("Button11", QStringLiteral("t°C"), this);
    // Button11 keeps its hint but never shows it.
    Button11->installEventFilter(this);
    Presets = {Button1, Button2, Button5, Button3, Button4, Button6, Button7, Button11};
    for (QPushButton* b : Presets)
        b->setMinimumWidth(72);
    auto makeGroup = [this](const QString& caption, std::initializer_list<QPushButton*> buttons) {
        auto* box = new QGroupBox(caption, this);
        auto* row = new QHBoxLayout(box);
        for (QPushButton* b : buttons)
            row->addWidget(b);
        return box;
    };
    auto* presets = new QHBoxLayout;
    presets->addWidget(makeGroup(text::groupControls, {Button1, Button2, Button5}), 3);
    presets->addWidget(makeGroup(text::groupDevices, {Button3, Button4}), 2);
    presets->addWidget(makeGroup(text::groupMeasurements, {Button6, Button7, Button11}), 3);

    auto* lineBox = new QGroupBox(text::groupLine, this);
    auto* lineLayout = new QVBoxLayout(lineBox);
    Wrap = checkBox("Wrap", QStringLiteral("Wrap"), true, lineBox);
    Echo = checkBox("Echo", QStringLiteral("Echo"), true, lineBox);
    CR = checkBox("CR", QStringLiteral("CR"), true, lineBox);
    LF = checkBox("LF", QStringLiteral("LF"), true, lineBox);
    DTR = checkBox("DTR", QStringLiteral("DTR"), false, lineBox);
    RTS = checkBox("RTS", QStringLiteral("RTS"), false, lineBox);
    for (QCheckBox* c : lineBoxes())
        lineLayout->addWidget(c);
    connect(Wrap, &QCheckBox::toggled, Memo1, [this](bool on) { Memo1->SetWrapLines(on); });
    connect(Echo, &QCheckBox::toggled, Memo1, [this](bool on) { Memo1->SetLocalEcho(on); });
    auto* separator = new QFrame(lineBox);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    lineLayout->addWidget(separator);
    lineLayout->addWidget(label(text::status, lineBox));
    // Each lamp stands under its label.
    struct Lamp {
        const char* caption;
        const char* name;
        TComLedSignal signal;
        TLedKind kind;
    };
    const Lamp lamps[] = {{"Rx", "ComLed1", lsRx, lkGreenLight}, {"Tx", "ComLed2", lsTx, lkYellowLight},
        {"CAR", "ComLed3", lsRLSD, lkBlueLight}, {"DSR", "ComLed4", lsDSR, lkPurpleLight},
        {"CTS", "ComLed5", lsCTS, lkRedLight}, {"RING", "ComLed6", lsRing, lkBulb}};
    auto* lampGrid = new QGridLayout;
    for (int i = 0; i < 6; ++i) {
        const Lamp& lamp = lamps[i];
        auto* caption = label(QString::fromLatin1(lamp.caption), lineBox);
        caption->setAlignment(Qt::AlignHCenter);
        auto* place = new QWidget(lineBox);
        place->setObjectName(QStringLiteral("LampPlace") + QString::fromLatin1(lamp.caption));
        place->setFixedSize(25, 25);
        auto* placeLayout = new QHBoxLayout(place);
        placeLayout->setContentsMargins(0, 0, 0, 0);
        auto* led = new TComLed(place);
        led->setObjectName(QString::fromLatin1(lamp.name));
        led->SetLedSignal(lamp.signal);
        led->SetKind(lamp.kind);
        placeLayout->addWidget(led);
        LampPlaces[std::size_t(i)] = place;
        Lamps[std::size_t(i)] = led;
        lampGrid->addWidget(caption, (i / 3) * 2, i % 3, Qt::AlignHCenter);
        lampGrid->addWidget(place, (i / 3) * 2 + 1, i % 3, Qt::AlignHCenter);
    }
    lineLayout->addLayout(lampGrid);
    lineLayout->addStretch();

    Tape = new SessionBar(this);
    // A scroll area: the context menu is asked for on its viewport.
    Memo1->viewport()->installEventFilter(this);

    auto* grid = new QGridLayout(this);
    grid->addWidget(Memo1, 0, 0);
    grid->addLayout(commandRow, 1, 0);
    grid->addLayout(presets, 2, 0);
    grid->addWidget(Tape, 3, 0);
    grid->addWidget(lineBox, 0, 1, 4, 1);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(0, 1);
}

void TerminalPage::CreateDialogs(QWidget* owner, const TIniFile* ini)
{
    dialogs_ = {new TForm2(owner), new TForm3(owner), new TForm4(owner), new TForm5(owner), new TForm6(owner),
        new TForm7(owner), new TForm8(owner), new TForm9(owner)};
    for (std::size_t i = 0; i < dialogs_.size(); ++i) {
        TCommandForm* dialog = dialogs_[i];
        dialog->setWindowFlag(Qt::Window);
        dialog->FormCreate(ini);
        QPushButton* preset = Presets[i];
        dialog->OnConfirm = [preset](const QString& confirmed) { preset->setToolTip(confirmed); };
    }
}

void TerminalPage::HideDialogs()
{
    for (TCommandForm* dialog : dialogs_)
        if (dialog)
            dialog->hide();
}

void TerminalPage::BindLamps(TTransport* port)
{
    for (TComLed* led : Lamps)
        led->SetComPort(port);
}

void TerminalPage::LoadLineOptions(const TIniFile& ini)
{
    const TLineOptions options = TLineOptions::Load(ini);
    const auto boxes = lineBoxes();
    for (std::size_t i = 0; i < boxes.size(); ++i)
        boxes[i]->setChecked(options.on[i]);
}

void TerminalPage::SaveLineOptions(TIniFile& ini) const
{
    TLineOptions options;
    const auto boxes = lineBoxes();
    for (std::size_t i = 0; i < boxes.size(); ++i)
        options.on[i] = boxes[i]->isChecked();
    options.Save(ini);
}

void TerminalPage::SaveCommands(TIniFile& ini) const
{
    for (const TCommandForm* dialog : dialogs_)
        ini.writeString("Commands", dialog->Key(), dialog->CommandText());
}

bool TerminalPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Button11 && event->type() == QEvent::ToolTip)
        return true;
    if (watched == Memo1->viewport() && event->type() == QEvent::ContextMenu) {
        // The terminal's own menu with the session's actions below it.
        QMenu* menu = Memo1->CreateContextMenu(Memo1);
        menu->addSeparator();
        menu->addAction(Tape->RecordAction);
        menu->addAction(Tape->ReplayAction);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        // The copy shortcut works again once the menu, which disabled it without a
        // selection, is gone.
        connect(menu, &QMenu::aboutToHide, Memo1, [this] { Memo1->CopyAction()->setEnabled(true); });
        menu->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
