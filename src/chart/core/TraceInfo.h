#pragma once
// What the scope knows of a trace besides its points: the capture it is, the event that
// started it, when and where it came, and its units. Also the texts made of them: the time
// as the window shows it, and the file name proposed for a picture or an export.

#include <QString>
#include <cstdint>

struct TTraceInfo {
    std::int64_t id = 0; // the capture's №; 0 while the live trace has none yet
    QString event; // the counted event that started it (RK1 … SUK); empty when none or unknown
    QString started; // UTC, ISO 8601 with milliseconds and a trailing Z, as the archive keeps it
    QString port;
    QString xUnit;
    QString yUnit;
};

namespace chartmath {

// Time units of the X axis; Unknown for a title that is none of them.
enum class TTimeUnit { Unknown, Micro, Milli, Second };

// "µS", "mS" (also the form's "ms") and "S".
TTimeUnit timeUnit(const QString& title);
// The factor that turns a time in `from` into `to`; 0 when either is unknown (and they differ).
double timeFactor(const QString& from, const QString& to);

// The start as the window shows it: local time, "dd.MM.yyyy HH:mm:ss"; the text itself when it
// is not an archive time.
QString startText(const QString& started);

// capture-<№>-<event>-<local start time>, e.g. capture-12-RK1-20261209-003105; a part that is
// not known is left out.
QString captureFileName(const TTraceInfo& info);

} // namespace chartmath
