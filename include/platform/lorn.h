/* LORN logging service: the plain log and the diagnostic log. */
#ifndef ZELM_PLATFORM_LORN_H
#define ZELM_PLATFORM_LORN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Levels used by the library; every other value is the service's own. */
#define LORN_LEVEL_INFO 0u
#define LORN_LEVEL_ERROR 4u

/*
 * Plain log. `fmt` is a printf format whose first conversion ("%s") takes
 * `funcName`; the variadic arguments follow it. `reserved` is always 0.
 * The result carries nothing the caller may rely on.
 */
uint32_t LORN_LogWrite(uint32_t level, uint32_t code, uint32_t reserved, const char *fmt, const char *funcName, ...);

/*
 * Diagnostic log of module `modId`. `fmt` is a printf format whose first two
 * conversions ("[%#x]%s:") take `code` and `funcName`; the variadic
 * arguments follow them. The result carries nothing the caller may rely on.
 */
uint32_t LORN_DLogWrite(uint32_t modId, uint32_t level, const char *fmt, uint32_t code, const char *funcName, ...);

#ifdef __cplusplus
}
#endif

#endif
