// What a host can see of the running library and of the agents it feeds, as plain comparable values.
//
// The library side is read through its exported control blocks (ZELM_GetModCb)
// and key-order walks of their sets, the timers through the stand-in's timer
// records, the agents through what the stand-in's agents hold. The same shape
// is produced by the reference model of the model-based test, so that the two
// compare as text.
#ifndef ZELM_TESTS_SUPPORT_LIB_SNAPSHOT_H
#define ZELM_TESTS_SUPPORT_LIB_SNAPSHOT_H

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "zelm.h"
#include "zelm_standin.h"

namespace zt {

struct SnapLocation {
    uint32_t osNodeId = 0;
    ZelmLocInstCfg cfg{};
    uint32_t state = 0;
};

struct SnapOsNode {
    uintptr_t chan = 0;
    uint32_t fault = 0;
};

struct SnapComponent {
    ZelmCompInstCfg cfg{};
    uint32_t state = 0;
};

struct SnapCompLocation {
    uintptr_t chan = 0;
    uint32_t fault = 0;
    std::map<uint32_t, SnapComponent> comps;
};

struct SnapLink {
    uintptr_t chan = 0;
    uint32_t locIndex = 0;
};

using LinkKey = std::pair<uint32_t, std::string>;    // (OS node, service name)
using AgentCompKey = std::pair<uint32_t, uint32_t>;  // (locIndex, compInst)

// What one agent holds: locations by LocId, components by (locIndex, compInst).
using AgentLocs = std::map<uint32_t, STANDIN_LocEntry>;
using AgentComps = std::map<AgentCompKey, STANDIN_CompEntry>;

struct Snapshot {
    std::map<uint32_t, SnapLocation> locations;
    std::map<uint32_t, ZelmLogicLocGrpCfg> groups;
    std::map<uint32_t, SnapOsNode> osNodes;
    std::map<uint32_t, SnapCompLocation> compLocations;
    std::map<uint32_t, ZelmCompNodeCfg> compNodes;
    std::map<LinkKey, SnapLink> links;
    uintptr_t linkSvcHandle = 0;
    bool locTimerRunning = false;
    bool compTimerRunning = false;
    std::map<QOF_ConnHandle, AgentLocs> agentLocs;
    std::map<QOF_ConnHandle, AgentComps> agentComps;
};

// A set's entries, walked through its tree from first to last: in key order.
std::vector<void *> EntriesOf(ZelSet *set);
// The keys of a set keyed by a u32, in walk order.
std::vector<uint32_t> KeysOf(ZelSet *set);

// Whether the stand-in's timer of this name exists and runs.
bool TimerRunning(const char *name);

// The modules' control blocks, null while the library is stopped.
locationCb *LocCb();
ZelmCompCb *CompCb();
ZelmLinkCb *LinkCb();

// The running library and the given agents as they are now. `problems` receives
// anything found malformed on the way (unbalanced tree, count off); may be null.
Snapshot LibrarySnapshot(const std::vector<QOF_ConnHandle> &agents, std::string *problems);
// One line per record, in key order.
std::string Describe(const Snapshot &s);
// Every field of a request entry as an agent decoded it.
std::string EntryText(const STANDIN_LocEntry &e);
std::string EntryText(const STANDIN_CompEntry &e);
// The records a set holds in host blocks: every entry, and a set header inside each comp location.
size_t StoredBlocks(const Snapshot &s);

}  // namespace zt

#endif
