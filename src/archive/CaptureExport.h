#pragma once
// The two export formats of a capture: CSV for everyone, COMTRADE (IEEE C37.111-1999, ASCII,
// one analog channel) for power-system analysis programs.

#include "archive/ArchiveTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

// UTF-8; header "k,x [<X title>],y [<Y title>]", then one line per point.
QByteArray captureCsv(const StoredCapture& capture);

struct ComtradeFiles {
    QByteArray cfg;
    QByteArray dat;
};

// Both files of a capture, or nothing when its X goes backwards or below 0 (COMTRADE time
// stamps only grow). `start` is the local time of the first sample written into the .cfg.
std::optional<ComtradeFiles> captureComtrade(const StoredCapture& capture, const QDateTime& start);

// Microseconds per unit of X for a bottom-axis title; an unknown unit counts as 1.
std::int64_t microsecondsPerX(const QString& xTitle);

// Writes the file(s); the system's error text on failure, empty on success. For COMTRADE
// `path` is NAME.cfg and NAME.dat goes beside it.
QString writeFileAtomically(const QString& path, const QByteArray& bytes);
ExportResult exportCapture(const StoredCapture& capture, ExportFormat format, const QString& path);
