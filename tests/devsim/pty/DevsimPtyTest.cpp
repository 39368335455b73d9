// The simulator program over a real pseudo-terminal, driven by a peer that plays the
// console: it answers "OK" as the protocol asks (or, on purpose, does not).

#include "Reference.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(20); // generous: the machine is shared

int remainingMs(Clock::time_point until)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return ms < 0 ? 0 : static_cast<int>(ms);
}

// The simulator as a child process with its standard output on a pipe.
class Devsim {
public:
    explicit Devsim(std::vector<std::string> args)
    {
        int out[2];
        if (pipe(out) != 0)
            return;
        args.insert(args.begin(), ORVIK_DEVSIM_PATH);
        args.push_back("--quiet");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
        // The first line names the console's end.
        const auto until = Clock::now() + kDeadline;
        while (stdout_.find('\n') == std::string::npos && readSome(until)) { }
        const auto nl = stdout_.find('\n');
        if (nl != std::string::npos && stdout_.rfind("PORT ", 0) == 0)
            port_ = stdout_.substr(5, nl - 5);
        stdout_.erase(0, nl == std::string::npos ? 0 : nl + 1);
    }
    ~Devsim()
    {
        if (pid_ > 0 && status_ < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            close(out_);
    }

    const std::string& port() const { return port_; }
    void signal(int sig) { kill(pid_, sig); }

    // Reads the rest of its output and its exit code; -1 if it did not end in time.
    int finish()
    {
        const auto until = Clock::now() + kDeadline;
        while (readSome(until)) { }
        if (remainingMs(until) == 0)
            return -1;
        int st = 0;
        waitpid(pid_, &st, 0);
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128;
        return status_;
    }
    QJsonObject figures() const
    {
        return QJsonDocument::fromJson(QByteArray::fromStdString(stdout_)).object();
    }
    const std::string& output() const { return stdout_; }

private:
    bool readSome(Clock::time_point until)
    {
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, remainingMs(until)) <= 0)
            return false;
        char buf[4096];
        const ssize_t n = read(out_, buf, sizeof buf);
        if (n <= 0)
            return false;
        stdout_.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = -1;
    std::string port_, stdout_;
};

// The console's side of the line.
class Peer {
public:
    enum class Mode { Protocol, Silent, EveryLine };

    explicit Peer(const std::string& port, Mode mode = Mode::Protocol)
        : mode_(mode)
    {
        fd_ = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ >= 0) {
            termios t{};
            tcgetattr(fd_, &t);
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Peer() { closeLine(); }
    bool ok() const { return fd_ >= 0; }
    void closeLine()
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }
    void send(const std::string& s)
    {
        ASSERT_EQ(write(fd_, s.data(), s.size()), static_cast<ssize_t>(s.size()));
    }

    // Reads and answers until `done` holds or the line hangs up; false on the deadline.
    template <typename Done> bool serve(Done done)
    {
        const auto until = Clock::now() + kDeadline;
        while (!done()) {
            if (hungUp_)
                return true;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, remainingMs(until)) <= 0)
                return false;
            char buf[4096];
            const ssize_t n = read(fd_, buf, sizeof buf);
            if (n < 0 && errno == EAGAIN)
                continue;
            if (n <= 0) {
                hungUp_ = true; // EIO: the simulator closed its end
                continue;
            }
            ++reads_;
            received_.append(buf, static_cast<std::size_t>(n));
            if (received_.back() != '\r')
                ++splitReads_;
            for (std::size_t cr; (cr = received_.find('\r', consumed_)) != std::string::npos;
                 consumed_ = cr + 1) {
                lines_.push_back(received_.substr(consumed_, cr - consumed_));
                const int owed = reference::read(lines_.back()).answers;
                owed_ += owed;
                const int answers = mode_ == Mode::Protocol ? owed : mode_ == Mode::EveryLine ? 1 : 0;
                for (int i = 0; i < answers; ++i)
                    send("OK\r\n");
                answered_ += answers;
            }
        }
        return true;
    }
    bool waitReadable()
    {
        pollfd p{fd_, POLLIN, 0};
        return poll(&p, 1, remainingMs(Clock::now() + kDeadline)) == 1;
    }
    bool serveUntilHangup()
    {
        return serve([&] { return hungUp_; });
    }

    const std::vector<std::string>& lines() const { return lines_; }
    std::string tail() const { return received_.substr(consumed_); }
    int owed() const { return owed_; }
    int answered() const { return answered_; }
    int splitReads() const { return splitReads_; }
    bool hungUp() const { return hungUp_; }

private:
    Mode mode_;
    int fd_ = -1;
    std::string received_;
    std::size_t consumed_ = 0;
    std::vector<std::string> lines_;
    int owed_ = 0, answered_ = 0, reads_ = 0, splitReads_ = 0;
    bool hungUp_ = false;
};

