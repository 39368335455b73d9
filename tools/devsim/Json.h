#pragma once
// JSON text for the figures and the record log. Line bytes are 8-bit (Windows-1251): each
// byte of 0x80 and above is written as the code point of the same number (\u00XX), so a
// reader gets the bytes back by taking every character as one byte.

#include <cstdio>
#include <string>
#include <string_view>

namespace devsim::json {

inline std::string quote(std::string_view bytes)
{
    std::string out = "\"";
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

} // namespace devsim::json
