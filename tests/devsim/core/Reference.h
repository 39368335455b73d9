#pragma once
// The console's reading of a device line, written out again from the protocol rules so the
// simulator's own idea of what it sent is checked against an independent one.

#include <string>
#include <string_view>

namespace reference {

struct Reading {
    std::string type; // "" when the line holds no "W:"
    int answers = 0;
};

inline Reading read(std::string_view line)
{
    Reading r;
    const auto w = line.find("W:");
    if (w == std::string_view::npos)
        return r;
    const std::string_view rec = line.substr(w + 2);
    r.type = std::string(rec.substr(0, 2));
    const std::string_view body = rec.size() > 2 ? rec.substr(2) : std::string_view{};
    if (r.type == "VA" || r.type == "SC" || r.type == "ST") {
        r.answers = 1;
    } else if (r.type == "TR") {
        const auto slash = body.find('/');
        const auto event = slash == std::string_view::npos ? std::string_view{} : body.substr(slash + 1);
        r.answers = event == "RK1" || event == "RK2" || event == "RK3" || event == "CFK" || event == "SUK";
    } else if (r.type == "RS") {
        for (const char* sub : {"+RRKS", "+RALL", "+RVA\xD2", "+ROSC"})
            r.answers += body.find(sub) != std::string_view::npos;
    }
    return r;
}

} // namespace reference