int num(const QJsonObject& o, const char* a, const char* b = nullptr)
{
    return b ? o[a].toObject()[b].toInt(-1) : o[a].toInt(-1);
}

const std::vector<std::string> kFast = {"--start-delay", "0", "--json", "--seed", "5"};

std::vector<std::string> args(std::vector<std::string> more)
{
    more.insert(more.end(), kFast.begin(), kFast.end());
    return more;
}

TEST(DevsimPty, AnsweredRunMatchesTheRecordLog)
{
    const std::string logPath
        = testing::TempDir() + "devsim-record-log-" + std::to_string(getpid()) + ".jsonl";
    Devsim sim(args({"--count", "40", "--rate", "400", "--mix", "va=3,tr=3,burst=1,rs=1", "--events", "0.5",
        "--malformed", "0.2", "--record-log", logPath}));
    ASSERT_FALSE(sim.port().empty());
    Peer peer(sim.port());
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(peer.serveUntilHangup());
    ASSERT_EQ(sim.finish(), 0) << sim.output();
    const auto f = sim.figures();
    EXPECT_EQ(f["end"].toString(), "count");
    EXPECT_EQ(num(f, "lines"), 40);
    EXPECT_EQ(peer.lines().size(), 40u);
    EXPECT_EQ(num(f, "answers", "expected"), peer.owed());
    EXPECT_EQ(num(f, "answers", "received"), peer.owed());
    EXPECT_EQ(num(f, "answers", "missing"), 0);
    EXPECT_EQ(num(f, "answers", "unexpected"), 0);
    EXPECT_EQ(num(f, "rtt_us", "count"), peer.owed());
    EXPECT_GT(num(f, "rtt_us", "median"), 0);
    EXPECT_GE(num(f, "rtt_us", "p99"), num(f, "rtt_us", "median"));
    EXPECT_GT(peer.splitReads(), 5); // records reached the peer in pieces

    // The record log holds exactly the lines the peer read, bytes above 0x7F included.
    std::ifstream log(logPath);
    std::vector<std::string> logged;
    for (std::string entry; std::getline(log, entry);) {
        const auto e = QJsonDocument::fromJson(QByteArray::fromStdString(entry)).object();
        ASSERT_FALSE(e.isEmpty()) << entry;
        if (e["ev"].toString() == "record") {
            logged.push_back(e["line"].toString().toLatin1().toStdString());
            EXPECT_EQ(e["expect"].toInt(), reference::read(logged.back()).answers);
        }
    }
    EXPECT_EQ(logged, peer.lines());
    std::remove(logPath.c_str());
}

TEST(DevsimPty, SilentPeerLeavesEveryAnswerMissing)
{
    Devsim sim(
        args({"--count", "5", "--rate", "1000", "--mix", "va=1,tr=0,burst=0", "--answer-timeout", "30"}));
    Peer peer(sim.port(), Peer::Mode::Silent);
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(peer.serveUntilHangup());
    ASSERT_EQ(sim.finish(), 1) << sim.output();
    const auto f = sim.figures();
    EXPECT_EQ(num(f, "answers", "expected"), 5);
    EXPECT_EQ(num(f, "answers", "missing"), 5);
    EXPECT_EQ(num(f, "answers", "received"), 0);
}

TEST(DevsimPty, AnswersToUnansweredRecordsAreUnexpected)
{
    // Only W:TR.../RK0, which the console must not answer; this peer answers every line.
    Devsim sim(args({"--count", "5", "--rate", "1000", "--mix", "va=0,tr=1,burst=0", "--events", "0",
        "--linger", "500"}));
    Peer peer(sim.port(), Peer::Mode::EveryLine);
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(peer.serveUntilHangup());
    ASSERT_EQ(sim.finish(), 1) << sim.output();
    const auto f = sim.figures();
    EXPECT_EQ(num(f, "answers", "expected"), 0);
    EXPECT_EQ(num(f, "answers", "unexpected"), 5);
}

TEST(DevsimPty, HangsUpAfterNLinesOrInsideTheNext)
{
    for (const bool mid : {false, true}) {
        SCOPED_TRACE(mid ? "mid-record" : "after the CR");
        auto a = args({"--hangup-after", "4", "--rate", "1000", "--chunk-max", "6"});
        if (mid)
            a.push_back("--hangup-mid");
        Devsim sim(a);
        Peer peer(sim.port());
        ASSERT_TRUE(peer.ok());
        ASSERT_TRUE(peer.serveUntilHangup());
        EXPECT_TRUE(peer.hungUp());
        ASSERT_EQ(sim.finish(), 0) << sim.output();
        const auto f = sim.figures();
        EXPECT_EQ(f["end"].toString(), "hangup");
        EXPECT_EQ(num(f, "lines"), 4);
        EXPECT_EQ(peer.lines().size(), 4u);
        EXPECT_EQ(mid, !peer.tail().empty()) << peer.tail();
        EXPECT_EQ(
            num(f, "answers", "received") + num(f, "answers", "abandoned"), num(f, "answers", "expected"));
    }
}

