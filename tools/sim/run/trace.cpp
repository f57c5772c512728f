// Writing trace lines in the same time format as the library's text log, so that the two files interleave.
#include "run/trace.h"

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
    std::fprintf(out_, "%06llu.%03llu %-5s %s\n", static_cast<unsigned long long>(t / 1000),
                 static_cast<unsigned long long>(t % 1000), tag, text.c_str());
}

}  // namespace zsim
