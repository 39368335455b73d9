#pragma once
// A program run by a test, its standard output read through a pipe while the test's event
// loop keeps running.
//
// A plain fork and exec rather than QProcess: QProcess starts the child with a clone that
// shares the parent's memory until the exec, and ThreadSanitizer's bookkeeping after that
// clone then forgets the locks the port's threads already hold, reporting races on data
// they guard. A real fork keeps the parent's state apart.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess()
    {
        terminate();
        finished(5000);
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            reap(true);
        }
        if (out_ >= 0)
            ::close(out_);
    }

    // Starts the program; false when it cannot be run.
    bool start(const QString& program, const QStringList& args)
    {
        std::vector<std::string> owned{program.toStdString()};
        for (const QString& a : args)
            owned.push_back(a.toStdString());
        std::vector<char*> argv;
        for (std::string& s : owned)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        if (::access(argv[0], X_OK) != 0)
            return false;
        // Both ends close on exec: another child started later must not hold this pipe.
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only calls that are safe between fork and exec.
            ::dup2(fds[1], STDOUT_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        if (pid_ < 0) {
            ::close(fds[0]);
            return false;
        }
        out_ = fds[0];
        ::fcntl(out_, F_SETFL, ::fcntl(out_, F_GETFL) | O_NONBLOCK);
        return true;
    }

    // The next line of its output without the line end, waiting up to ms for it.
    bool readLine(QByteArray& line, int ms = 10000)
    {
        const bool got
            = waitUntil([&] { return buffer_.contains('\n') || (eof_ && !buffer_.isEmpty()); }, ms);
        if (!got)
            return false;
        qsizetype end = buffer_.indexOf('\n');
        if (end < 0)
            end = buffer_.size();
        line = buffer_.left(end);
        buffer_.remove(0, std::min(end + 1, buffer_.size()));
        return true;
    }
    // Everything it printed that was not read as a line.
    QByteArray readAll()
    {
        pump();
        QByteArray all = buffer_;
        buffer_.clear();
        return all;
    }

    bool running()
    {
        reap(false);
        return pid_ > 0;
    }
    // Waits up to ms for it to end (its output is gathered meanwhile).
    bool finished(int ms = 60000)
    {
        return waitUntil([&] { return !running(); }, ms);
    }
    void terminate()
    {
        if (running())
            ::kill(pid_, SIGTERM);
    }
    int exitCode() const { return exitCode_; }
    pid_t pid() const { return pid_; }

private:
    template <class Done> bool waitUntil(Done done, int ms)
    {
        QElapsedTimer t;
        t.start();
        for (;;) {
            pump();
            if (done())
                return true;
            if (t.elapsed() >= ms)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (out_ >= 0 && !eof_) {
                pollfd p{out_, POLLIN, 0};
                ::poll(&p, 1, 1);
            }
        }
    }
    void pump()
    {
        if (out_ < 0 || eof_)
            return;
        char buf[65536];
        for (;;) {
            const ssize_t n = ::read(out_, buf, sizeof buf);
            if (n > 0) {
                buffer_.append(buf, n);
                continue;
            }
            if (n == 0)
                eof_ = true;
            else if (errno == EINTR)
                continue;
            return;
        }
    }
    void reap(bool block)
    {
        if (pid_ <= 0)
            return;
        int status = 0;
        pid_t r;
        do
            r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
        while (r < 0 && errno == EINTR);
        if (r == pid_ || r < 0) {
            exitCode_ = r == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            pid_ = -1;
            pump();
        }
    }

    pid_t pid_ = -1;
    int out_ = -1;
    bool eof_ = false;
    QByteArray buffer_;
    int exitCode_ = -1;
};
