// Virtual time, counts, sizes and numbers as the simulator writes them.
#include "text/units.h"

namespace zsim {

std::string FormatTime(Ms t)
{
    return fmt::format("{}.{:03}", t / 1000, t % 1000);
}

std::string Seconds(Ms t)
{
    return fmt::format("{} s", FormatTime(t));
}

std::string CompactSeconds(Ms t)
{
    std::string s = FormatTime(t);
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') {
        s.pop_back();
    }
    return s + " s";
}

std::string Period(Ms from, Ms to)
{
    return fmt::format("{} to {} s", FormatTime(from), FormatTime(to));
}

std::string Plural(double n, const char *one, const char *many)
{
    return fmt::format("{:.0f} {}", n, n == 1 ? one : many);
}

std::string FormatBytes(uint64_t bytes)
{
    if (bytes >= (uint64_t{1} << 30)) {
        return fmt::format("{:.1f} GB", static_cast<double>(bytes) / (1 << 30));
    }
    if (bytes >= (uint64_t{1} << 20)) {
        return fmt::format("{} MB", (bytes + (1 << 20) - 1) >> 20);
    }
    return bytes >= 1024 ? fmt::format("{} KB", (bytes + 1023) >> 10) : fmt::format("{} bytes", bytes);
}

std::string Hex(uint32_t v)
{
    // "{:#x}" writes 0 as "0x0"; reports, traces and scenario files write it as "0".
    return v == 0 ? "0" : fmt::format("{:#x}", v);
}

}  // namespace zsim
