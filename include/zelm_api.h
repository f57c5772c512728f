/* Export and linkage macros shared by every public header of libzelm. */
#ifndef ZELM_API_H
#define ZELM_API_H

#include <stddef.h>

#include "platform/layout_assert.h"

#define ZELM_API __attribute__((visibility("default")))

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
