#pragma once
// The terminal's settings dialog: echo, line-feed handling, wrapping, the 7-bit option, caret
// shape, emulation, grid size and the cursor keys.
//
// Use: the terminal's RunSettingsDialog calls TComTrmSetForm::Execute(*this, window()), which
// creates the dialog, fills it from the terminal, shows it modally and, only on OK, writes the
// values back through the terminal's property setters in a fixed order; the dialog is freed in
// every case. Fill/Apply are templates so that any class with the terminal's property
// accessors (LocalEcho()/SetLocalEcho(), ..., Caret()/SetCaret()) can be edited; the dialog
// itself knows nothing of the terminal's window or port.
//
// Three additions follow the design's fields, filled and applied only for a terminal that has
// them: ScrollbackLines, FitToWindow (which disables the size fields while it is checked, and
// is applied after them so that a fitted grid keeps its fit) and ShowControls.

#include "terminal/logic/TermTypes.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TComTrmSetForm : public QDialog {
    Q_OBJECT

public:
    // Used when the size fields do not hold a number.
    static constexpr int kFallbackColumns = 80;
    static constexpr int kFallbackRows = 24;

    explicit TComTrmSetForm(QWidget* parent = nullptr);

    template <class Terminal> void Fill(const Terminal& terminal);
    template <class Terminal> void Apply(Terminal& terminal) const;
    // Returns whether the operator confirmed (and the terminal was changed).
    template <class Terminal> static bool Execute(Terminal& terminal, QWidget* parent = nullptr);

    // The value an edit field gives: its text as a decimal integer, else the fallback.
    static int NumberOr(const QString& text, int fallback);

    // The design's controls (objectName = member name).
    QGroupBox* const GroupBox1;
    QCheckBox* const CheckBox1;
    QCheckBox* const CheckBox2;
    QCheckBox* const CheckBox3;
    QCheckBox* const CheckBox4;
    QCheckBox* const CheckBox5;
    QGroupBox* const GroupBox2;
    QLabel* const Label1;
    QComboBox* const ComboBox1;
    QLabel* const Label2;
    QComboBox* const ComboBox2;
    QLabel* const Label3;
    QLineEdit* const Edit1;
    QLabel* const Label4;
    QLineEdit* const Edit2;
    QLabel* const Label5;
    QComboBox* const ComboBox3;
    QPushButton* const Button1;
    QPushButton* const Button2;
    // Additions.
    QCheckBox* const ShowControls;
    QCheckBox* const FitToWindow;
    QLabel* const ScrollbackLabel;
    QSpinBox* const ScrollbackLines;

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Values {
        bool localEcho, sendLF, wrapLines, force7Bit, appendLF;
        int caret, emulation, arrowKeys; // list indexes, -1 = no selection
        int columns, rows;
    };
    void fillValues(const Values& v);
    Values readValues() const;
    struct Additions {
        bool fitToWindow, showControls;
        int scrollbackLines;
    };
    void fillAdditions(const Additions& a);
    Additions readAdditions() const;
};

template <class Terminal>
concept TermWithAdditions = requires(Terminal& t)
{
    t.SetFitToWindow(t.FitToWindow());
    t.SetScrollbackLines(t.ScrollbackLines());
    t.SetShowControls(t.ShowControls());
};

template <class Terminal> void TComTrmSetForm::Fill(const Terminal& terminal)
{
    const TTermCaret caret = terminal.Caret();
    fillValues(Values{terminal.LocalEcho(), terminal.SendLF(), terminal.WrapLines(), terminal.Force7Bit(),
        terminal.AppendLF(), caret == tcNone ? -1 : int(caret), int(terminal.Emulation()),
        int(terminal.ArrowKeys()), terminal.Columns(), terminal.Rows()});
    if constexpr (TermWithAdditions<Terminal>)
        fillAdditions(Additions{terminal.FitToWindow(), terminal.ShowControls(), terminal.ScrollbackLines()});
}

template <class Terminal> void TComTrmSetForm::Apply(Terminal& terminal) const
{
    const Values v = readValues();
    terminal.SetLocalEcho(v.localEcho);
    terminal.SetSendLF(v.sendLF);
    terminal.SetWrapLines(v.wrapLines);
    terminal.SetForce7Bit(v.force7Bit);
    terminal.SetAppendLF(v.appendLF);
    terminal.SetCaret(v.caret < 0 ? tcNone : TTermCaret(v.caret));
    if (v.emulation >= 0)
        terminal.SetEmulation(TTermEmulation(v.emulation));
    terminal.SetColumns(v.columns);
    terminal.SetRows(v.rows);
    if (v.arrowKeys >= 0)
        terminal.SetArrowKeys(TArrowKeys(v.arrowKeys));
    if constexpr (TermWithAdditions<Terminal>) {
        const Additions a = readAdditions();
        terminal.SetFitToWindow(a.fitToWindow);
        terminal.SetScrollbackLines(a.scrollbackLines);
        terminal.SetShowControls(a.showControls);
    }
}

template <class Terminal> bool TComTrmSetForm::Execute(Terminal& terminal, QWidget* parent)
{
    TComTrmSetForm form(parent);
    form.Fill(terminal);
    if (form.exec() != QDialog::Accepted)
        return false;
    form.Apply(terminal);
    return true;
}
