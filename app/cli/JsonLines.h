#pragma once
// The lines orvik-cli record prints: one JSON object per line, for every journal row, every
// connection change and every capture stored. Times are the journal's: UTC, ISO 8601 with
// milliseconds and a trailing Z.
//
//   {"type":"journal","time":…,"kind":…,"subject":…,"value":…,"text":…}
//   {"type":"connection","time":…,"port":…,"state":opened|closed|lost|waiting|reconnected|
//    refused|failing,"text":…}
//   {"type":"capture","id":…,"started":…,"ended":…,"port":…,"points":…,"x_title":…,
//    "y_title":…,"event":…,"event_time":…}

#include "archive/ArchiveTypes.h"
#include "session/JournalRow.h"

#include <QByteArray>

QByteArray journalJson(const TJournalRow& row);
QByteArray captureJson(const CaptureRow& row);
