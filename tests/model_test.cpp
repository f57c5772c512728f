// Model-based test: random histories of configuration, links, agent answers, ticks and HA roles against a reference model.
//
// Calls stay in flight across events until a settle step or a tick completes
// them, so completions meet deleted records, downed links and moved indexes.
// After every step the library's stored records, fault flags, timers, link
// registry, pending calls and what each agent holds must equal the model's; a
// set fault flag must have its timer running; and the host blocks alive must
// be exactly those of the stored records plus one request list per pending
// call, so every accepted request is released exactly once. Each history ends
// by healing the world (agents accept, HA role allows, links up): then every
// flag of a peer that has something to publish clears within two ticks.
#include <rapidcheck.h>
#include <rapidcheck/state.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/lib_model.h"
#include "support/lib_snapshot.h"
#include "support/zelm_test.h"

namespace {

using zt::AgentMode;
using zt::LibModel;

constexpr uint64_t kTick = 5000;
constexpr uint32_t kInvalidIndex = 0xFFFFFFFFu;
constexpr int kSequences = 1000;
constexpr int kMaxSize = 60;  // bounds the length of a history
constexpr uint64_t kSeed = 0x7a656c6d;

// Three OS nodes: A and B with agents, C without.
const uint32_t kNodeA = STANDIN_OsNodeId(1, 1, 0);
const uint32_t kNodeB = STANDIN_OsNodeId(1, 2, 0);
const uint32_t kNodeC = STANDIN_OsNodeId(1, 3, 0);

// The system under test is the library on the stand-in; this holds what the steps need to reach it.
struct World {
    size_t liveAtStart = 0;  // host blocks alive before the library started
    size_t baseBlocks = 0;   // host blocks of the started library with nothing stored
};

std::string Diff(const std::string &lib, const std::string &model)
{
    auto lines = [](const std::string &text) {
        std::multiset<std::string> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            out.insert(line);
        }
        return out;
    };
    const auto a = lines(lib);
    const auto b = lines(model);
    std::string diff;
    for (const std::string &l : a) {
        if (b.count(l) == 0) {
            diff += "  library only: " + l + "\n";
        }
    }
    for (const std::string &l : b) {
        if (a.count(l) == 0) {
            diff += "  model only:   " + l + "\n";
        }
    }
    return diff;
}

// How often the checked states held something worth checking, over the whole run.
struct Reach {
    uint64_t steps = 0;
    uint64_t flaggedOsNode = 0;
    uint64_t flaggedCompLocation = 0;
    uint64_t failedLocation = 0;
    uint64_t failedComponent = 0;
    uint64_t publishedLocation = 0;
    uint64_t publishedComponent = 0;
    uint64_t timerRunningWithoutFlag = 0;
    uint64_t withPending = 0;
    uint64_t completionsForGoneRecords = 0;  // the OS node or comp location went while the call was pending
};

Reach g_reach;

void Tally(const zt::Snapshot &s)
{
    auto any = [](const auto &map, auto pred) {
        for (const auto &entry : map) {
            if (pred(entry.second)) {
                return true;
            }
        }
        return false;
    };
    ++g_reach.steps;
    const bool nodeFlag = any(s.osNodes, [](const zt::SnapOsNode &n) { return n.fault != 0; });
    const bool compFlag = any(s.compLocations, [](const zt::SnapCompLocation &l) { return l.fault != 0; });
    g_reach.flaggedOsNode += nodeFlag ? 1 : 0;
    g_reach.flaggedCompLocation += compFlag ? 1 : 0;
    g_reach.failedLocation += any(s.locations, [](const zt::SnapLocation &l) { return l.state == 2; }) ? 1 : 0;
    g_reach.publishedLocation += any(s.locations, [](const zt::SnapLocation &l) { return l.state == 1; }) ? 1 : 0;
    g_reach.failedComponent += any(s.compLocations, [&](const zt::SnapCompLocation &l) {
        return any(l.comps, [](const zt::SnapComponent &c) { return c.state == 2; });
    }) ? 1 : 0;
    g_reach.publishedComponent += any(s.compLocations, [&](const zt::SnapCompLocation &l) {
        return any(l.comps, [](const zt::SnapComponent &c) { return c.state == 1; });
    }) ? 1 : 0;
    g_reach.timerRunningWithoutFlag += ((s.locTimerRunning && !nodeFlag) || (s.compTimerRunning && !compFlag)) ? 1 : 0;
}

