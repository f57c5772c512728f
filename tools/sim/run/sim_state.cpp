// Lookups over the simulator's view of the cluster.
#include "run/sim_state.h"

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

void SimState::Announce(size_t node, const std::string &service, std::optional<uint32_t> index)
{
    const auto where = std::make_pair(node, service);
    const auto it = available.find(where);
    if (it != available.end()) {
        const auto by = announcers.find(it->second.first);
        by->second.erase(it->second.second);
        if (by->second.empty()) {
            announcers.erase(by);
        }
        available.erase(it);
    }
    if (index) {
        const uint64_t order = ++reportOrder;
        available.emplace(where, std::make_pair(*index, order));
        announcers[*index].emplace(order, node);
    }
}

size_t SimState::AnnouncerOf(uint32_t index) const
{
    const auto it = announcers.find(index);
    return it == announcers.end() ? SIZE_MAX : it->second.rbegin()->second;
}

std::optional<uint32_t> SimState::AnnouncedIndex(size_t node, const std::string &service) const
{
    const auto it = available.find({node, service});
    if (it == available.end()) {
        return std::nullopt;
    }
    return it->second.first;
}

void SimState::ExpectedChanged(size_t node, Ms t)
{
    lastExpectedChangeAt = t;
    if (node != SIZE_MAX) {
        nodes[node].lastExpectedChangeAt = t;
    }
}

void SimState::ExpectedChangedEverywhere(Ms t)
{
    lastExpectedChangeAt = t;
    for (NodeState &n : nodes) {
        n.lastExpectedChangeAt = t;
    }
}

uint64_t SimState::HoldingsFingerprint() const
{
    uint64_t h = 1469598103934665603ull;
    const auto mix = [&h](uint64_t v) {
        for (int i = 0; i < 8; ++i) {
            h = (h ^ ((v >> (8 * i)) & 0xFF)) * 1099511628211ull;
        }
    };
    for (size_t n = 0; n < nodes.size(); ++n) {
        mix(n);
        mix(nodes[n].heldLocations.size());
        for (const auto &[id, fingerprint] : nodes[n].heldLocations) {
            mix(id);
            mix(fingerprint);
        }
        mix(nodes[n].heldComponents.size());
        for (const auto &[key, fingerprint] : nodes[n].heldComponents) {
            mix(key.first);
            mix(key.second);
            mix(fingerprint);
        }
    }
    return h;
}

}  // namespace zsim
