// Reads the library's sets, timers and the agents' holdings into a Snapshot, and writes one out as text.
#include "support/lib_snapshot.h"

#include <cstdio>
#include <cstring>
#include <sstream>

#include "support/avl3_check.h"
#include "support/lib_step.h"

namespace zt {
namespace {

// Key-order walk of a set of entries of one type; checks the tree and the count on the way.
template <typename Entry, typename Visit>
void Walk(ZelSet *set, const char *what, std::string *problems, Visit visit)
{
    if (set == nullptr) {
        if (problems != nullptr) {
            *problems += std::string(what) + ": no set\n";
        }
        return;
    }
    const std::string why = Avl3Problem(ZEL_AVL_GetTree(set), &set->treeInfo);
    if (!why.empty() && problems != nullptr) {
        *problems += std::string(what) + ": " + why + "\n";
    }
    const std::vector<void *> entries = EntriesOf(set);
    for (void *e : entries) {
        visit(*static_cast<const Entry *>(e));
    }
    if (entries.size() != ZEL_SET_Count(set) && problems != nullptr) {
        *problems += std::string(what) + std::string(": count ") + std::to_string(ZEL_SET_Count(set)) + ", walked " +
                     std::to_string(entries.size()) + "\n";
    }
}

std::string Hex(uint64_t v)
{
    char buf[24];
    std::snprintf(buf, sizeof(buf), "%#llx", static_cast<unsigned long long>(v));
    return buf;
}

// A record's bytes as they lie, in hex: records are copied verbatim, so they compare as such.
std::string Raw(const void *record, size_t size)
{
    std::string out;
    char byte[3];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(byte, sizeof(byte), "%02x", static_cast<const uint8_t *>(record)[i]);
        out += byte;
    }
    return out;
}

// The leading u32 fields of an entry the agent decoded, then its texts.
std::string Words(const uint32_t *words, size_t n, std::initializer_list<const char *> texts, uint32_t nullTexts)
{
    std::ostringstream os;
    for (size_t i = 0; i < n; ++i) {
        os << (i == 0 ? "" : ",") << Hex(words[i]);
    }
    for (const char *text : texts) {
        os << " '" << text << "'";
    }
    os << " null=" << nullTexts;
    return os.str();
}

}  // namespace

std::string EntryText(const STANDIN_LocEntry &e)
{
    return Words(&e.LocId, 18, {e.LocName, e.imageName, e.LocExtName}, e.nullTexts);
}

std::string EntryText(const STANDIN_CompEntry &e)
{
    return Words(&e.compType, 16, {e.compTypeName, e.compFileName, e.compExtName, e.compInstName}, e.nullTexts);
}

std::vector<void *> EntriesOf(ZelSet *set)
{
    std::vector<void *> entries;
    for (void *e = AXO_AVL3_First(ZEL_AVL_GetTree(set), &set->treeInfo); e != nullptr;
         e = AXO_AVL3_Next(reinterpret_cast<AXO_AVL3_NODE *>(static_cast<char *>(e) + set->treeInfo.nodeOffset),
                           &set->treeInfo)) {
        entries.push_back(e);
    }
    return entries;
}

std::vector<uint32_t> KeysOf(ZelSet *set)
{
    std::vector<uint32_t> keys;
    for (void *e : EntriesOf(set)) {
        uint32_t key = 0;
        std::memcpy(&key, static_cast<char *>(e) + set->treeInfo.keyOffset, sizeof(key));
        keys.push_back(key);
    }
    return keys;
}

bool TimerRunning(const char *name)
{
    const STANDIN_TimerInfo *info = STANDIN_TimerFind(name);
    return info != nullptr && info->alive != 0 && info->running != 0;
}

locationCb *LocCb()
{
    return static_cast<locationCb *>(ZELM_GetModCb(ZELM_MOD_LOCATION));
}
ZelmCompCb *CompCb()
{
    return static_cast<ZelmCompCb *>(ZELM_GetModCb(ZELM_MOD_COMP));
}
ZelmLinkCb *LinkCb()
{
    return static_cast<ZelmLinkCb *>(ZELM_GetModCb(ZELM_MOD_LINK));
}

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
        Walk<osNodeInst>(loc->osNodeTree, "OS nodes", problems, [&](const osNodeInst &e) {
            s.osNodes[e.osNodeId] = {e.chanHandle, e.publishFault};
        });
    }
    if (comp != nullptr) {
        Walk<ZelmCompLocation>(comp->locationTree, "comp locations", problems, [&](const ZelmCompLocation &e) {
            SnapCompLocation &l = s.compLocations[e.locIndex];
            l.chan = e.chanHandle;
            l.fault = e.publishFault;
            Walk<ZelmComponent>(e.componentTree, "components", problems, [&](const ZelmComponent &c) {
                l.comps[c.cfg.compInst] = {c.cfg, c.state};
            });
        });
        Walk<ZelmCompNode>(comp->compNodeTree, "compNodes", problems,
                           [&](const ZelmCompNode &e) { s.compNodes[e.cfg.compType] = e.cfg; });
    }
    if (link != nullptr) {
        Walk<ZelmLinkLoc>(link->linkLocTree, "link locations", problems, [&](const ZelmLinkLoc &e) {
            s.links[{e.key.osNodeId, TextOf(e.key.serviceName)}] = {e.chanHandle, e.locIndex};
        });
        s.linkSvcHandle = link->svcHandle;
    }
    s.locTimerRunning = TimerRunning("ZelmLocSmooth");
    s.compTimerRunning = TimerRunning("ZelmCompSmooth");
    for (QOF_ConnHandle h : agents) {
        STANDIN_AgentLocForEach(
            h, [](const STANDIN_LocEntry *e, void *locs) { (*static_cast<AgentLocs *>(locs))[e->LocId] = *e; },
            &s.agentLocs[h]);
        STANDIN_AgentCompForEach(
            h,
            [](uint32_t locIndex, const STANDIN_CompEntry *e, void *comps) {
                (*static_cast<AgentComps *>(comps))[{locIndex, e->compInst}] = *e;
            },
            &s.agentComps[h]);
    }
    return s;
}

std::string Describe(const Snapshot &s)
{
    std::ostringstream os;
    for (const auto &[id, l] : s.locations) {
        os << "location " << id << ": node " << Hex(l.osNodeId) << " state " << l.state << " | "
           << Raw(&l.cfg, sizeof(l.cfg)) << "\n";
    }
    for (const auto &[id, g] : s.groups) {
        os << "group " << id << ": " << Raw(&g, sizeof(g)) << "\n";
    }
    for (const auto &[id, n] : s.osNodes) {
        os << "osNode " << Hex(id) << ": chan " << Hex(n.chan) << " fault " << n.fault << "\n";
    }
    for (const auto &[id, l] : s.compLocations) {
        os << "compLocation " << id << ": chan " << Hex(l.chan) << " fault " << l.fault << "\n";
        for (const auto &[inst, c] : l.comps) {
            os << "  component " << inst << ": state " << c.state << " | " << Raw(&c.cfg, sizeof(c.cfg)) << "\n";
        }
    }
    for (const auto &[type, n] : s.compNodes) {
        os << "compNode " << type << ": " << Raw(&n, sizeof(n)) << "\n";
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
            os << "agent " << Hex(h) << " holds component " << key.first << "/" << key.second << " " << EntryText(e)
               << "\n";
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
