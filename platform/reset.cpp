// STANDIN_Reset: runs every part's reset hook, in the parts' own order.
#include <algorithm>
#include <utility>
#include <vector>

#include "standin_internal.h"
#include "zelm_standin.h"

namespace standin {

static std::vector<std::pair<int, ResetHook>> &ResetHooks()
{
    static std::vector<std::pair<int, ResetHook>> hooks;
    return hooks;
}

void RegisterReset(int order, ResetHook hook)
{
    ResetHooks().emplace_back(order, hook);
    std::stable_sort(ResetHooks().begin(), ResetHooks().end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
}

}  // namespace standin

extern "C" void STANDIN_Reset(void)
{
    for (const auto &[order, hook] : standin::ResetHooks()) {
        hook();
    }
}
