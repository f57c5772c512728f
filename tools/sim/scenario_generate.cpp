// Expanding a `generate:` block: a regular cluster and its configuration, written compactly.
#include <cstdio>
#include <cstring>

#include "scenario_parse.h"

namespace zsim {

namespace {

struct ClusterShape {
    uint32_t nodes = 0;
    uint32_t locationsPerNode = 0;
    uint32_t componentTypes = 0;
    uint32_t componentsPerLocation = 0;
    uint32_t atomsPerMessage = 1000;
    Ms configAt = 0;
    Ms linkAt = 1000;
    Ms stagger = 0;
    std::string image = "app.service";
};

int Digits(uint64_t n)
{
    int d = 1;
    while (n >= 10) {
        n /= 10;
        ++d;
    }
    return d;
}

// "node-007" for 7 of 100: numbers as wide as the largest, so that names sort as they count.
std::string Numbered(const char *prefix, uint64_t i, uint64_t count)
{
    const std::string digits = std::to_string(i);
    const size_t width = static_cast<size_t>(Digits(count));
    std::string out = prefix;
    out += '-';
    out.append(width > digits.size() ? width - digits.size() : 0, '0');
    out += digits;
    return out;
}

void CopyText(char *field, size_t size, const std::string &text)
{
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

// Appends atoms to the current message at `at`, starting a new one every `perMessage` atoms.
class MessageSink {
public:
    MessageSink(Scenario &sc, Ms at, Mark mark, uint32_t perMessage) : sc_(sc), at_(at), mark_(mark), per_(perMessage) {}
    void Add(const Atom &a)
    {
        if (cur_ == kNone || sc_.events[cur_].atoms.size() >= per_) {
            Event ev;
            ev.at = at_;
            ev.mark = mark_;
            ev.kind = EventKind::Config;
            cur_ = sc_.events.size();
            sc_.events.push_back(std::move(ev));
        }
        std::vector<Atom> &atoms = sc_.events[cur_].atoms;
        atoms.push_back(a);
        atoms.back().seq = static_cast<uint16_t>(++seq_);
    }
    void Flush() { cur_ = kNone; }

private:
    static constexpr size_t kNone = SIZE_MAX;
    Scenario &sc_;
    Ms at_;
    Mark mark_;
    uint32_t per_;
    size_t cur_ = kNone;  // an index: the event list grows while messages are filled
    uint64_t seq_ = 0;
};

}  // namespace

void Generate(const YamlReader &r, const YAML::Node &block, Scenario &sc)
{
    r.CheckKeys(block,
                {"nodes", "locationsPerNode", "componentTypes", "componentsPerLocation", "atomsPerMessage", "configAt",
                 "linkAt", "stagger", "image"},
                "generate");
    ClusterShape g;
    g.nodes = r.U32(r.Required(block, "nodes", "generate"), "nodes");
    const std::pair<const char *, uint32_t *> counts[] = {{"locationsPerNode", &g.locationsPerNode},
                                                          {"componentTypes", &g.componentTypes},
                                                          {"componentsPerLocation", &g.componentsPerLocation}};
    for (const auto &[key, field] : counts) {
        if (block[key]) {
            *field = r.U32(block[key], key);
        }
    }
    const std::pair<const char *, Ms *> times[] = {{"configAt", &g.configAt}, {"linkAt", &g.linkAt}, {"stagger", &g.stagger}};
    for (const auto &[key, field] : times) {
        if (block[key]) {
            *field = r.Duration(block[key], key);
        }
    }
    if (block["atomsPerMessage"]) {
        g.atomsPerMessage = static_cast<uint32_t>(r.UInt(block["atomsPerMessage"], 65535, "atomsPerMessage"));
    }
    if (block["image"]) {
        g.image = r.Text(block["image"], "image");
    }
    if (g.nodes == 0 || g.nodes > 4096) {
        r.Fail(block["nodes"], "generate.nodes must be from 1 to 4096");
    }
    if (g.atomsPerMessage == 0) {
        r.Fail(block["atomsPerMessage"], "atomsPerMessage must be at least 1");
    }
    if (g.image.size() >= sizeof(ZelmLocInstCfg::imageName)) {
        r.Fail(block["image"], "image is longer than its field (31 characters at most)");
    }
    if (g.componentsPerLocation > 0 && g.componentTypes == 0) {
        r.Fail(block, "generated components need componentTypes");
    }
    const uint64_t locations = uint64_t{g.nodes} * g.locationsPerNode;
    if (locations * (g.componentsPerLocation + 1) > 10000000) {
        r.Fail(block, "generate asks for more than ten million records");
    }
    const Mark mark = YamlReader::MarkOf(block);

    // Sixteen slots per chassis, so that positions stay realistic and distinct.
    const size_t firstNode = sc.nodes.size();
    for (uint32_t i = 0; i < g.nodes; ++i) {
        NodeDecl d;
        d.name = Numbered("node", i + 1, g.nodes);
        d.chassis = 1 + i / 16;
        d.slot = 1 + i % 16;
        d.cpu = 0;
        d.osNodeId = OsNodeIdOf(d.chassis, d.slot, d.cpu);
        sc.nodes.push_back(d);
    }

    MessageSink types(sc, g.configAt, mark, g.atomsPerMessage);
    for (uint32_t t = 1; t <= g.componentTypes; ++t) {
        Atom a;
        a.cls = CfgClass::CompNode;
        a.rec.node.compType = t;
        a.rec.node.compClass = 1;
        CopyText(a.rec.node.compTypeName, sizeof a.rec.node.compTypeName, Numbered("type", t, g.componentTypes));
        CopyText(a.rec.node.compFileName, sizeof a.rec.node.compFileName, Numbered("type", t, g.componentTypes) + ".bin");
        types.Add(a);
    }

    const uint64_t comps = locations * g.componentsPerLocation;
    auto nodeOf = [&](uint64_t l) { return firstNode + static_cast<size_t>((l - 1) / g.locationsPerNode); };
    auto addLocation = [&](MessageSink &sink, uint64_t l) {
        Atom a;
        a.cls = CfgClass::Location;
        a.rec.loc.LocId = static_cast<uint32_t>(l);
        a.rec.loc.OsInst = sc.nodes[nodeOf(l)].osNodeId;
        CopyText(a.rec.loc.LocName, sizeof a.rec.loc.LocName, Numbered("loc", l, locations));
        CopyText(a.rec.loc.imageName, sizeof a.rec.loc.imageName, g.image);
        sink.Add(a);
    };
    auto addComponents = [&](MessageSink &sink, uint64_t l) {
        for (uint32_t c = 0; c < g.componentsPerLocation; ++c) {
            const uint64_t inst = (l - 1) * g.componentsPerLocation + c + 1;
            Atom a;
            a.cls = CfgClass::Component;
            a.rec.comp.compInst = static_cast<uint32_t>(inst);
            a.rec.comp.compType = static_cast<uint32_t>(1 + inst % g.componentTypes);
            a.rec.comp.locIndex = static_cast<uint32_t>(l);
            a.rec.comp.cfgStatus = INT32_MIN;
            CopyText(a.rec.comp.compInstName, sizeof a.rec.comp.compInstName, Numbered("comp", inst, comps));
            sink.Add(a);
        }
    };
    auto linkUp = [&](size_t node, Ms at) {
        Event ev;
        ev.at = at;
        ev.mark = mark;
        ev.kind = EventKind::Link;
        ev.node = node;
        ev.up = true;
        sc.events.push_back(ev);
    };
    auto announce = [&](uint64_t l, Ms at) {
        Event ev;
        ev.at = at;
        ev.mark = mark;
        ev.kind = EventKind::LocationStatus;
        ev.node = nodeOf(l);
        ev.service = Numbered("loc", l, locations);
        ev.locIndex = static_cast<uint32_t>(l);
        ev.up = true;
        sc.events.push_back(ev);
    };

    if (g.stagger == 0) {
        // All configuration first, then every link-up, then every location report.
        MessageSink sink(sc, g.configAt, mark, g.atomsPerMessage);
        for (uint64_t l = 1; l <= locations; ++l) {
            addLocation(sink, l);
        }
        sink.Flush();
        for (uint64_t l = 1; l <= locations; ++l) {
            addComponents(sink, l);
        }
        for (uint32_t i = 0; i < g.nodes; ++i) {
            linkUp(firstNode + i, g.linkAt);
        }
        for (uint64_t l = 1; l <= locations; ++l) {
            announce(l, g.linkAt);
        }
        return;
    }
    // One node after another: its configuration, its link-up and its location reports at linkAt + i * stagger.
    for (uint32_t i = 0; i < g.nodes; ++i) {
        const Ms at = g.linkAt + i * g.stagger;
        const uint64_t first = uint64_t{i} * g.locationsPerNode + 1;
        const uint64_t last = first + g.locationsPerNode;
        MessageSink sink(sc, at, mark, g.atomsPerMessage);
        for (uint64_t l = first; l < last; ++l) {
            addLocation(sink, l);
        }
        for (uint64_t l = first; l < last; ++l) {
            addComponents(sink, l);
        }
        linkUp(firstNode + i, at);
        for (uint64_t l = first; l < last; ++l) {
            announce(l, at);
        }
    }
}

}  // namespace zsim
