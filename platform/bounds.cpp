// Bounded copy and fill functions: refuse what does not fit instead of overrunning.
//
// A refusal returns EINVAL for a null pointer or overlapping buffers and
// ERANGE for a size that is out of bounds, and leaves the destination in
// the defined state (zero-filled, filled up to its size, or an empty string)
// whenever the destination itself is usable. A failure injected through the
// failure-injection table is a refusal too: same destination state, the armed
// status as result.
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/bounds.h"
#include "standin_services.h"

namespace {

bool Overlap(const void *a, size_t aLen, const void *b, size_t bLen)
{
    const auto pa = reinterpret_cast<uintptr_t>(a);
    const auto pb = reinterpret_cast<uintptr_t>(b);
    return (pa < pb) ? (pb - pa < aLen) : (pa - pb < bLen);
}

// Why a copy of `count` bytes must be refused; 0 when it may go ahead.
int CopyRefusal(void *dest, size_t destsz, const void *src, size_t count)
{
    if (src == nullptr) {
        return EINVAL;
    }
    if (count > ZELM_RSIZE_MAX || count > destsz) {
        return ERANGE;
    }
    return (count != 0 && Overlap(dest, count, src, count)) ? EINVAL : 0;
}

// Why a string copy must be refused; 0 when it may go ahead, with its length in *len.
int StringRefusal(char *dest, size_t destsz, const char *src, size_t *len)
{
    if (src == nullptr) {
        return EINVAL;
    }
    *len = strnlen(src, destsz);
    if (*len == destsz) {
        return ERANGE;
    }
    return Overlap(dest, *len + 1, src, *len + 1) ? EINVAL : 0;
}

}  // namespace

extern "C" int memcpy_s(void *dest, size_t destsz, const void *src, size_t count)
{
    const int injected = static_cast<int>(STANDIN_FAILING());
    if (dest == nullptr || destsz > ZELM_RSIZE_MAX) {
        return (dest == nullptr) ? EINVAL : ERANGE;
    }
    const int refusal = (injected != 0) ? injected : CopyRefusal(dest, destsz, src, count);
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
    const int injected = static_cast<int>(STANDIN_FAILING());
    if (dest == nullptr) {
        return EINVAL;
    }
    if (destsz > ZELM_RSIZE_MAX) {
        return ERANGE;
    }
    std::memset(dest, ch, (count > destsz) ? destsz : count);
    // A fill just before release must survive the optimiser.
    __asm__ __volatile__("" : : "r"(dest) : "memory");
    if (injected != 0) {
        return injected;
    }
    return (count > destsz) ? ERANGE : 0;
}

extern "C" int strcpy_s(char *dest, size_t destsz, const char *src)
{
    const int injected = static_cast<int>(STANDIN_FAILING());
    if (dest == nullptr) {
        return EINVAL;
    }
    if (destsz == 0 || destsz > ZELM_RSIZE_MAX) {
        return ERANGE;
    }
    size_t len = 0;
    const int refusal = (injected != 0) ? injected : StringRefusal(dest, destsz, src, &len);
    if (refusal != 0) {
        dest[0] = '\0';
        return refusal;
    }
    std::memcpy(dest, src, len + 1);
    return 0;
}
