#pragma once
// A COMTRADE record's analog channels as archive captures: times in microseconds from the
// record's start (with each channel's skew), values on the primary side in whole numbers of the
// channel's unit, or of a prefixed unit when the file's step is finer (see comtradeScale).

#include "archive/ArchiveTypes.h"
#include "archive/ComtradeReader.h"

// The capture of analog channel `channel`; its missing samples are left out. No points when
// every sample is missing.
CaptureData comtradeCapture(const ComtradeRecord& record, std::size_t channel);
