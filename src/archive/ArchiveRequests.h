#pragma once
// Every request the window and the command line make of the archive, in one table, with the
// answer the archive's thread gives it. A request is handled by ArchiveWorker::run(const R&)
// (the compiler checks each has one) and travels the store's ordered queue; its answer comes
// back as the store's `answered` signal, which onArchiveAnswer<A> picks one kind from.
// Adding a request: a struct here, its place in ArchiveRequest, and its run().

#include "archive/ArchiveTypes.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <type_traits>
#include <variant>
#include <vector>

// ---- Answers. Some also come unasked: trimming to Keep removes captures, the background
// measuring of older captures and the store of captures and rows tell what they stored.

struct ArchiveOpened {
    QString path;
};
// The rows of one committed batch; `firstIds` those stored complete (not growing) for the
// first time.
struct CapturesStored {
    std::vector<CaptureRow> rows;
    std::vector<std::int64_t> firstIds;
};
struct CapturesListed {
    std::vector<CaptureRow> rows;
};
struct CapturesRemoved {
    std::vector<std::int64_t> ids;
};
struct CaptureLoaded {
    StoredCapture capture;
    int purpose = 0;
};
// The rows as stored (with their ids), or an empty list when they could not be.
struct JournalAppended {
    std::vector<JournalRow> rows;
    int handed = 0;
};
struct JournalQueried {
    std::vector<JournalRow> rows;
    std::int64_t tag = 0;
};
// `error` empty when the file was written.
struct JournalExported {
    std::int64_t tag = 0;
    QString path;
    QString error;
    std::int64_t rows = 0;
};

using ArchiveAnswer = std::variant<ArchiveOpened, CapturesStored, CapturesListed, CapturesRemoved,
    CaptureLoaded, ExportResult, ImportResult, JournalAppended, JournalQueried, JournalExported>;

// The journal's CSV of one page of rows, oldest first; the first page with the header.
using JournalCsv = std::function<QByteArray(const std::vector<JournalRow>& rows, bool first)>;

// ---- Requests: their arguments and (as Answer) what answers them.

// Opens the file; the store makes this one itself (ArchiveStore::open).
struct OpenArchive {
    QString path{};
    int keep = 0;
    int journalKeep = 0;
    int busyTimeoutMs = 0;
    using Answer = ArchiveOpened;
};
// The newest captures, at most Keep of them (older ones are about to go).
struct ListCaptures {
    using Answer = CapturesListed;
};
// `purpose` comes back with the capture so the caller knows why it asked.
struct LoadCapture {
    std::int64_t id = 0;
    int purpose = 0;
    using Answer = CaptureLoaded;
};
struct SetNote {
    std::int64_t id = 0;
    QString note{};
    using Answer = CapturesStored;
};
struct DeleteCapture {
    std::int64_t id = 0;
    using Answer = CapturesRemoved;
};
struct ExportCapture {
    std::int64_t id = 0;
    ExportFormat format = ExportFormat::Csv;
    QString path{};
    using Answer = ExportResult;
};
// A COMTRADE record (NAME.cfg with NAME.dat, or NAME.cff); each analog channel becomes a
// capture, all in one transaction.
struct ImportComtrade {
    QString path{};
    using Answer = ImportResult;
};
// The newest `limit` rows whose kind is one of `kinds` (every kind when empty) and whose
// subject is `subject` (any when empty), newest first; a capture's row among the rows of its
// start.
struct QueryJournal {
    QStringList kinds{};
    int limit = 0;
    std::int64_t tag = 0;
    QString subject{};
    using Answer = JournalQueried;
};
// Every row whose kind is one of `kinds`, oldest first, written to `path` a page at a time
// (rows still waiting for the disk are written first: they are ahead in the queue).
struct ExportJournal {
    QStringList kinds{};
    QString path{};
    JournalCsv csv{};
    std::int64_t tag = 0;
    using Answer = JournalExported;
};

using ArchiveRequest = std::variant<OpenArchive, ListCaptures, LoadCapture, SetNote, DeleteCapture,
    ExportCapture, ImportComtrade, QueryJournal, ExportJournal>;

namespace archive_detail {
template <class T, class Variant> struct IsAlternative;
template <class T, class... Ts>
struct IsAlternative<T, std::variant<Ts...>> : std::bool_constant<(std::is_same_v<T, Ts> || ...)> {
};
template <class... Rs> constexpr bool answersKnown(std::variant<Rs...>*)
{
    return (IsAlternative<typename Rs::Answer, ArchiveAnswer>::value && ...);
}
} // namespace archive_detail
static_assert(archive_detail::answersKnown(static_cast<ArchiveRequest*>(nullptr)),
    "every request's answer is one of ArchiveAnswer");
