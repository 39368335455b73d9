#include "console/SessionView.h"

#include "archive/CaptureRecorder.h"
#include "common/Cp1251.h"
#include "console/CaptureArchive.h"
#include "console/ColorBox.h"
#include "console/CommandDialogs.h"
#include "console/ErrorReports.h"
#include "console/ScopeOnEvent.h"
#include "console/ScopePage.h"
#include "console/ScopeToolBar.h"
#include "console/SetupPage.h"
#include "console/TerminalPage.h"
#include "console/WindowChrome.h"
#include "console/WindowTexts.h"
#include "session/DeviceSession.h"
#include "terminal/ComTerminal.h"
#include "widgets/ValidateEdit.h"
#include "widgets/WarningDialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

TSessionView::TSessionView(
    TDeviceSession& session, const Parts& parts, const std::function<bool()>& controlKeyDown, QObject* parent)
    : QObject(parent)
    , session_(session)
    , parts_(parts)
    , controlKeyDown_(controlKeyDown)
{
    TerminalPage& terminal = parts_.terminal;
    ScopePage& scope = parts_.scope;
    TErrorReports& reports = parts_.reports;
    connect(terminal.Button8, &QPushButton::clicked, this, reports.Guarded([this] { Button8Click(); }));
    for (std::size_t i = 0; i < terminal.Presets.size(); ++i)
        connect(terminal.Presets[i], &QPushButton::clicked, this,
            reports.Guarded([this, i] { PresetClick(int(i)); }));
    connect(parts_.setup.Button10, &QPushButton::clicked, this, reports.Guarded([this] { Button10Click(); }));
    connect(scope.Button19, &QPushButton::clicked, this, reports.Guarded([this] { session_.resetScope(); }));
    connect(
        scope.Button16, &QPushButton::clicked, this, reports.Guarded([this] { session_.resetReadouts(); }));
    connect(
        scope.Button14, &QPushButton::clicked, this, reports.Guarded([this] { session_.resetCounters(); }));
    connectSession();
}

void TSessionView::connectSession()
{
    TDeviceSession* s = &session_;
    TComTerminal* memo = parts_.terminal.Memo1;
    ScopePage* scope = &parts_.scope;
    s->setCaptureRecorder(&parts_.captures.Recorder());
    // The terminal shows what the session received, as shaped there.
    memo->SetHostFed(true);
    connect(s, &TDeviceSession::received, memo, &TComTerminal::ShowReceived);
    connect(s, &TDeviceSession::echoed, this, [this, memo](const QByteArray& line) {
        memo->SetFontColor(parts_.setup.EchoFontColor->Selected());
        memo->ShowText(line);
        memo->SetFontColor(parts_.setup.TerminalFontColor->Selected());
    });
    connect(s, &TDeviceSession::sendRefused, this, [this] {
        parts_.warning.Execute();
        parts_.pages.setCurrentWidget(&parts_.setup);
    });
    connect(s, &TDeviceSession::readoutText, scope, [scope](TReadout which, const QByteArray& value) {
        scope->ShowReadout(which, cp1251::decode(value));
    });
    connect(s, &TDeviceSession::readoutColor, scope, &ScopePage::SetReadoutColor);
    connect(s, &TDeviceSession::counterChanged, scope, &ScopePage::SetCounter);
    connect(s, &TDeviceSession::eventArrived, this, &TSessionView::eventCounted);
    // The device's units reach the chart through the hold: a held picture keeps its own titles.
    TScopeHold& hold = scope->ScopeBar->Hold();
    connect(s, &TDeviceSession::leftAxisTitle, this, [&hold](const QString& t) { hold.SetYUnit(t); });
    connect(s, &TDeviceSession::bottomAxisTitle, this, [&hold](const QString& t) { hold.SetXUnit(t); });
    connect(s, &TDeviceSession::pointAdded, this, [&hold](double x, double y) { hold.AddPoint(x, y); });
    connect(s, &TDeviceSession::scopeCleared, this, &TSessionView::clearScope);
    connect(s, &TDeviceSession::captureBegun, &parts_.captures, &TCaptureArchive::LiveCaptureBegun);
    connect(s, &TDeviceSession::lineHandled, this, &TSessionView::lineHandled);
    connect(s, &TDeviceSession::failed, this, [this](const QString& message) {
        parts_.reports.Report(message.isEmpty() ? text::unknownError : message);
    });
    connect(s, &TDeviceSession::stallEnded, this, [this](const QString& failure, int dropped) {
        parts_.reports.Report(text::stallEnded.arg(failure).arg(dropped), QStringLiteral("port"));
    });

    TerminalPage& terminal = parts_.terminal;
    SetupPage& setup = parts_.setup;
    for (QCheckBox* box : {terminal.CR, terminal.LF, terminal.Echo, setup.LogIncomming, setup.LogOutgoing})
        connect(box, &QCheckBox::toggled, this, &TSessionView::Sync);
    for (TValidateEdit* limit : {scope->VoltageLimit, scope->CurrentLimit, scope->TempLimit})
        limit->OnValueChanged = [this](QObject*) { Sync(); };
    Sync();
}

void TSessionView::Sync()
{
    const TerminalPage& terminal = parts_.terminal;
    for (TLimit which : {TLimit::Voltage, TLimit::Current, TLimit::Temperature})
        session_.setLimitText(which, cp1251::encode(parts_.scope.LimitText(which)));
    session_.setLineEnds(terminal.CR->isChecked(), terminal.LF->isChecked());
    session_.setEcho(terminal.Echo->isChecked());
    session_.setLogChoices(parts_.setup.LogIncomming->isChecked(), parts_.setup.LogOutgoing->isChecked());
    session_.setShaping(terminal.Memo1->AppendLF(), terminal.Memo1->Force7Bit());
}

void TSessionView::PresetClick(int preset)
{
    TCommandForm* dialog = parts_.terminal.PresetDialog(preset);
    if (controlKeyDown_ && controlKeyDown_()) {
        dialog->show();
        dialog->raise();
        return;
    }
    session_.send(dialog->CommandText());
}

void TSessionView::Button8Click()
{
    session_.send(cp1251::encode(parts_.terminal.Edit1->text()));
}

void TSessionView::Button10Click()
{
    parts_.terminal.Memo1->RunSettingsDialog();
    Sync();
}

void TSessionView::eventCounted()
{
    // The page is chosen once the event's row is written (lineHandled), knowing the event.
    awayAtEvent_ = parts_.chrome.ComeBack();
}

void TSessionView::clearScope()
{
    TScopeHold& hold = parts_.scope.ScopeBar->Hold();
    hold.Reset();
    hold.SetCapture(TTraceInfo{});
}

void TSessionView::lineHandled(const TLineOutcome& outcome)
{
    if (outcome.isRecord())
        parts_.scope.LinkUp();
    if (outcome.event)
        parts_.scopeOnEvent.eventCounted(QString::fromLatin1(eventName(*outcome.event)), awayAtEvent_);
}
