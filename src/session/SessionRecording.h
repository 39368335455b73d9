#pragma once
// A session recording: the raw traffic of a connection, to be fed through the parser again.
//
// The file (little-endian) is a header, then entries one after the other:
//   header  8 bytes "ORVIKSES", u16 version (kSessionFormat), u16 0
//   entry   u8 kind, i64 time (µs since the epoch, UTC), u32 length, `length` bytes
// Kinds: Received and Sent hold the bytes as on the wire; Connection holds "state\tport\tdetail"
// in UTF-8 (state as the journal's connection rows: opened, closed, lost, waiting, reconnected,
// refused, failing); Settings holds the values the answers and readings depend on, as
// "key=value" lines (Voltage, Current, Temperature in Windows-1251, AppendLF, Force7Bit).
// Entries are only ever appended and written out at least once a second, so a kill loses at
// most the last second; a reader takes every whole entry and stops at a cut-off one. The
// writes go to a thread of the writer's own, so a slow disk never holds the caller's thread
// (only opening and closing wait for it).

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <cstdint>
#include <mutex>
#include <vector>

constexpr std::uint16_t kSessionFormat = 1;

struct TSessionEntry {
    enum Kind : std::uint8_t { Received = 1, Sent = 2, Connection = 3, Settings = 4 };
    Kind kind = Received;
    std::int64_t timeUs = 0;
    QByteArray bytes;
};

struct TSessionRecording {
    std::vector<TSessionEntry> entries;
    QString error; // why the file cannot be replayed; empty when it can
    bool truncated = false; // the last entry was cut off (and left out)
};

// Reads a whole recording.
TSessionRecording readSessionRecording(const QString& path);
// The same from bytes (the fuzz target's and the tests' way in).
TSessionRecording parseSessionRecording(const QByteArray& data);

class TSessionRecordingWriter : public QObject {
    Q_OBJECT
public:
    static constexpr int kFlushMs = 1000;

    explicit TSessionRecordingWriter(QObject* parent = nullptr);
    ~TSessionRecordingWriter() override;

    // Creates the file (or appends to a recording of this format); false with error() when
    // it cannot.
    bool open(const QString& path);
    // Why the file could not be opened, or the last write failed.
    QString error() const;
    void add(TSessionEntry::Kind kind, std::int64_t timeUs, QByteArrayView bytes);
    // Hands what was added to the writing thread.
    void flush();
    // Writes everything added and closes the file.
    void close();

private:
    bool open_ = false;
    QByteArray pending_;
    QTimer timer_;
    QThreadPool writes_; // one thread: the writes keep their order
    mutable std::mutex fileMutex_; // the file and the error, between this thread and the writes'
    QFile file_;
    QString error_;
};
