// The process's strdup, strndup and free, routed through a count of the live text copies.
//
// Linked into an executable (the zelm_text_shim object library), these
// definitions come first in symbol lookup, before the C library's and a
// sanitizer's, so libzelm.so's text copies come from here: they fail through
// the stand-in's failure-injection table ("strdup", "strndup") and are counted
// until freed. Every free passes through to the allocator that made the
// block, the sanitizer's when there is one, after the copy, if it is one, is
// forgotten. Since free comes here from anywhere, also while the set below is
// being changed, the set never allocates: it is a fixed open-addressing table
// with backward-shift deletion.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/text_copies.h"
#include "zelm_standin.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZELM_SHIM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZELM_SHIM_ASAN 1
#endif
#endif

#if defined(ZELM_SHIM_ASAN)
extern "C" void __interceptor_free(void *ptr);
#define ZELM_REAL_FREE __interceptor_free
#else
extern "C" void __libc_free(void *ptr);
#define ZELM_REAL_FREE __libc_free
#endif

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
        std::fprintf(stderr, "text copies: more than %zu alive\n", kSlots - 1);
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

// A copy of `len` bytes of `text`, terminated; null when the failure point `function` fails it.
char *Copy(const char *text, size_t len, const char *function)
{
    if (STANDIN_FailingCall(function) != 0) {
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

}  // namespace

size_t zt::TextCopiesLive()
{
    return g_live;
}

extern "C" char *strdup(const char *text) noexcept
{
    return Copy(text, std::strlen(text), "strdup");
}

extern "C" char *strndup(const char *text, size_t max) noexcept
{
    return Copy(text, strnlen(text, max), "strndup");
}

extern "C" void free(void *ptr) noexcept
{
    if (ptr != nullptr && g_live != 0) {
        for (size_t i = Home(ptr); g_slots[i] != nullptr; i = Next(i)) {
            if (g_slots[i] == ptr) {
                Forget(i);
                break;
            }
        }
    }
    ZELM_REAL_FREE(ptr);
}
