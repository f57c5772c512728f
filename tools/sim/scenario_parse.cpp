// Reading a scenario: the top-level fields, the OS nodes and the timeline of events.
#include "scenario_parse.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

namespace zsim {

namespace {

const std::vector<const char *> kEventKinds = {"config", "link", "locationStatus", "agent", "haRole", "library"};

class ScenarioParser {
public:
    explicit ScenarioParser(const std::string &source) : r_(source) {}
    Scenario Parse(const std::string &text);

private:
    void ParseNodes(const YAML::Node &list);
    void ParseReport(const YAML::Node &block);
    void ParseTimeline(const YAML::Node &list);
    void ParseEvent(const YAML::Node &entry);
    Ms ParseAt(const YAML::Node &at);
    void ParseConfig(const YAML::Node &value, Event &ev);
    void ParseLink(const YAML::Node &value, Event &ev);
    void ParseLocationStatus(const YAML::Node &value, Event &ev);
    void ParseAgent(const YAML::Node &value, Event &ev);
    void ParseLibrary(const YAML::Node &value, Event &ev);
    size_t AgentNode(const YAML::Node &map, const char *what);
    void CheckUniqueNodes();

    YamlReader r_;
    Scenario sc_;
    std::vector<Mark> nodeMarks_;  // where each declared node stands; none for generated ones
    Ms lastAt_ = 0;
    uint16_t nextSeq_ = 1;
};

Scenario ScenarioParser::Parse(const std::string &text)
{
    YAML::Node root;
    try {
        root = YAML::Load(text);
    } catch (const YAML::ParserException &e) {
        r_.Fail(Mark{e.mark.line + 1, e.mark.column + 1}, e.msg);
    }
    if (!root.IsMap()) {
        r_.Fail(root, "a scenario must be a map with at least 'nodes' and 'timeline'");
    }
    r_.CheckKeys(root, {"name", "description", "haRole", "until", "settle", "nodes", "timeline", "generate", "report"},
                 "the scenario");
    sc_.source = r_.file();
    sc_.name = root["name"] ? r_.Text(root["name"], "name") : sc_.source;
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
        Generate(r_, root["generate"], sc_);
    }
    if (root["nodes"]) {
        ParseNodes(root["nodes"]);
    }
    if (sc_.nodes.empty()) {
        r_.Fail(root, "the scenario declares no OS node: give 'nodes' (or 'generate')");
    }
    CheckUniqueNodes();
    if (root["timeline"]) {
        ParseTimeline(root["timeline"]);
    } else if (!root["generate"]) {
        r_.Fail(root, "the scenario needs 'timeline'");
    }
    std::stable_sort(sc_.events.begin(), sc_.events.end(), [](const Event &a, const Event &b) { return a.at < b.at; });
    return std::move(sc_);
}

void ScenarioParser::ParseReport(const YAML::Node &block)
{
    r_.CheckKeys(block, {"holdings", "driftLimit"}, "report");
    if (const YAML::Node h = block["holdings"]) {
        const std::string v = r_.Text(h, "holdings");
        if (v != "full" && v != "summary") {
            r_.Fail(h, "holdings must be full or summary");
        }
        sc_.report.fullHoldings = v == "full";
    }
    if (const YAML::Node d = block["driftLimit"]) {
        sc_.report.driftLimit = r_.U32(d, "driftLimit");
    }
}

void ScenarioParser::ParseNodes(const YAML::Node &list)
{
    if (!list.IsSequence()) {
        r_.Fail(list, "nodes must be a list of OS nodes");
    }
    for (const YAML::Node &n : list) {
        r_.CheckKeys(n, {"name", "chassis", "slot", "cpu", "agent"}, "an OS node");
        NodeDecl d;
        d.name = r_.Text(r_.Required(n, "name", "an OS node"), "name");
        if (d.name.empty()) {
            r_.Fail(n["name"], "a node name must not be empty");
        }
        d.chassis = n["chassis"] ? r_.U32(n["chassis"], "chassis") : 0;
        d.slot = n["slot"] ? r_.U32(n["slot"], "slot") : 0;
        d.cpu = n["cpu"] ? r_.U32(n["cpu"], "cpu") : 0;
        d.agent = n["agent"] ? r_.Bool(n["agent"], "agent") : true;
        d.osNodeId = OsNodeIdOf(d.chassis, d.slot, d.cpu);
        for (const NodeDecl &o : sc_.nodes) {
            if (o.name == d.name) {
                r_.Fail(n["name"], "node '" + d.name + "' is declared twice");
            }
        }
        nodeMarks_.resize(sc_.nodes.size());
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
            char id[16];
            std::snprintf(id, sizeof id, "%#x", sc_.nodes[i].osNodeId);
            r_.Fail(i < nodeMarks_.size() ? nodeMarks_[i] : Mark{},
                    "nodes '" + sc_.nodes[it->second].name + "' and '" + sc_.nodes[i].name +
                        "' have the same position (osNodeId " + id + ")");
        }
    }
}

