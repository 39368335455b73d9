#pragma once
// The window's close while the archive still has captures and journal rows to write: after
// a moment a small dialog says how many wait (and why, while the archive does not write),
// with a button to close without them.

#include "archive/ArchiveStore.h"

#include <QString>
#include <cstdint>

class QWidget;

// Closes the store, writing what waits until `deadlineMs` (milliseconds since the epoch; 0
// for no deadline) or until the operator gives up; returns what was not written.
ArchiveStore::Unstored closeArchiveShowingProgress(
    ArchiveStore& store, QWidget* parent, std::int64_t deadlineMs);

// "Архивът не съхрани N записа и M реда на журнала."
QString archiveUnstoredText(const ArchiveStore::Unstored& lost);
