// strdup and strndup for the whole fuzz process, so that the library's text copies can be made to fail.
//
// The executable's definitions take the place of the C library's for every
// shared object, libzelm.so included. They allocate with malloc, as the C
// library's do, so what they return is released with free and tracked by ASan.
#include "entries_textfail.h"

#include <cstdlib>
#include <cstring>

namespace {

uint64_t g_copies = 0;
uint64_t g_failAt = 0;

bool FailThisCopy()
{
    ++g_copies;
    return g_failAt != 0 && g_copies == g_failAt;
}

char *Copy(const char *s, size_t n)
{
    auto *p = static_cast<char *>(std::malloc(n + 1));
    if (p != nullptr) {
        std::memcpy(p, s, n);
        p[n] = '\0';
    }
    return p;
}

}  // namespace

namespace zf {

void TextFailNth(uint32_t n)
{
    g_failAt = (n == 0) ? 0 : g_copies + n;
}

}  // namespace zf

extern "C" char *strdup(const char *s)
{
    return FailThisCopy() ? nullptr : Copy(s, std::strlen(s));
}

extern "C" char *strndup(const char *s, size_t max)
{
    return FailThisCopy() ? nullptr : Copy(s, strnlen(s, max));
}
