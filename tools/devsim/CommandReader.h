#pragma once
// Splits what the console sends into answers and commands. Lines end at CR or LF (so CR LF,
// CR and LF all work and empty lines are skipped). "OK" at the start of a line is an answer
// as soon as its two bytes are in, so that a console set to send no line end is still heard;
// no command word begins with "OK".

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace devsim {

enum class Command { Pusk, Restart, Diagnostic, Inverter, Rectifier, Vcc, It, Temperature, Count };
inline constexpr std::string_view kCommandNames[]
    = {"PUSK", "RESTART", "DIAGNOSTIC", "INVERTER", "RECTIFIER", "VCC", "IT", "TEMP"}; // names in the figures

struct Input {
    enum class Type { Answer, Command, Unknown } type;
    Command command = Command::Count;
    std::string line; // the text of an unknown line
};

// Looks a line up among the command words: ASCII case is ignored, "t°C" may come in
// Windows-1251 (0xB0) or UTF-8 (0xC2 0xB0), and surrounding blanks are dropped.
bool lookupCommand(std::string_view line, Command& command);

class CommandReader {
public:
    static constexpr std::size_t kMaxLine = 256;

    void feed(std::string_view bytes, std::vector<Input>& out);

private:
    void finishLine(std::vector<Input>& out);

    std::string line_;
    bool overlong_ = false;
};

} // namespace devsim
