#pragma once
// The device's record protocol: chunks of received text are assembled into lines at CR and
// every "W:" record found in a line updates read-outs, event counters, the scope samples or
// resets them, through a narrow view interface. No widgets here, so the parser is tested and
// measured on byte streams alone.

#include "common/Color.h"
#include "session/EventKinds.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

enum class TReadout { Voltage, Current, Temperature };
enum class TLimit { Voltage, Current, Temperature };
inline constexpr TColor kStateRed = 0x0000FF;
inline constexpr TColor kStateGreen = 0x008000;

// Why a line was not (fully) taken or answered; several may apply to one line.
enum class TLineReason : std::uint32_t {
    NoRecord = 1u << 0, // no "W:" in the line
    UnknownType = 1u << 1, // "W:" followed by no known record type
    NoEvent = 1u << 2, // a TR record whose event name counts nothing (RK0)
    BadNumber = 1u << 3, // a number or limit could not be read; see TLineOutcome::badFields
    NoSubCommand = 1u << 4, // an RS record without a known reset
    StoreFull = 1u << 5, // samples beyond the store were dropped
    TooLong = 1u << 6, // the line outgrew the receive buffer and was dropped
};

// The fields whose number could not be read.
enum class TLineField : std::uint32_t {
    Temperature = 1u << 0,
    Voltage = 1u << 1,
    Current = 1u << 2,
    TimeScale = 1u << 3,
    Sample = 1u << 4,
    TempLimit = 1u << 5,
    VoltageLimit = 1u << 6,
    CurrentLimit = 1u << 7,
};

enum class TResetKind { Counters, Readouts, Scope };

// What became of one line ended by CR, reported once per line after it was handled. The
// views point into the line and are valid during the call only.
struct TLineOutcome {
    struct Reading {
        TReadout which;
        std::string_view text;
        std::int32_t value;
        std::int32_t limit;
        bool red;
    };
    std::string_view type; // the two type characters; empty without a record
    int answers = 0; // "OK"s sent for the line
    // The device waits for an answer: VA, SC and ST always, TR with a counted event, RS with
    // a known reset. A TR with RK0 or another name is owed none.
    bool owed = false;
    std::uint32_t reasons = 0; // TLineReason bits
    std::uint32_t badFields = 0; // TLineField bits
    int badSample = 0; // number (from 1, within the record) of the unreadable sample
    std::optional<TEvent> event; // the event counted
    std::string_view eventName; // the event name of a TR record
    std::string_view temperature; // a TR record's temperature text
    // Read-outs compared against their limits, in the order they were coloured.
    std::array<Reading, 3> readings{};
    int readingCount = 0;
    // Resets a record asked for, in the order they ran.
    std::array<TResetKind, 6> resets{};
    int resetCount = 0;

    bool answered() const { return answers > 0; }
    bool unanswered() const { return owed && answers == 0; }
    bool has(TLineReason r) const { return reasons & std::uint32_t(r); }
    bool isRecord() const
    {
        return !has(TLineReason::NoRecord) && !has(TLineReason::UnknownType) && !has(TLineReason::TooLong);
    }
};

// What the parser needs from the window. Every call happens inside TRecordParser::feed or
// one of the resets, on the caller's thread.
class TRecordView {
public:
    virtual ~TRecordView() = default;
    // Shown text of a limit edit; read as a whole number by the parser.
    virtual QByteArray limitText(TLimit which) const = 0;
    virtual void setReadoutText(TReadout which, QByteArrayView text) = 0;
    virtual void setReadoutColor(TReadout which, TColor color) = 0;
    virtual void setCounter(TEvent which, std::uint16_t value, TColor background) = 0;
    // A counted emergency event: bring the window back and show the scope page.
    virtual void eventCounted() = 0;
    virtual void setLeftAxisTitle(const QString& title) = 0;
    virtual void setBottomAxisTitle(const QString& title) = 0;
    virtual void addPoint(double x, double y) = 0;
    // Remove every point of the series and undo the chart's zoom.
    virtual void clearScope() = 0;
    // An answer to the device ("OK"), sent before the parser goes on.
    virtual void send(const QByteArray& text) = 0;
    // Every line ended by CR, once handled (the line inspector and the journal use it).
    virtual void lineOutcome(const TLineOutcome& outcome) { (void)outcome; }
};

// Field N (from 1) of S, fields separated by "*" or ";". With fewer separators than N - 1
// the result is the text after the last separator.
QByteArray GetStr(QByteArrayView s, int n);

// A whole number as the device and the limit edits write it: optional blanks, optional
// sign, decimal digits or "$"/"0x" hexadecimal; nothing may follow; 32-bit range (hex
// up to 8 digits, taken as the 32-bit pattern).
std::optional<std::int32_t> parseWholeNumber(std::string_view text);

class TRecordParser {
public:
    static constexpr int kSampleCapacity = 10003;
    // An incomplete line longer than this cannot be a record (a full ST record is about
    // 120 KB); its head is dropped so that a device that never sends CR cannot grow memory.
    static constexpr std::size_t kMaxPendingLine = 1024 * 1024;

    explicit TRecordParser(TRecordView& view);

    // Takes one received chunk; processes every line completed by a CR.
    void feed(QByteArrayView chunk);

    // Forgets a line not yet ended by CR (the connection it came on has closed).
    void dropPartialLine();

    void resetCounters();
    void resetReadouts();
    void resetScope();

    std::uint16_t counter(TEvent which) const { return counters_[std::size_t(which)]; }
    std::int32_t sampleCount() const { return sampleCount_; }
    // Sample k, numbered from 1 to sampleCount().
    std::int32_t sample(int k) const { return samples_[std::size_t(k - 1)]; }
    std::int32_t timeScale() const { return timeScale_; }
    // Bytes held back for a line not yet ended by CR.
    std::size_t pendingBytes() const { return pending_.size(); }

private:
    void processLine(std::string_view line);
    void processRecord(std::string_view record);
    void doTR(std::string_view body);
    void doVA(std::string_view body);
    void doSC(std::string_view body);
    void doST(std::string_view body);
    void doRS(std::string_view body);
    std::optional<std::int32_t> limit(TLimit which) const;
    void countEvent(TEvent which);
    void appendPending(std::string_view part);
    void bad(TLineField field);
    void sendOk();
    void noteReading(TReadout which, std::string_view text, std::int32_t value, std::int32_t limit, bool red);
    void noteReset(TResetKind kind);

    TRecordView& view_;
    std::string pending_;
    // The dropped head of the pending line held a "W:": the line is too long to be a record.
    bool pendingOverlong_ = false;
    std::array<std::uint16_t, kEventCount> counters_{};
    std::int32_t sampleCount_ = 0;
    std::int32_t timeScale_ = 1;
    std::vector<std::int32_t> samples_;
    // The line being handled; null outside a line.
    TLineOutcome* outcome_ = nullptr;
};
