// Reads the library's sets, timers and the agents' holdings into a Snapshot, and writes one out as text.
#include "support/lib_snapshot.h"

#include <cstdio>
#include <cstring>
#include <sstream>

namespace zt {
namespace {

// Key-order walk of a set whose entries start with their AVL3 node; checks the tree and the count on the way.
template <typename Entry, typename Visit>
void Walk(ZelSet *set, const char *what, std::string *problems, Visit visit)
{
    if (set == nullptr) {
        if (problems != nullptr) {
            *problems += std::string(what) + ": no set\n";
        }
        return;
    }
    char why[160] = {};
    if (STANDIN_AVL3_Check(ZEL_AVL_GetTree(set), &set->treeInfo, why, sizeof(why)) != 0 && problems != nullptr) {
        *problems += std::string(what) + ": " + why + "\n";
    }
    uint32_t n = 0;
    for (auto *e = static_cast<Entry *>(AXO_AVL3_First(ZEL_AVL_GetTree(set), &set->treeInfo)); e != nullptr;
         e = static_cast<Entry *>(AXO_AVL3_Next(&e->node, &set->treeInfo))) {
        visit(*e);
        ++n;
    }
    if (n != ZEL_SET_Count(set) && problems != nullptr) {
        *problems += std::string(what) + ": count " + std::to_string(ZEL_SET_Count(set)) + ", walked " +
                     std::to_string(n) + "\n";
    }
}

bool Running(const char *timerName)
{
    const STANDIN_TimerInfo *info = STANDIN_TimerFind(timerName);
    return info != nullptr && info->alive != 0 && info->running != 0;
}

template <size_t N>
std::string Field(const char (&text)[N])
{
    return std::string(text, strnlen(text, N));
}

std::string Hex(uint64_t v)
{
    char buf[24];
    std::snprintf(buf, sizeof(buf), "%#llx", static_cast<unsigned long long>(v));
    return buf;
}

std::string LocCfgText(const ZelmLocInstCfg &c)
{
    std::ostringstream os;
    os << "id=" << c.LocId << " type=" << c.LocType << " name=" << Field(c.LocName) << " os=" << Hex(c.OsInst)
       << " grp=" << c.LocGrp << " p1=" << c.LocParam1 << " lrid=" << c.Lrid << " p2-6=" << c.LocParam2 << ","
       << c.LocParam3 << "," << c.LocParam4 << "," << c.LocParam5 << "," << c.LocParam6
       << " image=" << Field(c.imageName) << " ext=" << Field(c.LocExtName);
    return os.str();
}

std::string CompCfgText(const ZelmCompInstCfg &c)
{
    std::ostringstream os;
    os << "inst=" << c.compInst << " type=" << c.compType << " name=" << Field(c.compInstName)
       << " status=" << Hex(static_cast<uint32_t>(c.cfgStatus)) << " loc=" << c.locIndex << " attrs=" << c.attr1
       << "," << c.attr2 << "," << c.attr3 << "," << c.attr4 << "," << c.attr5 << "," << c.attr6 << "," << c.attr7
       << "," << c.attr8 << "," << c.attr9;
    return os.str();
}

}  // namespace

std::string EntryText(const STANDIN_LocEntry &e)
{
    std::ostringstream os;
    os << "id=" << e.LocId << " type=" << e.LocType << " name=" << e.LocName << " os=" << Hex(e.OsInst)
       << " grp=" << e.LocGrp << " p1=" << e.LocParam1 << " lrid=" << e.Lrid << " p2-6=" << e.LocParam2 << ","
       << e.LocParam3 << "," << e.LocParam4 << "," << e.LocParam5 << "," << e.LocParam6 << " image=" << e.imageName
       << " ext=" << e.LocExtName << " logic=" << Hex(e.logicId) << " policy=" << e.faultPolicy
       << " gp=" << e.grpParam1 << "," << e.grpParam2 << "," << e.grpParam3 << " rsv=" << e.reserved1 << ","
       << e.reserved2 << " null=" << e.nullTexts;
    return os.str();
}

std::string EntryText(const STANDIN_CompEntry &e)
{
    std::ostringstream os;
    os << "type=" << e.compType << " tname=" << e.compTypeName << " file=" << e.compFileName
       << " ext=" << e.compExtName << " name=" << e.compInstName << " class=" << e.compClass
       << " inst=" << e.compInst << " status=" << Hex(e.cfgStatus) << " loc=" << e.locIndex << " attrs=" << e.attr1
       << "," << e.attr2 << "," << e.attr3 << "," << e.attr4 << "," << e.attr5 << "," << e.attr6 << "," << e.attr7
       << "," << e.attr8 << "," << e.attr9 << " rsv=" << e.reserved1 << "," << e.reserved2 << " null=" << e.nullTexts;
    return os.str();
}

locationCb *LocCb() { return static_cast<locationCb *>(ZELM_GetModCb(ZELM_MOD_LOCATION)); }
ZelmCompCb *CompCb() { return static_cast<ZelmCompCb *>(ZELM_GetModCb(ZELM_MOD_COMP)); }
ZelmLinkCb *LinkCb() { return static_cast<ZelmLinkCb *>(ZELM_GetModCb(ZELM_MOD_LINK)); }

Snapshot LibrarySnapshot(const std::vector<QOF_ConnHandle> &agents, std::string *problems)
{
    Snapshot s;
    locationCb *loc = LocCb();
    ZelmCompCb *comp = CompCb();
    ZelmLinkCb *link = LinkCb();
    if (loc != nullptr) {
        Walk<locationInst>(loc->locationInstTree, "locations", problems, [&](const locationInst &e) {
            s.locations[e.instCfg.LocId] = {e.osNodeId, e.instCfg, e.publishState};
        });
        Walk<LogicLocGrp>(loc->logicGrpInstTree, "groups", problems,
                          [&](const LogicLocGrp &e) { s.groups[e.grpCfg.locIndex] = e.grpCfg; });
        Walk<osNodeInst>(loc->osNodeTree, "OS nodes", problems,
                         [&](const osNodeInst &e) { s.osNodes[e.osNodeId] = {e.chanHandle, e.publishFault}; });
    }
    if (comp != nullptr) {
        Walk<ZelmCompLocation>(comp->locationTree, "comp locations", problems, [&](const ZelmCompLocation &e) {
            SnapCompLocation &l = s.compLocations[e.locIndex];
            l.chan = e.chanHandle;
            l.fault = e.publishFault;
            Walk<ZelmComponent>(e.componentTree, "components", problems,
                                [&](const ZelmComponent &c) { l.comps[c.cfg.compInst] = {c.cfg, c.state}; });
        });
        Walk<ZelmCompNode>(comp->compNodeTree, "compNodes", problems,
                           [&](const ZelmCompNode &e) { s.compNodes[e.cfg.compType] = e.cfg; });
    }
    if (link != nullptr) {
        Walk<ZelmLinkLoc>(link->linkLocTree, "link locations", problems, [&](const ZelmLinkLoc &e) {
            s.links[{e.key.osNodeId, Field(e.key.serviceName)}] = {e.chanHandle, e.locIndex};
        });
        s.linkSvcHandle = link->svcHandle;
    }
    s.locTimerRunning = Running("ZelmLocSmooth");
    s.compTimerRunning = Running("ZelmCompSmooth");
    for (QOF_ConnHandle h : agents) {
        auto &locs = s.agentLocs[h];
        for (size_t i = 0; i < STANDIN_AgentLocCount(h); ++i) {
            const STANDIN_LocEntry *e = STANDIN_AgentLocGet(h, i);
            locs[e->LocId] = *e;
        }
        auto &comps = s.agentComps[h];
        for (size_t i = 0; i < STANDIN_AgentCompCount(h); ++i) {
            const STANDIN_CompEntry *e = STANDIN_AgentCompGet(h, i);
            comps[{e->locIndex, e->compInst}] = *e;
        }
    }
    return s;
}

std::string Describe(const Snapshot &s)
{
    std::ostringstream os;
    for (const auto &[id, l] : s.locations) {
        os << "location " << id << ": node " << Hex(l.osNodeId) << " state " << l.state << " | "
           << LocCfgText(l.cfg) << "\n";
    }
    for (const auto &[id, g] : s.groups) {
        os << "group " << id << ": " << g.locIndex << " " << Hex(g.logicId) << " " << g.faultPolicy << " "
           << g.grpParam1 << " " << g.grpParam2 << " " << g.grpParam3 << "\n";
    }
    for (const auto &[id, n] : s.osNodes) {
        os << "osNode " << Hex(id) << ": chan " << Hex(n.chan) << " fault " << n.fault << "\n";
    }
    for (const auto &[id, l] : s.compLocations) {
        os << "compLocation " << id << ": chan " << Hex(l.chan) << " fault " << l.fault << "\n";
        for (const auto &[inst, c] : l.comps) {
            os << "  component " << inst << ": state " << c.state << " | " << CompCfgText(c.cfg) << "\n";
        }
    }
    for (const auto &[type, n] : s.compNodes) {
        os << "compNode " << type << ": " << Field(n.compTypeName) << " class " << n.compClass << " "
           << Field(n.compFileName) << " " << Field(n.compExtName) << "\n";
    }
    for (const auto &[key, l] : s.links) {
        os << "link " << Hex(key.first) << "/" << key.second << ": chan " << Hex(l.chan) << " index " << Hex(l.locIndex)
           << "\n";
    }
    os << "link svcHandle " << Hex(s.linkSvcHandle) << "\n";
    os << "timers: loc " << (s.locTimerRunning ? "running" : "stopped") << ", comp "
       << (s.compTimerRunning ? "running" : "stopped") << "\n";
    for (const auto &[h, locs] : s.agentLocs) {
        for (const auto &[id, e] : locs) {
            os << "agent " << Hex(h) << " holds location " << EntryText(e) << "\n";
        }
    }
    for (const auto &[h, comps] : s.agentComps) {
        for (const auto &[key, e] : comps) {
            os << "agent " << Hex(h) << " holds component " << key.first << "/" << key.second << " "
               << EntryText(e) << "\n";
        }
    }
    return os.str();
}

size_t StoredBlocks(const Snapshot &s)
{
    size_t n = s.locations.size() + s.groups.size() + s.osNodes.size() + s.compNodes.size() + s.links.size();
    for (const auto &[id, l] : s.compLocations) {
        n += 2 + l.comps.size();  // the entry and its component set's header, then the components
    }
    return n;
}

}  // namespace zt
