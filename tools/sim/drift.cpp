// Drift: what the configuration says each agent should hold against what it holds, item by item.
//
// A configured location belongs to the agent of the node its OsInst names; a configured component to the
// agent of the node that last announced its location index as available. A component whose type is
// missing cannot be published, so no agent should hold it. Entries an agent holds beyond that are extra.
#include <cstring>
#include <string>

#include "report.h"
#include "zelm_standin.h"

namespace zsim {

namespace {

constexpr uint32_t kOsNodeMask = 0xFFFFFFu;


struct Diff {
    std::vector<std::string> &out;
    void Num(const char *field, uint32_t held, uint32_t want)
    {
        if (held != want) {
            out.push_back(std::string(field) + ": held " + std::to_string(held) + ", configured " + std::to_string(want));
        }
    }
    void Text(const char *field, const char *held, const std::string &want)
    {
        if (want != held) {
            out.push_back(std::string(field) + ": held '" + held + "', configured '" + want + "'");
        }
    }
};

std::vector<std::string> LocDiff(const STANDIN_LocEntry &e, const ZelmLocInstCfg &c, const ZelmLogicLocGrpCfg &g)
{
    std::vector<std::string> out;
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

std::vector<std::string> CompDiff(const STANDIN_CompEntry &e, const ZelmCompInstCfg &c, const ZelmCompNodeCfg &t)
{
    std::vector<std::string> out;
    Diff d{out};
    d.Num("compType", e.compType, c.compType);
    d.Text("compTypeName", e.compTypeName, FieldText(t.compTypeName));
    d.Text("compFileName", e.compFileName, FieldText(t.compFileName));
    d.Text("compExtName", e.compExtName, FieldText(t.compExtName));
    d.Text("compInstName", e.compInstName, FieldText(c.compInstName));
    d.Num("compClass", e.compClass, t.compClass);
    d.Num("attr1", e.attr1, c.attr1);
    if (e.cfgStatus != static_cast<uint32_t>(c.cfgStatus)) {
        out.push_back("cfgStatus: held " + Hex(e.cfgStatus) + ", configured " + Hex(static_cast<uint32_t>(c.cfgStatus)));
    }
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

DriftItem Item(const char *kind, const char *what, std::string node, uint32_t locIndex, std::optional<uint32_t> inst,
               std::string name, std::string reason)
{
    DriftItem d;
    d.kind = kind;
    d.what = what;
    d.node = std::move(node);
    d.locIndex = locIndex;
    d.compInst = inst;
    d.name = std::move(name);
    d.reason = std::move(reason);
    return d;
}

void LocationDrift(const SimState &s, std::vector<DriftItem> &out)
{
    const auto &nodes = s.scenario.nodes;
    std::vector<size_t> matched(nodes.size());  // held entries that the configuration places there
    for (const auto &[id, cfg] : s.config.locations) {
        const size_t n = s.NodeOfId(cfg.OsInst & kOsNodeMask);
        const std::string name = FieldText(cfg.LocName);
        if (n == SIZE_MAX) {
            out.push_back(Item("missing", "location", "-", id, std::nullopt, name,
                               "no declared OS node has osNodeId " + Hex(cfg.OsInst & kOsNodeMask)));
            continue;
        }
        if (s.nodes[n].handle == 0) {
            out.push_back(Item("missing", "location", nodes[n].name, id, std::nullopt, name, "the node has no agent"));
            continue;
        }
        const STANDIN_LocEntry *held = STANDIN_AgentLocFind(s.nodes[n].handle, id);
        if (held == nullptr) {
            out.push_back(Item("missing", "location", nodes[n].name, id, std::nullopt, name, WhyLocationMissing(s, id, n)));
            continue;
        }
        matched[n]++;
        std::vector<std::string> diff = LocDiff(*held, cfg, s.config.GroupFor(id));
        if (!diff.empty()) {
            DriftItem d = Item("stale", "location", nodes[n].name, id, std::nullopt, name, WhyLocationMissing(s, id, n));
            d.differences = std::move(diff);
            out.push_back(std::move(d));
        }
    }
    for (size_t n = 0; n < nodes.size(); ++n) {
        // An agent that holds no more than what was matched holds nothing extra: skip the slow walk.
        const QOF_ConnHandle h = s.nodes[n].handle;
        const size_t count = h == 0 ? 0 : STANDIN_AgentLocCount(h);
        for (size_t i = 0; count > matched[n] && i < count; ++i) {
            const STANDIN_LocEntry *e = STANDIN_AgentLocGet(h, i);
            const auto it = s.config.locations.find(e->LocId);
            if (it == s.config.locations.end() || s.NodeOfId(it->second.OsInst & kOsNodeMask) != n) {
                out.push_back(Item("extra", "location", nodes[n].name, e->LocId, std::nullopt, e->LocName,
                                   WhyLocationExtra(s, e->LocId, n)));
            }
        }
    }
}

// Agents that hold a component, for one whose location index no node announces.
std::string Holders(const SimState &s, const CompKey &key)
{
    std::string out;
    for (size_t n = 0; n < s.nodes.size(); ++n) {
        if (s.nodes[n].handle != 0 && STANDIN_AgentCompFind(s.nodes[n].handle, key.first, key.second) != nullptr) {
            out += (out.empty() ? "" : ", ") + s.scenario.nodes[n].name;
        }
    }
    return out;
}

void ComponentDrift(const SimState &s, std::vector<DriftItem> &out)
{
    const auto &nodes = s.scenario.nodes;
    const std::map<uint32_t, size_t> ann = s.Announcers();
    std::vector<size_t> matched(nodes.size());
    for (const auto &[key, cfg] : s.config.components) {
        const std::string name = FieldText(cfg.compInstName);
        const auto a = ann.find(key.first);
        if (a == ann.end()) {
            std::string why = WhyUnplaced(s, key.first);
            const std::string holders = Holders(s, key);
            if (!holders.empty()) {
                why += "; still held by " + holders;
            }
            out.push_back(Item("missing", "component", "-", key.first, key.second, name, why));
            continue;
        }
        const size_t n = a->second;
        const QOF_ConnHandle h = s.nodes[n].handle;
        const STANDIN_CompEntry *held = h == 0 ? nullptr : STANDIN_AgentCompFind(h, key.first, key.second);
        const std::optional<ZelmCompNodeCfg> type = s.config.TypeFor(cfg.compType);
        matched[n] += held != nullptr ? 1 : 0;
        if (h == 0) {
            out.push_back(Item("missing", "component", nodes[n].name, key.first, key.second, name, "the node has no agent"));
        } else if (!type) {
            const std::string missing = "component type " + std::to_string(cfg.compType) + " missing";
            out.push_back(held == nullptr ? Item("missing", "component", nodes[n].name, key.first, key.second, name, missing)
                                          : Item("extra", "component", nodes[n].name, key.first, key.second, name,
                                                 "held although " + missing + ": " + WhyCompExtra(s, key, n)));
        } else if (held == nullptr) {
            out.push_back(Item("missing", "component", nodes[n].name, key.first, key.second, name, WhyCompMissing(s, key, n)));
        } else if (std::vector<std::string> diff = CompDiff(*held, cfg, *type); !diff.empty()) {
            DriftItem d = Item("stale", "component", nodes[n].name, key.first, key.second, name, WhyCompMissing(s, key, n));
            d.differences = std::move(diff);
            out.push_back(std::move(d));
        }
    }
    for (size_t n = 0; n < nodes.size(); ++n) {
        const QOF_ConnHandle h = s.nodes[n].handle;
        const size_t count = h == 0 ? 0 : STANDIN_AgentCompCount(h);
        for (size_t i = 0; count > matched[n] && i < count; ++i) {
            const STANDIN_CompEntry *e = STANDIN_AgentCompGet(h, i);
            // The agent files a component under the request's index, which is the component's own.
            const CompKey key{e->locIndex, e->compInst};
            const bool configured = s.config.components.count(key) != 0;
            const auto a = ann.find(key.first);
            // A configured component whose index nobody announces was reported above, with its holders.
            if (configured && (a == ann.end() || a->second == n)) {
                continue;
            }
            out.push_back(Item("extra", "component", nodes[n].name, key.first, key.second, e->compInstName,
                               WhyCompExtra(s, key, n)));
        }
    }
}

}  // namespace

void ComputeDrift(const SimState &s, std::vector<DriftItem> &out)
{
    LocationDrift(s, out);
    ComponentDrift(s, out);
}

}  // namespace zsim
