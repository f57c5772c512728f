// Building the report: each agent's holdings with the library's publication state beside them, the drift
// (also per node and per reason), the counts and the convergence.
#include <fmt/format.h>

#include <algorithm>
#include <map>

#include "report/report.h"
#include "run/agent_view.h"
#include "run/lib_view.h"
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

std::string LibCompState(const SimState &s, const CompKey &key, size_t node)
{
    const ZelmComponent *c = LibComponent(key.first, key.second);
    if (c == nullptr) {
        return "-";
    }
    std::string state = CompStateName(c->state);
    if (LibCompLocation(key.first)->chanHandle != s.nodes[node].handle) {
        state += " (channel elsewhere)";
    }
    return state;
}

// Each held location with the components at the index its node announces it under; the other components
// grouped by their index.
void Holdings(const SimState &s, size_t n, AgentReport &a)
{
    const NodeState &ns = s.nodes[n];
    std::map<uint32_t, std::vector<HeldComp>> byIndex;
    ForEachHeldComponent(ns.handle, [&](uint32_t locIndex, const STANDIN_CompEntry &e) {
        byIndex[locIndex].push_back(
            {e.compInst, e.compType, e.compInstName, LibCompState(s, CompKey{locIndex, e.compInst}, n)});
    });
    ForEachHeldLocation(ns.handle, [&](const STANDIN_LocEntry &e) {
        HeldLoc l{e.LocId, e.LocName, s.AnnouncedIndex(n, e.LocName), LibLocState(s, e.LocId, n), {}};
        if (l.locIndex) {
            if (const auto it = byIndex.find(*l.locIndex); it != byIndex.end()) {
                l.comps = std::move(it->second);
                byIndex.erase(it);
            }
        }
        a.locations.push_back(std::move(l));
    });
    for (auto &[index, comps] : byIndex) {
        a.otherIndexes.push_back({index, std::move(comps)});
    }
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
    a.locCount = STANDIN_AgentLocCount(ns.handle);
    a.compCount = STANDIN_AgentCompCount(ns.handle);
    a.lastChangeAt = ns.lastChangeAt;
    if (full) {
        Holdings(s, n, a);
    }
    return a;
}

// A node converged when what it holds and what it should hold last changed, if no drift remains there.
void NodeConvergence(const SimState &s, const std::vector<DriftItem> &drift, Report &r)
{
    std::map<std::string, size_t> byNode;
    std::map<std::string, std::vector<NodeReason>> reasons;
    for (const DriftItem &d : drift) {
        byNode[d.node]++;
        std::vector<NodeReason> &list = reasons[d.node];
        auto it = std::find_if(list.begin(), list.end(),
                               [&d](const NodeReason &x) { return x.kind == d.kind && x.reason == d.why.reason; });
        if (it == list.end()) {
            it = list.insert(list.end(), NodeReason{d.kind, d.why.reason, 0, std::nullopt});
        }
        it->items++;
        if (!it->cause) {
            it->cause = d.why.cause;
        }
    }
    for (size_t n = 0; n < r.agents.size(); ++n) {
        AgentReport &a = r.agents[n];
        a.driftItems = byNode[a.node];
        a.reasons = std::move(reasons[a.node]);
        std::stable_sort(a.reasons.begin(), a.reasons.end(),
                         [](const NodeReason &x, const NodeReason &y) { return x.items > y.items; });
        if (a.driftItems == 0) {
            a.convergedAt = std::max(s.nodes[n].lastChangeAt.value_or(0), s.nodes[n].lastExpectedChangeAt.value_or(0));
        }
    }
}

std::vector<ReasonCount> ByReason(const std::vector<DriftItem> &drift)
{
    std::map<std::pair<DriftKind, DriftReason>, size_t> counts;
    for (const DriftItem &d : drift) {
        counts[{d.kind, d.why.reason}]++;
    }
    std::vector<ReasonCount> out;
    for (const auto &[key, n] : counts) {
        out.push_back({key.first, key.second, n});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const ReasonCount &a, const ReasonCount &b) { return a.items > b.items; });
    return out;
}

void CountEvents(const SimState &s, Report &r)
{
    const std::vector<Event> &events = s.scenario.events;
    for (size_t i = 0; i < events.size(); ++i) {
        EventCount &c = events[i].origin == EventOrigin::Written   ? r.written
                        : events[i].origin == EventOrigin::Implied ? r.implied
                                                                   : r.generated;
        c.total++;
        c.applied += i < s.eventsDone ? 1 : 0;
    }
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
    NodeConvergence(s, r.drift, r);
    r.driftByReason = ByReason(r.drift);
    r.driftTotal = r.drift.size();
    const size_t limit = s.scenario.report.driftLimit;
    if (limit != 0 && r.drift.size() > limit) {
        r.drift.resize(limit);
    }
    r.counters = s.counters;
    r.cost = s.cost;
    r.ignored = s.ignored;
    r.rejected = s.rejected;
    CountEvents(s, r);
    r.lastEventAt = s.lastEventAt;
    r.end = s.end;
    r.converged = r.driftTotal == 0;
    // Converged from the last moment anything that the drift compares changed.
    r.convergedAt = std::max(s.lastHoldingChangeAt, s.lastExpectedChangeAt);
    const size_t applied = r.written.applied + r.implied.applied + r.generated.applied;
    if (r.converged && applied > 0 && r.convergedAt >= r.lastEventAt) {
        r.settledAfterLastEvent = r.convergedAt - r.lastEventAt;
    }
    if (s.counters.partlyDecoded != 0) {
        r.notes.push_back(
            fmt::format("{} requests carried more entries than the stand-in's agents decode (65536): "
                        "they hold the first ones only",
                        s.counters.partlyDecoded));
    }
    if (const size_t escaped = MakePrintable(r); escaped != 0) {
        r.notes.push_back(
            fmt::format("{} texts held bytes that are not printable UTF-8; they are shown as \\xNN", escaped));
    }
    return r;
}

}  // namespace zsim