// The checks made after every step.
void CheckAgainst(const LibModel &model)
{
    RC_ASSERT(STANDIN_RpcPendingCount() == model.Pending());
    std::string problems;
    const zt::Snapshot lib = zt::LibrarySnapshot(model.Agents(), &problems);
    if (!problems.empty()) {
        RC_FAIL("malformed sets:\n" + problems);
    }
    const std::string libText = zt::Describe(lib);
    const std::string modelText = zt::Describe(model.Expected());
    if (libText != modelText) {
        RC_FAIL("library and model differ:\n" + Diff(libText, modelText) + "library:\n" + libText);
    }
    Tally(lib);
    g_reach.withPending += model.Pending() != 0 ? 1 : 0;
    for (const auto &[id, node] : lib.osNodes) {
        RC_ASSERT(node.fault == 0u || lib.locTimerRunning);
    }
    for (const auto &[id, loc] : lib.compLocations) {
        RC_ASSERT(loc.fault == 0u || lib.compTimerRunning);
    }
}

void CheckBlocks(const World &w, const LibModel &model)
{
    // Every completed request was released exactly once: the records' blocks and one list per pending call are left.
    RC_ASSERT(STANDIN_HostLiveBlocks() - w.liveAtStart ==
              w.baseBlocks + zt::StoredBlocks(model.Expected()) + model.Pending());
}

// Completes every pending call: the agents answer one millisecond after the call.
void Settle() { STANDIN_RunFor(1); }

template <typename Rec>
void Deliver(uint32_t classId, uint16_t opCode, const Rec &rec)
{
    STANDIN_Msg *msg = STANDIN_MsgNew();
    STANDIN_MsgAddAtom(msg, classId, opCode, 0, &rec, sizeof(rec));
    uint32_t result = 0;
    RC_ASSERT(STANDIN_MsgDeliverNow(msg, &result) == 0u);
    RC_ASSERT(result == 0u);  // no store can fail here: memory is plenty
    RC_ASSERT(STANDIN_ReplyCount() > 0u);
    const STANDIN_Reply *reply = STANDIN_ReplyGet(STANDIN_ReplyCount() - 1);
    RC_ASSERT(reply->opInfoNum == 1u);
    RC_ASSERT(reply->opInfos[0].code == 0u);
}

