// Every input the fuzzers were seeded with or found a fault with, run again through the same
// entry point. A broken invariant aborts inside the entry point, so the name of the input is
// printed before each run.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>

#define FUZZ_ENTRY(name) extern "C" int orvikFuzz_##name(const std::uint8_t* data, std::size_t size);
FUZZ_ENTRY(record_parser)
FUZZ_ENTRY(get_str)
FUZZ_ENTRY(ini_file)
FUZZ_ENTRY(vt100)
FUZZ_ENTRY(vt52)
FUZZ_ENTRY(validate_edit)
FUZZ_ENTRY(calc_engine)
FUZZ_ENTRY(comtrade)
FUZZ_ENTRY(telnet)
FUZZ_ENTRY(session_recording)

namespace {

using Entry = int (*)(const std::uint8_t*, std::size_t);

struct Target {
    const char* name;
    Entry entry;
};

const Target kTargets[] = {
    {"fuzz_record_parser", orvikFuzz_record_parser},
    {"fuzz_get_str", orvikFuzz_get_str},
    {"fuzz_ini_file", orvikFuzz_ini_file},
    {"fuzz_vt100", orvikFuzz_vt100},
    {"fuzz_vt52", orvikFuzz_vt52},
    {"fuzz_validate_edit", orvikFuzz_validate_edit},
    {"fuzz_calc_engine", orvikFuzz_calc_engine},
    {"fuzz_comtrade", orvikFuzz_comtrade},
    {"fuzz_telnet", orvikFuzz_telnet},
    {"fuzz_session_recording", orvikFuzz_session_recording},
};

int replay(const Target& target, const QString& folder)
{
    const QDir dir(QStringLiteral(ORVIK_FUZZ_DIR "/") + folder + '/' + target.name);
    int count = 0;
    for (const QString& file : dir.entryList(QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(file));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << f.fileName().toStdString();
        const QByteArray bytes = f.readAll();
        std::fprintf(stderr, "replaying %s\n", qPrintable(f.fileName()));
        target.entry(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
        ++count;
    }
    return count;
}

class FuzzReplay : public testing::TestWithParam<Target> { };

TEST_P(FuzzReplay, SeedsAndReproducersPassTheirInvariants)
{
    // Every target has seeds; reproducers exist only for faults found.
    EXPECT_GT(replay(GetParam(), QStringLiteral("corpus")), 0);
    replay(GetParam(), QStringLiteral("regress"));
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, testing::ValuesIn(kTargets),
    [](const testing::TestParamInfo<Target>& info) { return std::string(info.param.name); });

} // namespace
