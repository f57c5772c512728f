/*
 * Private to libzelm: the one logging helper. Each event is written twice,
 * to the plain log and to the diagnostic log, from one stored format
 * "[%#x]%s:" + body; the plain call gets the same string without its
 * leading "[%#x]". The function name is the reporting operation's own.
 */
#ifndef ZELM_CORE_LOG_H
#define ZELM_CORE_LOG_H

#include <stdint.h>

#include "platform/lorn.h"

#define ZELM_LOG_MOD_ID 0x80cf0026u
#define ZELM_LOG_CODE_INFO 0u
#define ZELM_LOG_CODE_ERROR 0xFFFFFFFFu
/* Length of the "[%#x]" that only the diagnostic format carries. */
#define ZELM_LOG_DIAG_PREFIX_LEN 5

template <typename... Args>
inline void ZelmLogWrite(uint32_t level, const char *funcName, const char *diagFmt, Args... args)
{
    const uint32_t code = (level == LORN_LEVEL_INFO) ? ZELM_LOG_CODE_INFO : ZELM_LOG_CODE_ERROR;
    (void)LORN_LogWrite(level, code, 0u, diagFmt + ZELM_LOG_DIAG_PREFIX_LEN, funcName, args...);
    (void)LORN_DLogWrite(ZELM_LOG_MOD_ID, level, diagFmt, code, funcName, args...);
}

/* Never called: lets the compiler check each body's conversions against its arguments. */
__attribute__((format(printf, 1, 2))) inline void ZelmLogFormatCheck(const char *, ...) {}

#define ZELM_LOG_AT(level, body, ...)                                                     \
    do {                                                                                  \
        if (false) {                                                                      \
            ZelmLogFormatCheck("[%#x]%s:" body, 0u, __func__ __VA_OPT__(, ) __VA_ARGS__); \
        }                                                                                 \
        ZelmLogWrite(level, __func__, "[%#x]%s:" body __VA_OPT__(, ) __VA_ARGS__);        \
    } while (0)

/* ZELM_LOG_INFO("zelm link publish locIndex %u status, chan %#x.", index, chan) */
#define ZELM_LOG_INFO(body, ...) ZELM_LOG_AT(LORN_LEVEL_INFO, body __VA_OPT__(, ) __VA_ARGS__)
#define ZELM_LOG_ERROR(body, ...) ZELM_LOG_AT(LORN_LEVEL_ERROR, body __VA_OPT__(, ) __VA_ARGS__)

#endif
