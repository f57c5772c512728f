// Writing a scenario as YAML: every value the reader would otherwise default is written when it differs
// from that default, texts always quoted, so that reading the text back gives the same events in the same order.
#include "scenario/scenario_write.h"

#include <fmt/format.h>

#include <cctype>
#include <cstring>
#include <iterator>
#include <unordered_map>

#include "scenario/scenario_fields.h"
#include "text/printable.h"
#include "text/units.h"

namespace zsim {

namespace {

// A double-quoted YAML text holding exactly these bytes: bytes from 0x80 stay as they are, since an escape
// would stand for a character, not a byte.
std::string Text(std::string_view s)
{
    std::string out = "\"";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c == 0x7F) {
            fmt::format_to(std::back_inserter(out), "\\x{:02X}", c);
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

uint32_t Load32(const void *rec, size_t offset)
{
    uint32_t v = 0;
    std::memcpy(&v, static_cast<const unsigned char *>(rec) + offset, sizeof v);
    return v;
}

std::string_view LoadText(const void *rec, const FieldDesc &f)
{
    const char *p = static_cast<const char *>(rec) + f.offset;
    return {p, strnlen(p, f.size)};
}

std::string OpCodeText(uint16_t op)
{
    return op == ZELM_CFG_OP_MOD ? "update" : op == ZELM_CFG_OP_DEL ? "delete" : fmt::format("{}", op);
}

// Each OS-node identifier, as the quoted name of the first node that has it and whose name the reader takes
// for the identifier (a name that starts with a digit reads as a number). Built once per scenario written:
// looking through the nodes for every atom would take atoms times nodes.
using OsNames = std::unordered_map<uint32_t, std::string>;

OsNames OsNamesOf(const Scenario &sc)
{
    OsNames names;
    for (const NodeDecl &n : sc.nodes) {
        if (std::isdigit(static_cast<unsigned char>(n.name[0])) == 0) {
            names.emplace(n.osNodeId, Text(n.name));
        }
    }
    return names;
}

std::string OsInst(const OsNames &names, uint32_t v)
{
    const auto it = names.find(v);
    return it != names.end() ? it->second : fmt::format("{}", v);
}

std::string AtomText(const OsNames &names, AtomRef a)
{
    const Atom blank = BlankAtom(a.cls);
    std::string out = std::string("{class: ") + ClassName(a.cls);
    if (a.opCode != ZELM_CFG_OP_ADD) {
        out += ", opCode: " + OpCodeText(a.opCode);
    }
    fmt::format_to(std::back_inserter(out), ", seq: {}", a.seq);
    for (const FieldDesc &f : FieldsOf(a.cls)) {
        if (f.kind == FieldKind::Text) {
            if (!LoadText(a.Record(), f).empty()) {
                out += std::string(", ") + f.name + ": " + Text(LoadText(a.Record(), f));
            }
            continue;
        }
        const uint32_t v = Load32(a.Record(), f.offset);
        if (!f.key && v == Load32(&blank.rec, f.offset)) {
            continue;
        }
        out += std::string(", ") + f.name + ": " +
               (f.kind == FieldKind::OsInst ? OsInst(names, v)
                : f.kind == FieldKind::I32  ? Hex(v)
                                            : fmt::format("{}", v));
    }
    return out + "}";
}

std::string AgentText(const AgentChange &c)
{
    std::string out;
    for (const auto &[key, field] : kAgentCounts) {
        if (const std::optional<uint32_t> &value = c.*field) {
            fmt::format_to(std::back_inserter(out), ", {}: {}", key, *value);
        }
    }
    if (c.latency) {
        out += ", latency: " + YamlTime(*c.latency);
    }
    if (c.down) {
        out += std::string(", down: ") + (*c.down ? "true" : "false");
    }
    return out;
}

std::string LibraryText(const Event &ev)
{
    const char *action = ev.kind == EventKind::LibraryStop    ? "stop"
                         : ev.kind == EventKind::LibraryStart ? "start"
                                                              : "restart";
    return ev.kind != EventKind::LibraryStop && !ev.replay ? std::string("{action: ") + action + ", replay: false}"
                                                           : action;
}

// The event after "- at: T, ": its kind and what it holds.
std::string EventBody(const Scenario &sc, const OsNames &names, const Event &ev)
{
    const std::string node =
        ev.kind == EventKind::Link || ev.kind == EventKind::LocationStatus || ev.kind == EventKind::Agent
            ? Text(sc.nodes[ev.node].name)
            : "";
    switch (ev.kind) {
    case EventKind::Config:
        return "config: " + AtomText(names, ev.atoms.front());
    case EventKind::Link:
        return "link: {node: " + node + ", up: " + (ev.up ? "true" : "false") + "}";
    case EventKind::LocationStatus: {
        std::string out = "locationStatus: {node: " + node + ", service: " + Text(ev.service);
        if (ev.locIndex != kInvalidIndex) {
            fmt::format_to(std::back_inserter(out), ", index: {}", ev.locIndex);
        } else if (ev.up) {
            out += ", index: invalid";
        }
        return out + (ev.up ? "" : ", available: false") + "}";
    }
    case EventKind::Agent:
        return "agent: {node: " + node + AgentText(ev.agent) + "}";
    case EventKind::HaRole:
        return fmt::format("haRole: {}", ev.haRole);
    case EventKind::LibraryStop:
    case EventKind::LibraryStart:
    case EventKind::LibraryRestart:
        return "library: " + LibraryText(ev);
    }
    return "";
}

std::string NodeText(const NodeDecl &n)
{
    std::string out = "{name: " + Text(n.name);
    const std::pair<const char *, uint32_t> parts[] = {{"chassis", n.chassis}, {"slot", n.slot}, {"cpu", n.cpu}};
    for (const auto &[key, v] : parts) {
        if (v != 0) {
            fmt::format_to(std::back_inserter(out), ", {}: {}", key, v);
        }
    }
    return out + (n.agent ? "" : ", agent: false") + "}";
}

}  // namespace

std::string YamlTime(Ms t)
{
    if (t == 0) {
        return "0";
    }
    return t % 1000 == 0 ? fmt::format("{}s", t / 1000) : fmt::format("{}ms", t);
}

std::string ScenarioYaml(const Scenario &sc, const std::vector<std::string> &notes)
{
    std::string out = "name: " + Text(sc.name) + "\n";
    if (!sc.description.empty()) {
        out += "description: " + Text(sc.description) + "\n";
    }
    if (sc.haRole != 0) {
        fmt::format_to(std::back_inserter(out), "haRole: {}\n", sc.haRole);
    }
    if (sc.until) {
        out += "until: " + YamlTime(*sc.until) + "\n";
    }
    out += "settle: " + YamlTime(sc.settle) + "\n";
    if (!sc.report.fullHoldings || sc.report.driftLimit != 0) {
        fmt::format_to(std::back_inserter(out), "report: {{holdings: {}, driftLimit: {}}}\n",
                       sc.report.fullHoldings ? "full" : "summary", sc.report.driftLimit);
    }
    out += "\nnodes:\n";
    for (const NodeDecl &n : sc.nodes) {
        out += "  - " + NodeText(n) + "\n";
    }
    out += "\ntimeline:\n";
    const OsNames names = OsNamesOf(sc);
    for (size_t i = 0; i < sc.events.size(); ++i) {
        const Event &ev = sc.events[i];
        if (i < notes.size() && !notes[i].empty()) {
            out += "  # " + Printable(notes[i]) + "\n";
        }
        if (ev.kind == EventKind::Config && ev.atoms.size() > 1) {
            out += "  - at: " + YamlTime(ev.at) + "\n    config:\n";
            for (const AtomRef a : ev.atoms) {
                out += "      - " + AtomText(names, a) + "\n";
            }
        } else {
            out += "  - {at: " + YamlTime(ev.at) + ", " + EventBody(sc, names, ev) + "}\n";
        }
    }
    if (sc.events.empty()) {
        out += "  []\n";
    }
    return out;
}

}  // namespace zsim
