#include "console/SessionTape.h"

#include "archive/CaptureRecorder.h"
#include "common/FileNames.h"
#include "console/SessionBar.h"
#include "console/WindowTexts.h"
#include "session/DeviceSession.h"
#include "transport/Transport.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QStringList>
#include <QTimer>
#include <chrono>

namespace {

std::int64_t wallUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

// The replayed session's signals are the live one's: the window shows them as it shows its own.
void forward(TDeviceSession& from, TDeviceSession& to)
{
    QObject::connect(&from, &TDeviceSession::readoutText, &to, &TDeviceSession::readoutText);
    QObject::connect(&from, &TDeviceSession::readoutColor, &to, &TDeviceSession::readoutColor);
    QObject::connect(&from, &TDeviceSession::counterChanged, &to, &TDeviceSession::counterChanged);
    QObject::connect(&from, &TDeviceSession::eventArrived, &to, &TDeviceSession::eventArrived);
    QObject::connect(&from, &TDeviceSession::leftAxisTitle, &to, &TDeviceSession::leftAxisTitle);
    QObject::connect(&from, &TDeviceSession::bottomAxisTitle, &to, &TDeviceSession::bottomAxisTitle);
    QObject::connect(&from, &TDeviceSession::pointAdded, &to, &TDeviceSession::pointAdded);
    QObject::connect(&from, &TDeviceSession::scopeCleared, &to, &TDeviceSession::scopeCleared);
    QObject::connect(&from, &TDeviceSession::captureBegun, &to, &TDeviceSession::captureBegun);
    // Direct: the outcome's views are valid during the call only.
    QObject::connect(
        &from, &TDeviceSession::lineHandled, &to, &TDeviceSession::lineHandled, Qt::DirectConnection);
    QObject::connect(&from, &TDeviceSession::received, &to, &TDeviceSession::received);
    from.addJournalSink(&to.journalSinks());
}

} // namespace

TSessionTape::TSessionTape(TDeviceSession& live, CaptureRecorder& recorder, SessionBar& bar, QObject* parent)
    : QObject(parent)
    , live_(live)
    , transport_(&live.transport())
    , recorder_(recorder)
    , bar_(bar)
{
    link_.RxBufHandler = [this](QObject*, const char* bytes, int count) {
        if (!writer_)
            return;
        addValues();
        // The session's link ran first: the rows of these bytes took the held time already.
        writer_->add(TSessionEntry::Received, heldUs(), QByteArrayView(bytes, count));
    };
    link_.TxBufHandler = [this](QObject*, const char* bytes, int count) {
        if (writer_)
            writer_->add(TSessionEntry::Sent, heldUs(), QByteArrayView(bytes, count));
    };
    link_.ConnHandler = [this](QObject*, bool open) {
        // The device's own traffic and the replay's must not mix.
        if (open)
            StopReplay();
    };
    transport_->AttachLink(&link_);
    connect(transport_, &TTransport::Destroying, this, [this] {
        transport_->DetachLink(&link_);
        transport_ = nullptr;
    });
    live_.addJournalSink(this);

    replay_.setCaptureRecorder(&recorder_);
    forward(replay_.session(), live_);
    connect(&replay_, &TSessionReplay::sent, &live_, &TDeviceSession::echoed);
    connect(&replay_, &TSessionReplay::progress, this, &TSessionTape::showProgress);
    connect(&replay_, &TSessionReplay::finished, this, &TSessionTape::replayFinished);

    connect(bar_.RecordAction, &QAction::toggled, this, &TSessionTape::recordToggled);
    connect(bar_.ReplayAction, &QAction::toggled, this, &TSessionTape::replayToggled);
    connect(bar_.ReplaySpeed, &QComboBox::currentIndexChanged, this, [this] {
        if (replay_.running())
            replay_.setSpeed(bar_.Speed());
    });
}

TSessionTape::~TSessionTape()
{
    // The window's parts may be gone already; Stop() came with the window's closing.
    disconnect(&replay_, nullptr, this, nullptr);
    if (transport_)
        transport_->DetachLink(&link_);
}

void TSessionTape::Stop()
{
    StopReplay();
    StopRecording();
}

// --- recording

std::int64_t TSessionTape::heldUs()
{
    if (!heldUs_) {
        heldUs_ = wallUs();
        QTimer::singleShot(0, this, [this] { heldUs_.reset(); });
    }
    return *heldUs_;
}

void TSessionTape::addValues()
{
    if (!Values)
        return;
    const QByteArray values = Values().encode();
    if (values == lastValues_)
        return;
    lastValues_ = values;
    writer_->add(TSessionEntry::Settings, heldUs(), values);
}

