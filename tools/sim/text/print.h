// Formatted text written to a C stream: the text report, the trace, the progress display, messages.
#ifndef ZELM_SIM_PRINT_H
#define ZELM_SIM_PRINT_H

#include <fmt/format.h>

#include <cstdio>
#include <iterator>
#include <utility>

namespace zsim {

// Writes the text to `out`. A failed write stays in the stream's error flag, as with fprintf, for the owner of
// the stream to report when it closes it (fmt::print would throw instead).
template <typename... Args>
void Print(FILE *out, fmt::format_string<Args...> format, Args &&...args)
{
    fmt::memory_buffer text;
    fmt::format_to(std::back_inserter(text), format, std::forward<Args>(args)...);
    std::fwrite(text.data(), 1, text.size(), out);
}

}  // namespace zsim

#endif
