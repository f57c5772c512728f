/*
 * Private to libzelm: copies of the fixed-width text fields of configuration
 * records. A field is NUL-terminated within its width when the configuration
 * is well formed; a field that holds no NUL is copied up to its width and
 * terminated, so that no copy ever reads past its field.
 */
#ifndef ZELM_CORE_TEXT_H
#define ZELM_CORE_TEXT_H

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "platform/bounds.h"

/* A heap copy for a publication message, released with free(); null when the copy fails. */
template <size_t N>
inline char *ZelmDupTextField(const char (&field)[N])
{
    if (std::memchr(field, '\0', N) != nullptr) {
        return strdup(field);
    }
    return strndup(field, N);
}

/* A terminated copy on the stack, for "%s" in a log line: ZelmLogTextOf(cfg->LocName).text. */
template <size_t N>
struct ZelmLogText {
    char text[N + 1];
};

template <size_t N>
inline ZelmLogText<N> ZelmLogTextOf(const char (&field)[N])
{
    ZelmLogText<N> copy;
    (void)memcpy_s(copy.text, sizeof(copy.text), field, N);
    copy.text[N] = '\0';
    return copy;
}

#endif