void ScenarioParser::ParseTimeline(const YAML::Node &list)
{
    if (!list.IsSequence()) {
        r_.Fail(list, "timeline must be a list of events");
    }
    for (const YAML::Node &entry : list) {
        ParseEvent(entry);
    }
}

Ms ScenarioParser::ParseAt(const YAML::Node &at)
{
    // "+2s" counts from the event before it in the file.
    if (at.IsScalar() && !at.Scalar().empty() && at.Scalar()[0] == '+') {
        const std::optional<Ms> d = ParseDuration(at.Scalar().substr(1));
        if (!d) {
            r_.Fail(at, "at must be a time such as 250, 5s or +2s, not '" + at.Scalar() + "'");
        }
        return lastAt_ + *d;
    }
    return r_.Duration(at, "at");
}

void ScenarioParser::ParseEvent(const YAML::Node &entry)
{
    std::vector<const char *> allowed = kEventKinds;
    allowed.insert(allowed.begin(), "at");
    r_.CheckKeys(entry, allowed, "a timeline event");
    Event ev;
    ev.mark = YamlReader::MarkOf(entry);
    ev.at = ParseAt(r_.Required(entry, "at", "a timeline event"));
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
        return;  // may expand into two events
    } else if (k == "haRole") {
        ev.kind = EventKind::HaRole;
        ev.haRole = r_.U32(value, "haRole");
    } else {
        ParseLibrary(value, ev);
        return;
    }
    sc_.events.push_back(std::move(ev));
}

void ScenarioParser::ParseConfig(const YAML::Node &value, Event &ev)
{
    ev.kind = EventKind::Config;
    // One atom may stand alone; a list is one table message of several atoms.
    if (value.IsMap()) {
        ev.atoms.push_back(ParseAtom(r_, value, sc_.nodes, nextSeq_++));
        return;
    }
    if (!value.IsSequence() || value.size() == 0) {
        r_.Fail(value, "config must be an atom or a non-empty list of atoms (one table message)");
    }
    for (const YAML::Node &a : value) {
        ev.atoms.push_back(ParseAtom(r_, a, sc_.nodes, nextSeq_++));
    }
}

void ScenarioParser::ParseLink(const YAML::Node &value, Event &ev)
{
    r_.CheckKeys(value, {"node", "up"}, "a link event");
    ev.kind = EventKind::Link;
    ev.node = FindNode(r_, r_.Required(value, "node", "a link event"), sc_.nodes);
    ev.up = r_.Bool(r_.Required(value, "up", "a link event"), "up");
}

void ScenarioParser::ParseLocationStatus(const YAML::Node &value, Event &ev)
{
    r_.CheckKeys(value, {"node", "service", "index", "available"}, "a locationStatus event");
    ev.kind = EventKind::LocationStatus;
    ev.node = FindNode(r_, r_.Required(value, "node", "a locationStatus event"), sc_.nodes);
    ev.service = r_.Text(r_.Required(value, "service", "a locationStatus event"), "service");
    ev.up = value["available"] ? r_.Bool(value["available"], "available") : true;
    const YAML::Node index = value["index"];
    if (!index) {
        if (ev.up) {
            r_.Fail(value, "an available location needs 'index'");
        }
        ev.locIndex = 0xFFFFFFFFu;
    } else if (index.IsScalar() && index.Scalar() == "invalid") {
        ev.locIndex = 0xFFFFFFFFu;
    } else {
        ev.locIndex = r_.U32(index, "index");
    }
}

