// `orvik --help` and `orvik --version` answer on standard output and end with status 0 where
// no window can be shown: no display and no platform chosen.

#include "ChildProcess.h"

#include <gtest/gtest.h>

TEST(CommandLine, HelpAndVersionNeedNoDisplay)
{
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        qunsetenv(name);
    const struct {
        const char* option;
        QByteArray shows;
    } cases[] = {
        {"--version", "orvik " ORVIK_VERSION "\n"},
        {"--help", "--version"},
        {"-h", "--help"},
    };
    for (const auto& c : cases) {
        ChildProcess child;
        ASSERT_TRUE(child.start(QStringLiteral(ORVIK_PROGRAM), {QString::fromLatin1(c.option)}));
        ASSERT_TRUE(child.finished(20000)) << c.option << ": still running";
        EXPECT_EQ(child.exitCode(), 0) << c.option;
        const QByteArray out = child.readAll();
        if (c.shows.endsWith('\n'))
            EXPECT_EQ(out, c.shows);
        else
            EXPECT_TRUE(out.startsWith("Употреба: orvik") && out.contains(c.shows)) << out.constData();
    }
}
