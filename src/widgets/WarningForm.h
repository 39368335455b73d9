#pragma once
// The modal window of the warning dialog, built in code each time it is shown.

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TWarningForm : public QDialog {
    Q_OBJECT
public:
    explicit TWarningForm(QWidget* parent = nullptr);

    QFrame* Bevel1() const { return bevel_; }
    QLabel* Image1() const { return image_; }
    QLabel* Message() const { return message_; }
    QPushButton* OKBtn() const { return okBtn_; }
    QPushButton* CancelBtn() const { return cancelBtn_; }
    QPushButton* HelpBtn() const { return helpBtn_; }

    // Hides Help and centres OK and Cancel (help context 0).
    void HideHelp();

    // Design coordinates are for 120 pixels per inch; logical pixels are for 96.
    static int Scaled(int designPixels);

private:
    QFrame* bevel_;
    QLabel* image_;
    QLabel* message_;
    QPushButton* okBtn_;
    QPushButton* cancelBtn_;
    QPushButton* helpBtn_;
};
