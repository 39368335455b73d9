#include "console/core/TerminationSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int pipeFds[2] = {-1, -1};

extern "C" void onSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds a request; nothing more is needed.
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &number, 1);
    errno = saved;
}

void closePipe()
{
    for (int& fd : pipeFds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

} // namespace

TTerminationSignals::TTerminationSignals(QObject* parent)
    : QObject(parent)
{
    if (pipeFds[0] >= 0 || ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TTerminationSignals::readPipe);
    struct sigaction action { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Blocking calls elsewhere go on; the event loop sees the pipe.
    action.sa_flags = SA_RESTART;
    installed_ = true;
    for (int s : kSignals)
        installed_ = ::sigaction(s, &action, nullptr) == 0 && installed_;
}

TTerminationSignals::~TTerminationSignals()
{
    if (!notifier_)
        return;
    for (int s : kSignals)
        std::signal(s, SIG_DFL);
    notifier_.reset();
    closePipe();
}

void TTerminationSignals::readPipe()
{
    unsigned char numbers[16];
    for (;;) {
        const ssize_t n = ::read(pipeFds[0], numbers, sizeof numbers);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i)
            emit Received(numbers[i]);
    }
}
