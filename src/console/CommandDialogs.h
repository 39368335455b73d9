#pragma once
// The eight preset-command dialogs. Each holds one command text in Edit2, read from the
// "Commands" section of the settings file when the dialog is created; "OK" confirms it (the
// main window shows it as its button's hint) and hides the dialog, "Clear" empties it.

#include <QByteArray>
#include <QDialog>
#include <functional>

class QLineEdit;
class QPushButton;
class TIniFile;

class TCommandForm : public QDialog {
    Q_OBJECT
public:
    // The settings key of the command in section "Commands".
    const QByteArray& Key() const { return key_; }
    // Reads the command text through the main window's settings file object.
    void FormCreate(const TIniFile* ini);
    // The command as it goes to the line (8-bit).
    QByteArray CommandText() const;

    QLineEdit* Edit2 = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* ClearButton = nullptr;

    // "OK": the confirmed text, for the hint of the main window's button.
    std::function<void(const QString& text)> OnConfirm;

protected:
    TCommandForm(QWidget* owner, const char* formName, const QString& caption, const char* key,
        const char* okName, const char* clearName);

private:
    void OkClick();
    void ClearClick();

    QByteArray key_;
};

// clang-format off
class TForm2 : public TCommandForm { Q_OBJECT public: explicit TForm2(QWidget* owner); };
class TForm3 : public TCommandForm { Q_OBJECT public: explicit TForm3(QWidget* owner); };
class TForm4 : public TCommandForm { Q_OBJECT public: explicit TForm4(QWidget* owner); };
class TForm5 : public TCommandForm { Q_OBJECT public: explicit TForm5(QWidget* owner); };
class TForm6 : public TCommandForm { Q_OBJECT public: explicit TForm6(QWidget* owner); };
class TForm7 : public TCommandForm { Q_OBJECT public: explicit TForm7(QWidget* owner); };
class TForm8 : public TCommandForm { Q_OBJECT public: explicit TForm8(QWidget* owner); };
class TForm9 : public TCommandForm { Q_OBJECT public: explicit TForm9(QWidget* owner); };
// clang-format on
