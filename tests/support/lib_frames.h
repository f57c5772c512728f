// The library's own frames on the current stack, as a hook that the library called sees them.
//
// Only frames inside libzelm.so whose address lies within one of its exported
// functions are kept, innermost first: hidden helpers are skipped, so a chain
// reads as the operations the library names ("ZEL_SET_Insert",
// "ZelmTryAddLocationInst", "ZelmProcCreateLocation", ...). ZELM_Malloc, the
// door every block goes through, is left out: the function that called it is
// where the allocation is made.
#ifndef ZELM_TESTS_SUPPORT_LIB_FRAMES_H
#define ZELM_TESTS_SUPPORT_LIB_FRAMES_H

#include <cstdint>
#include <string>
#include <vector>

namespace zt {

struct LibFrame {
    uintptr_t ret;     // the return address into the function: which of its calls this is
    std::string func;  // the exported function holding it
};

// The library frames of the calling stack, innermost first; empty when the library is not on it.
std::vector<LibFrame> LibraryChain();
// Whether a code address lies in libzelm.so.
bool InLibrary(const void *address);
// "a<-b<-c" for a chain.
std::string ChainText(const std::vector<LibFrame> &chain);

}  // namespace zt

#endif
