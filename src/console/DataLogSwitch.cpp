#include "console/DataLogSwitch.h"

#include "common/FileNames.h"
#include "console/DesktopPrograms.h"
#include "console/ErrorReports.h"
#include "console/SetupPage.h"
#include "console/WindowTexts.h"
#include "session/DeviceSession.h"
#include "widgets/Switch.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cstring>

TDataLogSwitch::TDataLogSwitch(TDeviceSession& session, SetupPage& setup, TErrorReports& reports,
    const TFileDialog& fileDialog, const QString& dataFolder, QObject* parent)
    : QObject(parent)
    , session_(session)
    , setup_(setup)
    , reports_(reports)
    , fileDialog_(fileDialog)
    , dataFolder_(dataFolder)
{
    setup_.Log->OnClick = reports_.Guarded([this] { LogClick(); });
    setup_.Log->OnOn = reports_.Guarded([this] { LogClick(); });
    setup_.Log->OnOff = reports_.Guarded([this] { LogClick(); });
    connect(setup_.BitBtn1, &QPushButton::clicked, this, reports_.Guarded([this] { BitBtn1Click(); }));
    connect(setup_.ViewLog, &QPushButton::clicked, this, reports_.Guarded([this] { ViewLogClick(); }));
    connect(&session_, &TDeviceSession::logFailed, this, &TDataLogSwitch::logFailed);
}

void TDataLogSwitch::LogClick()
{
    if (syncing_)
        return;
    if (setup_.Log->StateOn()) {
        if (session_.logOpen())
            return;
        const QString path = setup_.LogFile->text();
        const bool append = setup_.AppendLog->isChecked() && QFile::exists(path);
        if (!session_.openLog(path, append))
            switchOff();
    } else {
        session_.closeLog();
    }
}

void TDataLogSwitch::switchOff()
{
    syncing_ = true;
    setup_.Log->SetStateOn(false);
    syncing_ = false;
}

void TDataLogSwitch::logFailed(int error)
{
    // Reported once; the log is closed and the switch goes off, sending and receiving go on.
    reports_.Report(
        text::logWriteFailed.arg(setup_.LogFile->text(), QString::fromLocal8Bit(std::strerror(error))),
        QStringLiteral("log"));
    switchOff();
}

void TDataLogSwitch::BitBtn1Click()
{
    const QString chosen
        = fileDialog_ ? fileDialog_(QString(), dataFolder_, text::textFilter, true) : QString();
    if (chosen.isEmpty())
        return;
    setup_.LogFile->setText(withExtension(chosen, QStringLiteral(".txt"), TExtensionRule::LowerOrUpper));
}

void TDataLogSwitch::ViewLogClick()
{
    reports_.ReportFailure(desktop::openTextFile(setup_.LogFile->text()));
}

void TDataLogSwitch::Close()
{
    if (setup_.Log->StateOn())
        session_.closeLog();
}
