// Private to the stand-in: how the agents keep what they hold, a few bytes above the entries themselves.
//
// A cluster of millions of components keeps one copy per agent of each entry, so the copy is small: the
// numbers as the request carried them and each text as an index into one pool of distinct texts (a
// cluster has few distinct type and file names, and each instance name once).
#ifndef ZELM_PLATFORM_HELD_ENTRIES_H
#define ZELM_PLATFORM_HELD_ENTRIES_H

#include <cstdint>
#include <cstring>

#include "chunk_map.h"

namespace standin {

// Each distinct text once, until reset; a text's id stays valid, and so does its copy's address.
uint32_t InternText(const char *text, size_t len);
const char *TextOf(uint32_t id);
void ResetTexts();

// An entry as an agent holds it: its numbers in the order of the public entry but the one its key gives
// (LocId, compInst), then its texts, a null one as kNullText.
inline constexpr uint32_t kNullText = UINT32_MAX;
template <size_t Numbers, size_t Texts, size_t KeyNumber>
struct HeldEntry {
    static constexpr size_t kNumbers = Numbers;
    static constexpr size_t kKeyNumber = KeyNumber;
    uint32_t numbers[Numbers - 1];
    uint32_t texts[Texts];

    bool operator==(const HeldEntry &other) const { return std::memcmp(this, &other, sizeof *this) == 0; }
};
using HeldLoc = HeldEntry<18, 3, 0>;   // without LocId
using HeldComp = HeldEntry<16, 4, 4>;  // without compInst
using zelm::ChunkMap;

}  // namespace standin

#endif
