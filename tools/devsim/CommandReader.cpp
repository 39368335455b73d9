#include "CommandReader.h"

namespace devsim {

namespace {

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

bool lookupCommand(std::string_view line, Command& command)
{
    // The words as they arrive once ASCII letters are upper-cased and a UTF-8 degree sign
    // has become the Windows-1251 one.
    static constexpr std::string_view kWireWords[]
        = {"PUSK", "RESTART", "DIAGNOSTIC", "INVERTER", "RECTIFIER", "VCC", "IT",
            "T\xB0"
            "C"};
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    std::string word;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\xC2' && i + 1 < line.size() && line[i + 1] == '\xB0')
            continue;
        word += upper(line[i]);
    }
    for (std::size_t i = 0; i < std::size(kWireWords); ++i) {
        if (word == kWireWords[i]) {
            command = static_cast<Command>(i);
            return true;
        }
    }
    return false;
}

void CommandReader::finishLine(std::vector<Input>& out)
{
    if (overlong_) {
        out.push_back({Input::Type::Unknown, Command::Count, line_});
    } else if (!line_.empty()) {
        Command command;
        if (lookupCommand(line_, command))
            out.push_back({Input::Type::Command, command, {}});
        else
            out.push_back({Input::Type::Unknown, Command::Count, line_});
    }
    line_.clear();
    overlong_ = false;
}

void CommandReader::feed(std::string_view bytes, std::vector<Input>& out)
{
    for (const char c : bytes) {
        if (c == '\r' || c == '\n') {
            finishLine(out);
            continue;
        }
        if (line_.size() >= kMaxLine) {
            overlong_ = true; // keep the head for the report, drop the rest of the line
            continue;
        }
        line_ += c;
        if (!overlong_ && line_ == "OK") {
            out.push_back({Input::Type::Answer, Command::Count, {}});
            line_.clear();
        }
    }
}

} // namespace devsim
