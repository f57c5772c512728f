// Reading a scenario: the document, the top-level fields, the OS nodes and the timeline of events.
#include "scenario/scenario_parse.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>

#include "scenario/scenario_keys.h"
#include "text/printable.h"
#include "text/units.h"

namespace zsim {

namespace {

constexpr size_t kMaxScenarioNameLength = 100;

class ScenarioParser {
public:
    ScenarioParser(const std::string &source, const ReadLimits &limits)
        : r_(source), limits_(limits), budget_(limits.memoryBytes)
    {}
    Scenario Parse(const std::string &text);

private:
    YAML::Node Document(const std::string &text);
    void ParseTop(const YAML::Node &root);
    void ParseNodes(const YAML::Node &list);
    void ParseReport(const YAML::Node &block);
    void ParseEvent(const YAML::Node &entry);
    Ms ParseAt(const YAML::Node &at);
    void ParseConfig(const YAML::Node &value, Event &ev);
    void ParseLink(const YAML::Node &value, Event &ev);
    void ParseLocationStatus(const YAML::Node &value, Event &ev);
    void ParseAgent(const YAML::Node &value, Event &ev);
    void ParseDownFor(const YAML::Node &value, Event &ev);
    void ParseLibrary(const YAML::Node &value, Event &ev);
    size_t AgentNode(const YAML::Node &map, const char *what);
    void CheckUniqueNodes();
    void Charge(const ScenarioSize &size, Mark mark);
    void Add(Event ev);

