// The library's fault flags over a run, for the history: a peer touched by a call or a completion, or
// still flagged, is looked at after each run of the loop, and its flag's periods are noted.
#ifndef ZELM_SIM_FAULT_WATCH_H
#define ZELM_SIM_FAULT_WATCH_H

#include <cstdint>
#include <map>
#include <set>
#include <tuple>

#include "run/sim_state.h"

namespace zsim {

class FaultWatch {
public:
    explicit FaultWatch(SimState &state) : state_(state) {}
    // A request went to this peer of `node`: the OS node (component false) or a component location.
    void Touch(size_t node, bool component, uint32_t locIndex);
    void Look(Ms now);

private:
    using Peer = std::tuple<size_t, bool, uint32_t>;
    bool Flagged(const Peer &peer) const;

    SimState &state_;
    std::set<Peer> touched_;
    std::map<Peer, size_t> open_;  // flagged peers -> their open span in the node's history
};

}  // namespace zsim

#endif
