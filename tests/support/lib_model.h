// A reference model of the library on the stand-in: what it stores, flags, sends and what the agents then hold.
//
// Written from the library's rules alone, with plain containers, one step at
// a time. A refused call flags its peer at once; an accepted one stays pending
// until a settle, which completes every pending call in call order (the
// stand-in completes them one millisecond after the call). Agents answer by a
// sticky mode, fixed when the call is made. A tick settles, runs each smooth
// timer that is running once, and settles again. The model's Snapshot is
// compared with the library's; the model-based test and the fuzz target share it.
#ifndef ZELM_TESTS_SUPPORT_LIB_MODEL_H
#define ZELM_TESTS_SUPPORT_LIB_MODEL_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/lib_snapshot.h"
#include "support/lib_step.h"

namespace zt {

// A request the library must have made, with what the agent received in it.
struct ModelCall {
    bool loc;  // "KorbLocSubscribe", else "KorbCompSubscribe"
    QOF_ConnHandle handle;
    uint32_t opType;
    uint32_t locIndex;  // component calls: the location
    std::vector<STANDIN_LocEntry> locs;
    std::vector<STANDIN_CompEntry> comps;
    bool failed;  // refused, or to be answered with a failure
};

class LibModel {
public:
    // The OS nodes the stand-in knows, with their agents' server handles (0: no agent).
    void AddNode(uint32_t osNodeId, QOF_ConnHandle handle);

    void Apply(const Step &step);
    size_t Pending() const { return pending_.size(); }
    // Text copies the pending requests hold: three per location entry, four per component entry.
    size_t PendingTexts() const;

    const Snapshot &Expected() const { return s_; }
    // Every request made since the start, in call order, refused ones included.
    const std::vector<ModelCall> &Sent() const { return sent_; }
    std::vector<QOF_ConnHandle> Agents() const;
    QOF_ConnHandle HandleOf(uint32_t osNodeId) const;

private:
    void Location(uint16_t opCode, const ZelmLocInstCfg &cfg);
    void Group(uint16_t opCode, const ZelmLogicLocGrpCfg &cfg);
    void CompNode(uint16_t opCode, const ZelmCompNodeCfg &cfg);
    void Component(uint16_t opCode, const ZelmCompInstCfg &cfg);
    void OsNodeLink(uint32_t osNodeId, bool up);
    void LocationStatus(uint32_t osNodeId, const std::string &service, uint32_t locIndex, bool available);
    void Agent(QOF_ConnHandle handle, AgentMode mode);
    void Tick();
    void Settle();

    AgentMode ModeOf(QOF_ConnHandle handle) const;
    ZelmLogicLocGrpCfg GroupOf(uint32_t locIndex) const;
    bool CompNodeOf(uint32_t compType, ZelmCompNodeCfg *out) const;

    void PublishLocation(uint32_t locIndex, uint32_t opType);
    void SmoothOsNode(uint32_t osNodeId);
    void SendLocations(uint32_t osNodeId, uint32_t opType, const std::vector<uint32_t> &locIndexes);
    void CompleteLocations(const ModelCall &call);

    void PublishComponent(uint32_t locIndex, uint32_t compInst, uint32_t opType);
    void SmoothCompLocation(uint32_t locIndex, uint32_t opType);
    void SendComponents(uint32_t locIndex, uint32_t opType, const std::vector<uint32_t> &compInsts);
    void CompleteComponents(const ModelCall &call);
    void DeleteComponentsByLocation(uint32_t locIndex);
    void LocationLink(uint32_t locIndex, uintptr_t chanHandle);
    void Complete(const ModelCall &call);

    Snapshot s_;
    std::set<std::string> texts_;  // what the entries the agents should hold point at
    std::map<uint32_t, QOF_ConnHandle> nodes_;
    std::map<QOF_ConnHandle, AgentMode> modes_;
    uint32_t haRole_ = 0;
    std::vector<ModelCall> pending_;
    std::vector<ModelCall> sent_;
};

}  // namespace zt

#endif