    YamlReader r_;
    ReadLimits limits_;
    MemoryBudget budget_;
    Scenario sc_;
    NodeIndex nodeIndex_{sc_.nodes, {}};
    std::vector<Mark> nodeMarks_;  // where each declared node stands; none for generated ones
    Ms lastAt_ = 0;
    uint16_t nextSeq_ = 1;
    std::optional<Event> recovery_;  // the implied end of a `downFor`, added after its event
};

YAML::Node ScenarioParser::Document(const std::string &text)
{
    // A limit allows a text of a sixteenth of it at most, whatever the text holds.
    const double bytes = std::max(ReadBytes(text), 16.0 * static_cast<double>(text.size()));
    if (text.size() > MaxTextBytes(limits_.memoryBytes) || bytes > static_cast<double>(limits_.memoryBytes)) {
        r_.Fail(Mark{},
                OverBudget("reading this scenario (" + FormatBytes(text.size()) + ")", bytes, limits_.memoryBytes));
    }
    return LoadDocument(r_, text);
}

Scenario ScenarioParser::Parse(const std::string &text)
{
    const YAML::Node root = Document(text);
    try {
        ParseTop(root);
    } catch (const YAML::Exception &e) {
        // Every access is checked before it is made; this is the guard for what slipped through.
        r_.Fail(Mark{e.mark.line + 1, e.mark.column + 1}, "unreadable here: " + e.msg);
    }
    std::stable_sort(sc_.events.begin(), sc_.events.end(), [](const Event &a, const Event &b) { return a.at < b.at; });
    for (Event &ev : sc_.events) {
        ev.atoms.ShrinkToFit();
    }
    sc_.events.shrink_to_fit();
    sc_.warnings = r_.TakeWarnings();
    return std::move(sc_);
}

void ScenarioParser::ParseTop(const YAML::Node &root)
{
    if (!root.IsMap()) {
        r_.Fail(root,
                "a scenario must be a map with at least 'nodes' (or 'generate') and 'timeline', not " + Describe(root));
    }
    r_.CheckKeys(root, kScenarioKeys, "the scenario");
    sc_.source = r_.file();
    sc_.name = root["name"] ? r_.Name(root["name"], kMaxScenarioNameLength, "name") : sc_.source;
    sc_.description = root["description"] ? r_.Text(root["description"], "description") : "";
    sc_.haRole = root["haRole"] ? r_.U32(root["haRole"], "haRole") : 0;
    if (root["until"]) {
        sc_.until = r_.Duration(root["until"], "until");
    }
    if (root["settle"]) {
        sc_.settle = r_.Duration(root["settle"], "settle");
    }
    if (root["report"]) {
        ParseReport(root["report"]);
    }
    // Nodes come first whatever the key order: atoms and events name them.
    if (root["generate"]) {
        Generate(r_, root["generate"], sc_, budget_);
        for (size_t i = 0; i < sc_.nodes.size(); ++i) {
            nodeIndex_.byName.emplace(sc_.nodes[i].name, i);
        }
    }
    if (root["nodes"]) {
        ParseNodes(root["nodes"]);
    }
    if (sc_.nodes.empty()) {
        r_.Fail(root, "the scenario declares no OS node: give 'nodes' (or 'generate')");
    }
    CheckUniqueNodes();
    if (root["timeline"]) {
        r_.ExpectList(root["timeline"], "timeline", "events");
        for (const YAML::Node &entry : root["timeline"]) {
            ParseEvent(entry);
        }
    } else if (!root["generate"]) {
        r_.Fail(root, "the scenario needs 'timeline'");
    }
    if (root["explore"]) {
        sc_.explore = ParseExplore(r_, root["explore"], sc_, nodeIndex_);
        // The faults of a run are events too.
        Charge(ScenarioSize{.events = 2.0 * sc_.explore->maxFaults}, YamlReader::MarkOf(root["explore"]));
    }
}

void ScenarioParser::Charge(const ScenarioSize &size, Mark mark)
{
    if (const std::optional<std::string> refusal = budget_.Add(size)) {
        r_.Fail(mark, *refusal);
    }
}

void ScenarioParser::ParseReport(const YAML::Node &block)
{
    r_.CheckKeys(block, kReportKeys, "report");
    if (const YAML::Node h = block["holdings"]) {
        const std::string v = r_.Text(h, "holdings");
        if (v != "full" && v != "summary") {
            r_.Fail(h, "holdings must be full or summary, not " + Describe(h) + DidYouMean(v, kHoldingsValues));
        }
        sc_.report.fullHoldings = v == "full";
    }
    if (const YAML::Node d = block["driftLimit"]) {
        sc_.report.driftLimit = r_.U32(d, "driftLimit");
    }
}

void ScenarioParser::ParseNodes(const YAML::Node &list)
{
    r_.ExpectList(list, "nodes", "OS nodes");
    for (const YAML::Node &n : list) {
        r_.CheckKeys(n, kNodeKeys, "an OS node");
        NodeDecl d;
        d.name = r_.Name(r_.Required(n, "name", "an OS node"), kMaxNameLength, "a node name");
        d.chassis = n["chassis"] ? r_.U32(n["chassis"], "chassis") : 0;
        d.slot = n["slot"] ? r_.U32(n["slot"], "slot") : 0;
        d.cpu = n["cpu"] ? r_.U32(n["cpu"], "cpu") : 0;
        d.agent = n["agent"] ? r_.Bool(n["agent"], "agent") : true;
        d.osNodeId = OsNodeIdOf(d.chassis, d.slot, d.cpu);
        if (nodeIndex_.byName.count(d.name) != 0) {
            r_.Fail(n["name"], "node " + Quoted(d.name) + " is declared twice");
        }
        Charge(ScenarioSize{.nodes = 1}, YamlReader::MarkOf(n));
        nodeMarks_.resize(sc_.nodes.size());
        nodeIndex_.byName.emplace(d.name, sc_.nodes.size());
        sc_.nodes.push_back(d);
        nodeMarks_.push_back(YamlReader::MarkOf(n));
    }
}

void ScenarioParser::CheckUniqueNodes()
{
    std::map<uint32_t, size_t> byId;
    for (size_t i = 0; i < sc_.nodes.size(); ++i) {
        const auto [it, fresh] = byId.emplace(sc_.nodes[i].osNodeId, i);
        if (!fresh) {
            r_.Fail(i < nodeMarks_.size() ? nodeMarks_[i] : Mark{},
                    "nodes " + Quoted(sc_.nodes[it->second].name) + " and " + Quoted(sc_.nodes[i].name) +
                        " have the same position (osNodeId " + Hex(sc_.nodes[i].osNodeId) + ")");
        }
    }
}

Ms ScenarioParser::ParseAt(const YAML::Node &at)
{
    // "+2s" counts from the event before it in the file.
    if (at.IsScalar() && !at.Scalar().empty() && at.Scalar()[0] == '+') {
        const TimeValue d = ReadTime(at.Scalar().substr(1));
        if (d.error != TimeError::None) {
            r_.Fail(at, TimeProblem("at", at.Scalar(), d.error));
        }
        if (lastAt_ + d.ms > kMaxTime) {
            r_.Fail(at, "at " + Quoted(at.Scalar()) + " comes to " + Seconds(lastAt_ + d.ms) +
                            ", after 24h, the latest time of a scenario");
        }
        r_.WarnIfUnitless(at, "at", at.Scalar().substr(1), d.ms);
        return lastAt_ + d.ms;
    }
    return r_.Duration(at, "at");
}

void ScenarioParser::Add(Event ev)
{
    Charge(SizeOf(ev), ev.mark);
    sc_.events.push_back(std::move(ev));
}

void ScenarioParser::ParseEvent(const YAML::Node &entry)
{
    r_.CheckKeys(entry, kEventKeys, "a timeline event");
    Event ev;
    ev.mark = YamlReader::MarkOf(entry);
    const YAML::Node at = r_.Required(entry, "at", "a timeline event");
    ev.at = ParseAt(at);
    if (ev.at < lastAt_) {
        r_.Warn(at, fmt::format("this event at {} comes after one at {} in the file; events run in time order, so "
                                "it runs before that one",
                                Seconds(ev.at), Seconds(lastAt_)));
    }
    lastAt_ = ev.at;

    const char *kind = nullptr;
    for (const char *k : kEventKinds) {
        if (entry[k]) {
            if (kind != nullptr) {
                r_.Fail(entry[k], std::string("a timeline event holds one of config, link, locationStatus, agent, "
                                              "haRole, library; this one has both '") +
                                      kind + "' and '" + k + "'");
            }
            kind = k;
        }
    }
    if (kind == nullptr) {
        r_.Fail(entry, "a timeline event needs one of config, link, locationStatus, agent, haRole, library");
    }
    const YAML::Node value = entry[kind];
    const std::string k = kind;
    if (k == "config") {
        ParseConfig(value, ev);
    } else if (k == "link") {
        ParseLink(value, ev);
    } else if (k == "locationStatus") {
        ParseLocationStatus(value, ev);
    } else if (k == "agent") {
        ParseAgent(value, ev);
    } else if (k == "haRole") {
        ev.kind = EventKind::HaRole;
        ev.haRole = r_.U32(value, "haRole");
    } else {
        ParseLibrary(value, ev);
    }
    Add(std::move(ev));
    if (recovery_) {
        Add(std::move(*recovery_));
        recovery_.reset();
    }
}

void ScenarioParser::ParseConfig(const YAML::Node &value, Event &ev)
{
    ev.kind = EventKind::Config;
    // One atom may stand alone; a list is one table message of several atoms.
    if (value.IsMap()) {
        ev.atoms.push_back(ParseAtom(r_, value, nodeIndex_, nextSeq_++));
        return;
    }
    r_.ExpectList(value, "config", "atoms (one table message), or one atom");
    if (value.size() == 0) {
        r_.Fail(value, "config must hold at least one atom");
    }
    for (const YAML::Node &a : value) {
        ev.atoms.push_back(ParseAtom(r_, a, nodeIndex_, nextSeq_++));
    }
}

void ScenarioParser::ParseLink(const YAML::Node &value, Event &ev)
{
    r_.CheckKeys(value, kLinkKeys, "a link event");
    ev.kind = EventKind::Link;
    ev.node = FindNode(r_, r_.Required(value, "node", "a link event"), nodeIndex_);
    ev.up = r_.Bool(r_.Required(value, "up", "a link event"), "up");
}

void ScenarioParser::ParseLocationStatus(const YAML::Node &value, Event &ev)
{
    r_.CheckKeys(value, kLocationStatusKeys, "a locationStatus event");
    ev.kind = EventKind::LocationStatus;
    ev.node = FindNode(r_, r_.Required(value, "node", "a locationStatus event"), nodeIndex_);
    ev.service = r_.Name(r_.Required(value, "service", "a locationStatus event"), kMaxNameLength, "service");
    ev.up = value["available"] ? r_.Bool(value["available"], "available") : true;
    const YAML::Node index = value["index"];
    if (!index) {
        if (ev.up) {
            r_.Fail(value, "an available location needs 'index'");
        }
        ev.locIndex = kInvalidIndex;
    } else if (index.IsScalar() && index.Scalar() == "invalid") {
        ev.locIndex = kInvalidIndex;
    } else {
        ev.locIndex = r_.U32(index, "index");
    }
}

size_t ScenarioParser::AgentNode(const YAML::Node &map, const char *what)
{
    const YAML::Node ref = r_.Required(map, "node", what);
    const size_t n = FindNode(r_, ref, nodeIndex_);
    if (!sc_.nodes[n].agent) {
        r_.Fail(ref, "node " + Quoted(sc_.nodes[n].name) + " has no agent");
    }
    return n;
}

void ScenarioParser::ParseAgent(const YAML::Node &value, Event &ev)
{
    r_.CheckKeys(value, kAgentKeys, "an agent event");
    ev.kind = EventKind::Agent;
    ev.node = AgentNode(value, "an agent event");
    AgentChange &c = ev.agent;
    for (const auto &[key, field] : kAgentCounts) {
        if (value[key]) {
            c.*field = r_.U32(value[key], key);
        }
    }
    // A refusal or failure reported as 0 would read as success.
    for (const char *key : {"refuseStatus", "failResult"}) {
        if (value[key] && r_.U32(value[key], key) == 0) {
            r_.Fail(value[key], std::string(key) + " must not be 0: 0 means success");
        }
    }
    if (value["latency"]) {
        c.latency = r_.Duration(value["latency"], "latency");
        if (*c.latency == 0) {
            r_.Fail(value["latency"], "latency must be at least 1 ms: an answer comes in a later step");
        }
    }
    if (value["down"] && value["downFor"]) {
        r_.Fail(value["downFor"], "give either 'down' or 'downFor', not both");
    }
    if (value["down"]) {
        c.down = r_.Bool(value["down"], "down");
    }
    if (value.size() == 1) {
        r_.Fail(value, "an agent event changes nothing: give refuse, fail, noReply, result, latency, down or downFor");
    }
    if (value["downFor"]) {
        ParseDownFor(value["downFor"], ev);
    }
}

void ScenarioParser::ParseDownFor(const YAML::Node &value, Event &ev)
{
    // Down now, and up again after the given time: an event of its own.
    const Ms span = r_.Duration(value, "downFor");
    if (span == 0) {
        r_.Fail(value, "downFor must be at least 1 ms");
    }
    ev.agent.down = true;
    Event back;
    back.at = ev.at + span;
    back.mark = YamlReader::MarkOf(value);
    back.kind = EventKind::Agent;
    back.origin = EventOrigin::Implied;
    back.node = ev.node;
    back.agent.down = false;
    recovery_ = std::move(back);
}

void ScenarioParser::ParseLibrary(const YAML::Node &value, Event &ev)
{
    std::string action;
    if (value.IsMap()) {
        r_.CheckKeys(value, kLibraryKeys, "a library event");
        action = r_.Text(r_.Required(value, "action", "a library event"), "action");
        if (value["replay"]) {
            ev.replay = r_.Bool(value["replay"], "replay");
        }
    } else {
        action = r_.Text(value, "library");
    }
    constexpr EventKind kinds[] = {EventKind::LibraryStop, EventKind::LibraryStart, EventKind::LibraryRestart};
    static_assert(std::size(kinds) == std::size(kLibraryActions), "one event kind per library action");
    for (size_t i = 0; i < std::size(kinds); ++i) {
        if (action == kLibraryActions[i]) {
            ev.kind = kinds[i];
            return;
        }
    }
    r_.Fail(value,
            "library must be stop, start or restart, not " + Quoted(action) + DidYouMean(action, kLibraryActions));
}

}  // namespace

size_t FindNode(const YamlReader &r, const YAML::Node &node, const NodeIndex &index)
{
    const std::string name = r.Text(node, "node");
    if (const auto it = index.byName.find(name); it != index.byName.end()) {
        return it->second;
    }
    // Looking for a likely typo costs a comparison with every name: only the first thousand are compared.
    std::vector<const char *> names;
    for (size_t i = 0; i < index.nodes.size() && i < 1000; ++i) {
        names.push_back(index.nodes[i].name.c_str());
    }
    r.Fail(node, "unknown node " + Quoted(name) + NotAmong(name, names, "declared", index.nodes.size()));
}

Scenario ParseScenario(const std::string &text, const std::string &source, const ReadLimits &limits)
{
    return ScenarioParser(source, limits).Parse(text);
}

}  // namespace zsim
