// The report of a run: what every agent holds beside the library's view, the drift from the
// configuration with its reasons, the counts and how the run ended. Built once, written as text or JSON.
#ifndef ZELM_SIM_REPORT_H
#define ZELM_SIM_REPORT_H

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "run/drift_reason.h"
#include "run/sim_state.h"

namespace zsim {

struct HeldComp {
    uint32_t compInst = 0;
    uint32_t compType = 0;
    std::string compInstName;
    std::string libState;  // the library's publication state, "-" when it holds no such component
};

// A location an agent holds, with the index its node announces it under and the components held there.
struct HeldLoc {
    uint32_t LocId = 0;
    std::string LocName;
    std::optional<uint32_t> locIndex;
    std::string libState;
    std::vector<HeldComp> comps;
};

// Components an agent holds at an index that none of the locations it holds is announced under.
struct IndexGroup {
    uint32_t locIndex = 0;
    std::vector<HeldComp> comps;
};

// A node's drift items of one kind and reason, with the cause of the first of them that has one.
struct NodeReason {
    DriftKind kind = DriftKind::Missing;
    DriftReason reason = DriftReason::NotConfigured;
    size_t items = 0;
    std::optional<Cause> cause;
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
    size_t driftItems = 0;
    std::optional<Ms> lastChangeAt;   // its holdings last changed; never when empty
    std::optional<Ms> convergedAt;    // from when it held what it should; empty while drift remains
    std::vector<NodeReason> reasons;  // its drift by kind and reason, most items first
    std::vector<HeldLoc> locations;   // empty when the report lists counts only
    std::vector<IndexGroup> otherIndexes;
};

// One field of a stale entry: numbers or texts, as the records hold them.
struct Difference {
    std::string field;
    bool isText = false;
    bool hex = false;  // a number best read in hexadecimal (cfgStatus)
    uint32_t heldNumber = 0;
    uint32_t configuredNumber = 0;
    std::string heldText;
    std::string configuredText;
};

struct DriftItem {
    DriftKind kind = DriftKind::Missing;
    bool component = false;
    std::string node;                  // "-" when no node fits
    uint32_t LocId = 0;                // locations
    std::optional<uint32_t> locIndex;  // a location: the index its node announces it under; a component: its own
    uint32_t compInst = 0;             // components
    std::string name;                  // LocName or compInstName
    Why why;
    std::vector<Difference> differences;  // stale
};

struct ReasonCount {
    DriftKind kind = DriftKind::Missing;
    DriftReason reason = DriftReason::NotConfigured;
    size_t items = 0;
};

struct EventCount {
    size_t total = 0;
    size_t applied = 0;
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
    std::vector<ReasonCount> driftByReason;  // every item, most frequent first
    Counters counters;
    CostTable cost;
    std::vector<AtomNote> ignored;
    std::vector<AtomNote> rejected;
    EventCount written;    // timeline entries
    EventCount implied;    // recoveries after `downFor`
    EventCount generated;  // from `generate`
    Ms lastEventAt = 0;
    RunEnd end;
    bool converged = false;
    Ms convergedAt = 0;
    // How long the agents took to settle after the last event; empty when they have not converged, settled
    // before it, or no event was applied.
    std::optional<Ms> settledAfterLastEvent;
    std::vector<std::string> notes;  // things the reader should know about the report itself
};

// Looks at the agents and the running library now.
Report BuildReport(const SimState &state, Ms now);
// Appends the drift items (all of them) to `out`.
void ComputeDrift(const SimState &state, std::vector<DriftItem> &out);
// Rewrites every text of the report that is not printable UTF-8; returns how many it changed.
size_t MakePrintable(Report &report);

// Reasons, from the library's rules, for one drift item (explain.cpp).
Why WhyLocationMissing(const SimState &s, uint32_t locId, size_t node);
Why WhyLocationExtra(const SimState &s, uint32_t locId, size_t node);
Why WhyCompMissing(const SimState &s, const CompKey &key, size_t node);
Why WhyCompExtra(const SimState &s, const CompKey &key, size_t node);
Why WhyUnplaced(const SimState &s, uint32_t locIndex);

void WriteText(const Report &r, FILE *out, bool colour);
// The text report's last parts (counts, convergence), without colour.
void WriteCountsAndConvergence(const Report &r, FILE *out);
// A drift item's entry as the report names it: "component 6/601", "location 6 (index 16)".
std::string DriftEntry(const DriftItem &d);
// One side of a stale field as the report shows it: a number, or a text in quotes.
std::string DifferenceText(const Difference &d, bool held);
// Why the run ended, as the text report's first line says it.
std::string RunEndText(const Report &r);
// The COST part in one line, for the timeline page: the tree steps and the kind that dominates them.
std::string CostLine(const Report &r);
// The JSON text of the report (deterministic: same scenario, same text).
std::string ToJson(const Report &r);
// The version of the JSON report's layout; it changes when a key changes meaning or goes.
inline constexpr int kJsonSchemaVersion = 2;

}  // namespace zsim

#endif
