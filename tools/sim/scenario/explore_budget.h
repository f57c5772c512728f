// The fault budget of `zelm-sim explore`: which agents may misbehave, in which ways, how often and when.
#ifndef ZELM_SIM_EXPLORE_BUDGET_H
#define ZELM_SIM_EXPLORE_BUDGET_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "text/units.h"

namespace zsim {

struct Scenario;

enum class FaultKind {
    Refuse,    // the agent refuses its next calls with a status
    Fail,      // it completes its next calls with a non-zero result
    NoReply,   // it completes its next calls without a reply message
    Lag,       // it answers late for a while
    Down,      // it is down for a while
    LinkFlap,  // the node's link goes down for a while
    HaFlip,    // the HA role flips for a while
    Restart,   // the library is stopped, and started again (with replay) after a while
};

// The name a scenario uses: "refuse", "noReply", "linkFlap".
const char *FaultKindName(FaultKind kind);
std::optional<FaultKind> FaultKindByName(std::string_view name);
// Whether a fault of this kind concerns one node (all but the HA role's and the library's).
bool NeedsNode(FaultKind kind);

// What a run may draw. Without an `explore:` section every agent, every kind, 3 faults, within the timeline.
struct ExploreBudget {
    std::vector<size_t> agents;  // nodes (with an agent) whose agent or link may misbehave
    std::vector<FaultKind> kinds;
    uint32_t maxFaults = 3;  // a run holds 1 to this many
    Ms from = 0;             // faults start in [from, to]
    Ms to = 0;
    Ms longest = 10000;  // the longest outage, lag, flap or stop (and the longest lag itself)
};

inline constexpr uint32_t kMaxFaultsPerRun = 64;

// The budget without an `explore:` section: every node with an agent, every kind, 3 faults, starting between
// the first and the last event of the timeline, lasting at most 10 s.
ExploreBudget DefaultExploreBudget(const Scenario &sc);

}  // namespace zsim

#endif
