// Bounded copy and fill functions: refuse what does not fit instead of overrunning.
//
// A refusal returns EINVAL for a null pointer or overlapping buffers and
// ERANGE for a size that is out of bounds, and leaves the destination in
// the defined state (zero-filled, filled up to its size, or an empty string)
// whenever the destination itself is usable.
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/bounds.h"

namespace {

bool Overlap(const void *a, size_t aLen, const void *b, size_t bLen)
{
    const auto pa = reinterpret_cast<uintptr_t>(a);
    const auto pb = reinterpret_cast<uintptr_t>(b);
    return (pa < pb) ? (pb - pa < aLen) : (pa - pb < bLen);
}

}  // namespace

extern "C" int memcpy_s(void *dest, size_t destsz, const void *src, size_t count)
{
    if (dest == nullptr || destsz > ZELM_RSIZE_MAX) {
        return (dest == nullptr) ? EINVAL : ERANGE;
    }
    int refusal = 0;
    if (src == nullptr) {
        refusal = EINVAL;
    } else if (count > ZELM_RSIZE_MAX || count > destsz) {
        refusal = ERANGE;
    } else if (count != 0 && Overlap(dest, count, src, count)) {
        refusal = EINVAL;
    }
    if (refusal != 0) {
        std::memset(dest, 0, destsz);
        return refusal;
    }
    if (count != 0) {
        std::memcpy(dest, src, count);
    }
    return 0;
}

extern "C" int memset_s(void *dest, size_t destsz, int ch, size_t count)
{
    if (dest == nullptr) {
        return EINVAL;
    }
    if (destsz > ZELM_RSIZE_MAX) {
        return ERANGE;
    }
    std::memset(dest, ch, (count > destsz) ? destsz : count);
    // A fill just before release must survive the optimiser.
    __asm__ __volatile__("" : : "r"(dest) : "memory");
    return (count > destsz) ? ERANGE : 0;
}

extern "C" int strcpy_s(char *dest, size_t destsz, const char *src)
{
    if (dest == nullptr) {
        return EINVAL;
    }
    if (destsz == 0 || destsz > ZELM_RSIZE_MAX) {
        return ERANGE;
    }
    int refusal = 0;
    size_t len = 0;
    if (src == nullptr) {
        refusal = EINVAL;
    } else {
        len = strnlen(src, destsz);
        if (len == destsz) {
            refusal = ERANGE;
        } else if (Overlap(dest, len + 1, src, len + 1)) {
            refusal = EINVAL;
        }
    }
    if (refusal != 0) {
        dest[0] = '\0';
        return refusal;
    }
    std::memcpy(dest, src, len + 1);
    return 0;
}
