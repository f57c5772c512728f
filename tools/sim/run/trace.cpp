// Writing trace lines in the same time format as the library's text log, so that the two files interleave.
#include "run/trace.h"

#include "text/print.h"

namespace zsim {

void Trace::Line(Ms t, const char *tag, const std::string &text)
{
    if (catchUp_) {
        catchUp_();
    }
    Raw(t, tag, text);
}

void Trace::Raw(Ms t, const char *tag, const std::string &text)
{
    if (out_ == nullptr) {
        return;
    }
    Print(out_, "{:06}.{:03} {:<5} {}\n", t / 1000, t % 1000, tag, text);
}

}  // namespace zsim
