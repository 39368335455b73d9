#include "CommandReader.h"

#include <gtest/gtest.h>

using devsim::Command;
using devsim::CommandReader;
using devsim::Input;

namespace {

// One letter per input: A answer, a command's first letter (P R D I E V C T), ? unknown.
std::string describe(const std::vector<Input>& inputs)
{
    static constexpr char kLetters[] = "PRDIEVCT";
    std::string s;
    for (const auto& in : inputs) {
        if (in.type == Input::Type::Answer)
            s += 'A';
        else if (in.type == Input::Type::Unknown)
            s += '?';
        else
            s += kLetters[static_cast<int>(in.command)];
    }
    return s;
}

struct Case {
    std::string bytes;
    std::string expected;
};

const Case kCases[] = {
    {"OK\r\n", "A"}, {"OK\r", "A"}, {"OK\n", "A"}, {"OK", "A"}, // a console set to no line end
    {"OKOK", "AA"}, {"OK\r\nOK\r\nOK\r\n", "AAA"}, {"\r\n\r\n\n\r", ""}, {"PUSK\r\n", "P"}, {"pusk\r", "P"},
    {"  RESTART \n", "R"}, {"DIAGNOSTIC\r\nINVERTER\r\nRECTIFIER\r\n", "DIE"}, {"Vcc\r\nIt\r\n", "VC"},
    {"t\xB0"
     "C\r\n",
        "T"}, // Windows-1251 degree sign
    {"t\xC2\xB0"
     "C\r\n",
        "T"}, // typed on a UTF-8 terminal
    {"TC\r\n", "?"}, {"PUSKX\r\n", "?"}, {"FOO\r\nOK\r\n", "?A"}, {"OKPUSK\r\n", "AP"},
    {"PUSK", ""}, // waits for its line end
};

TEST(CommandReader, TableWholeAndByteByByte)
{
    for (const auto& c : kCases) {
        CommandReader whole;
        std::vector<Input> got;
        whole.feed(c.bytes, got);
        EXPECT_EQ(describe(got), c.expected) << "whole: " << c.bytes;

        CommandReader bytewise;
        std::vector<Input> got2;
        for (const char ch : c.bytes)
            bytewise.feed(std::string_view(&ch, 1), got2);
        EXPECT_EQ(describe(got2), c.expected) << "byte by byte: " << c.bytes;
    }
}

TEST(CommandReader, UnknownLineKeepsItsTextAndOverlongLinesStayBounded)
{
    CommandReader reader;
    std::vector<Input> got;
    reader.feed("hello there\r", got);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].line, "hello there");

    got.clear();
    reader.feed(std::string(10000, 'x') + "\rPUSK\r", got);
    ASSERT_EQ(describe(got), "?P");
    EXPECT_EQ(got[0].line.size(), CommandReader::kMaxLine);
}

TEST(CommandReader, OkInsideAnOverlongLineIsNoAnswer)
{
    CommandReader reader;
    std::vector<Input> got;
    reader.feed(std::string(CommandReader::kMaxLine, 'x') + "OK\r", got);
    EXPECT_EQ(describe(got), "?");
}

} // namespace
