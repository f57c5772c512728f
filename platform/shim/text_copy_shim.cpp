// The process's strdup, strndup and free, routed through the stand-in's text copies.
//
// Linked into a host executable (the zelm_platform_text_shim object library),
// these definitions come first in symbol lookup, before the C library's and a
// sanitizer's, so libzelm.so's text copies reach the stand-in, where they can
// be made to fail and are counted until freed. Every other free passes through
// to the allocator that made the block: the sanitizer's when there is one.
#include <cstddef>
#include <cstring>

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

extern "C" char *strdup(const char *text) noexcept
{
    return STANDIN_TextDup(text, std::strlen(text), "strdup");
}

extern "C" char *strndup(const char *text, size_t max) noexcept
{
    return STANDIN_TextDup(text, strnlen(text, max), "strndup");
}

extern "C" void free(void *ptr) noexcept
{
    STANDIN_TextForget(ptr);
    ZELM_REAL_FREE(ptr);
}
