// The report as JSON: the same content as the text report, keys named after the records' fields and in a
// fixed order, nothing that varies between runs of the same scenario.
#include <nlohmann/json.hpp>

#include "report/report.h"

namespace zsim {

namespace {

using Json = nlohmann::ordered_json;

Json Optional(const std::optional<uint64_t> &v)
{
    return v ? Json(*v) : Json(nullptr);
}

Json AtomNotes(const std::vector<AtomNote> &notes)
{
    Json out = Json::array();
    for (const AtomNote &n : notes) {
        out.push_back({{"at", n.at},
                       {"class", ClassName(n.cls)},
                       {"key", n.key},
                       {"opCode", n.opCode},
                       {"seq", n.seq},
                       {"reason", n.reason}});
    }
    return out;
}

Json Components(const std::vector<HeldComp> &comps)
{
    Json out = Json::array();
    for (const HeldComp &c : comps) {
        out.push_back({{"compInst", c.compInst},
                       {"compInstName", c.compInstName},
                       {"compType", c.compType},
                       {"libState", c.libState}});
    }
    return out;
}

Json Holdings(const AgentReport &a)
{
    Json locs = Json::array();
    for (const HeldLoc &l : a.locations) {
        locs.push_back({{"LocId", l.LocId},
                        {"LocName", l.LocName},
                        {"locIndex", Optional(l.locIndex)},
                        {"libState", l.libState},
                        {"components", Components(l.comps)}});
    }
    return locs;
}

Json Agent(const AgentReport &a, bool full)
{
    Json j = {{"node", a.node},
              {"osNodeId", a.osNodeId},
              {"agent", a.hasAgent ? (a.agentDown ? "down" : "up") : "none"},
              {"link", a.linkUp ? "up" : "down"},
              {"library", {{"osNode", a.libNode}, {"fault", a.libFault}}},
              {"requests", a.requests},
              {"failures", a.failures},
              {"locationCount", a.locCount},
              {"componentCount", a.compCount},
              {"driftItems", a.driftItems},
              {"lastChangeAt", Optional(a.lastChangeAt)},
              {"convergedAt", Optional(a.convergedAt)}};
    if (!full) {
        return j;
    }
    j["locations"] = Holdings(a);
    Json others = Json::array();
    for (const IndexGroup &g : a.otherIndexes) {
        others.push_back({{"locIndex", g.locIndex}, {"components", Components(g.comps)}});
    }
    j["otherIndexes"] = std::move(others);
    return j;
}

Json Value(const Difference &d, bool held)
{
    if (d.isText) {
        return held ? d.heldText : d.configuredText;
    }
    return held ? d.heldNumber : d.configuredNumber;
}

Json Drift(const DriftItem &d)
{
    Json j = {{"kind", KindName(d.kind)}, {"what", d.component ? "component" : "location"}, {"node", d.node}};
    if (d.component) {
        j["locIndex"] = *d.locIndex;
        j["compInst"] = d.compInst;
        j["compInstName"] = d.name;
    } else {
        j["LocId"] = d.LocId;
        j["LocName"] = d.name;
        j["locIndex"] = Optional(d.locIndex);
    }
    j["reason"] = d.why.text;
    j["reasonCode"] = ReasonCode(d.why.reason);
    j["cause"] = d.why.cause ? Json{{"at", d.why.cause->at}, {"what", d.why.cause->what}} : Json(nullptr);
    if (!d.differences.empty()) {
        Json diffs = Json::array();
        for (const Difference &diff : d.differences) {
            diffs.push_back({{"field", diff.field}, {"held", Value(diff, true)}, {"configured", Value(diff, false)}});
        }
        j["differences"] = std::move(diffs);
    }
    return j;
}

Json DriftPart(const Report &r)
{
    Json byReason = Json::array();
    for (const ReasonCount &c : r.driftByReason) {
        byReason.push_back({{"kind", KindName(c.kind)}, {"reasonCode", ReasonCode(c.reason)}, {"items", c.items}});
    }
    Json items = Json::array();
    for (const DriftItem &d : r.drift) {
        items.push_back(Drift(d));
    }
    return {{"total", r.driftTotal},
            {"listed", r.drift.size()},
            {"byReason", std::move(byReason)},
            {"items", std::move(items)}};
}

Json Counts(const Report &r)
{
    const Counters &c = r.counters;
    Json ticks = Json::object();
    for (const auto &[name, n] : c.ticks) {
        ticks[name] = n;
    }
    return {{"requests", c.Requests()},
            {"locationRequests", c.locRequests},
            {"componentRequests", c.compRequests},
            {"failures", c.Failures()},
            {"refused", c.refused},
            {"failedCompletions", c.failedCompletions},
            {"retries", c.retries},
            {"timerTicks", std::move(ticks)},
            {"configMessages", c.configMessages},
            {"atoms", c.atoms},
            {"atomsIgnored", r.ignored.size()},
            {"atomsRejected", r.rejected.size()},
            {"atomsHeldWhileStopped", c.heldAtoms}};
}

Json CostCounts(const EntryCounts &c)
{
    Json tree = Json::object();
    for (size_t f = 0; f < kTreeFunctions; ++f) {
        tree[TreeFunctionName(f)] = c.tree[f];
    }
    return {{"treeSteps", c.TreeSteps()}, {"tree", std::move(tree)},      {"hostAllocations", c.hostAllocs},
            {"hostBytes", c.hostBytes},   {"rpcRequests", c.rpcRequests}, {"rpcEntries", c.rpcEntries}};
}

Json CostPart(const Report &r)
{
    Json kinds = Json::array();
    for (size_t kind = 0; kind < kEntryKinds; ++kind) {
        const KindCost &k = r.cost.kinds[kind];
        Json row = {{"kind", EntryKindKey(kind)}, {"entries", k.total.entries}};
        row.update(CostCounts(k.total));
        Json largest = nullptr;
        if (k.total.entries != 0) {
            largest = {{"at", k.largestAt}, {"what", k.largestWhat}};
            largest.update(CostCounts(k.largest));
        }
        row["largest"] = std::move(largest);
        kinds.push_back(std::move(row));
    }
    const Dominant d = DominantCost(r.cost);
    Json dominant = nullptr;
    if (d.kind != kEntryKinds) {
        dominant = {{"kind", EntryKindKey(d.kind)}, {"percent", d.percent}, {"explanation", d.why}};
    }
    return {{"treeSteps", r.cost.TreeSteps()}, {"byKind", std::move(kinds)}, {"dominant", std::move(dominant)}};
}

const char *EndName(EndReason reason)
{
    switch (reason) {
    case EndReason::Settled:
        return "settled";
    case EndReason::SettleLimit:
        return "settleLimit";
    case EndReason::Until:
        return "until";
    }
    return "?";
}

Json EventCountJson(const EventCount &c)
{
    return {{"total", c.total}, {"applied", c.applied}};
}

}  // namespace

std::string ToJson(const Report &r)
{
    Json j;
    j["schemaVersion"] = kJsonSchemaVersion;
    j["scenario"] = r.scenario;
    j["source"] = r.source;
    j["time"] = r.time;
    j["end"] = {{"reason", EndName(r.end.reason)},
                {"timersRunning", r.end.timersRunning},
                {"callsInFlight", r.end.callsInFlight}};
    j["notes"] = r.notes;
    j["library"] = r.libraryRunning ? "running" : "stopped";
    j["haRole"] = r.haRole;
    j["holdings"] = r.fullHoldings ? "full" : "summary";
    Json agents = Json::array();
    for (const AgentReport &a : r.agents) {
        agents.push_back(Agent(a, r.fullHoldings));
    }
    j["agents"] = std::move(agents);
    j["drift"] = DriftPart(r);
    j["counts"] = Counts(r);
    j["cost"] = CostPart(r);
    j["ignored"] = AtomNotes(r.ignored);
    j["rejected"] = AtomNotes(r.rejected);
    j["events"] = {{"written", EventCountJson(r.written)},
                   {"implied", EventCountJson(r.implied)},
                   {"generated", EventCountJson(r.generated)},
                   {"lastAt", r.lastEventAt}};
    j["converged"] = r.converged;
    j["convergedAt"] = r.converged ? Json(r.convergedAt) : Json(nullptr);
    j["settledAfterLastEvent"] = r.settledAfterLastEvent ? Json(*r.settledAfterLastEvent) : Json(nullptr);
    // Every text was made printable when the report was built; replacing is the last guard of a valid file.
    return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace zsim
