// Records per second through Memo1StrRecieved of a shown window: a pty peer writes the
// records and takes the "OK" answers, the window runs on the offscreen platform.
#include "console/MainUnit.h"
#include "serial/ComPort.h"

#include <QApplication>
#include <QTemporaryDir>
#include <atomic>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

void BM_WindowRecords(benchmark::State& state)
{
    QTemporaryDir dir;
    TForm1 form(dir.path());
    form.ErrorReport = [](const QString&) {};
    form.show();
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    form.ComPort1->SetPort(QString::fromLocal8Bit(ptsname(master)));
    form.ComPort1->OpenPort();

    const int records = int(state.range(0));
    QByteArray stream;
    for (int i = 0; i < records; ++i)
        stream += (i % 4 == 3) ? QByteArray("W:ST10;12;15;-3;*\r")
                               : "W:VA-" + QByteArray::number(i % 300) + "/3\r";

    std::atomic<long> answers{0};
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        char buf[65536];
        while (!stop) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
                const ssize_t n = ::read(master, buf, sizeof buf);
                for (ssize_t i = 0; i < n; ++i)
                    answers += buf[i] == '\n';
            }
        }
    });

    for (auto _ : state) {
        // Answers are the echo's and the port's LF: count the port's only, one per record.
        const long target = answers + records;
        std::thread writer([&] {
            qsizetype at = 0;
            while (at < stream.size()) {
                const ssize_t n = ::write(
                    master, stream.constData() + at, size_t(std::min<qsizetype>(4096, stream.size() - at)));
                if (n > 0)
                    at += n;
                else
                    usleep(100);
            }
        });
        while (answers < target)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        writer.join();
        form.Button19Click();
    }
    stop = true;
    reader.join();
    form.ComPort1->ClosePort();
    ::close(master);
    state.counters["records/s"]
        = benchmark::Counter(double(records) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WindowRecords)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
