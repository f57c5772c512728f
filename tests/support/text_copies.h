// The text copies of every executable that links the text-copy shim (zelm_text_shim): counted, and able to fail.
#ifndef ZELM_TESTS_SUPPORT_TEXT_COPIES_H
#define ZELM_TESTS_SUPPORT_TEXT_COPIES_H

#include <cstddef>

namespace zt {

// Copies made with strdup or strndup and not yet released with free, in the whole process. A
// stand-in reset keeps them: they are memory that is still out there.
size_t TextCopiesLive();

}  // namespace zt

#endif
