#pragma once
// `orvik-cli replay`: a session recording fed through the parser again, at its own pace, a
// multiple of it or as fast as it goes. The journal's and the recorder's clock stand at each
// entry's recorded time, so the captures and rows stored equal those of the recorded
// session; the answers go nowhere (the replay's transport is never open).

#include "CliSettings.h"
#include "session/SessionRecording.h"

#include <QString>
#include <cstdio>

struct TReplayOptions {
    QString path;
    double speed = 1; // 0: as fast as it goes
};

// Stores into the archive of `settings` and prints the JSON lines of record to out; the exit
// status (0, 1 nothing to replay or not all written, 2 the file cannot be read).
int runReplay(const TReplayOptions& options, TCliSettings settings, std::FILE* out, std::FILE* err);
