// Texts that came from a user or a file, made safe to show: printable UTF-8, cut to a readable length.
#ifndef ZELM_SIM_PRINTABLE_H
#define ZELM_SIM_PRINTABLE_H

#include <cstddef>
#include <string>
#include <string_view>

namespace zsim {

// The text with each byte that is not part of valid UTF-8, and each control character, written as \xNN.
std::string Printable(std::string_view raw);
// The text in quotes, printable, cut after `max` characters with its length said: 'abc...' (100000 characters).
std::string Quoted(std::string_view raw, size_t max = 40);
// At most the first `maxBytes` bytes of the text, cut where a character starts, so that no UTF-8 sequence
// is split.
std::string ShortName(std::string_view name, size_t maxBytes);

}  // namespace zsim

#endif