size_t ScenarioParser::AgentNode(const YAML::Node &map, const char *what)
{
    const YAML::Node ref = r_.Required(map, "node", what);
    const size_t n = FindNode(r_, ref, sc_.nodes);
    if (!sc_.nodes[n].agent) {
        r_.Fail(ref, "node '" + sc_.nodes[n].name + "' has no agent");
    }
    return n;
}

void ScenarioParser::ParseAgent(const YAML::Node &value, Event &ev)
{
    r_.CheckKeys(value,
                 {"node", "refuse", "refuseStatus", "fail", "failResult", "noReply", "result", "latency", "down",
                  "downFor"},
                 "an agent event");
    ev.kind = EventKind::Agent;
    ev.node = AgentNode(value, "an agent event");
    AgentChange &c = ev.agent;
    const std::pair<const char *, std::optional<uint32_t> *> counts[] = {
        {"refuse", &c.refuse}, {"refuseStatus", &c.refuseStatus}, {"fail", &c.fail},
        {"failResult", &c.failResult}, {"noReply", &c.noReply}, {"result", &c.result}};
    for (const auto &[key, field] : counts) {
        if (value[key]) {
            *field = r_.U32(value[key], key);
        }
    }
    if (value["latency"]) {
        c.latency = r_.Duration(value["latency"], "latency");
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
        // Down now, back up after the given time: two events.
        const Ms span = r_.Duration(value["downFor"], "downFor");
        c.down = true;
        Event back;
        back.at = ev.at + span;
        back.mark = ev.mark;
        back.kind = EventKind::Agent;
        back.node = ev.node;
        back.agent.down = false;
        sc_.events.push_back(ev);
        sc_.events.push_back(back);
        return;
    }
    sc_.events.push_back(ev);
}

void ScenarioParser::ParseLibrary(const YAML::Node &value, Event &ev)
{
    std::string action;
    bool replay = true;
    if (value.IsMap()) {
        r_.CheckKeys(value, {"action", "replay"}, "a library event");
        action = r_.Text(r_.Required(value, "action", "a library event"), "action");
        if (value["replay"]) {
            replay = r_.Bool(value["replay"], "replay");
        }
    } else {
        action = r_.Text(value, "library");
    }
    if (action != "stop" && action != "start" && action != "restart") {
        r_.Fail(value, "library must be stop, start or restart, not '" + action + "'");
    }
    if (action == "stop" || action == "restart") {
        Event stop = ev;
        stop.kind = EventKind::LibraryStop;
        sc_.events.push_back(stop);
    }
    if (action == "start" || action == "restart") {
        ev.kind = EventKind::LibraryStart;
        ev.replay = replay;
        sc_.events.push_back(ev);
    }
}

}  // namespace

size_t FindNode(const YamlReader &r, const YAML::Node &node, const std::vector<NodeDecl> &nodes)
{
    const std::string name = r.Text(node, "node");
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].name == name) {
            return i;
        }
    }
    std::vector<const char *> names;
    for (const NodeDecl &n : nodes) {
        names.push_back(n.name.c_str());
    }
    const std::string hint = nodes.size() <= 1000 ? Suggest(name, names) : "";
    r.Fail(node, "unknown node '" + name + "'" + (hint.empty() ? "" : "; did you mean '" + hint + "'?"));
}

Scenario ParseScenario(const std::string &text, const std::string &source)
{
    return ScenarioParser(source).Parse(text);
}

Scenario LoadScenario(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw ScenarioError(path, Mark{}, "cannot read the scenario file");
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseScenario(text.str(), path);
}

}  // namespace zsim
