#pragma once
// The data log: a raw copy of the serial traffic in a text file, bytes as they passed.
// Writes go through a small buffer; the file is complete on disk once it is closed.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class TDataLog {
public:
    static constexpr qsizetype kBufferSize = 128;

    TDataLog() = default;
    TDataLog(const TDataLog&) = delete;
    TDataLog& operator=(const TDataLog&) = delete;
    ~TDataLog();

    // Appends to an existing file when append is set, else creates the file or empties it.
    // Returns false when the file cannot be opened or created.
    bool open(const QString& path, bool append);
    // Flushes and closes; a no-op when closed. Returns false if the last bytes could not be
    // written.
    bool close();
    bool isOpen() const { return fd_ >= 0; }

    // Appends text. Returns false when the bytes could not be written; the log is then
    // closed and every later write is a no-op until the next open.
    bool write(QByteArrayView text);
    // The system's error code of the last failure (0 when none).
    int lastError() const { return error_; }

private:
    bool flush();

    int fd_ = -1;
    int error_ = 0;
    QByteArray buffer_;
};

// The folder of a file path, ending in "/" (a root stays "/").
QString programFolderOf(const QString& executablePath);
