// Virtual time and the units every stage writes it and its counts in: "12.500 s", "2 nodes", "1.8 GB", "0x10".
#ifndef ZELM_SIM_UNITS_H
#define ZELM_SIM_UNITS_H

#include <fmt/format.h>

#include <concepts>
#include <cstdint>
#include <string>

namespace zsim {

using Ms = uint64_t;  // virtual milliseconds

// Virtual time as seconds with three decimals ("12.500").
std::string FormatTime(Ms t);
// With its unit: "12.500 s".
std::string Seconds(Ms t);
// With its unit and no more decimals than it needs: "20 s", "0.3 s", "13.001 s".
std::string CompactSeconds(Ms t);
// From one time to another: "1.000 to 2.500 s".
std::string Period(Ms from, Ms to);
// A count and what it counts: "1 node", "2 nodes".
template <std::integral N>
std::string Plural(N n, const char *one, const char *many)
{
    return fmt::format("{} {}", n, n == 1 ? one : many);
}
// A count the memory estimate keeps as a double, which may hold a fraction: rounded to whole, and
// `one` only when it is exactly 1.
std::string Plural(double n, const char *one, const char *many);
// A size in bytes as people read it: "130 bytes", "2 KB", "512 MB", "1.8 GB".
std::string FormatBytes(uint64_t bytes);

// A number in hexadecimal with its prefix, and 0 as "0": "0x80000000", "0".
std::string Hex(uint32_t v);

}  // namespace zsim

#endif
