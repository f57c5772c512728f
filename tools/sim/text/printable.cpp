// Escaping what a terminal or a JSON reader cannot take: invalid UTF-8 and control characters.
#include "text/printable.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace zsim {

namespace {

// The length of the valid UTF-8 sequence at `s[i]`, or 0.
size_t SequenceLength(std::string_view s, size_t i)
{
    const auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
    const uint8_t lead = b(i);
    size_t len = 0;
    uint32_t cp = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        len = 2;
        cp = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        len = 3;
        cp = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        len = 4;
        cp = lead & 0x07u;
    } else {
        return 0;
    }
    if (i + len > s.size()) {
        return 0;
    }
    for (size_t k = 1; k < len; ++k) {
        if ((b(i + k) & 0xC0u) != 0x80u) {
            return 0;
        }
        cp = (cp << 6) | (b(i + k) & 0x3Fu);
    }
    const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    const bool control = cp >= 0x80 && cp <= 0x9F;
    return overlong || surrogate || control || cp > 0x10FFFF ? 0 : len;
}

void Escape(std::string &out, uint8_t byte)
{
    fmt::format_to(std::back_inserter(out), "\\x{:02X}", byte);
}

}  // namespace

std::string Printable(std::string_view raw)
{
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size();) {
        const size_t len = SequenceLength(raw, i);
        const auto byte = static_cast<uint8_t>(raw[i]);
        if (len == 0 || byte < 0x20 || byte == 0x7F) {
            Escape(out, byte);
            ++i;
            continue;
        }
        out.append(raw.substr(i, len));
        i += len;
    }
    return out;
}

std::string ShortName(std::string_view name, size_t maxBytes)
{
    size_t n = std::min(name.size(), maxBytes);
    while (n > 0 && n < name.size() && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) {
        --n;
    }
    return std::string(name.substr(0, n));
}

std::string Quoted(std::string_view raw, size_t max)
{
    // Count characters, not bytes, so that a cut never splits one.
    size_t chars = 0;
    size_t cut = raw.size();
    for (size_t i = 0; i < raw.size();) {
        if (chars == max) {
            cut = i;
        }
        const size_t len = SequenceLength(raw, i);
        i += len == 0 ? 1 : len;
        ++chars;
    }
    // Appended piece by piece: GCC 12 warns about `"'" + std::string` in optimised builds.
    std::string out(1, '\'');
    out += Printable(raw.substr(0, cut));
    if (chars <= max) {
        out += '\'';
        return out;
    }
    fmt::format_to(std::back_inserter(out), "...' ({} characters)", chars);
    return out;
}

}  // namespace zsim
