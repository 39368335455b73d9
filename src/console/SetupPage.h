#pragma once
// The settings page ("Настройки"): the connection type, the colours, the data log's options and
// the settings-file buttons. The sections "Log", "Color" and "Events" of the settings file and
// the key "AutoReconnect" of "Com" are read and written here.

#include <QString>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TColorBox;
class TIniFile;
class TSwitch;

class SetupPage : public QWidget {
    Q_OBJECT
public:
    explicit SetupPage(QWidget* parent = nullptr);

    void LoadConnection(const TIniFile& ini);
    void SaveConnection(TIniFile& ini) const;
    void LoadLog(const TIniFile& ini, const QString& defaultFile);
    void SaveLog(TIniFile& ini) const;
    // Selects the colours only; the window applies them.
    void LoadColors(const TIniFile& ini);
    void SaveColors(TIniFile& ini) const;
    void LoadEvents(const TIniFile& ini);
    void SaveEvents(TIniFile& ini) const;

    QRadioButton* NoneBut = nullptr;
    QRadioButton* RSBut = nullptr;
    QRadioButton* LptBut = nullptr;
    QRadioButton* UsbBut = nullptr;
    QPushButton* Button9 = nullptr;
    QPushButton* Button12 = nullptr;
    QPushButton* Button13 = nullptr;
    QPushButton* Button10 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label5 = nullptr;
    QCheckBox* AutoReconnect = nullptr;
    TColorBox* MainColor = nullptr;
    TColorBox* TerminalBackColor = nullptr;
    TColorBox* TerminalFontColor = nullptr;
    TColorBox* EchoFontColor = nullptr;
    QCheckBox* LogIncomming = nullptr;
    QCheckBox* LogOutgoing = nullptr;
    QRadioButton* AppendLog = nullptr;
    QRadioButton* NewLog = nullptr;
    TSwitch* Log = nullptr;
    QLineEdit* LogFile = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* ViewLog = nullptr;
    QPushButton* BitBtn5 = nullptr;
    QPushButton* BitBtn6 = nullptr;
    // Whether a counted event shows the chart page (the design's behaviour, on by default).
    QCheckBox* ShowScopeOnEvent = nullptr;
};
