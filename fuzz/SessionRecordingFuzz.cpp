// The session recording reader on arbitrary files: it takes whole entries only, never reads
// past the end, says why a file is refused, and reads its own output back the same.

#include "FuzzInput.h"
#include "session/SessionRecording.h"

#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const TSessionRecording r = parseSessionRecording(bytes);
    if (!r.error.isEmpty()) {
        FUZZ_CHECK(r.entries.empty());
        return 0;
    }
    qsizetype used = 12;
    for (const TSessionEntry& e : r.entries) {
        FUZZ_CHECK(e.kind >= TSessionEntry::Received && e.kind <= TSessionEntry::Settings);
        used += 13 + e.bytes.size();
    }
    FUZZ_CHECK(used <= bytes.size());
    FUZZ_CHECK(r.truncated == (used < bytes.size()));
    // What was read, written again, reads back the same.
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("again.ses"));
    QFile::remove(path);
    {
        TSessionRecordingWriter writer;
        FUZZ_CHECK(writer.open(path));
        for (const TSessionEntry& e : r.entries)
            writer.add(e.kind, e.timeUs, e.bytes);
    }
    const TSessionRecording again = readSessionRecording(path);
    FUZZ_CHECK(again.error.isEmpty() && !again.truncated && again.entries.size() == r.entries.size());
    for (std::size_t i = 0; i < r.entries.size(); ++i)
        FUZZ_CHECK(
            again.entries[i].timeUs == r.entries[i].timeUs && again.entries[i].bytes == r.entries[i].bytes);
    return 0;
}
