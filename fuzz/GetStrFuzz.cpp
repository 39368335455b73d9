// GetStr and the whole-number reader on arbitrary text. A field never holds a separator and is
// a piece of its input; the number reader agrees with itself on text it printed.

#include "session/RecordParser.h"

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                                     \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #cond);                \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the field number, negative and zero included.
    const int n = int(static_cast<std::int8_t>(data[0]));
    const QByteArrayView s(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QByteArray field = GetStr(s, n);
    FUZZ_CHECK(!field.contains('*') && !field.contains(';'));
    FUZZ_CHECK(field.isEmpty() || s.toByteArray().contains(field));

    const std::string_view text(s.data(), std::size_t(s.size()));
    if (const auto v = parseWholeNumber(text)) {
        const QByteArray printed = QByteArray::number(*v);
        const auto again
            = parseWholeNumber(std::string_view(printed.constData(), std::size_t(printed.size())));
        FUZZ_CHECK(again && *again == *v);
    }
    return 0;
}
