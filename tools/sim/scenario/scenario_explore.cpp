// Reading the `explore:` section of a scenario: the faults `zelm-sim explore` may draw, checked like the rest.
#include <algorithm>

#include "scenario/scenario_keys.h"
#include "scenario/scenario_parse.h"
#include "text/printable.h"
#include "text/units.h"

namespace zsim {

namespace {

constexpr FaultKind kKinds[] = {FaultKind::Refuse, FaultKind::Fail,     FaultKind::NoReply, FaultKind::Lag,
                                FaultKind::Down,   FaultKind::LinkFlap, FaultKind::HaFlip,  FaultKind::Restart};
constexpr const char *kKindNames[] = {"refuse", "fail", "noReply", "lag", "down", "linkFlap", "haFlip", "restart"};
static_assert(std::size(kKinds) == std::size(kKindNames), "one name per fault kind");

// "refuse, fail, ...": the kinds a scenario may name, for its error messages.
std::string KindList()
{
    std::string list;
    for (const char *name : kKindNames) {
        list += (list.empty() ? "" : ", ") + std::string(name);
    }
    return list;
}

std::vector<size_t> ParseAgents(const YamlReader &r, const YAML::Node &list, const Scenario &sc, const NodeIndex &index)
{
    r.ExpectList(list, "agents", "names of nodes with an agent");
    if (list.size() == 0) {
        r.Fail(list, "agents must name at least one node with an agent");
    }
    std::vector<size_t> agents;
    for (const YAML::Node &n : list) {
        const size_t i = FindNode(r, n, index);
        if (!sc.nodes[i].agent) {
            r.Fail(n, "node " + Quoted(sc.nodes[i].name) + " has no agent");
        }
        if (std::find(agents.begin(), agents.end(), i) != agents.end()) {
            r.Fail(n, "node " + Quoted(sc.nodes[i].name) + " is named twice");
        }
        agents.push_back(i);
    }
    return agents;
}

std::vector<FaultKind> ParseKinds(const YamlReader &r, const YAML::Node &list)
{
    r.ExpectList(list, "faults", "fault kinds");
    if (list.size() == 0) {
        r.Fail(list, "faults must name at least one of " + KindList());
    }
    std::vector<FaultKind> kinds;
    for (const YAML::Node &n : list) {
        const std::string name = r.Text(n, "a fault kind");
        const std::optional<FaultKind> kind = FaultKindByName(name);
        if (!kind) {
            r.Fail(n, "unknown fault kind " + Quoted(name) + NotAmong(name, kKindNames, "the kinds"));
        }
        if (std::find(kinds.begin(), kinds.end(), *kind) != kinds.end()) {
            r.Fail(n, "fault kind " + Quoted(name) + " is named twice");
        }
        kinds.push_back(*kind);
    }
    return kinds;
}

void ParseWindow(const YamlReader &r, const YAML::Node &window, ExploreBudget &b)
{
    r.CheckKeys(window, kWindowKeys, "window");
    if (window["from"]) {
        b.from = r.Duration(window["from"], "from");
    }
    if (window["to"]) {
        b.to = r.Duration(window["to"], "to");
    }
    if (b.from > b.to) {
        const YAML::Node at = window["to"] ? window["to"] : window["from"];
        r.Fail(at, "the window ends before it starts: from " + Seconds(b.from) + ", to " + Seconds(b.to) +
                       " (without 'from' or 'to', the first or the last event of the timeline)");
    }
}

}  // namespace

std::vector<const char *> FaultKindNames()
{
    return {std::begin(kKindNames), std::end(kKindNames)};
}

const char *FaultKindName(FaultKind kind)
{
    return kKindNames[static_cast<size_t>(kind)];
}

std::optional<FaultKind> FaultKindByName(std::string_view name)
{
    for (const FaultKind k : kKinds) {
        if (name == FaultKindName(k)) {
            return k;
        }
    }
    return std::nullopt;
}

bool NeedsNode(FaultKind kind)
{
    return kind != FaultKind::HaFlip && kind != FaultKind::Restart;
}

ExploreBudget DefaultExploreBudget(const Scenario &sc)
{
    ExploreBudget b;
    for (size_t i = 0; i < sc.nodes.size(); ++i) {
        if (sc.nodes[i].agent) {
            b.agents.push_back(i);
        }
    }
    b.kinds.assign(std::begin(kKinds), std::end(kKinds));
    // The timeline may not be sorted yet.
    const auto [first, last] = std::minmax_element(sc.events.begin(), sc.events.end(),
                                                   [](const Event &a, const Event &e) { return a.at < e.at; });
    if (first != sc.events.end()) {
        b.from = first->at;
        b.to = last->at;
    }
    return b;
}

ExploreBudget ParseExplore(const YamlReader &r, const YAML::Node &block, const Scenario &sc, const NodeIndex &index)
{
    r.CheckKeys(block, kExploreKeys, "explore");
    ExploreBudget b = DefaultExploreBudget(sc);
    if (block["agents"]) {
        b.agents = ParseAgents(r, block["agents"], sc, index);
    }
    if (block["faults"]) {
        b.kinds = ParseKinds(r, block["faults"]);
    }
    if (const YAML::Node n = block["maxFaults"]) {
        b.maxFaults = static_cast<uint32_t>(r.UInt(n, kMaxFaultsPerRun, "maxFaults"));
        if (b.maxFaults == 0) {
            r.Fail(n, "maxFaults must be at least 1: a run of the scenario without faults is a plain zelm-sim run");
        }
    }
    if (block["window"]) {
        ParseWindow(r, block["window"], b);
    }
    if (const YAML::Node n = block["longest"]) {
        b.longest = r.Duration(n, "longest");
        if (b.longest == 0) {
            r.Fail(n, "longest must be at least 1 ms");
        }
    }
    if (b.agents.empty() && std::all_of(b.kinds.begin(), b.kinds.end(), NeedsNode)) {
        r.Fail(
            block,
            "nothing to explore: no node has an agent, and every fault kind given needs one (haFlip and restart do not)");
    }
    return b;
}

}  // namespace zsim
