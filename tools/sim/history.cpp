// Building a run's history.
#include "history.h"

namespace zsim {

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