bool TSessionTape::StartRecording(const QString& path)
{
    StopRecording();
    writer_.emplace();
    if (!writer_->open(path)) {
        const QString why = writer_->error();
        writer_.reset();
        if (Report)
            Report(text::recordingFailed.arg(path, why));
        return false;
    }
    lastValues_.clear();
    addValues();
    journalClock_ = std::exchange(
        live_.journal().clock, [this] { return QDateTime::fromMSecsSinceEpoch(heldUs() / 1000, Qt::UTC); });
    recorderClock_ = std::exchange(recorder_.clock, [this] { return heldUs() / 1000; });
    // A port open already: the recording starts with its connection, as a replay needs it.
    if (transport_ && transport_->Connected())
        writer_->add(TSessionEntry::Connection, heldUs(),
            QStringList{QStringLiteral("opened"), transport_->Port(), QString()}
                .join(QLatin1Char('\t'))
                .toUtf8());
    syncing_ = true;
    bar_.RecordAction->setChecked(true);
    bar_.ReplayAction->setEnabled(false);
    bar_.RecordAction->setToolTip(text::recordingTo.arg(QDir::toNativeSeparators(path)));
    bar_.ReplayState->setText(text::recordingTo.arg(QFileInfo(path).fileName()));
    syncing_ = false;
    return true;
}

void TSessionTape::StopRecording()
{
    if (writer_) {
        writer_->close();
        writer_.reset();
        bar_.ReplayState->clear();
        live_.journal().clock = std::move(journalClock_);
        recorder_.clock = std::move(recorderClock_);
    }
    syncing_ = true;
    bar_.RecordAction->setChecked(false);
    bar_.RecordAction->setToolTip(text::recordSessionHint);
    bar_.ReplayAction->setEnabled(true);
    syncing_ = false;
}

void TSessionTape::recordToggled(bool on)
{
    if (syncing_)
        return;
    if (!on) {
        StopRecording();
        return;
    }
    const QString chosen
        = ChooseFile ? ChooseFile(text::chooseRecording, text::sessionFilter, true) : QString();
    if (chosen.isEmpty()
        || !StartRecording(withExtension(chosen, QStringLiteral(".ses"), TExtensionRule::LowerOrUpper)))
        StopRecording();
}

void TSessionTape::appendJournal(const TJournalRow& row)
{
    if (!writer_ || row.kind != QLatin1String("connection"))
        return;
    writer_->add(TSessionEntry::Connection, heldUs(),
        QStringList{row.value, row.subject, TJournalRecorder::connectionDetail(row)}
            .join(QLatin1Char('\t'))
            .toUtf8());
}

// --- replaying

bool TSessionTape::StartReplay(const QString& path, double speed)
{
    StopReplay();
    const auto fail = [this, &path](const QString& why) {
        if (Report)
            Report(text::replayFailed.arg(QDir::toNativeSeparators(path), why));
        return false;
    };
    if (transport_ && transport_->Connected())
        return fail(text::replayNeedsClosedPort);
    TSessionRecording recording = readSessionRecording(path);
    if (!recording.error.isEmpty())
        return fail(recording.error);
    replayPath_ = path;
    replayTruncated_ = recording.truncated;
    // The values the window holds until the recording's own come.
    if (Values)
        replay_.setValues(Values());
    syncing_ = true;
    bar_.ReplayAction->setChecked(true);
    bar_.RecordAction->setEnabled(false);
    syncing_ = false;
    replay_.start(std::move(recording.entries), TSessionReplay::originOf(path), speed);
    showProgress();
    return true;
}

void TSessionTape::StopReplay()
{
    replay_.stop();
}

void TSessionTape::replayToggled(bool on)
{
    if (syncing_)
        return;
    if (!on) {
        StopReplay();
        return;
    }
    const QString chosen
        = ChooseFile ? ChooseFile(text::chooseRecording, text::sessionFilter, false) : QString();
    if (chosen.isEmpty() || !StartReplay(chosen, bar_.Speed())) {
        syncing_ = true;
        bar_.ReplayAction->setChecked(false);
        syncing_ = false;
    }
}

void TSessionTape::showProgress()
{
    const std::size_t total = replay_.total();
    const int percent = total == 0 ? 100 : int(replay_.done() * 100 / total);
    bar_.ReplayState->setText(text::replayProgress.arg(QFileInfo(replayPath_).fileName()).arg(percent)
        + (replayTruncated_ ? text::replayTruncated : QString()));
}

void TSessionTape::replayFinished(bool stopped)
{
    // The live session tells the recorder its port and units again.
    live_.setCaptureRecorder(&recorder_);
    const QString name = QFileInfo(replayPath_).fileName();
    bar_.ReplayState->setText((stopped ? text::replayStopped : text::replayDone).arg(name));
    syncing_ = true;
    bar_.ReplayAction->setChecked(false);
    bar_.RecordAction->setEnabled(true);
    syncing_ = false;
}
