/* Export and linkage macros shared by every public header of libzelm. */
#ifndef ZELM_API_H
#define ZELM_API_H

#include <assert.h>
#include <stddef.h>

#define ZELM_API __attribute__((visibility("default")))

/*
 * A layout check beside its typedef. Through assert.h, static_assert is
 * _Static_assert in C11; in C++ it is the keyword.
 */
#define ZELM_LAYOUT_ASSERT(cond) static_assert(cond, #cond)

#ifdef __cplusplus
#define ZELM_EXTERN_C_BEGIN extern "C" {
#define ZELM_EXTERN_C_END }
#else
#define ZELM_EXTERN_C_BEGIN
#define ZELM_EXTERN_C_END
#endif

#define ZELM_OK 0u
#define ZELM_ERR 0xFFFFFFFFu

#endif
