// Following the library's fault flags of the peers that the run touches.
#include "run/fault_watch.h"

#include "run/lib_view.h"

namespace zsim {

void FaultWatch::Touch(size_t node, bool component, uint32_t locIndex)
{
    if (state_.history != nullptr) {
        touched_.insert({node, component, component ? locIndex : 0});
    }
}

bool FaultWatch::Flagged(const Peer &peer) const
{
    const auto &[node, component, locIndex] = peer;
    if (!component) {
        const osNodeInst *os = LibOsNode(state_.scenario.nodes[node].osNodeId);
        return os != nullptr && os->publishFault != 0;
    }
    // A component location's flag is this node's while the library publishes the index to its agent.
    const ZelmCompLocation *loc = LibCompLocation(locIndex);
    return loc != nullptr && loc->publishFault != 0 && loc->chanHandle == state_.nodes[node].handle;
}

void FaultWatch::Look(Ms now)
{
    if (state_.history == nullptr) {
        return;
    }
    for (auto it = open_.begin(); it != open_.end();) {
        touched_.erase(it->first);
        if (Flagged(it->first)) {
            ++it;
            continue;
        }
        state_.history->nodes[std::get<0>(it->first)].faults[it->second].span.to = now;
        it = open_.erase(it);
    }
    for (const Peer &peer : touched_) {
        if (Flagged(peer)) {
            const auto &[node, component, locIndex] = peer;
            std::vector<FaultSpan> &faults = state_.history->nodes[node].faults;
            open_.emplace(peer, faults.size());
            faults.push_back({component, locIndex, Span{now, std::nullopt}});
        }
    }
    touched_.clear();
}

}  // namespace zsim
