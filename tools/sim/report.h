// The report of a run: what every agent holds beside the library's view, the drift from the
// configuration with its reasons, and the counts. Built once, written as text or JSON.
#ifndef ZELM_SIM_REPORT_H
#define ZELM_SIM_REPORT_H

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "sim_state.h"

namespace zsim {

struct HeldComp {
    uint32_t locIndex = 0;
    uint32_t compInst = 0;
    uint32_t compType = 0;
    std::string name;
    std::string libState;  // the library's publication state, "-" when it holds no such component
};

struct HeldLoc {
    uint32_t locIndex = 0;
    bool held = false;  // false: a group for components whose location this agent does not hold
    std::string name;
    std::string libState;
    std::vector<HeldComp> comps;
};

struct AgentReport {
    std::string node;
    uint32_t osNodeId = 0;
    bool hasAgent = false;
    bool linkUp = false;
    bool agentDown = false;
    std::string libNode;  // the library's OS-node record: "channel", "no channel", "no record"
    bool libFault = false;
    uint64_t requests = 0;
    uint64_t failures = 0;
    size_t locCount = 0;
    size_t compCount = 0;
    std::vector<HeldLoc> locations;  // empty when the report lists counts only
};

struct DriftItem {
    std::string kind;  // "missing", "extra", "stale"
    std::string what;  // "location", "component"
    std::string node;  // "-" when no node fits
    uint32_t locIndex = 0;
    std::optional<uint32_t> compInst;
    std::string name;
    std::string reason;
    std::vector<std::string> differences;  // stale: "field: held X, configured Y"
};

struct Report {
    std::string scenario;
    std::string source;
    Ms time = 0;
    bool libraryRunning = false;
    uint32_t haRole = 0;
    bool fullHoldings = true;
    std::vector<AgentReport> agents;
    std::vector<DriftItem> drift;  // at most the scenario's drift limit
    size_t driftTotal = 0;
    Counters counters;
    std::vector<AtomNote> ignored;
    std::vector<AtomNote> rejected;
    size_t events = 0;
    size_t eventsDone = 0;
    Ms lastEventAt = 0;
    bool converged = false;
    Ms convergedAt = 0;
};

// Looks at the agents and the running library now.
Report BuildReport(const SimState &state, Ms now);
// Appends the drift items (all of them) to `out`.
void ComputeDrift(const SimState &state, std::vector<DriftItem> &out);

// Reasons, from the library's rules, for one drift item (explain.cpp).
std::string WhyLocationMissing(const SimState &s, uint32_t locId, size_t node);
std::string WhyLocationExtra(const SimState &s, uint32_t locId, size_t node);
std::string WhyCompMissing(const SimState &s, const CompKey &key, size_t node);
std::string WhyCompExtra(const SimState &s, const CompKey &key, size_t node);
std::string WhyUnplaced(const SimState &s, uint32_t locIndex);

void WriteText(const Report &r, FILE *out, bool colour);
// The JSON text of the report (deterministic: same scenario, same text).
std::string ToJson(const Report &r);

}  // namespace zsim

#endif
