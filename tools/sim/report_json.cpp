// The report as JSON: the same content as the text report, keys in a fixed order, nothing that varies between runs.
#include <nlohmann/json.hpp>

#include "report.h"

namespace zsim {

namespace {

using Json = nlohmann::ordered_json;

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
              {"componentCount", a.compCount}};
    if (!full) {
        return j;
    }
    Json locs = Json::array();
    for (const HeldLoc &l : a.locations) {
        Json lj = {{"locIndex", l.locIndex}, {"held", l.held}};
        if (l.held) {
            lj["name"] = l.name;
            lj["libState"] = l.libState;
        }
        Json comps = Json::array();
        for (const HeldComp &c : l.comps) {
            comps.push_back({{"compInst", c.compInst}, {"name", c.name}, {"compType", c.compType}, {"libState", c.libState}});
        }
        lj["components"] = std::move(comps);
        locs.push_back(std::move(lj));
    }
    j["locations"] = std::move(locs);
    return j;
}

Json Drift(const DriftItem &d)
{
    Json j = {{"kind", d.kind}, {"what", d.what}, {"node", d.node}, {"locIndex", d.locIndex}};
    if (d.compInst) {
        j["compInst"] = *d.compInst;
    }
    j["name"] = d.name;
    j["reason"] = d.reason;
    if (!d.differences.empty()) {
        j["differences"] = d.differences;
    }
    return j;
}

}  // namespace

std::string ToJson(const Report &r)
{
    Json j;
    j["scenario"] = r.scenario;
    j["source"] = r.source;
    j["time"] = r.time;
    j["library"] = r.libraryRunning ? "running" : "stopped";
    j["haRole"] = r.haRole;
    j["holdings"] = r.fullHoldings ? "full" : "summary";
    Json agents = Json::array();
    for (const AgentReport &a : r.agents) {
        agents.push_back(Agent(a, r.fullHoldings));
    }
    j["agents"] = std::move(agents);
    Json items = Json::array();
    for (const DriftItem &d : r.drift) {
        items.push_back(Drift(d));
    }
    j["drift"] = {{"total", r.driftTotal}, {"listed", r.drift.size()}, {"items", std::move(items)}};
    const Counters &c = r.counters;
    Json ticks = Json::object();
    for (const auto &[name, n] : c.ticks) {
        ticks[name] = n;
    }
    j["counts"] = {{"requests", c.locRequests + c.compRequests},
                   {"locationRequests", c.locRequests},
                   {"componentRequests", c.compRequests},
                   {"failures", c.refused + c.failedCompletions},
                   {"refused", c.refused},
                   {"failedCompletions", c.failedCompletions},
                   {"retries", c.retries},
                   {"timerTicks", std::move(ticks)},
                   {"configMessages", c.configMessages},
                   {"atoms", c.atoms},
                   {"atomsIgnored", r.ignored.size()},
                   {"atomsRejected", r.rejected.size()},
                   {"atomsHeldWhileStopped", c.heldAtoms}};
    j["ignored"] = AtomNotes(r.ignored);
    j["rejected"] = AtomNotes(r.rejected);
    j["events"] = {{"total", r.events}, {"applied", r.eventsDone}, {"lastAt", r.lastEventAt}};
    j["converged"] = r.converged;
    j["convergedAt"] = r.converged ? Json(r.convergedAt) : Json(nullptr);
    // How long the agents took to settle after the last event; null when they settled before it.
    j["settledAfterLastEvent"] =
        r.converged && r.eventsDone > 0 && r.convergedAt >= r.lastEventAt ? Json(r.convergedAt - r.lastEventAt) : Json(nullptr);
    return j.dump(2) + "\n";
}

}  // namespace zsim