template <size_t N>
void SetText(char (&field)[N], const std::string &text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

// ---- generators -------------------------------------------------------------------------------

rc::Gen<uint16_t> OpCodes() { return rc::gen::weightedElement<uint16_t>({{5, 0}, {2, 1}, {4, 2}, {1, 3}}); }
rc::Gen<uint32_t> LocIndexes() { return rc::gen::element<uint32_t>(1, 2, 3); }
rc::Gen<uint32_t> Nodes() { return rc::gen::element(kNodeA, kNodeB, kNodeC); }
rc::Gen<uint32_t> Variants() { return rc::gen::inRange<uint32_t>(0, 4); }

// ---- commands ------------------------------------------------------------------------------------

using Cmd = rc::state::Command<LibModel, World>;

struct LocationCmd : Cmd {
    uint16_t op = *OpCodes();
    ZelmLocInstCfg cfg = Make();

    static ZelmLocInstCfg Make()
    {
        ZelmLocInstCfg c{};
        const uint32_t variant = *Variants();
        c.LocId = *LocIndexes();
        // The high byte of OsInst is not part of the OS node.
        c.OsInst = *rc::gen::element(kNodeA, kNodeB, kNodeC, kNodeA | 0x01000000u);
        c.LocType = variant;
        c.LocGrp = variant + 10;
        c.LocParam1 = variant * 3;
        c.Lrid = c.LocId + 100;
        c.LocParam6 = 0xA0 + variant;
        SetText(c.LocName, "loc" + std::to_string(c.LocId) + "v" + std::to_string(variant));
        SetText(c.imageName, *rc::gen::weightedElement<std::string>({{5, "app.service"}, {1, "app.bin"}}));
        SetText(c.LocExtName, "ext" + std::to_string(variant));
        return c;
    }
    void apply(LibModel &m) const override { m.Location(op, cfg); }
    void run(const LibModel &m, World &w) const override
    {
        Deliver(ZELM_CLASS_LOCATION, op, cfg);
        LibModel next = nextState(m);
        CheckAgainst(next);
        CheckBlocks(w, next);
    }
    void show(std::ostream &os) const override
    {
        os << "location op " << op << " id " << cfg.LocId << " os " << std::hex << cfg.OsInst << std::dec << " "
           << cfg.LocName << " " << cfg.imageName;
    }
};

struct GroupCmd : Cmd {
    uint16_t op = *OpCodes();
    ZelmLogicLocGrpCfg cfg = Make();

    static ZelmLogicLocGrpCfg Make()
    {
        const uint32_t variant = *Variants();
        return {*LocIndexes(), *rc::gen::element<uint32_t>(10, 11), variant, variant + 1, 7, 0xFFFFFFFFu};
    }
    void apply(LibModel &m) const override { m.Group(op, cfg); }
    void run(const LibModel &m, World &w) const override
    {
        Deliver(ZELM_CLASS_LOGIC_LOC_GRP, op, cfg);
        LibModel next = nextState(m);
        CheckAgainst(next);
        CheckBlocks(w, next);
    }
    void show(std::ostream &os) const override
    {
        os << "group op " << op << " index " << cfg.locIndex << " logic " << cfg.logicId << " policy "
           << cfg.faultPolicy;
    }
};

struct CompNodeCmd : Cmd {
    uint16_t op = *OpCodes();
    ZelmCompNodeCfg cfg = Make();

    static ZelmCompNodeCfg Make()
    {
        ZelmCompNodeCfg c{};
        const uint32_t variant = *Variants();
        c.compType = *rc::gen::element<uint32_t>(3, 5, 6);
        c.compClass = *rc::gen::weightedElement<uint32_t>({{1, 0}, {4, 1}, {1, 2}});
        SetText(c.compTypeName, "type" + std::to_string(c.compType) + "v" + std::to_string(variant));
        SetText(c.compFileName, "file" + std::to_string(variant) + ".bin");
        SetText(c.compExtName, "ext" + std::to_string(variant));
        return c;
    }
    void apply(LibModel &m) const override { m.CompNode(op, cfg); }
    void run(const LibModel &m, World &w) const override
    {
        Deliver(ZELM_CLASS_COMP_NODE, op, cfg);
        LibModel next = nextState(m);
        CheckAgainst(next);
        CheckBlocks(w, next);
    }
    void show(std::ostream &os) const override
    {
        os << "compNode op " << op << " type " << cfg.compType << " class " << cfg.compClass << " "
           << cfg.compTypeName;
    }
};

struct ComponentCmd : Cmd {
    uint16_t op = *OpCodes();
    ZelmCompInstCfg cfg = Make();

    static ZelmCompInstCfg Make()
    {
        ZelmCompInstCfg c{};
        const uint32_t variant = *Variants();
        c.locIndex = *LocIndexes();
        c.compInst = *rc::gen::element<uint32_t>(1, 2);
        c.compType = *rc::gen::element<uint32_t>(3, 5, 6);
        c.cfgStatus = *rc::gen::weightedElement<int32_t>({{6, INT32_MIN}, {1, -1}, {1, 0}, {1, INT32_MAX}});
        c.attr1 = variant;
        c.attr7 = variant + 70;
        c.attr9 = 0x90 + variant;
        SetText(c.compInstName, "comp" + std::to_string(c.locIndex) + "." + std::to_string(c.compInst) + "v" +
                                    std::to_string(variant));
        return c;
    }
    void apply(LibModel &m) const override { m.Component(op, cfg); }
    void run(const LibModel &m, World &w) const override
    {
        Deliver(ZELM_CLASS_COMPONENT, op, cfg);
        LibModel next = nextState(m);
        CheckAgainst(next);
        CheckBlocks(w, next);
    }
    void show(std::ostream &os) const override
    {
        os << "component op " << op << " at " << cfg.locIndex << " inst " << cfg.compInst << " type " << cfg.compType
           << " status " << std::hex << static_cast<uint32_t>(cfg.cfgStatus) << std::dec;
    }
};

struct OsNodeLinkCmd : Cmd {
    uint32_t node = *Nodes();
    bool up = *rc::gen::weightedElement<bool>({{3, true}, {1, false}});

    void apply(LibModel &m) const override { m.OsNodeLink(node, up); }
    void run(const LibModel &m, World &w) const override
    {
        RC_ASSERT(STANDIN_KormRaiseOsNodeLink(node, up ? 1 : 0) == 0);
        STANDIN_RunDue();
        LibModel next = nextState(m);
        CheckAgainst(next);
        CheckBlocks(w, next);
    }
    void show(std::ostream &os) const override
    {
        os << "OS node " << std::hex << node << std::dec << " link " << (up ? "up" : "down");
    }
};

struct LocationStatusCmd : Cmd {
    uint32_t node = *Nodes();
    std::string service = *rc::gen::element<std::string>("s1", "s2");
    uint32_t index = *rc::gen::weightedElement<uint32_t>({{3, 1}, {3, 2}, {3, 3}, {1, kInvalidIndex}});
    bool available = *rc::gen::weightedElement<bool>({{4, true}, {1, false}});

    void apply(LibModel &m) const override { m.LocationStatus(node, service, index, available); }
    void run(const LibModel &m, World &w) const override
    {
        STANDIN_KormRaiseLocationStatus(node, service.c_str(), index, available ? 1 : 0);
        STANDIN_RunDue();
        LibModel next = nextState(m);
        CheckAgainst(next);
        CheckBlocks(w, next);
    }
    void show(std::ostream &os) const override
    {
        os << "location status " << std::hex << node << std::dec << "/" << service << " index " << index << " "
           << (available ? "available" : "not available");
    }
};

enum class AgentSetting { Accept, Fail, NoReply, Refuse, Down };

void ApplyAgentSetting(QOF_ConnHandle handle, AgentSetting setting)
{
    STANDIN_AgentScript script{};
    switch (setting) {
    case AgentSetting::Fail:
        script.result = 5;
        break;
    case AgentSetting::NoReply:
        script.noReplyNext = 0xFFFFFFFFu;
        break;
    case AgentSetting::Refuse:
        script.refuseNext = 0xFFFFFFFFu;
        script.refuseStatus = 3;
        break;
    case AgentSetting::Accept:
    case AgentSetting::Down:
        break;
    }
    RC_ASSERT(STANDIN_AgentSetScript(handle, &script) == 0);
    RC_ASSERT(STANDIN_AgentSetDown(handle, setting == AgentSetting::Down ? 1 : 0) == 0);
}

AgentMode ModeOf(AgentSetting setting)
{
    switch (setting) {
    case AgentSetting::Fail:
        return AgentMode::Fail;
    case AgentSetting::NoReply:
        return AgentMode::NoReply;
    case AgentSetting::Refuse:
    case AgentSetting::Down:
        return AgentMode::Refuse;
    case AgentSetting::Accept:
        break;
    }
    return AgentMode::Accept;
}

struct AgentCmd : Cmd {
    uint32_t node = *rc::gen::element(kNodeA, kNodeB);
    AgentSetting setting = *rc::gen::weightedElement<AgentSetting>({{3, AgentSetting::Accept},
                                                                    {2, AgentSetting::Fail},
                                                                    {1, AgentSetting::NoReply},
                                                                    {1, AgentSetting::Refuse},
                                                                    {1, AgentSetting::Down}});

    void apply(LibModel &m) const override
    {
        m.SetAgentMode(m.HandleOf(node), ModeOf(setting));
        if (setting == AgentSetting::Down) {
            m.FailPendingOn(m.HandleOf(node));
        }
    }
    void run(const LibModel &m, World &w) const override
    {
        ApplyAgentSetting(m.HandleOf(node), setting);
        LibModel next = nextState(m);
        CheckAgainst(next);
        CheckBlocks(w, next);
    }
    void show(std::ostream &os) const override
    {
        static const char *const kNames[] = {"accept", "fail", "no reply", "refuse", "down"};
        os << "agent of " << std::hex << node << std::dec << ": " << kNames[static_cast<int>(setting)];
    }
};

struct SettleCmd : Cmd {
    void apply(LibModel &m) const override { m.Settle(); }
    void run(const LibModel &m, World &w) const override
    {
        Settle();
        LibModel next = nextState(m);
        CheckAgainst(next);
        CheckBlocks(w, next);
    }
    void show(std::ostream &os) const override { os << "settle"; }
};

struct TickCmd : Cmd {
    void apply(LibModel &m) const override { m.Tick(); }
    void run(const LibModel &m, World &w) const override
    {
        // Pending calls complete first (a failure may start a timer now), then a whole interval, then
        // the calls of the ticks.
        Settle();
        STANDIN_RunFor(kTick);
        Settle();
        LibModel next = nextState(m);
        CheckAgainst(next);
        CheckBlocks(w, next);
    }
    void show(std::ostream &os) const override { os << "tick"; }
};

struct HaRoleCmd : Cmd {
    uint32_t role = *rc::gen::element<uint32_t>(0, 1);

    void apply(LibModel &m) const override { m.SetHaRole(role); }
    void run(const LibModel &m, World &) const override
    {
        STANDIN_MirlSetHaRole(role);
        CheckAgainst(nextState(m));
    }
    void show(std::ostream &os) const override { os << "HA role " << role; }
};

// Stops whatever a failed history left running, so that the next one starts clean.
struct WorldGuard {
    ~WorldGuard()
    {
        if (ZELM_GetLocalData() != nullptr) {
            STANDIN_RpcFailPending(1);
            ZELM_FInit();
        }
        STANDIN_Reset();
    }
};

// Heals the world; then every flag of a peer with something to publish must clear within two ticks.
void HealAndCheckFlagsClear(World &w, LibModel &model)
{
    Settle();
    model.Settle();
    for (const uint32_t node : {kNodeA, kNodeB}) {
        ApplyAgentSetting(model.HandleOf(node), AgentSetting::Accept);
        model.SetAgentMode(model.HandleOf(node), AgentMode::Accept);
    }
    STANDIN_MirlSetHaRole(0);
    model.SetHaRole(0);
    for (const uint32_t node : {kNodeA, kNodeB, kNodeC}) {
        RC_ASSERT(STANDIN_KormRaiseOsNodeLink(node, 1) == 0);
        Settle();
        model.OsNodeLink(node, true);
        model.Settle();
    }
    CheckAgainst(model);
    for (int tick = 0; tick < 2; ++tick) {
        Settle();
        STANDIN_RunFor(kTick);
        Settle();
        model.Tick();
        CheckAgainst(model);
    }
    CheckBlocks(w, model);

    // Checked on the library itself: a flag may stay only where there is nothing to send.
    const zt::Snapshot lib = zt::LibrarySnapshot(model.Agents(), nullptr);
    for (const auto &[id, node] : lib.osNodes) {
        bool hasLocation = false;
        for (const auto &[locId, loc] : lib.locations) {
            hasLocation = hasLocation || loc.osNodeId == id;
        }
        RC_ASSERT(node.fault == 0u || node.chan == 0u || !hasLocation);
    }
    for (const auto &[locIndex, loc] : lib.compLocations) {
        bool hasReady = false;
        for (const auto &[inst, comp] : loc.comps) {
            const uint32_t type = comp.cfg.compType;
            hasReady = hasReady || type == 3 || type == 207 || lib.compNodes.count(type) != 0;
        }
        // A location re-made without a channel can inherit a flag from a completion sent before it moved.
        RC_ASSERT(loc.fault == 0u || loc.chan == 0u || !hasReady);
    }
}

void History()
{
    WorldGuard guard;
    STANDIN_Reset();
    // A history that failed half-way may have left blocks behind; count from here.
    const size_t liveAtStart = STANDIN_HostLiveBlocks();
    LibModel model;
    for (const uint32_t node : {kNodeA, kNodeB, kNodeC}) {
        const bool agent = node != kNodeC;
        RC_ASSERT(STANDIN_KormAddOsNode((node >> 8) & 0xFF, node & 0xFF, node >> 16, agent ? 1 : 0) == node);
        model.AddNode(node, STANDIN_KormServerHandle(node));
    }
    RC_ASSERT(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree) == 0u);
    World world;
    world.liveAtStart = liveAtStart;
    world.baseBlocks = STANDIN_HostLiveBlocks() - liveAtStart;
    // Histories start with every OS node linked and two locations reachable, so that publication begins
    // with the first records.
    for (const uint32_t node : {kNodeA, kNodeB, kNodeC}) {
        RC_ASSERT(STANDIN_KormRaiseOsNodeLink(node, 1) == 0);
        STANDIN_RunDue();
        model.OsNodeLink(node, true);
    }
    STANDIN_KormRaiseLocationStatus(kNodeA, "s1", 1, 1);
    STANDIN_KormRaiseLocationStatus(kNodeB, "s2", 2, 1);
    STANDIN_RunDue();
    model.LocationStatus(kNodeA, "s1", 1, true);
    model.LocationStatus(kNodeB, "s2", 2, true);
    CheckAgainst(model);

    const auto commands = *rc::state::gen::commands(
        model, rc::state::gen::execOneOfWithArgs<LocationCmd, GroupCmd, CompNodeCmd, ComponentCmd, OsNodeLinkCmd,
                                                 LocationStatusCmd, AgentCmd, SettleCmd, TickCmd,
                                                 HaRoleCmd>());
    rc::state::runAll(commands, model, world);
    rc::state::applyAll(commands, model);
    HealAndCheckFlagsClear(world, model);
    for (const zt::LogLine &line : zt::PlainLog()) {
        const bool gone = line.body.rfind("zelm publish location inst cbk fail, find osNodeInst", 0) == 0 ||
                          line.body.rfind("zelm comp, publish component cbk fail, publish update find location", 0) == 0;
        g_reach.completionsForGoneRecords += gone ? 1 : 0;
    }

    STANDIN_RpcFailPending(1);
    ZELM_FInit();
    RC_ASSERT(STANDIN_HostLiveBlocks() == liveAtStart);
}

}  // namespace

