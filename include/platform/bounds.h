/* Bounded copy and fill functions with the bounds-checking semantics of C11 Annex K. */
#ifndef ZELM_PLATFORM_BOUNDS_H
#define ZELM_PLATFORM_BOUNDS_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Upper bound on a size argument; larger sizes are refused as runtime-constraint violations. */
#define ZELM_RSIZE_MAX ((size_t)-1 >> 1)

/*
 * Each returns 0 on success and non-zero on refusal.
 * memcpy_s refuses a null pointer, count > destsz, a size above ZELM_RSIZE_MAX
 *   or overlapping buffers; on refusal it zero-fills dest when dest is usable.
 * memset_s refuses a null pointer or a size above ZELM_RSIZE_MAX; when
 *   n > smax it fills smax bytes and still reports the refusal.
 * strcpy_s refuses a null pointer, destsz 0 or above ZELM_RSIZE_MAX, a source
 *   that does not fit with its terminator, or overlap; on refusal it leaves an
 *   empty string in dest when destsz is usable.
 */
int memcpy_s(void *dest, size_t destsz, const void *src, size_t count);
int memset_s(void *dest, size_t destsz, int ch, size_t count);
int strcpy_s(char *dest, size_t destsz, const char *src);

#ifdef __cplusplus
}
#endif

#endif