TEST(DevsimPty, CommandsAndPeerClose)
{
    Devsim sim(args({"--rate", "0"}));
    Peer peer(sim.port());
    ASSERT_TRUE(peer.ok());
    peer.send("RESTART\r\n");
    ASSERT_TRUE(peer.serve([&] { return peer.lines().size() >= 1; }));
    EXPECT_EQ(peer.lines()[0], "W:RS+RALL");
    peer.send("DIAGNOSTIC\r");
    ASSERT_TRUE(peer.serve([&] { return peer.lines().size() >= 8; }));
    peer.send("t\xB0"
              "C\n");
    ASSERT_TRUE(peer.serve([&] { return peer.lines().size() >= 9; }));
    EXPECT_EQ(peer.lines()[8].substr(peer.lines()[8].size() - 4), "/RK0");
    peer.send("HELLO\r\n");
    // Wait until the simulator has taken the last answer: it answers TR.../RK0 with nothing,
    // so ask for one more record and wait for that.
    peer.send("VCC\r\n");
    ASSERT_TRUE(peer.serve([&] { return peer.lines().size() >= 10; }));
    peer.closeLine();
    ASSERT_EQ(sim.finish(), 0) << sim.output();
    const auto f = sim.figures();
    EXPECT_EQ(f["end"].toString(), "peer-closed");
    EXPECT_EQ(num(f, "commands", "RESTART"), 1);
    EXPECT_EQ(num(f, "commands", "DIAGNOSTIC"), 1);
    EXPECT_EQ(num(f, "commands", "TEMP"), 1);
    EXPECT_EQ(num(f, "unknown_lines"), 1);
    EXPECT_EQ(num(f, "events", "SUK"), 1);
    EXPECT_EQ(num(f, "answers", "unexpected"), 0);
    EXPECT_EQ(num(f, "answers", "received") + num(f, "answers", "abandoned"), num(f, "answers", "expected"));
}

TEST(DevsimPty, ReconnectWaitsForTheConsoleAgain)
{
    Devsim sim(args({"--rate", "200", "--reconnect", "--count", "12"}));
    {
        Peer first(sim.port());
        ASSERT_TRUE(first.ok());
        ASSERT_TRUE(first.serve([&] { return first.lines().size() >= 3; }));
        // Leave the next bytes unread in the line: they must not reach the next console.
        ASSERT_TRUE(first.waitReadable());
    }
    Peer second(sim.port());
    ASSERT_TRUE(second.ok());
    ASSERT_TRUE(second.serveUntilHangup());
    ASSERT_EQ(sim.finish(), 0) << sim.output();
    const auto f = sim.figures();
    EXPECT_EQ(f["end"].toString(), "count");
    EXPECT_EQ(num(f, "lines"), 12); // lines lost with the first console are made up again
    EXPECT_GE(second.lines().size(), 12u - 3u - 1u);
    for (const auto& line : second.lines())
        EXPECT_EQ(line.rfind("W:", 0) == 0 && line.find("W:", 1) == std::string::npos, true) << line;
    EXPECT_EQ(num(f, "answers", "unexpected"), 0);
    EXPECT_EQ(num(f, "answers", "missing"), 0);
}

TEST(DevsimPty, TerminationSignalPrintsTheFigures)
{
    Devsim sim(args({"--rate", "200"}));
    Peer peer(sim.port());
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(peer.serve([&] { return peer.lines().size() >= 5; }));
    sim.signal(SIGTERM);
    ASSERT_TRUE(peer.serveUntilHangup());
    ASSERT_EQ(sim.finish(), 0) << sim.output();
    const auto f = sim.figures();
    EXPECT_EQ(f["end"].toString(), "signal");
    EXPECT_GE(num(f, "lines"), 5);
    EXPECT_EQ(num(f, "answers", "missing"), 0);
}

TEST(DevsimPty, FloodStillMatchesEveryAnswer)
{
    Devsim sim(args({"--flood", "--count", "3000", "--answer-timeout", "10000", "--events", "0.3"}));
    Peer peer(sim.port());
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(peer.serveUntilHangup());
    ASSERT_EQ(sim.finish(), 0) << sim.output();
    const auto f = sim.figures();
    EXPECT_EQ(num(f, "lines"), 3000);
    EXPECT_EQ(num(f, "answers", "received"), peer.owed());
    EXPECT_EQ(num(f, "answers", "unexpected"), 0);
}

TEST(DevsimPty, BadOptionIsAUsageError)
{
    Devsim sim({"--rate", "fast"});
    EXPECT_TRUE(sim.port().empty());
    EXPECT_EQ(sim.finish(), 2);
}

} // namespace
