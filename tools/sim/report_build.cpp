// Building the report: each agent's holdings with the library's publication state beside them, the drift, the counts.
#include <algorithm>
#include <map>

#include "lib_view.h"
#include "report.h"
#include "zelm_standin.h"

namespace zsim {

namespace {

// The library's state of a location an agent holds; named with its node when the library places it elsewhere.
std::string LibLocState(const SimState &s, uint32_t locId, size_t node)
{
    const locationInst *inst = LibLocation(locId);
    if (inst == nullptr) {
        return "-";
    }
    std::string state = LocStateName(inst->publishState);
    if (inst->osNodeId != s.scenario.nodes[node].osNodeId) {
        const size_t at = s.NodeOfId(inst->osNodeId);
        state += " (at " + (at == SIZE_MAX ? std::string("another node") : s.scenario.nodes[at].name) + ")";
    }
    return state;
}

std::string LibCompState(const SimState &s, uint32_t locIndex, uint32_t compInst, size_t node)
{
    const ZelmComponent *c = LibComponent(locIndex, compInst);
    if (c == nullptr) {
        return "-";
    }
    std::string state = CompStateName(c->state);
    if (LibCompLocation(locIndex)->chanHandle != s.nodes[node].handle) {
        state += " (channel elsewhere)";
    }
    return state;
}

AgentReport AgentOf(const SimState &s, size_t n, bool full)
{
    const NodeDecl &d = s.scenario.nodes[n];
    const NodeState &ns = s.nodes[n];
    AgentReport a;
    a.node = d.name;
    a.osNodeId = d.osNodeId;
    a.hasAgent = ns.handle != 0;
    a.linkUp = ns.linkUp;
    a.agentDown = ns.agentDown;
    a.requests = ns.requests;
    a.failures = ns.failures;
    const osNodeInst *os = LibOsNode(d.osNodeId);
    a.libNode = os == nullptr ? "no record" : os->chanHandle == 0 ? "no channel" : "channel";
    a.libFault = os != nullptr && os->publishFault != 0;
    if (!a.hasAgent) {
        return a;
    }
    a.locCount = STANDIN_AgentLocCount(ns.handle);
    a.compCount = STANDIN_AgentCompCount(ns.handle);
    if (!full) {
        return a;
    }
    std::map<uint32_t, HeldLoc> byIndex;
    for (size_t i = 0; i < a.locCount; ++i) {
        const STANDIN_LocEntry *e = STANDIN_AgentLocGet(ns.handle, i);
        HeldLoc &l = byIndex[e->LocId];
        l.locIndex = e->LocId;
        l.held = true;
        l.name = e->LocName;
        l.libState = LibLocState(s, e->LocId, n);
    }
    for (size_t i = 0; i < a.compCount; ++i) {
        const STANDIN_CompEntry *e = STANDIN_AgentCompGet(ns.handle, i);
        HeldLoc &l = byIndex[e->locIndex];
        l.locIndex = e->locIndex;
        l.comps.push_back({e->locIndex, e->compInst, e->compType, e->compInstName, LibCompState(s, e->locIndex, e->compInst, n)});
    }
    for (auto &[idx, l] : byIndex) {
        a.locations.push_back(std::move(l));
    }
    return a;
}

}  // namespace

Report BuildReport(const SimState &s, Ms now)
{
    Report r;
    r.scenario = s.scenario.name;
    r.source = s.scenario.source;
    r.time = now;
    r.libraryRunning = s.libraryRunning;
    r.haRole = s.haRole;
    r.fullHoldings = s.scenario.report.fullHoldings;
    for (size_t n = 0; n < s.scenario.nodes.size(); ++n) {
        r.agents.push_back(AgentOf(s, n, r.fullHoldings));
    }
    ComputeDrift(s, r.drift);
    r.driftTotal = r.drift.size();
    const size_t limit = s.scenario.report.driftLimit;
    if (limit != 0 && r.drift.size() > limit) {
        r.drift.resize(limit);
    }
    r.counters = s.counters;
    r.ignored = s.ignored;
    r.rejected = s.rejected;
    r.events = s.scenario.events.size();
    r.eventsDone = s.eventsDone;
    r.lastEventAt = s.lastEventAt;
    r.converged = r.driftTotal == 0;
    // Converged from the last moment anything that the drift compares changed.
    r.convergedAt = std::max(s.lastHoldingChangeAt, s.lastExpectedChangeAt);
    return r;
}

}  // namespace zsim
