// The reference model's rules: storing, filtering, publishing, completing and smoothing, event by event.
#include "support/lib_model.h"

#include <cstring>

namespace zt {
namespace {

constexpr uint32_t kOsNodeMask = 0xFFFFFFu;
constexpr uint32_t kOpAdd = 0;
constexpr uint32_t kOpDel = 1;
constexpr uint32_t kOpSmooth = 2;

constexpr size_t kServiceNameMax = 63;  // a link key holds the name and its NUL in 64 bytes

// The text of a record's field, kept for the entries that point at it.
template <size_t N>
const char *Kept(std::set<std::string> &texts, const char (&src)[N])
{
    return texts.insert(TextOf(src)).first->c_str();
}

bool IsServiceImage(const ZelmLocInstCfg &cfg)
{
    return TextOf(cfg.imageName).find(".service") != std::string::npos;
}

bool Refuses(AgentMode mode)
{
    return mode == AgentMode::Refuse || mode == AgentMode::Down;
}

bool IsStore(uint16_t opCode)
{
    return opCode == 0 || opCode == 1;
}

STANDIN_LocEntry LocEntry(const ZelmLocInstCfg &c, const ZelmLogicLocGrpCfg &g, std::set<std::string> &texts)
{
    STANDIN_LocEntry e{};
    e.LocId = c.LocId;
    e.LocType = c.LocType;
    e.OsInst = c.OsInst;
    e.LocGrp = c.LocGrp;
    e.LocParam1 = c.LocParam1;
    e.Lrid = c.Lrid;
    e.LocParam2 = c.LocParam2;
    e.LocParam3 = c.LocParam3;
    e.LocParam4 = c.LocParam4;
    e.LocParam5 = c.LocParam5;
    e.LocParam6 = c.LocParam6;
    e.logicId = g.logicId;
    e.faultPolicy = g.faultPolicy;
    e.grpParam1 = g.grpParam1;
    e.grpParam2 = g.grpParam2;
    e.grpParam3 = g.grpParam3;
    e.LocName = Kept(texts, c.LocName);
    e.imageName = Kept(texts, c.imageName);
    e.LocExtName = Kept(texts, c.LocExtName);
    return e;
}

STANDIN_CompEntry CompEntry(const ZelmCompInstCfg &c, const ZelmCompNodeCfg &n, std::set<std::string> &texts)
{
    STANDIN_CompEntry e{};
    e.compType = c.compType;
    e.attr7 = c.attr7;
    e.compClass = n.compClass;
    e.compInst = c.compInst;
    e.attr1 = c.attr1;
    e.cfgStatus = static_cast<uint32_t>(c.cfgStatus);
    e.attr2 = c.attr2;
    e.locIndex = c.locIndex;
    e.attr3 = c.attr3;
    e.attr4 = c.attr4;
    e.attr5 = c.attr5;
    e.attr6 = c.attr6;
    e.attr8 = c.attr8;
    e.attr9 = c.attr9;
    e.compTypeName = Kept(texts, n.compTypeName);
    e.compFileName = Kept(texts, n.compFileName);
    e.compExtName = Kept(texts, n.compExtName);
    e.compInstName = Kept(texts, c.compInstName);
    return e;
}

// What an agent holds after answering a call: add and smooth upsert, delete removes; a failure changes nothing.
template <typename Held, typename Entry, typename KeyOf>
void Hold(Held &held, const ModelCall &call, const std::vector<Entry> &entries, KeyOf keyOf)
{
    for (const Entry &e : entries) {
        if (call.failed) {
            break;
        }
        call.opType == kOpDel ? (void)held.erase(keyOf(e)) : (void)(held[keyOf(e)] = e);
    }
}

// The same rule in both modules: a failure flags the peer and starts the timer; a success clears the
// flag and stops the timer when no peer is left flagged.
template <typename Peers>
void Settled(Peers &peers, typename Peers::iterator peer, bool failed, bool &timerRunning)
{
    peer->second.fault = failed ? 1 : 0;
    bool anyFlagged = false;
    for (const auto &[key, p] : peers) {
        anyFlagged = anyFlagged || p.fault != 0;
    }
    timerRunning = failed || (timerRunning && anyFlagged);
}

}  // namespace

void LibModel::Apply(const Step &step)
{
    switch (step.kind) {
    case StepKind::Location:
        Location(step.opCode, step.loc);
        break;
    case StepKind::Group:
        Group(step.opCode, step.grp);
        break;
    case StepKind::CompNode:
        CompNode(step.opCode, step.compNode);
        break;
    case StepKind::Component:
        Component(step.opCode, step.comp);
        break;
    case StepKind::OsNodeLink:
        OsNodeLink(step.node, step.on);
        break;
    case StepKind::LocationStatus:
        LocationStatus(step.node, step.service, step.index, step.on);
        break;
    case StepKind::Agent:
        Agent(HandleOf(step.node), step.mode);
        break;
    case StepKind::Settle:
        Settle();
        break;
    case StepKind::Tick:
        Tick();
        break;
    case StepKind::HaRole:
        haRole_ = step.value;
        break;
    }
}

size_t LibModel::PendingTexts() const
{
    size_t n = 0;
    for (const ModelCall &call : pending_) {
        n += 3 * call.locs.size() + 4 * call.comps.size();
    }
    return n;
}

void LibModel::AddNode(uint32_t osNodeId, QOF_ConnHandle handle)
{
    nodes_[osNodeId] = handle;
    if (handle != 0) {
        s_.agentLocs[handle];
        s_.agentComps[handle];
    }
}

std::vector<QOF_ConnHandle> LibModel::Agents() const
{
    std::vector<QOF_ConnHandle> agents;
    for (const auto &[id, h] : nodes_) {
        if (h != 0) {
            agents.push_back(h);
        }
    }
    return agents;
}

QOF_ConnHandle LibModel::HandleOf(uint32_t osNodeId) const
{
    const auto it = nodes_.find(osNodeId);
    return it != nodes_.end() ? it->second : 0;
}

AgentMode LibModel::ModeOf(QOF_ConnHandle handle) const
{
    const auto it = modes_.find(handle);
    return it == modes_.end() ? AgentMode::Accept : it->second;
}

ZelmLogicLocGrpCfg LibModel::GroupOf(uint32_t locIndex) const
{
    const auto it = s_.groups.find(locIndex);
    return it != s_.groups.end() ? it->second : ZelmLogicLocGrpCfg{0, 0xFFFFFFFFu, 0, 0, 0, 0};
}

bool LibModel::CompNodeOf(uint32_t compType, ZelmCompNodeCfg *out) const
{
    if (compType == 3 || compType == 207) {
        *out = ZelmCompNodeCfg{};
        out->compType = compType;
        return true;
    }
    const auto it = s_.compNodes.find(compType);
    if (it == s_.compNodes.end()) {
        return false;
    }
    *out = it->second;
    return true;
}

// ---- locations ------------------------------------------------------------------------------

void LibModel::Location(uint16_t opCode, const ZelmLocInstCfg &cfg)
{
    if (opCode > 2 || !IsServiceImage(cfg)) {
        return;
    }
    if (IsStore(opCode)) {
        s_.locations[cfg.LocId] = {cfg.OsInst & kOsNodeMask, cfg, 0};
        PublishLocation(cfg.LocId, kOpAdd);
    } else {
        const auto it = s_.locations.find(cfg.LocId);
        if (it == s_.locations.end()) {
            return;
        }
        if (it->second.state != 0) {
            DeleteComponentsByLocation(cfg.LocId);
            PublishLocation(cfg.LocId, kOpDel);
        }
        s_.locations.erase(cfg.LocId);
    }
}

void LibModel::Group(uint16_t opCode, const ZelmLogicLocGrpCfg &cfg)
{
    if (opCode > 2) {
        return;
    }
    const bool hasLocation = s_.locations.count(cfg.locIndex) != 0;
    if (IsStore(opCode)) {
        s_.groups[cfg.locIndex] = cfg;
        if (hasLocation) {
            PublishLocation(cfg.locIndex, kOpAdd);
        }
    } else {
        if (s_.groups.count(cfg.locIndex) == 0) {
            return;
        }
        if (hasLocation) {
            DeleteComponentsByLocation(cfg.locIndex);
            PublishLocation(cfg.locIndex, kOpDel);
        }
        s_.groups.erase(cfg.locIndex);
    }
}

void LibModel::OsNodeLink(uint32_t osNodeId, bool up)
{
    if (!up) {
        s_.osNodes.erase(osNodeId);
        return;
    }
    s_.osNodes[osNodeId].chan = HandleOf(osNodeId);
    if (haRole_ == 0) {
        SmoothOsNode(osNodeId);
    }
}

void LibModel::PublishLocation(uint32_t locIndex, uint32_t opType)
{
    if (haRole_ != 0) {
        return;
    }
    const uint32_t osNodeId = s_.locations.at(locIndex).osNodeId;
    const auto node = s_.osNodes.find(osNodeId);
    if (node == s_.osNodes.end() || node->second.chan == 0) {
        return;
    }
    SendLocations(osNodeId, opType, {locIndex});
}

void LibModel::SmoothOsNode(uint32_t osNodeId)
{
    if (s_.osNodes.at(osNodeId).chan == 0 || s_.locations.empty()) {
        return;
    }
    std::vector<uint32_t> mine;
    for (const auto &[id, l] : s_.locations) {
        if (l.osNodeId == osNodeId) {
            mine.push_back(id);
        }
    }
    if (!mine.empty()) {
        SendLocations(osNodeId, kOpSmooth, mine);
    }
}

void LibModel::SendLocations(uint32_t osNodeId, uint32_t opType, const std::vector<uint32_t> &locIndexes)
{
    SnapOsNode &node = s_.osNodes.at(osNodeId);
    const AgentMode mode = ModeOf(node.chan);
    ModelCall call{true, node.chan, opType, 0, {}, {}, mode != AgentMode::Accept};
    for (uint32_t id : locIndexes) {
        call.locs.push_back(LocEntry(s_.locations.at(id).cfg, GroupOf(id), texts_));
    }
    sent_.push_back(call);
    if (Refuses(mode)) {
        node.fault = 1;
        s_.locTimerRunning = true;
        return;
    }
    pending_.push_back(std::move(call));
}

void LibModel::CompleteLocations(const ModelCall &call)
{
    Hold(s_.agentLocs[call.handle], call, call.locs, [](const STANDIN_LocEntry &e) { return e.LocId; });
    const auto node = s_.osNodes.find(call.locs[0].OsInst & kOsNodeMask);
    if (node == s_.osNodes.end()) {
        return;
    }
    Settled(s_.osNodes, node, call.failed, s_.locTimerRunning);
    for (const STANDIN_LocEntry &e : call.locs) {
        const auto it = s_.locations.find(e.LocId);
        if (it != s_.locations.end()) {
            it->second.state = call.failed ? 2 : 1;
        }
    }
}

// ---- components -------------------------------------------------------------------------------

void LibModel::Component(uint16_t opCode, const ZelmCompInstCfg &cfg)
{
    if (cfg.cfgStatus >= 0 || opCode > 2) {
        return;
    }
    if (IsStore(opCode)) {
        s_.compLocations[cfg.locIndex].comps[cfg.compInst] = {cfg, 0};
        PublishComponent(cfg.locIndex, cfg.compInst, kOpAdd);
    } else {
        const auto loc = s_.compLocations.find(cfg.locIndex);
        if (loc == s_.compLocations.end() || loc->second.comps.count(cfg.compInst) == 0) {
            return;
        }
        PublishComponent(cfg.locIndex, cfg.compInst, kOpDel);
        loc->second.comps.erase(cfg.compInst);
    }
}

void LibModel::CompNode(uint16_t opCode, const ZelmCompNodeCfg &cfg)
{
    if (opCode > 2 || cfg.compClass == 0) {
        return;
    }
    const uint32_t opType = IsStore(opCode) ? kOpAdd : kOpDel;
    if (IsStore(opCode)) {
        s_.compNodes[cfg.compType] = cfg;
    }
    for (const auto &[locIndex, loc] : s_.compLocations) {
        if (loc.chan == 0) {
            continue;
        }
        for (const auto &[inst, comp] : loc.comps) {
            if (comp.cfg.compType == cfg.compType) {
                PublishComponent(locIndex, inst, opType);
            }
        }
    }
    if (!IsStore(opCode)) {
        s_.compNodes.erase(cfg.compType);
    }
}

void LibModel::LocationStatus(uint32_t osNodeId, const std::string &service, uint32_t locIndex, bool available)
{
    const LinkKey key{osNodeId, service};
    if (!available) {
        s_.links.erase(key);
        return;
    }
    if (locIndex == ZELM_INVALID_LOC_INDEX) {
        return;
    }
    s_.linkSvcHandle = HandleOf(osNodeId);
    if (s_.linkSvcHandle == 0 || service.size() > kServiceNameMax) {
        return;
    }
    auto [it, added] = s_.links.try_emplace(key, SnapLink{0, ZELM_INVALID_LOC_INDEX});
    SnapLink &link = it->second;
    link.chan = s_.linkSvcHandle;
    const uint32_t old = link.locIndex;
    if (old != ZELM_INVALID_LOC_INDEX && old != locIndex) {
        LocationLink(old, 0);
    }
    LocationLink(locIndex, link.chan);
    link.locIndex = locIndex;
}

void LibModel::LocationLink(uint32_t locIndex, uintptr_t chanHandle)
{
    if (chanHandle == 0) {
        s_.compLocations.erase(locIndex);
        return;
    }
    s_.compLocations[locIndex].chan = chanHandle;
    SmoothCompLocation(locIndex, kOpSmooth);
}

void LibModel::DeleteComponentsByLocation(uint32_t locIndex)
{
    if (s_.compLocations.count(locIndex) == 0) {
        return;
    }
    SmoothCompLocation(locIndex, kOpDel);
    s_.compLocations.erase(locIndex);
}

void LibModel::PublishComponent(uint32_t locIndex, uint32_t compInst, uint32_t opType)
{
    const SnapCompLocation &loc = s_.compLocations.at(locIndex);
    ZelmCompNodeCfg node;
    if (loc.chan == 0 || !CompNodeOf(loc.comps.at(compInst).cfg.compType, &node)) {
        return;
    }
    SendComponents(locIndex, opType, {compInst});
}

void LibModel::SmoothCompLocation(uint32_t locIndex, uint32_t opType)
{
    const SnapCompLocation &loc = s_.compLocations.at(locIndex);
    if (loc.chan == 0 || loc.comps.empty()) {
        return;
    }
    std::vector<uint32_t> ready;
    ZelmCompNodeCfg node;
    for (const auto &[inst, comp] : loc.comps) {
        if (CompNodeOf(comp.cfg.compType, &node)) {
            ready.push_back(inst);
        }
    }
    if (!ready.empty()) {
        SendComponents(locIndex, opType, ready);
    }
}

void LibModel::SendComponents(uint32_t locIndex, uint32_t opType, const std::vector<uint32_t> &compInsts)
{
    SnapCompLocation &loc = s_.compLocations.at(locIndex);
    const AgentMode mode = ModeOf(loc.chan);
    ModelCall call{false, loc.chan, opType, locIndex, {}, {}, mode != AgentMode::Accept};
    for (uint32_t inst : compInsts) {
        const ZelmCompInstCfg &cfg = loc.comps.at(inst).cfg;
        ZelmCompNodeCfg node;
        (void)CompNodeOf(cfg.compType, &node);
        call.comps.push_back(CompEntry(cfg, node, texts_));
    }
    sent_.push_back(call);
    if (Refuses(mode)) {
        loc.fault = 1;
        s_.compTimerRunning = true;
        return;
    }
    pending_.push_back(std::move(call));
}

void LibModel::CompleteComponents(const ModelCall &call)
{
    Hold(s_.agentComps[call.handle], call, call.comps, [&](const STANDIN_CompEntry &e) {
        return AgentCompKey{call.locIndex, e.compInst};
    });
    const auto loc = s_.compLocations.find(call.comps[0].locIndex);
    if (loc == s_.compLocations.end()) {
        return;
    }
    Settled(s_.compLocations, loc, call.failed, s_.compTimerRunning);
    for (const STANDIN_CompEntry &e : call.comps) {
        const auto comp = loc->second.comps.find(e.compInst);
        if (comp != loc->second.comps.end()) {
            comp->second.state = call.failed ? 2 : 1;
        }
    }
}

// ---- time ---------------------------------------------------------------------------------------

void LibModel::Tick()
{
    Settle();
    for (const auto &[id, node] : s_.osNodes) {
        if (s_.locTimerRunning && node.fault != 0) {
            SmoothOsNode(id);
        }
    }
    for (const auto &[locIndex, loc] : s_.compLocations) {
        if (s_.compTimerRunning && loc.fault != 0) {
            SmoothCompLocation(locIndex, kOpSmooth);
        }
    }
    Settle();
}

void LibModel::Complete(const ModelCall &call)
{
    call.loc ? CompleteLocations(call) : CompleteComponents(call);
}

void LibModel::Settle()
{
    const std::vector<ModelCall> calls = std::move(pending_);
    pending_.clear();
    for (const ModelCall &call : calls) {
        Complete(call);
    }
}

// An agent going down fails its pending calls at once, in call order.
void LibModel::Agent(QOF_ConnHandle handle, AgentMode mode)
{
    modes_[handle] = mode;
    if (mode != AgentMode::Down) {
        return;
    }
    std::vector<ModelCall> kept;
    std::vector<ModelCall> failed;
    for (ModelCall &call : pending_) {
        (call.handle == handle ? failed : kept).push_back(std::move(call));
    }
    pending_ = std::move(kept);
    for (ModelCall &call : failed) {
        call.failed = true;
        Complete(call);
    }
}

}  // namespace zt
