#pragma once
// The plain values that cross between the window and the archive's worker thread.

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

// One capture as the recorder hands it over: every point so far. `key` tells a capture of
// this run from the next, so a capture that grows after it was stored updates its entry.
// `growing` marks a copy written while the capture is still under way, before its end (a
// reset, the quiet spell, a close) was seen.
struct CaptureData {
    std::int64_t key = 0;
    bool growing = false;
    QString started; // UTC, ISO 8601 with milliseconds and a trailing Z
    QString ended;
    QString port;
    QString xTitle;
    QString yTitle;
    // The counted emergency event that started it (RK1, RK2, RK3, CFK, SUK), and that event's
    // time as the journal wrote it; both empty when none did.
    QString event;
    QString eventTime;
    QString note; // written with the first store only (an imported channel's name)
    // Empty for a capture of the live trace; a replayed one names the replay ("replay:" and
    // the recording's path). Written with the first store only.
    QString origin;
    std::vector<std::int64_t> x;
    std::vector<std::int32_t> y;

    std::size_t size() const { return x.size(); }
};

// A row of the captures table.
struct CaptureRow {
    std::int64_t id = 0;
    QString started;
    QString ended;
    QString port;
    QString xTitle;
    QString yTitle;
    std::int64_t points = 0;
    QString note;
    QString event;
    QString eventTime;
    // Its measures (see CaptureMeasures), once computed: a capture stored by an older version
    // gets them in the background after the file is opened. frequency is NaN when there are
    // fewer than two periods.
    bool measured = false;
    double peak = 0;
    double peakToPeak = 0;
    double rms = 0;
    double frequency = 0;
    QString origin = {}; // as CaptureData's
};

// A stored capture read back whole: its row and its points.
struct StoredCapture {
    CaptureRow row;
    std::vector<std::int64_t> x;
    std::vector<std::int32_t> y;
};

// A row of the journal table; `id` is 0 for a row not yet stored.
struct JournalRow {
    std::int64_t id = 0;
    QString time; // UTC, ISO 8601 with milliseconds and a trailing Z
    QString kind;
    QString subject;
    QString value;
    QString text;
    QString origin = {}; // as TJournalRow's: empty live, the replay it came from
};

// Comtrade: the 1999 revision, ASCII; Comtrade2013: the 2013 revision, BINARY32 (exact).
enum class ExportFormat { Csv, Comtrade, Comtrade2013 };

enum class ExportOutcome {
    Written,
    NotFound, // the capture was deleted meanwhile
    XNotIncreasing, // COMTRADE only: X goes backwards or below 0
    XStandsStill, // COMTRADE only: two points at the same X (a time scale of 0)
    WriteFailed,
};

struct ExportResult {
    std::int64_t id = 0;
    ExportFormat format = ExportFormat::Csv;
    QString path; // the file written (the .cfg for COMTRADE)
    ExportOutcome outcome = ExportOutcome::Written;
    QString error; // the system's text for WriteFailed
    // COMTRADE: samples the reader gets back only approximately, out of `points`, and the
    // largest difference among them.
    std::int64_t rounded = 0;
    std::int64_t points = 0;
    double largestError = 0;
};

// What a COMTRADE import did: the captures it stored, or why the record was refused.
struct ImportResult {
    QString path;
    QString error; // the line and field that broke the format; empty when imported
    QString damage; // the data was damaged and only its whole samples were read: why
    std::vector<std::int64_t> ids; // the captures made, one per analog channel with samples
    std::int64_t points = 0;
};

Q_DECLARE_METATYPE(CaptureData)
Q_DECLARE_METATYPE(ImportResult)
Q_DECLARE_METATYPE(CaptureRow)
Q_DECLARE_METATYPE(StoredCapture)
Q_DECLARE_METATYPE(JournalRow)
Q_DECLARE_METATYPE(ExportResult)
Q_DECLARE_METATYPE(std::vector<CaptureData>)
Q_DECLARE_METATYPE(std::vector<CaptureRow>)
Q_DECLARE_METATYPE(std::vector<JournalRow>)
Q_DECLARE_METATYPE(std::vector<std::int64_t>)
