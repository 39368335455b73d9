#include "session/SessionReplay.h"

#include "archive/ArchiveOrigin.h"
#include "archive/CaptureRecorder.h"
#include "session/DeviceSession.h"
#include "transport/NullTransport.h"

#include <QDateTime>
#include <QFileInfo>
#include <QStringList>

QByteArray TSessionValues::encode() const
{
    return "Voltage=" + voltageLimit + "\nCurrent=" + currentLimit + "\nTemperature=" + temperatureLimit
        + "\nAppendLF=" + (appendLF ? "1" : "0") + "\nForce7Bit=" + (force7Bit ? "1" : "0") + "\n";
}

void TSessionValues::apply(const QByteArray& entry)
{
    for (const QByteArray& line : entry.split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = line.left(eq);
        const QByteArray value = line.mid(eq + 1);
        if (key == "Voltage")
            voltageLimit = value;
        else if (key == "Current")
            currentLimit = value;
        else if (key == "Temperature")
            temperatureLimit = value;
        else if (key == "AppendLF")
            appendLF = value == "1";
        else if (key == "Force7Bit")
            force7Bit = value == "1";
    }
}

void TSessionValues::applyTo(TDeviceSession& session) const
{
    session.setLimitText(TLimit::Voltage, voltageLimit);
    session.setLimitText(TLimit::Current, currentLimit);
    session.setLimitText(TLimit::Temperature, temperatureLimit);
    session.setShaping(appendLF, force7Bit);
}

TSessionReplay::TSessionReplay(QObject* parent)
    : QObject(parent)
    , transport_(std::make_unique<TNullTransport>()) // never open: the answers go nowhere
{
    session_ = new TDeviceSession(*transport_, this);
    // Nothing is written anywhere: no log, and the answers are refused by the closed transport.
    session_->setLogChoices(false, false);
    session_->journal().clock = [this] { return QDateTime::fromMSecsSinceEpoch(nowUs_ / 1000, Qt::UTC); };
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &TSessionReplay::step);
}

TSessionReplay::~TSessionReplay()
{
    if (running_)
        finish(true);
    // The session goes before the transport it is attached to.
    delete session_;
}

void TSessionReplay::setCaptureRecorder(CaptureRecorder* recorder)
{
    if (recorder_)
        disconnect(recorder_, &QObject::destroyed, this, nullptr);
    recorder_ = recorder;
    // The session tells the recorder its port and units only from the start of a replay: a
    // recorder shared with a live session stays the live one's until then.
    session_->setCaptureRecorder(nullptr);
    if (recorder)
        connect(recorder, &QObject::destroyed, this, [this] {
            recorder_ = nullptr;
            session_->setCaptureRecorder(nullptr);
        });
}

QString TSessionReplay::originOf(const QString& path)
{
    return kReplayOriginPrefix + QFileInfo(path).absoluteFilePath();
}

void TSessionReplay::start(std::vector<TSessionEntry> entries, const QString& origin, double speed)
{
    if (running_)
        finish(true);
    entries_ = std::move(entries);
    next_ = 0;
    speed_ = speed;
    running_ = true;
    nowUs_ = entries_.empty() ? 0 : entries_.front().timeUs;
    values_.applyTo(*session_);
    session_->journal().origin = origin;
    if (recorder_) {
        // The capture under way is not the recording's; the recording's first is a new one.
        recorder_->reset();
        session_->setCaptureRecorder(recorder_);
        recorderClock_ = std::exchange(recorder_->clock, [this] { return nowUs_ / 1000; });
        recorderOrigin_ = std::exchange(recorder_->origin, origin);
    }
    paceUs_ = nowUs_;
    paceMs_ = 0;
    pace_.start();
    timer_.start(0);
}

void TSessionReplay::setSpeed(double speed)
{
    // The pace changes from where the replay stands.
    paceMs_ = pace_.elapsed();
    paceUs_ = nowUs_;
    speed_ = speed;
    if (running_)
        timer_.start(0);
}

void TSessionReplay::stop()
{
    if (running_)
        finish(true);
}

qint64 TSessionReplay::dueMs(const TSessionEntry& entry) const
{
    return paceMs_ + qint64(double(entry.timeUs - paceUs_) / 1000.0 / speed_);
}

void TSessionReplay::step()
{
    if (!running_)
        return;
    QElapsedTimer slice;
    slice.start();
    while (next_ < entries_.size()) {
        const TSessionEntry& e = entries_[next_];
        if (speed_ > 0) {
            const qint64 wait = dueMs(e) - pace_.elapsed();
            if (wait > 0) {
                emit progress(next_, entries_.size());
                timer_.start(int(std::min<qint64>(wait, 1000)));
                return;
            }
        }
        ++next_;
        handle(e);
        // A listener may have stopped the replay.
        if (!running_)
            return;
        if (slice.elapsed() >= kSliceMs) {
            emit progress(next_, entries_.size());
            timer_.start(0);
            return;
        }
    }
    emit progress(next_, entries_.size());
    finish(false);
}

void TSessionReplay::handle(const TSessionEntry& e)
{
    nowUs_ = std::max(nowUs_, e.timeUs);
    // A quiet spell that ended the live capture ends it here as well.
    if (recorder_)
        recorder_->checkQuiet();
    switch (e.kind) {
    case TSessionEntry::Received:
        session_->receive(e.bytes.constData(), int(e.bytes.size()));
        break;
    case TSessionEntry::Sent:
        emit sent(e.bytes);
        break;
    case TSessionEntry::Settings:
        values_.apply(e.bytes);
        values_.applyTo(*session_);
        break;
    case TSessionEntry::Connection: {
        const QStringList parts = QString::fromUtf8(e.bytes).split(QLatin1Char('\t'));
        const QString state = parts.value(0), port = parts.value(1), detail = parts.value(2);
        transport_->SetPort(port);
        TJournalRecorder& j = session_->journal();
        if (state == QLatin1String("opened"))
            j.connectionOpened(port, detail);
        else if (state == QLatin1String("reconnected"))
            j.connectionReconnected(port, detail);
        else if (state == QLatin1String("waiting"))
            j.connectionWaiting(port);
        else if (state == QLatin1String("refused"))
            j.connectionRefused(port, detail);
        else if (state == QLatin1String("failing"))
            j.connectionFailing(port, detail);
        else if (state == QLatin1String("closed") || state == QLatin1String("lost")) {
            // The capture under way ends at the close, before its row.
            if (recorder_)
                recorder_->flush();
            if (state == QLatin1String("lost"))
                j.connectionLost(port);
            else
                j.connectionClosed(port);
            session_->transportClosed();
        }
        break;
    }
    }
}

void TSessionReplay::finish(bool stopped)
{
    running_ = false;
    timer_.stop();
    if (recorder_) {
        // The last capture ends with the recording (its quiet spell may have come after the
        // last entry); what comes live afterwards is a capture of its own.
        recorder_->reset();
        recorder_->clock = std::move(recorderClock_);
        recorder_->origin = std::move(recorderOrigin_);
    }
    session_->transportClosed();
    emit finished(stopped);
}
