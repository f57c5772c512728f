// Private to the text report: lines with optional colour, padded by their visible width.
#ifndef ZELM_SIM_REPORT_PAINT_H
#define ZELM_SIM_REPORT_PAINT_H

#include <fmt/format.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "text/print.h"

namespace zsim {

class Painter {
public:
    Painter(FILE *out, bool colour) : out_(out), colour_(colour) {}
    std::string Paint(const std::string &text, const char *code) const
    {
        return colour_ ? fmt::format("\033[{}m{}\033[0m", code, text) : text;
    }
    std::string Bold(const std::string &t) const { return Paint(t, "1"); }
    std::string State(const std::string &s) const
    {
        const std::string head = s.substr(0, s.find(' '));
        return head == "published" ? Paint(s, "32")
               : head == "failed"  ? Paint(s, "31")
               : head == "stored"  ? Paint(s, "33")
                                   : s;
    }
    void Line(const std::string &s) const { Print(out_, "{}\n", s); }

private:
    FILE *out_;
    bool colour_;
};

// `shown` (which may hold colour codes) followed by spaces up to `width` visible characters of `visible`.
inline std::string Pad(const std::string &visible, const std::string &shown, size_t width)
{
    return shown + std::string(width > visible.size() ? width - visible.size() : 0, ' ');
}
inline std::string Pad(const std::string &text, size_t width)
{
    return Pad(text, text, width);
}
// Right-aligned.
inline std::string PadLeft(const std::string &text, size_t width)
{
    return std::string(width > text.size() ? width - text.size() : 0, ' ') + text;
}

}  // namespace zsim

#endif
