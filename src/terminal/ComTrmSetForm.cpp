#include "terminal/ComTrmSetForm.h"

#include "common/Intl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

constexpr int kClientWidth = 295;
constexpr int kClientHeight = 287;

template <class W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// Captions pass through the "serialport" catalogue; list items and the size fields do not.
QString caption(const char* msgid)
{
    return intl::sp(msgid);
}

} // namespace

TComTrmSetForm::TComTrmSetForm(QWidget* parent)
    : QDialog(parent)
    , GroupBox1(named(new QGroupBox(caption(" ASCII Settings "), this), "GroupBox1"))
    , CheckBox1(named(new QCheckBox(caption("Echo typed charachters locally"), GroupBox1), "CheckBox1"))
    , CheckBox2(named(new QCheckBox(caption("Send line feeds with carriage return"), GroupBox1), "CheckBox2"))
    , CheckBox3(
          named(new QCheckBox(caption("Wrap lines that exceed terminal width"), GroupBox1), "CheckBox3"))
    , CheckBox4(named(new QCheckBox(caption("Force incoming data to 7 bit ASCII"), GroupBox1), "CheckBox4"))
    , CheckBox5(named(
          new QCheckBox(caption("Append line feeds to incoming carriage return"), GroupBox1), "CheckBox5"))
    , GroupBox2(named(new QGroupBox(caption(" Terminal Settings "), this), "GroupBox2"))
    , Label1(named(new QLabel(caption("Caret"), GroupBox2), "Label1"))
    , ComboBox1(named(new QComboBox(GroupBox2), "ComboBox1"))
    , Label2(named(new QLabel(caption("Emulation"), GroupBox2), "Label2"))
    , ComboBox2(named(new QComboBox(GroupBox2), "ComboBox2"))
    , Label3(named(new QLabel(caption("Columns"), GroupBox2), "Label3"))
    , Edit1(named(new QLineEdit(GroupBox2), "Edit1"))
    , Label4(named(new QLabel(caption("Rows"), GroupBox2), "Label4"))
    , Edit2(named(new QLineEdit(GroupBox2), "Edit2"))
    , Label5(named(new QLabel(caption("Cursor keys"), GroupBox2), "Label5"))
    , ComboBox3(named(new QComboBox(GroupBox2), "ComboBox3"))
    , Button1(named(new QPushButton(caption("OK"), this), "Button1"))
    , Button2(named(new QPushButton(caption("Cancel"), this), "Button2"))
    , ShowControls(named(new QCheckBox(caption("Show control characters"), GroupBox1), "ShowControls"))
    , FitToWindow(named(new QCheckBox(caption("Fit to window"), GroupBox2), "FitToWindow"))
    , ScrollbackLabel(named(new QLabel(caption("Scroll-back lines"), GroupBox2), "ScrollbackLabel"))
    , ScrollbackLines(named(new QSpinBox(GroupBox2), "ScrollbackLines"))
{
    setObjectName(QStringLiteral("ComTrmSetForm"));
    setWindowTitle(caption("Setup"));
    QFont dialogFont(QStringLiteral("MS Sans Serif"));
    dialogFont.setStyleHint(QFont::SansSerif);
    dialogFont.setPixelSize(11);
    setFont(dialogFont);

    // The order of the items is the ordinal order of the properties they stand for.
    ComboBox1->addItems({QStringLiteral("Block"), QStringLiteral("Underline")});
    ComboBox2->addItems({QStringLiteral("ANSI/VT100"), QStringLiteral("VT52"), QStringLiteral("None")});
    ComboBox3->addItems({QStringLiteral("Act as terminal keys"), QStringLiteral("Act as windows keys")});
    for (QComboBox* list : {ComboBox1, ComboBox2, ComboBox3})
        list->setEditable(false);

    auto* ascii = new QVBoxLayout(GroupBox1);
    ascii->setSpacing(0);
    for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, ShowControls})
        ascii->addWidget(box);

    // Columns as in the design: labels at 8, fields at 72, "Rows" at 144, its field at 184.
    auto* grid = new QGridLayout(GroupBox2);
    grid->setVerticalSpacing(3);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(ComboBox1, 0, 1, 1, 2);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(ComboBox2, 1, 1, 1, 2);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(Edit1, 2, 1);
    grid->addWidget(Label4, 2, 2, Qt::AlignRight);
    grid->addWidget(Edit2, 2, 3);
    grid->addWidget(Label5, 3, 0);
    grid->addWidget(ComboBox3, 3, 1, 1, 3);
    grid->addWidget(FitToWindow, 4, 1, 1, 3);
    grid->addWidget(ScrollbackLabel, 5, 0, 1, 2);
    grid->addWidget(ScrollbackLines, 5, 2, 1, 2);
    ScrollbackLines->setRange(0, 100000);
    ScrollbackLines->setSingleStep(1000);
    ScrollbackLines->setValue(10000);
    // While the grid fits the window its size is not the operator's to type.
    connect(FitToWindow, &QCheckBox::toggled, this, [this](bool on) {
        Edit1->setEnabled(!on);
        Edit2->setEnabled(!on);
    });
    ShowControls->hide();
    FitToWindow->hide();
    ScrollbackLabel->hide();
    ScrollbackLines->hide();
    grid->setColumnStretch(4, 1);
    Edit1->setFixedWidth(49);
    Edit2->setFixedWidth(49);
    ComboBox1->setMinimumWidth(97);
    ComboBox2->setMinimumWidth(97);
    ComboBox3->setMinimumWidth(161);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    for (QPushButton* button : {Button1, Button2})
        button->setMinimumSize(75, 25);
    Button1->setDefault(true);
    Button1->setAutoDefault(true);
    Button2->setAutoDefault(false);

    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(8, 8, 6, 6);
    form->addWidget(GroupBox1);
    form->addWidget(GroupBox2);
    form->addStretch(1);
    form->addLayout(buttons);

    // Fixed dialog border: the size fits the contents, never below the design's client area.
    setMinimumSize(kClientWidth, kClientHeight);
    form->setSizeConstraint(QLayout::SetFixedSize);

    // Tab order of the design: inside the second group the cursor-keys list comes before the
    // two size fields.
    QWidget::setTabOrder(CheckBox1, CheckBox2);
    QWidget::setTabOrder(CheckBox2, CheckBox3);
    QWidget::setTabOrder(CheckBox3, CheckBox4);
    QWidget::setTabOrder(CheckBox4, CheckBox5);
    QWidget::setTabOrder(CheckBox5, ComboBox1);
    QWidget::setTabOrder(ComboBox1, ComboBox2);
    QWidget::setTabOrder(ComboBox2, ComboBox3);
    QWidget::setTabOrder(ComboBox3, Edit1);
    QWidget::setTabOrder(Edit1, Edit2);
    QWidget::setTabOrder(CheckBox5, ShowControls);
    QWidget::setTabOrder(Edit2, FitToWindow);
    QWidget::setTabOrder(FitToWindow, ScrollbackLines);
    QWidget::setTabOrder(ScrollbackLines, Button1);
    QWidget::setTabOrder(Button1, Button2);

    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