TEST(ModelTest, LibraryFollowsTheModelThroughRandomHistories)
{
    rc::detail::TestParams params = rc::detail::configuration().testParams;
    const char *env = std::getenv("RC_PARAMS");
    const std::string given = env != nullptr ? env : "";
    if (given.find("max_success") == std::string::npos) {
        params.maxSuccess = kSequences;
    }
    if (given.find("max_size") == std::string::npos) {
        params.maxSize = kMaxSize;
    }
    // CI runs the same histories every time; RC_PARAMS="seed=..." explores others.
    if (given.find("seed") == std::string::npos) {
        params.seed = kSeed;
    }
    rc::detail::TestMetadata metadata;
    metadata.id = "ModelTest/LibraryFollowsTheModelThroughRandomHistories";
    const rc::detail::TestResult result = rc::detail::checkTestable(&History, metadata, params);
    rc::detail::SuccessResult success;
    if (!result.match(success)) {
        std::ostringstream os;
        rc::detail::printResultMessage(result, os);
        FAIL() << os.str();
    }
    std::printf("[model] %d histories of up to %d steps passed, %llu steps checked\n", success.numSuccess,
                params.maxSize, static_cast<unsigned long long>(g_reach.steps));
    std::printf("[model] steps with: a flagged OS node %llu, a flagged comp location %llu, a failed location %llu, "
                "a failed component %llu, a published location %llu, a published component %llu, a timer running "
                "without a flag %llu, calls pending %llu; completions that found their record gone %llu\n",
                static_cast<unsigned long long>(g_reach.flaggedOsNode),
                static_cast<unsigned long long>(g_reach.flaggedCompLocation),
                static_cast<unsigned long long>(g_reach.failedLocation),
                static_cast<unsigned long long>(g_reach.failedComponent),
                static_cast<unsigned long long>(g_reach.publishedLocation),
                static_cast<unsigned long long>(g_reach.publishedComponent),
                static_cast<unsigned long long>(g_reach.timerRunningWithoutFlag),
                static_cast<unsigned long long>(g_reach.withPending),
                static_cast<unsigned long long>(g_reach.completionsForGoneRecords));
}
