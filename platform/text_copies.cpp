// Text copies (strdup, strndup) that can be made to fail, and the set of those still alive.
//
// The copies come from malloc, so they go back with free and stay visible to
// a sanitizer. The shim that routes the process's strdup, strndup and free
// here calls STANDIN_TextForget for every free, including those made while
// this set is being changed; the set therefore never allocates: it is a fixed
// open-addressing table with backward-shift deletion.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "standin_services.h"
#include "zelm_standin.h"

namespace {

constexpr unsigned kSlotBits = 16;
constexpr size_t kSlots = size_t{1} << kSlotBits;  // far more than any test keeps alive at once

const void *g_slots[kSlots];
size_t g_live = 0;

size_t Home(const void *p)
{
    return static_cast<size_t>((uint64_t{reinterpret_cast<uintptr_t>(p)} * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits));
}
size_t Next(size_t i)
{
    return (i + 1) % kSlots;
}

void Remember(const void *p)
{
    if (g_live + 1 >= kSlots) {
        std::fprintf(stderr, "STANDIN_TextDup: more than %zu live text copies\n", kSlots - 1);
        std::abort();
    }
    size_t i = Home(p);
    while (g_slots[i] != nullptr) {
        i = Next(i);
    }
    g_slots[i] = p;
    ++g_live;
}

// Moves later entries of the probe run back into the hole, so that lookups never need tombstones.
void Forget(size_t hole)
{
    g_slots[hole] = nullptr;
    --g_live;
    for (size_t i = Next(hole); g_slots[i] != nullptr; i = Next(i)) {
        const size_t home = Home(g_slots[i]);
        const bool homeAfterHole = (hole <= i) ? (hole < home && home <= i) : (hole < home || home <= i);
        if (!homeAfterHole) {
            g_slots[hole] = g_slots[i];
            g_slots[i] = nullptr;
            hole = i;
        }
    }
}

}  // namespace

extern "C" char *STANDIN_TextDup(const char *text, size_t len, const char *function)
{
    // The name is compared, not its address: a caller may build it anywhere.
    static standin::FailState *const strdupPoint = standin::FailPointNamed("strdup");
    static standin::FailState *const strndupPoint = standin::FailPointNamed("strndup");
    standin::FailState *point = nullptr;
    if (function != nullptr && std::strcmp(function, "strdup") == 0) {
        point = strdupPoint;
    } else if (function != nullptr && std::strcmp(function, "strndup") == 0) {
        point = strndupPoint;
    }
    if (standin::Failing(point) != 0) {
        return nullptr;
    }
    auto *copy = static_cast<char *>(std::malloc(len + 1));
    if (copy == nullptr) {
        return nullptr;
    }
    std::memcpy(copy, text, len);
    copy[len] = '\0';
    Remember(copy);
    return copy;
}

extern "C" void STANDIN_TextForget(const void *ptr)
{
    if (ptr == nullptr || g_live == 0) {
        return;
    }
    for (size_t i = Home(ptr); g_slots[i] != nullptr; i = Next(i)) {
        if (g_slots[i] == ptr) {
            Forget(i);
            return;
        }
    }
}

extern "C" size_t STANDIN_TextCopiesLive(void)
{
    return g_live;
}
