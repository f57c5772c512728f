// Building a run's history.
#include "run/history.h"

namespace zsim {

const char *RequestOpName(uint32_t opType)
{
    switch (opType) {
    case 0:
        return "add";
    case 1:
        return "delete";
    case 2:
        return "smooth";
    default:
        return "?";
    }
}

void MarkSpan(std::vector<Span> &spans, bool on, Ms t)
{
    const bool open = !spans.empty() && !spans.back().to;
    if (on && !open) {
        spans.push_back({t, std::nullopt});
    } else if (!on && open) {
        spans.back().to = t;
    }
}

}  // namespace zsim
