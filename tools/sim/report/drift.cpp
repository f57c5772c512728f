// Drift: what the configuration says each agent should hold against what it holds, item by item.
//
// A configured location belongs to the agent of the node its OsInst names; a configured component to the
// agent of the node that last announced its location index as available. A component whose type is missing
// is expected all the same (it waits for its type): missing, or extra at an agent that holds it while its type
// is missing. Entries an agent holds beyond that are extra.
#include <fmt/format.h>

#include <map>
#include <string>

#include "report/report.h"
#include "run/agent_view.h"
#include "text/units.h"
#include "zelm_standin.h"

namespace zsim {

namespace {

struct Diff {
    std::vector<Difference> &out;
    void Num(const char *field, uint32_t held, uint32_t want, bool hex = false)
    {
        if (held != want) {
            Difference d;
            d.field = field;
            d.hex = hex;
            d.heldNumber = held;
            d.configuredNumber = want;
            out.push_back(std::move(d));
        }
    }
    void Text(const char *field, const char *held, const std::string &want)
    {
        if (want != held) {
            Difference d;
            d.field = field;
            d.isText = true;
            d.heldText = held;
            d.configuredText = want;
            out.push_back(std::move(d));
        }
    }
};

std::vector<Difference> LocDiff(const STANDIN_LocEntry &e, const ZelmLocInstCfg &c, const ZelmLogicLocGrpCfg &g)
{
    std::vector<Difference> out;
    Diff d{out};
    d.Num("LocType", e.LocType, c.LocType);
    d.Text("LocName", e.LocName, FieldText(c.LocName));
    d.Num("OsInst", e.OsInst, c.OsInst);
    d.Num("LocGrp", e.LocGrp, c.LocGrp);
    d.Num("LocParam1", e.LocParam1, c.LocParam1);
    d.Num("Lrid", e.Lrid, c.Lrid);
    d.Num("LocParam2", e.LocParam2, c.LocParam2);
    d.Num("LocParam3", e.LocParam3, c.LocParam3);
    d.Num("LocParam4", e.LocParam4, c.LocParam4);
    d.Num("LocParam5", e.LocParam5, c.LocParam5);
    d.Num("LocParam6", e.LocParam6, c.LocParam6);
    d.Text("imageName", e.imageName, FieldText(c.imageName));
    d.Text("LocExtName", e.LocExtName, FieldText(c.LocExtName));
    d.Num("logicId", e.logicId, g.logicId);
    d.Num("faultPolicy", e.faultPolicy, g.faultPolicy);
    d.Num("grpParam1", e.grpParam1, g.grpParam1);
    d.Num("grpParam2", e.grpParam2, g.grpParam2);
    d.Num("grpParam3", e.grpParam3, g.grpParam3);
    return out;
}

std::vector<Difference> CompDiff(const STANDIN_CompEntry &e, const ZelmCompInstCfg &c, const ZelmCompNodeCfg &t)
{
    std::vector<Difference> out;
    Diff d{out};
    d.Num("compType", e.compType, c.compType);
    d.Text("compTypeName", e.compTypeName, FieldText(t.compTypeName));
    d.Text("compFileName", e.compFileName, FieldText(t.compFileName));
    d.Text("compExtName", e.compExtName, FieldText(t.compExtName));
    d.Text("compInstName", e.compInstName, FieldText(c.compInstName));
    d.Num("compClass", e.compClass, t.compClass);
    d.Num("attr1", e.attr1, c.attr1);
    d.Num("cfgStatus", e.cfgStatus, static_cast<uint32_t>(c.cfgStatus), true);
    d.Num("attr2", e.attr2, c.attr2);
    d.Num("locIndex", e.locIndex, c.locIndex);
    d.Num("attr3", e.attr3, c.attr3);
    d.Num("attr4", e.attr4, c.attr4);
    d.Num("attr5", e.attr5, c.attr5);
    d.Num("attr6", e.attr6, c.attr6);
    d.Num("attr7", e.attr7, c.attr7);
    d.Num("attr8", e.attr8, c.attr8);
    d.Num("attr9", e.attr9, c.attr9);
    return out;
}

std::string NodeName(const SimState &s, size_t n)
{
    return n == SIZE_MAX ? "-" : s.scenario.nodes[n].name;
}

DriftItem Location(const SimState &s, DriftKind kind, size_t node, uint32_t locId, std::string name, Why why)
{
    DriftItem d;
    d.kind = kind;
    d.node = NodeName(s, node);
    d.LocId = locId;
    d.locIndex = node == SIZE_MAX ? std::nullopt : s.AnnouncedIndex(node, name);
    d.name = std::move(name);
    d.why = std::move(why);
    return d;
}

DriftItem Component(const SimState &s, DriftKind kind, size_t node, const CompKey &key, std::string name, Why why)
{
    DriftItem d;
    d.kind = kind;
    d.component = true;
    d.node = NodeName(s, node);
    d.locIndex = key.first;
    d.compInst = key.second;
    d.name = std::move(name);
    d.why = std::move(why);
    return d;
}

void LocationDrift(const SimState &s, std::vector<DriftItem> &out)
{
    for (const auto &[id, cfgAt] : s.config.locations) {
        const ZelmLocInstCfg &cfg = *cfgAt;
        const size_t n = s.NodeOfOsInst(cfg.OsInst);
        const std::string name = FieldText(cfg.LocName);
        if (n == SIZE_MAX) {
            out.push_back(Location(s, DriftKind::Missing, n, id, name,
                                   {DriftReason::UnknownOsNode,
                                    "no declared OS node has osNodeId " + Hex(cfg.OsInst & 0xFFFFFFu)}));
            continue;
        }
        if (s.nodes[n].handle == 0) {
            out.push_back(
                Location(s, DriftKind::Missing, n, id, name, {DriftReason::NoAgent, "the node has no agent"}));
            continue;
        }
        STANDIN_LocEntry held;
        if (STANDIN_AgentLocFind(s.nodes[n].handle, id, &held) != 0) {
            out.push_back(Location(s, DriftKind::Missing, n, id, name, WhyLocationMissing(s, id, n)));
            continue;
        }
        std::vector<Difference> diff = LocDiff(held, cfg, s.config.GroupFor(id));
        if (!diff.empty()) {
            DriftItem d = Location(s, DriftKind::Stale, n, id, name, WhyLocationMissing(s, id, n));
            d.differences = std::move(diff);
            out.push_back(std::move(d));
        }
    }
    for (size_t n = 0; n < s.nodes.size(); ++n) {
        ForEachHeldLocation(s.nodes[n].handle, [&](const STANDIN_LocEntry &e) {
            const ZelmLocInstCfg *const *cfg = s.config.locations.Find(e.LocId);
            if (cfg == nullptr || s.NodeOfOsInst((*cfg)->OsInst) != n) {
                out.push_back(Location(s, DriftKind::Extra, n, e.LocId, e.LocName, WhyLocationExtra(s, e.LocId, n)));
            }
        });
    }
}

// The agents that hold each configured component whose location index no node announces, in node order.
// One walk over the holdings: a walk per component would take components times nodes.
std::map<CompKey, std::string> UnplacedHolders(const SimState &s)
{
    std::map<CompKey, std::string> out;
    for (size_t n = 0; n < s.nodes.size(); ++n) {
        ForEachHeldComponent(s.nodes[n].handle, [&](uint32_t locIndex, const STANDIN_CompEntry &e) {
            const CompKey key{locIndex, e.compInst};
            if (s.config.components.count(key) != 0 && s.AnnouncerOf(locIndex) == SIZE_MAX) {
                std::string &holders = out[key];
                holders += (holders.empty() ? "" : ", ") + s.scenario.nodes[n].name;
            }
        });
    }
    return out;
}

// The drift of one configured component whose index node `n` announces.
void PlacedComponentDrift(const SimState &s, size_t n, const CompKey &key, const ZelmCompInstCfg &cfg,
                          std::vector<DriftItem> &out)
{
    const std::string name = FieldText(cfg.compInstName);
    const QOF_ConnHandle h = s.nodes[n].handle;
    if (h == 0) {
        out.push_back(Component(s, DriftKind::Missing, n, key, name, {DriftReason::NoAgent, "the node has no agent"}));
        return;
    }
    STANDIN_CompEntry heldEntry;
    const STANDIN_CompEntry *held =
        STANDIN_AgentCompFind(h, key.first, key.second, &heldEntry) == 0 ? &heldEntry : nullptr;
    const std::optional<ZelmCompNodeCfg> type = s.config.TypeFor(cfg.compType);
    if (!type) {
        const std::string missing = fmt::format("component type {} missing", cfg.compType);
        if (held == nullptr) {
            out.push_back(Component(s, DriftKind::Missing, n, key, name, {DriftReason::TypeMissing, missing}));
        } else {
            Why extra = WhyCompExtra(s, key, n);
            out.push_back(Component(s, DriftKind::Extra, n, key, name,
                                    {DriftReason::TypeMissing, "held although " + missing + ": " + extra.text,
                                     std::move(extra.cause)}));
        }
    } else if (held == nullptr) {
        out.push_back(Component(s, DriftKind::Missing, n, key, name, WhyCompMissing(s, key, n)));
    } else if (std::vector<Difference> diff = CompDiff(*held, cfg, *type); !diff.empty()) {
        DriftItem d = Component(s, DriftKind::Stale, n, key, name, WhyCompMissing(s, key, n));
        d.differences = std::move(diff);
        out.push_back(std::move(d));
    }
}

void ComponentDrift(const SimState &s, std::vector<DriftItem> &out)
{
    const std::map<CompKey, std::string> holders = UnplacedHolders(s);
    for (const auto &[key, cfgAt] : s.config.components) {
        const ZelmCompInstCfg &cfg = *cfgAt;
        const size_t n = s.AnnouncerOf(key.first);
        if (n != SIZE_MAX) {
            PlacedComponentDrift(s, n, key, cfg, out);
            continue;
        }
        Why why = WhyUnplaced(s, key.first);
        if (const auto it = holders.find(key); it != holders.end()) {
            why.text += "; still held by " + it->second;
        }
        out.push_back(Component(s, DriftKind::Missing, SIZE_MAX, key, FieldText(cfg.compInstName), why));
    }
    for (size_t n = 0; n < s.nodes.size(); ++n) {
        ForEachHeldComponent(s.nodes[n].handle, [&](uint32_t locIndex, const STANDIN_CompEntry &e) {
            const CompKey key{locIndex, e.compInst};
            const bool configured = s.config.components.count(key) != 0;
            const size_t announcer = s.AnnouncerOf(locIndex);
            // A configured component whose index nobody announces was reported above, with its holders.
            if (!configured || (announcer != SIZE_MAX && announcer != n)) {
                out.push_back(Component(s, DriftKind::Extra, n, key, e.compInstName, WhyCompExtra(s, key, n)));
            }
        });
    }
}

}  // namespace

void ComputeDrift(const SimState &s, std::vector<DriftItem> &out)
{
    LocationDrift(s, out);
    ComponentDrift(s, out);
}

}  // namespace zsim
