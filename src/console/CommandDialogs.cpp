#include "console/CommandDialogs.h"

#include "common/Cp1251.h"
#include "console/core/IniFile.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

TCommandForm::TCommandForm(QWidget* owner, const char* formName, const QString& caption, const char* key,
    const char* okName, const char* clearName)
    : QDialog(owner)
    , key_(key)
{
    setObjectName(QString::fromLatin1(formName));
    setWindowTitle(caption);
    setModal(false);
    resize(410, 170);

    auto* label = new QLabel(QStringLiteral("Command:"), this);
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    QFont editFont = Edit2->font();
    editFont.setPixelSize(24);
    Edit2->setFont(editFont);
    Edit2->setMinimumSize(385, 37);

    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setObjectName(QString::fromLatin1(okName));
    ClearButton = new QPushButton(QStringLiteral("Clear"), this);
    ClearButton->setObjectName(QString::fromLatin1(clearName));
    for (QPushButton* b : {OkButton, ClearButton}) {
        QFont f = b->font();
        f.setPixelSize(19);
        b->setFont(f);
        b->setAutoDefault(false);
        b->setMinimumWidth(100);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(Edit2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addWidget(ClearButton);
    buttons->addStretch();
    layout->addLayout(buttons);

    connect(OkButton, &QPushButton::clicked, this, [this] { OkClick(); });
    connect(ClearButton, &QPushButton::clicked, this, [this] { ClearClick(); });

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void TCommandForm::FormCreate(const TIniFile* ini)
{
    Edit2->setText(ini ? cp1251::decode(ini->readString("Commands", key_, {})) : QString());
}

QByteArray TCommandForm::CommandText() const
{
    return cp1251::encode(Edit2->text());
}

void TCommandForm::OkClick()
{
    if (OnConfirm)
        OnConfirm(Edit2->text());
    hide();
}

void TCommandForm::ClearClick()
{
    Edit2->clear();
}

TForm2::TForm2(QWidget* owner)
    : TCommandForm(owner, "Form2", QStringLiteral("Pusk Command"), "PUSK", "Button1", "Button2")
{
}

// The restart dialog has a designed place of its own instead of the screen's centre.
TForm3::TForm3(QWidget* owner)
    : TCommandForm(owner, "Form3", QStringLiteral("Restart Command"), "RESTART", "Button3", "Button4")
{
    move(563, 339);
}

TForm4::TForm4(QWidget* owner)
    : TCommandForm(owner, "Form4", QStringLiteral("Diagnostic Command"), "DIAGNOSTIC", "Button3", "Button4")
{
}

TForm5::TForm5(QWidget* owner)
    : TCommandForm(owner, "Form5", QStringLiteral("Inverter Conmmand"), "INVERTER", "Button3", "Button4")
{
}

TForm6::TForm6(QWidget* owner)
    : TCommandForm(owner, "Form6", QStringLiteral("Rectifier Command"), "RECTIFIER", "Button3", "Button4")
{
}

TForm7::TForm7(QWidget* owner)
    : TCommandForm(owner, "Form7", QStringLiteral("Vcc Command"), "VCC", "Button3", "Button4")
{
}

TForm8::TForm8(QWidget* owner)
    : TCommandForm(owner, "Form8", QStringLiteral("Current Command"), "CURRENT", "Button3", "Button4")
{
}

TForm9::TForm9(QWidget* owner)
    : TCommandForm(owner, "Form9", QStringLiteral("Temperature Command"), "TEMPERATURE", "Button3", "Button4")
{
}
