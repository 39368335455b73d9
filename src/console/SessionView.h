#pragma once
// TSessionView: the device session as the window shows it and the operator drives it. The
// received text and the echo (in the echo colour) reach the terminal, the read-outs and the
// counters the graphic-data page, the samples and their units the chart through its hold; a
// send while the port is closed gives the warning and the settings page; a counted event
// brings the window back and then shows its page. The preset buttons, the command line and
// the reset buttons go to the session, and the values it holds (limits, line ends, echo, log
// choices, the terminal's shaping) follow the controls that show them.

#include <QObject>
#include <functional>

class QTabWidget;
class ScopePage;
class SetupPage;
class TCaptureArchive;
class TDeviceSession;
class TErrorReports;
class TerminalPage;
class TScopeOnEvent;
class TWarningDialog;
class TWindowChrome;
struct TLineOutcome;

class TSessionView : public QObject {
public:
    struct Parts {
        TerminalPage& terminal;
        SetupPage& setup;
        ScopePage& scope;
        QTabWidget& pages;
        TCaptureArchive& captures;
        TScopeOnEvent& scopeOnEvent;
        TWarningDialog& warning;
        TWindowChrome& chrome;
        TErrorReports& reports;
    };
    // ControlKeyDown answers whether CTRL is held while a preset button's click is handled.
    TSessionView(TDeviceSession& session, const Parts& parts, const std::function<bool()>& controlKeyDown,
        QObject* parent = nullptr);

    // The values the session holds, from the controls that show them.
    void Sync();

    // The eight preset buttons, in the order of their dialogs TForm2 ... TForm9: CTRL held
    // shows the dialog, else its command is sent.
    void PresetClick(int preset);
    void Button8Click();
    // The terminal's settings dialog; the session shapes as the terminal then does.
    void Button10Click();

private:
    void connectSession();
    void eventCounted();
    void clearScope();
    void lineHandled(const TLineOutcome& outcome);

    TDeviceSession& session_;
    Parts parts_;
    const std::function<bool()>& controlKeyDown_;
    bool awayAtEvent_ = false; // the window was minimised or in the tray when the event came
};
