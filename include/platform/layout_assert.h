/* Compile-time checks of record layouts, in C99, C11 and later, and C++ alike. */
#ifndef ZELM_PLATFORM_LAYOUT_ASSERT_H
#define ZELM_PLATFORM_LAYOUT_ASSERT_H

/*
 * ZELM_LAYOUT_ASSERT(cond), at file scope beside the typedef it checks: a
 * static assertion where the language has one (C++, C11 and later). C99 has
 * none: there the check declares an array whose size is negative when `cond`
 * fails, the same declaration every time, so that any number of checks share
 * one name that nothing defines or uses.
 */
#if defined(__cplusplus)
#define ZELM_LAYOUT_ASSERT(cond) static_assert(cond, #cond)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define ZELM_LAYOUT_ASSERT(cond) _Static_assert(cond, #cond)
#else
#define ZELM_LAYOUT_ASSERT(cond) extern char zelmLayoutAssert[(cond) ? 1 : -1]
#endif

#endif
