#pragma once
// The export formats of a capture: CSV for everyone, COMTRADE (IEEE C37.111, one analog
// channel) for power-system analysis programs: the 1999 revision in ASCII, whose 5-digit
// samples are scaled to fit, and the 2013 revision in BINARY32, which keeps every sample.

#include "archive/ArchiveTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

// UTF-8, CR LF; header "k,x [<X title>],y [<Y title>]", then one line per point.
QByteArray captureCsv(const StoredCapture& capture);

struct ComtradeFiles {
    QByteArray cfg;
    QByteArray dat;
    // Samples that a × stored + b gives back only approximately, and the largest difference.
    std::int64_t rounded = 0;
    double largestError = 0;
};

// Why a capture cannot be written as COMTRADE, whose time stamps only grow: XNotIncreasing
// when its X goes backwards or below 0, XStandsStill when two points share an X (a time
// scale of 0). Nothing when it can be written.
std::optional<ExportOutcome> comtradeRefusal(const StoredCapture& capture);

// Both files of a capture in `format` (Comtrade or Comtrade2013), or nothing when refused.
// `start` is the local time of the first sample written into the .cfg.
std::optional<ComtradeFiles> captureComtrade(
    const StoredCapture& capture, const QDateTime& start, ExportFormat format = ExportFormat::Comtrade);

// Microseconds per unit of X for a bottom-axis title; an unknown unit counts as 1.
std::int64_t microsecondsPerX(const QString& xTitle);

// Writes the file(s); the system's error text on failure, empty on success. For COMTRADE
// `path` is NAME.cfg and NAME.dat goes beside it.
QString writeFileAtomically(const QString& path, const QByteArray& bytes);
ExportResult exportCapture(const StoredCapture& capture, ExportFormat format, const QString& path);