int TComTrmSetForm::NumberOr(const QString& text, int fallback)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? value : fallback;
}

void TComTrmSetForm::fillValues(const Values& v)
{
    CheckBox1->setChecked(v.localEcho);
    CheckBox2->setChecked(v.sendLF);
    CheckBox3->setChecked(v.wrapLines);
    CheckBox4->setChecked(v.force7Bit);
    CheckBox5->setChecked(v.appendLF);
    // An index outside a list (the caret shape without an entry) leaves it without a selection.
    const auto select = [](QComboBox* list, int index) {
        list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
    };
    select(ComboBox1, v.caret);
    select(ComboBox2, v.emulation);
    select(ComboBox3, v.arrowKeys);
    Edit1->setText(QString::number(v.columns));
    Edit2->setText(QString::number(v.rows));
}

TComTrmSetForm::Values TComTrmSetForm::readValues() const
{
    return Values{CheckBox1->isChecked(), CheckBox2->isChecked(), CheckBox3->isChecked(),
        CheckBox4->isChecked(), CheckBox5->isChecked(), ComboBox1->currentIndex(), ComboBox2->currentIndex(),
        ComboBox3->currentIndex(), NumberOr(Edit1->text(), kFallbackColumns),
        NumberOr(Edit2->text(), kFallbackRows)};
}

void TComTrmSetForm::fillAdditions(const Additions& a)
{
    for (QWidget* w :
        std::initializer_list<QWidget*>{ShowControls, FitToWindow, ScrollbackLabel, ScrollbackLines})
        w->show();
    FitToWindow->setChecked(a.fitToWindow);
    Edit1->setEnabled(!a.fitToWindow);
    Edit2->setEnabled(!a.fitToWindow);
    ShowControls->setChecked(a.showControls);
    ScrollbackLines->setValue(a.scrollbackLines);
}

TComTrmSetForm::Additions TComTrmSetForm::readAdditions() const
{
    return Additions{FitToWindow->isChecked(), ShowControls->isChecked(), ScrollbackLines->value()};
}

void TComTrmSetForm::showEvent(QShowEvent* event)
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
