// Expanding a `generate:` block: a regular cluster and its configuration, written compactly.
#include <fmt/format.h>

#include <algorithm>
#include <cstring>

#include "scenario/scenario_keys.h"
#include "scenario/scenario_parse.h"
#include "text/units.h"

namespace zsim {

namespace {

// The stand-in's agents decode this many entries of a request, and a node's locations (a location's
// components) go out in one request.
constexpr uint32_t kMaxEntriesPerRequest = 65536;
constexpr uint32_t kMaxNodes = 4096;

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

    uint64_t Locations() const { return uint64_t{nodes} * locationsPerNode; }
    uint64_t Components() const { return Locations() * componentsPerLocation; }
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
    return fmt::format("{}-{:0{}}", prefix, i, Digits(count));
}

void CopyText(char *field, size_t size, const std::string &text)
{
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

ClusterShape ReadShape(const YamlReader &r, const YAML::Node &block)
{
    r.CheckKeys(block, kGenerateKeys, "generate");
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
    const std::pair<const char *, Ms *> times[] = {{"configAt", &g.configAt},
                                                   {"linkAt", &g.linkAt},
                                                   {"stagger", &g.stagger}};
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
    return g;
}

void CheckShape(const YamlReader &r, const YAML::Node &block, const ClusterShape &g)
{
    auto fail = [&](const char *key, const std::string &msg) { r.Fail(block[key] ? block[key] : block, msg); };
    if (g.nodes == 0 || g.nodes > kMaxNodes) {
        fail("nodes", fmt::format("generate.nodes must be from 1 to 4096, not {}", g.nodes));
    }
    const std::pair<const char *, uint32_t> perRequest[] = {{"locationsPerNode", g.locationsPerNode},
                                                            {"componentsPerLocation", g.componentsPerLocation}};
    for (const auto &[key, v] : perRequest) {
        if (v > kMaxEntriesPerRequest) {
            fail(key,
                 fmt::format("{} {} is too large: at most 65536, the entries the stand-in's agents take in one request",
                             key, v));
        }
    }
    if (g.Components() > UINT32_MAX) {
        fail("componentsPerLocation",
             fmt::format("generate asks for {} components; compInst counts them in 32 bits", g.Components()));
    }
    if (g.atomsPerMessage == 0) {
        fail("atomsPerMessage", "atomsPerMessage must be at least 1");
    }
    if (g.image.size() >= sizeof(ZelmLocInstCfg::imageName)) {
        fail("image", "image is longer than its field (31 characters at most)");
    }
    if (g.componentsPerLocation > 0 && g.componentTypes == 0) {
        fail("componentsPerLocation", "generated components need componentTypes");
    }
    if (g.linkAt + (g.nodes - 1) * g.stagger > kMaxTime) {
        fail("stagger", "the last node would join at " + Seconds(g.linkAt + (g.nodes - 1) * g.stagger) +
                            ", after 24h, the latest time of a scenario");
    }
}

// Appends atoms to the current message at `at`, starting a new one every `perMessage` atoms.
class MessageSink {
public:
    MessageSink(Scenario &sc, Ms at, Mark mark, uint32_t perMessage) : sc_(sc), at_(at), mark_(mark), per_(perMessage)
    {}
    void Add(Atom a)
    {
        if (cur_ == kNone || sc_.events[cur_].atoms.size() >= per_) {
            Event ev;
            ev.at = at_;
            ev.mark = mark_;
            ev.kind = EventKind::Config;
            ev.origin = EventOrigin::Generated;
            cur_ = sc_.events.size();
            sc_.events.push_back(std::move(ev));
        }
        a.seq = static_cast<uint16_t>(++seq_);
        sc_.events[cur_].atoms.push_back(a);
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

// Writes the generated cluster into the scenario: its nodes, types, locations, components and reports.
class ClusterWriter {
public:
    ClusterWriter(Scenario &sc, const ClusterShape &g, Mark mark)
        : sc_(sc), g_(g), mark_(mark), firstNode_(sc.nodes.size())
    {}

    void Nodes()
    {
        // Sixteen slots per chassis, so that positions stay realistic and distinct.
        for (uint32_t i = 0; i < g_.nodes; ++i) {
            NodeDecl d;
            d.name = Numbered("node", i + 1, g_.nodes);
            d.chassis = 1 + i / 16;
            d.slot = 1 + i % 16;
            d.osNodeId = OsNodeIdOf(d.chassis, d.slot, d.cpu);
            sc_.nodes.push_back(d);
        }
    }

    void Types()
    {
        MessageSink sink(sc_, g_.configAt, mark_, g_.atomsPerMessage);
        for (uint32_t t = 1; t <= g_.componentTypes; ++t) {
            Atom a;
            a.cls = CfgClass::CompNode;
            a.rec.node.compType = t;
            a.rec.node.compClass = 1;
            const std::string name = Numbered("type", t, g_.componentTypes);
            CopyText(a.rec.node.compTypeName, sizeof a.rec.node.compTypeName, name);
            CopyText(a.rec.node.compFileName, sizeof a.rec.node.compFileName, name + ".bin");
            sink.Add(a);
        }
    }

    // All configuration first, then every link-up, then every location report.
    void AllAtOnce()
    {
        MessageSink sink(sc_, g_.configAt, mark_, g_.atomsPerMessage);
        for (uint64_t l = 1; l <= g_.Locations(); ++l) {
            AddLocation(sink, l);
        }
        sink.Flush();
        for (uint64_t l = 1; l <= g_.Locations(); ++l) {
            AddComponents(sink, l);
        }
        for (uint32_t i = 0; i < g_.nodes; ++i) {
            LinkUp(firstNode_ + i, g_.linkAt);
        }
        for (uint64_t l = 1; l <= g_.Locations(); ++l) {
            Announce(l, g_.linkAt);
        }
    }

    // One node after another: its configuration, its link-up and its location reports at linkAt + i * stagger.
    void Staggered()
    {
        for (uint32_t i = 0; i < g_.nodes; ++i) {
            const Ms at = g_.linkAt + i * g_.stagger;
            const uint64_t first = uint64_t{i} * g_.locationsPerNode + 1;
            const uint64_t last = first + g_.locationsPerNode;
            MessageSink sink(sc_, at, mark_, g_.atomsPerMessage);
            for (uint64_t l = first; l < last; ++l) {
                AddLocation(sink, l);
            }
            for (uint64_t l = first; l < last; ++l) {
                AddComponents(sink, l);
            }
            LinkUp(firstNode_ + i, at);
            for (uint64_t l = first; l < last; ++l) {
                Announce(l, at);
            }
        }
    }

private:
    size_t NodeOf(uint64_t l) const { return firstNode_ + static_cast<size_t>((l - 1) / g_.locationsPerNode); }

    void AddLocation(MessageSink &sink, uint64_t l)
    {
        Atom a;
        a.cls = CfgClass::Location;
        a.rec.loc.LocId = static_cast<uint32_t>(l);
        a.rec.loc.OsInst = sc_.nodes[NodeOf(l)].osNodeId;
        CopyText(a.rec.loc.LocName, sizeof a.rec.loc.LocName, Numbered("loc", l, g_.Locations()));
        CopyText(a.rec.loc.imageName, sizeof a.rec.loc.imageName, g_.image);
        sink.Add(a);
    }

    void AddComponents(MessageSink &sink, uint64_t l)
    {
        for (uint32_t c = 0; c < g_.componentsPerLocation; ++c) {
            const uint64_t inst = (l - 1) * g_.componentsPerLocation + c + 1;
            Atom a;
            a.cls = CfgClass::Component;
            a.rec.comp.compInst = static_cast<uint32_t>(inst);
            a.rec.comp.compType = static_cast<uint32_t>(1 + inst % g_.componentTypes);
            a.rec.comp.locIndex = static_cast<uint32_t>(l);
            a.rec.comp.cfgStatus = INT32_MIN;
            CopyText(a.rec.comp.compInstName, sizeof a.rec.comp.compInstName, Numbered("comp", inst, g_.Components()));
            sink.Add(a);
        }
    }

    Event NewEvent(EventKind kind, Ms at) const
    {
        Event ev;
        ev.at = at;
        ev.mark = mark_;
        ev.kind = kind;
        ev.origin = EventOrigin::Generated;
        return ev;
    }

    void LinkUp(size_t node, Ms at)
    {
        Event ev = NewEvent(EventKind::Link, at);
        ev.node = node;
        ev.up = true;
        sc_.events.push_back(std::move(ev));
    }

    void Announce(uint64_t l, Ms at)
    {
        Event ev = NewEvent(EventKind::LocationStatus, at);
        ev.node = NodeOf(l);
        ev.service = Numbered("loc", l, g_.Locations());
        ev.locIndex = static_cast<uint32_t>(l);
        ev.up = true;
        sc_.events.push_back(std::move(ev));
    }

    Scenario &sc_;
    const ClusterShape &g_;
    Mark mark_;
    size_t firstNode_;
};

}  // namespace

void Generate(const YamlReader &r, const YAML::Node &block, Scenario &sc, MemoryBudget &budget)
{
    const ClusterShape g = ReadShape(r, block);
    CheckShape(r, block, g);
    const double atoms = static_cast<double>(g.componentTypes + g.Locations() + g.Components());
    ScenarioSize size;
    size.nodes = g.nodes;
    size.locations = static_cast<double>(g.Locations());
    size.components = static_cast<double>(g.Components());
    size.types = g.componentTypes;
    size.events = atoms / g.atomsPerMessage + 2.0 * g.nodes + static_cast<double>(g.Locations());
    // Every location announced at once publishes its components at once; with a stagger, a node's at a time.
    size.burst = static_cast<double>(g.stagger == 0 ? g.Components() : g.Components() / g.nodes);
    if (const std::optional<std::string> refusal = budget.Add(size)) {
        r.Fail(block, *refusal);
    }
    ClusterWriter w(sc, g, YamlReader::MarkOf(block));
    w.Nodes();
    w.Types();
    if (g.stagger == 0) {
        w.AllAtOnce();
    } else {
        w.Staggered();
    }
}

}  // namespace zsim
