// The library's text copies (strdup, strndup), made to fail on demand by the fuzz target.
#ifndef ZELM_FUZZ_ENTRIES_TEXTFAIL_H
#define ZELM_FUZZ_ENTRIES_TEXTFAIL_H

#include <cstdint>

namespace zf {

// Makes the n-th text copy from now fail (1 = the next one); 0 cancels.
void TextFailNth(uint32_t n);

}  // namespace zf

#endif
