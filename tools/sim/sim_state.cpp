// Lookups over the simulator's view of the cluster.
#include "sim_state.h"

#include <cstdint>

namespace zsim {

size_t SimState::NodeOfHandle(QOF_ConnHandle handle) const
{
    const auto it = byHandle.find(handle);
    return it == byHandle.end() ? SIZE_MAX : it->second;
}

size_t SimState::NodeOfId(uint32_t osNodeId) const
{
    const auto it = byId.find(osNodeId);
    return it == byId.end() ? SIZE_MAX : it->second;
}

std::map<uint32_t, size_t> SimState::Announcers() const
{
    std::map<uint32_t, std::pair<size_t, uint64_t>> best;
    for (const auto &[where, what] : available) {
        auto [it, fresh] = best.emplace(what.first, std::make_pair(where.first, what.second));
        if (!fresh && what.second > it->second.second) {
            it->second = {where.first, what.second};
        }
    }
    std::map<uint32_t, size_t> out;
    for (const auto &[index, who] : best) {
        out.emplace(index, who.first);
    }
    return out;
}

}  // namespace zsim
