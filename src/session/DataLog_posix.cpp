// The data log's file, with the POSIX calls.
#include "session/DataLog.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

TDataLog::~TDataLog()
{
    close();
}

bool TDataLog::open(const QString& path, bool append)
{
    close();
    error_ = 0;
    const QByteArray name = QFile::encodeName(path);
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    do {
        fd_ = ::open(name.constData(), flags, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
        error_ = errno;
        return false;
    }
    buffer_.reserve(kBufferSize);
    return true;
}

bool TDataLog::flush()
{
    const char* p = buffer_.constData();
    qsizetype left = buffer_.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, std::size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error_ = errno;
            buffer_.clear();
            return false;
        }
        p += n;
        left -= n;
    }
    buffer_.clear();
    return true;
}

bool TDataLog::close()
{
    if (fd_ < 0)
        return true;
    bool ok = flush();
    if (::close(fd_) != 0 && errno != EINTR) {
        if (ok)
            error_ = errno;
        ok = false;
    }
    fd_ = -1;
    return ok;
}

bool TDataLog::write(QByteArrayView text)
{
    if (fd_ < 0)
        return false;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype room = kBufferSize - buffer_.size();
        const qsizetype n = std::min(room, text.size() - pos);
        buffer_.append(text.data() + pos, n);
        pos += n;
        if (buffer_.size() == kBufferSize && !flush()) {
            const int err = error_;
            ::close(fd_);
            fd_ = -1;
            error_ = err;
            return false;
        }
    }
    return true;
}
