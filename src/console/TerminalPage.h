#pragma once
// The terminal page ("Терминал"): the terminal, the command line, the eight preset buttons with
// their command dialogs, the line options and the six line-signal lamps. The options' keys in
// section "Com" and the section "Commands" of the settings file are read and written here.

#include "settings/LineOptions.h"

#include <QWidget>
#include <array>

class QCheckBox;
class QLineEdit;
class QPushButton;
class SessionBar;
class TComLed;
class TCommandForm;
class TComTerminal;
class TIniFile;
class TTransport;

class TerminalPage : public QWidget {
    Q_OBJECT
public:
    explicit TerminalPage(QWidget* parent = nullptr);

    // The dialogs are the owner's windows; each reads its command through the file opened at start.
    void CreateDialogs(QWidget* owner, const TIniFile* ini);
    TCommandForm* PresetDialog(int preset) const { return dialogs_[std::size_t(preset)]; }
    void HideDialogs();
    void BindLamps(TTransport* port);

    // Wrap, Echo, CR, LF, DTR and RTS in section "Com"; the terminal follows Wrap and Echo.
    void LoadLineOptions(const TIniFile& ini);
    void SaveLineOptions(TIniFile& ini) const;
    void SaveCommands(TIniFile& ini) const;

    TComTerminal* Memo1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button8 = nullptr;
    // The preset buttons in the order of their dialogs TForm2 ... TForm9.
    std::array<QPushButton*, 8> Presets{};
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* Button7 = nullptr;
    QPushButton* Button11 = nullptr;
    QCheckBox* Wrap = nullptr;
    QCheckBox* Echo = nullptr;
    QCheckBox* CR = nullptr;
    QCheckBox* LF = nullptr;
    QCheckBox* DTR = nullptr;
    QCheckBox* RTS = nullptr;
    // Recording and replaying sessions; its actions are on the terminal's context menu too.
    SessionBar* Tape = nullptr;
    // Places of the six line-signal lamps, in the order Rx, Tx, CAR, DSR, CTS, RING.
    std::array<QWidget*, 6> LampPlaces{};
    std::array<TComLed*, 6> Lamps{};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // In the order of TLineOptions.
    std::array<QCheckBox*, TLineOptions::Count> lineBoxes() const { return {Wrap, Echo, CR, LF, DTR, RTS}; }

    std::array<TCommandForm*, 8> dialogs_{};
};
