// Virtual time, counts, sizes and numbers as the simulator writes them.
#include "text/units.h"

#include <cstdio>

namespace zsim {

std::string FormatTime(Ms t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llu.%03llu", static_cast<unsigned long long>(t / 1000),
                  static_cast<unsigned long long>(t % 1000));
    return buf;
}

std::string Seconds(Ms t)
{
    return FormatTime(t) + " s";
}

std::string Period(Ms from, Ms to)
{
    return FormatTime(from) + " to " + FormatTime(to) + " s";
}

std::string Plural(double n, const char *one, const char *many)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f ", n);
    return buf + std::string(n == 1 ? one : many);
}

std::string FormatBytes(uint64_t bytes)
{
    char buf[32];
    if (bytes >= (uint64_t{1} << 30)) {
        std::snprintf(buf, sizeof buf, "%.1f GB", static_cast<double>(bytes) / (1 << 30));
    } else {
        std::snprintf(buf, sizeof buf, "%llu MB", static_cast<unsigned long long>((bytes + (1 << 20) - 1) >> 20));
    }
    return buf;
}

std::string Hex(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%#x", v);
    return buf;
}

}  // namespace zsim
