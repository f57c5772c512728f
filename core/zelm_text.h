/*
 * Private to libzelm: heap copies of the fixed-width text fields of
 * configuration records. A field is NUL-terminated within its width when the
 * configuration is well formed; a field that holds no NUL is copied up to its
 * width and terminated, so that no copy ever reads past its field. Copies are
 * released with free().
 */
#ifndef ZELM_CORE_TEXT_H
#define ZELM_CORE_TEXT_H

#include <cstddef>
#include <cstdlib>
#include <cstring>

template <size_t N>
inline char *ZelmDupTextField(const char (&field)[N])
{
    if (std::memchr(field, '\0', N) != nullptr) {
        return strdup(field);
    }
    return strndup(field, N);
}

#endif
