#pragma once
// The far end of a pseudo-terminal, standing in for the device: the port under test opens the
// slave by its path; the test writes and reads the master.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

class PtyDevice {
public:
    PtyDevice()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return;
        slave_ = QString::fromLocal8Bit(ptsname(master_));
        termios tio{};
        if (tcgetattr(master_, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(master_, TCSANOW, &tio);
        }
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~PtyDevice()
    {
        if (master_ >= 0)
            close(master_);
    }
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    bool ok() const { return master_ >= 0 && !slave_.isEmpty(); }
    const QString& slavePath() const { return slave_; }

    void send(const QByteArray& bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
            } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
                return;
            } else if (n < 0 && errno == EAGAIN) {
                pollfd p{master_, POLLOUT, 0};
                poll(&p, 1, 100);
            }
        }
    }

    // Everything the port wrote so far (non-blocking).
    QByteArray drain()
    {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0)
                received_.append(buf, n);
            else if (n < 0 && errno == EINTR)
                continue;
            else
                break;
        }
        return received_;
    }
    void clearReceived() { received_.clear(); }

private:
    int master_ = -1;
    QString slave_;
    QByteArray received_;
};

// Runs the event loop until the condition holds or the deadline passes.
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        usleep(1000);
    }
    return true;
}
