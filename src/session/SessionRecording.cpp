#include "session/SessionRecording.h"

#include "common/QueuedCall.h"

#include <QtEndian>
#include <functional>

namespace {

// The key of the writes' hand-over to their thread for the thread checker: a static one, as
// the job must not read its own captures before it has acquired them.
const char writeHandOver = 0;

const QByteArray kMagic = QByteArrayLiteral("ORVIKSES");
constexpr int kHeaderSize = 12;
constexpr int kEntryHead = 13;
// An entry longer than this is no entry of ours: the file is damaged there.
constexpr std::uint32_t kMaxEntry = 64u << 20;

QByteArray header()
{
    QByteArray h = kMagic;
    h.resize(kHeaderSize);
    qToLittleEndian<std::uint16_t>(kSessionFormat, h.data() + 8);
    qToLittleEndian<std::uint16_t>(0, h.data() + 10);
    return h;
}

} // namespace

TSessionRecording parseSessionRecording(const QByteArray& data)
{
    TSessionRecording r;
    if (data.size() < kHeaderSize || !data.startsWith(kMagic)) {
        r.error = QStringLiteral("файлът не е запис на сесия");
        return r;
    }
    const std::uint16_t version = qFromLittleEndian<std::uint16_t>(data.constData() + 8);
    if (version > kSessionFormat) {
        r.error = QStringLiteral("записът е във формат %1, а тази версия чете до %2")
                      .arg(version)
                      .arg(kSessionFormat);
        return r;
    }
    qsizetype at = kHeaderSize;
    while (at < data.size()) {
        if (data.size() - at < kEntryHead) {
            r.truncated = true;
            break;
        }
        const char* p = data.constData() + at;
        const auto kind = std::uint8_t(p[0]);
        const std::uint32_t length = qFromLittleEndian<std::uint32_t>(p + 9);
        if (kind < TSessionEntry::Received || kind > TSessionEntry::Settings || length > kMaxEntry
            || qsizetype(length) > data.size() - at - kEntryHead) {
            r.truncated = true;
            break;
        }
        TSessionEntry e;
        e.kind = TSessionEntry::Kind(kind);
        e.timeUs = qFromLittleEndian<std::int64_t>(p + 1);
        e.bytes = QByteArray(p + kEntryHead, qsizetype(length));
        r.entries.push_back(std::move(e));
        at += kEntryHead + qsizetype(length);
    }
    return r;
}

TSessionRecording readSessionRecording(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        TSessionRecording r;
        r.error = f.errorString();
        return r;
    }
    return parseSessionRecording(f.readAll());
}

TSessionRecordingWriter::TSessionRecordingWriter(QObject* parent)
    : QObject(parent)
{
    writes_.setMaxThreadCount(1);
    timer_.setInterval(kFlushMs);
    connect(&timer_, &QTimer::timeout, this, &TSessionRecordingWriter::flush);
}

TSessionRecordingWriter::~TSessionRecordingWriter()
{
    close();
}

QString TSessionRecordingWriter::error() const
{
    const std::lock_guard lock(fileMutex_);
    return error_;
}

bool TSessionRecordingWriter::open(const QString& path)
{
    close();
    const std::lock_guard lock(fileMutex_);
    file_.setFileName(path);
    if (!file_.open(QIODevice::ReadWrite)) {
        error_ = file_.errorString();
        return false;
    }
    if (file_.size() == 0) {
        file_.write(header());
    } else {
        const QByteArray head = file_.read(kHeaderSize);
        if (head != header()) {
            error_ = QStringLiteral("файлът не е запис на сесия в този формат");
            file_.close();
            return false;
        }
        // A cut-off entry at the end (a kill) goes, so the appended ones stay readable.
        const QByteArray all = head + file_.readAll();
        qsizetype whole = kHeaderSize;
        for (const TSessionEntry& e : parseSessionRecording(all).entries)
            whole += kEntryHead + e.bytes.size();
        file_.resize(whole);
        file_.seek(whole);
    }
    file_.flush();
    open_ = true;
    timer_.start();
    return true;
}

void TSessionRecordingWriter::add(TSessionEntry::Kind kind, std::int64_t timeUs, QByteArrayView bytes)
{
    if (!open_)
        return;
    char head[kEntryHead];
    head[0] = char(kind);
    qToLittleEndian<std::int64_t>(timeUs, head + 1);
    qToLittleEndian<std::uint32_t>(std::uint32_t(bytes.size()), head + 9);
    pending_.append(head, kEntryHead);
    pending_.append(bytes.data(), bytes.size());
}

void TSessionRecordingWriter::flush()
{
    if (!open_ || pending_.isEmpty())
        return;
    std::function<void()> job = [this, bytes = std::exchange(pending_, {})] {
        serial_detail::handOverAcquire(&writeHandOver);
        const std::lock_guard lock(fileMutex_);
        if (file_.write(bytes) != bytes.size())
            error_ = file_.errorString();
        file_.flush();
    };
    // The pool's queue orders the job after everything written here, under a lock the thread
    // checker cannot see: the mark says so.
    serial_detail::handOverRelease(&writeHandOver);
    writes_.start(std::move(job));
}

void TSessionRecordingWriter::close()
{
    flush();
    timer_.stop();
    writes_.waitForDone();
    open_ = false;
    const std::lock_guard lock(fileMutex_);
    file_.close();
}
