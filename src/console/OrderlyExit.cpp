#include "console/OrderlyExit.h"

#include "console/MainUnit.h"
#include "serial/ComPort.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kArchiveMarginMs = 500;

void toStandardError(const QString& message)
{
    const QByteArray line
        = (QCoreApplication::applicationName() + QStringLiteral(": ") + message).toLocal8Bit();
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
}

} // namespace

TOrderlyExit::TOrderlyExit(TForm1& mainWindow, int deadlineMs)
    : QObject(&mainWindow)
    , Report(toStandardError)
    , form_(mainWindow)
    , deadlineMs_(deadlineMs)
{
}

TOrderlyExit::~TOrderlyExit()
{
    {
        std::lock_guard lock(lastResortMutex_);
        cancelled_ = true;
    }
    lastResortCancelled_.notify_all();
    if (lastResort_.joinable())
        lastResort_.join();
}

void TOrderlyExit::Request(int)
{
    if (requested_)
        return;
    requested_ = true;
    startedMs_ = QDateTime::currentMSecsSinceEpoch();
    // The archive writes its backlog until shortly before the deadline, leaving the rest of
    // the close its time.
    form_.CloseDeadline = startedMs_ + deadlineMs_ - kArchiveMarginMs;
    // Nobody is left to answer a message box.
    form_.ErrorReport = [this](const QString& message) { Report(message); };
    TCustomComPort::SetErrorReporter(
        [this](const std::exception& e) { Report(QString::fromUtf8(e.what())); });
    // The last resort, should the event loop itself be held: the process ends a second
    // after the deadline unless this object is gone by then.
    lastResort_ = std::thread([this, ms = deadlineMs_ + 1000] {
        std::unique_lock lock(lastResortMutex_);
        if (lastResortCancelled_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return cancelled_; }))
            return;
        static const char message[] = "Orvik: did not end in time\n";
        [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, message, sizeof message - 1);
        ::_exit(1);
    });
    timer_ = new QTimer(this);
    timer_->setInterval(10);
    connect(timer_, &QTimer::timeout, this, &TOrderlyExit::step);
    timer_->start();
    step();
}

void TOrderlyExit::step()
{
    if (finished_)
        return;
    if (QDateTime::currentMSecsSinceEpoch() - startedMs_ >= deadlineMs_) {
        Report(QStringLiteral("a dialog or loop did not end in time; closing from where it stands"));
        finish();
        return;
    }
    if (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        return;
    }
    // A dialog's loop that was told to end returns on its next pass; the handler that ran
    // it finishes before the window closes underneath it.
    if (QThread::currentThread()->loopLevel() > 1)
        return;
    finish();
}

void TOrderlyExit::finish()
{
    finished_ = true;
    timer_->stop();
    form_.close();
    QCoreApplication::exit(0);
}
