#pragma once
// The device's record protocol: chunks of received text are assembled into lines at CR and
// every "W:" record found in a line updates read-outs, event counters, the scope samples or
// resets them, through a narrow view interface. No widgets here, so the parser is tested and
// measured on byte streams alone.

#include "common/Color.h"

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
// Order of the counters as the window shows them: RK1, RK2, RK3, CFK, SUK.
enum class TEvent { RK1, RK2, RK3, CFK, SUK };
inline constexpr int kEventCount = 5;

inline constexpr TColor kStateRed = 0x0000FF;
inline constexpr TColor kStateGreen = 0x008000;

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

    TRecordView& view_;
    std::string pending_;
    // The dropped head of the pending line held a "W:": the line is too long to be a record.
    bool pendingOverlong_ = false;
    std::array<std::uint16_t, kEventCount> counters_{};
    std::int32_t sampleCount_ = 0;
    std::int32_t timeScale_ = 1;
    std::vector<std::int32_t> samples_;
};
