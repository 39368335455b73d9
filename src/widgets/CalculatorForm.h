#pragma once
// The modal calculator dialog: a display above the keypad, with Copy and Paste on a pop-up menu.

#include <QDialog>
#include <QLocale>

class QAction;
class QFrame;
class QLabel;
class TCalculatorPanel;

class TCalculatorForm : public QDialog {
    Q_OBJECT
public:
    explicit TCalculatorForm(QWidget* parent = nullptr, const QLocale& locale = QLocale());
    ~TCalculatorForm() override;

    TCalculatorPanel* CalculatorPanel() const { return panel_; }
    QLabel* DisplayLabel() const { return displayLabel_; }
    QAction* CopyItem() const { return copyItem_; }
    QAction* PasteItem() const { return pasteItem_; }
    void SetCtl3D(bool on);

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    QFrame* mainPanel_ = nullptr;
    QFrame* displayPanel_ = nullptr;
    QFrame* displayInner_ = nullptr;
    QLabel* displayLabel_ = nullptr;
    TCalculatorPanel* panel_ = nullptr;
    QAction* copyItem_ = nullptr;
    QAction* pasteItem_ = nullptr;
};
