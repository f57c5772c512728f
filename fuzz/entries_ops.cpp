// The operations of a fuzz input: configuration messages, status reports, RPC outcomes, time, HA role,
// lifecycle and failure injection, each decoded as entries_format.h lays it out.
#include "entries_ops.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "entries_textfail.h"
#include "zelm.h"
#include "zelm_standin.h"

namespace zf {

bool g_trace = false;

namespace {

#define TRACE(...)                                  \
    do {                                            \
        if (g_trace) {                              \
            std::fprintf(stderr, __VA_ARGS__);      \
            std::fputc('\n', stderr);               \
        }                                           \
    } while (0)

uint32_t Pick(FuzzedDataProvider &in, uint32_t max)
{
    return in.ConsumeIntegralInRange<uint32_t>(0, max);
}

uint32_t Word(FuzzedDataProvider &in)
{
    switch (Pick(in, 2)) {
    case 0:
        return 0;
    case 1:
        return Pick(in, 15);
    default:
        return Pick(in, UINT32_MAX);
    }
}

uint32_t Index(FuzzedDataProvider &in)
{
    const uint32_t sel = Pick(in, 9);
    if (sel < 8) {
        return sel;
    }
    return (sel == 8) ? 0xFFFFFFFFu : Word(in);
}

uint32_t CompType(FuzzedDataProvider &in)
{
    const uint32_t sel = Pick(in, 7);
    return (sel < 7) ? kCompTypes[sel] : Word(in);
}

uint32_t Node(const World &w, FuzzedDataProvider &in)
{
    const uint32_t sel = Pick(in, kMaxNodes);
    if (sel == kMaxNodes) {
        return Pick(in, 0xFFFFFF);
    }
    return w.nodes[sel % w.nodeNum];
}

// Texts never carry a NUL of their own: the field's end or its zero fill ends them.
std::string Bytes(FuzzedDataProvider &in, size_t n)
{
    std::vector<uint8_t> raw = in.ConsumeBytes<uint8_t>(n);
    std::string s(raw.begin(), raw.end());
    for (char &c : s) {
        if (c == '\0') {
            c = 'x';
        }
    }
    return s;
}

std::string Text(FuzzedDataProvider &in, size_t width)
{
    switch (Pick(in, 3)) {
    case 0:
        return kWords[Pick(in, kWordNum - 1)];
    case 1:
        return Bytes(in, Pick(in, static_cast<uint32_t>(width)));
    case 2: {
        std::string s = Bytes(in, width);
        s.resize(width, 'z');
        return s;
    }
    default:
        return "";
    }
}

template <size_t N>
void Put(char (&field)[N], const std::string &text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size() < N ? text.size() : N);
}

std::string Name(FuzzedDataProvider &in)
{
    switch (Pick(in, 3)) {
    case 0:
        return kServices[Pick(in, 2)];
    case 1:
        return Bytes(in, Pick(in, kMaxName));
    case 2:
        return std::string(63, 'n');
    default:
        return std::string(64, 'n');
    }
}

std::vector<uint8_t> LocationRecord(const World &w, FuzzedDataProvider &in)
{
    ZelmLocInstCfg r{};
    r.LocId = Index(in);
    r.LocType = Word(in);
    Put(r.LocName, Text(in, sizeof(r.LocName)));
    const uint32_t node = Node(w, in);
    const uint32_t high = (Pick(in, 1) != 0) ? Pick(in, 255) : 0;
    r.OsInst = (high << 24) | node;
    r.LocGrp = Word(in);
    r.LocParam1 = Word(in);
    r.Lrid = Word(in);
    r.LocParam2 = Word(in);
    r.LocParam3 = Word(in);
    r.LocParam4 = Word(in);
    r.LocParam5 = Word(in);
    r.LocParam6 = Word(in);
    const uint32_t image = Pick(in, 5);
    Put(r.imageName, (image < 5) ? std::string(kImages[image]) : Text(in, sizeof(r.imageName)));
    Put(r.LocExtName, Text(in, sizeof(r.LocExtName)));
    TRACE("  location LocId %u OsInst %#x image '%.32s'", r.LocId, r.OsInst, r.imageName);
    const auto *p = reinterpret_cast<const uint8_t *>(&r);
    return {p, p + sizeof(r)};
}

std::vector<uint8_t> LogicGrpRecord(FuzzedDataProvider &in)
{
    ZelmLogicLocGrpCfg r{};
    r.locIndex = Index(in);
    r.logicId = Word(in);
    r.faultPolicy = Word(in);
    r.grpParam1 = Word(in);
    r.grpParam2 = Word(in);
    r.grpParam3 = Word(in);
    TRACE("  logic group locIndex %u logicId %u", r.locIndex, r.logicId);
    const auto *p = reinterpret_cast<const uint8_t *>(&r);
    return {p, p + sizeof(r)};
}

std::vector<uint8_t> ComponentRecord(FuzzedDataProvider &in)
{
    ZelmCompInstCfg r{};
    const uint32_t inst = Pick(in, 8);
    r.compInst = (inst < 8) ? inst : Word(in);
    r.compType = CompType(in);
    Put(r.compInstName, Text(in, sizeof(r.compInstName)));
    r.attr1 = Word(in);
    switch (Pick(in, 3)) {
    case 0:
        r.cfgStatus = INT32_MIN;
        break;
    case 1:
        r.cfgStatus = -1;
        break;
    case 2:
        r.cfgStatus = 0;
        break;
    default:
        r.cfgStatus = static_cast<int32_t>(Word(in));
        break;
    }
    r.attr2 = Word(in);
    r.locIndex = Index(in);
    r.attr3 = Word(in);
    r.attr4 = Word(in);
    r.attr5 = Word(in);
    r.attr6 = Word(in);
    r.attr7 = Word(in);
    r.attr8 = Word(in);
    r.attr9 = Word(in);
    TRACE("  component locIndex %u compInst %u compType %u cfgStatus %#x", r.locIndex, r.compInst, r.compType,
          static_cast<uint32_t>(r.cfgStatus));
    const auto *p = reinterpret_cast<const uint8_t *>(&r);
    return {p, p + sizeof(r)};
}

std::vector<uint8_t> CompNodeRecord(FuzzedDataProvider &in)
{
    ZelmCompNodeCfg r{};
    r.compType = CompType(in);
    Put(r.compTypeName, Text(in, sizeof(r.compTypeName)));
    const uint32_t cls = Pick(in, 2);
    r.compClass = (cls < 2) ? cls : Word(in);
    Put(r.compFileName, Text(in, sizeof(r.compFileName)));
    Put(r.compExtName, Text(in, sizeof(r.compExtName)));
    TRACE("  compNode compType %u compClass %u", r.compType, r.compClass);
    const auto *p = reinterpret_cast<const uint8_t *>(&r);
    return {p, p + sizeof(r)};
}

void ConfigMsg(World &w, FuzzedDataProvider &in)
{
    const uint32_t atomNum = Pick(in, kMaxAtoms);
    const uint32_t route = Pick(in, 4);
    TRACE("config message: %u atoms, route %u", atomNum, route);
    STANDIN_Msg *msg = STANDIN_MsgNew();
    uint32_t routeClass = (route < 4) ? kKnownClasses[route] : 0u;
    if (route < 4) {
        STANDIN_MsgSetClass(msg, routeClass);
    }
    AtomTag tags[kMaxAtoms] = {};
    struct Dispatched {
        uint32_t classId;
        uint16_t opCode;
        std::vector<uint8_t> record;
    };
    std::vector<Dispatched> atoms;
    for (uint32_t i = 0; i < atomNum; ++i) {
        const uint32_t classSel = Pick(in, 9);
        uint32_t classId = kKnownClasses[classSel & 3u];
        int known = -1;
        if (classSel < 8) {
            known = static_cast<int>(classSel & 3u);
        } else if (classSel == 8) {
            classId = Pick(in, UINT32_MAX);
        } else {
            const uint32_t base = kKnownClasses[Pick(in, 3)];
            classId = base ^ (1u << Pick(in, 31));
        }
        const uint32_t opSel = Pick(in, 4);
        const auto opCode = static_cast<uint16_t>((opSel < 4) ? opSel : Pick(in, 65535));
        const auto seq = static_cast<uint16_t>(Pick(in, 65535));
        const uint32_t recMode = Pick(in, 3);
        TRACE(" atom class %#x opCode %u seq %u record %u", classId, opCode, seq, recMode);
        std::vector<uint8_t> rec;
        if (recMode == 3 || known < 0) {
            rec = in.ConsumeBytes<uint8_t>(Pick(in, kMaxRawRecord));
        } else if (known == 0) {
            rec = LocationRecord(w, in);
        } else if (known == 1) {
            rec = LogicGrpRecord(in);
        } else if (known == 2) {
            rec = ComponentRecord(in);
        } else {
            rec = CompNodeRecord(in);
        }
        STANDIN_MsgAddAtom(msg, classId, opCode, seq, rec.data(), static_cast<uint32_t>(rec.size()));
        tags[i] = AtomTag{opCode, seq};
        atoms.push_back(Dispatched{classId, opCode, rec});
        if (i == 0 && route == 4) {
            routeClass = classId;
        }
    }
    const size_t repliesBefore = STANDIN_ReplyCount();
    std::map<uint32_t, uint32_t> states = ModelLocationStates();
    if (STANDIN_MsgPost(msg) == 0) {
        (void)STANDIN_RunDue();
        CheckReply(w, routeClass, tags, atomNum, repliesBefore);
        for (const Dispatched &a : atoms) {
            ModelAtom(w.model, a.classId, a.opCode, a.record, states);
        }
    }
}

void AgentScript(const World &w, FuzzedDataProvider &in)
{
    const uint32_t node = Node(w, in);
    STANDIN_AgentScript s{};
    s.refuseNext = Pick(in, 3);
    const uint32_t refuseSel = Pick(in, 2);
    s.refuseStatus = (refuseSel == 0) ? 0u : (refuseSel == 1) ? 2u : Word(in);
    s.failNext = Pick(in, 3);
    const uint32_t failSel = Pick(in, 2);
    s.failResult = (failSel == 0) ? 0u : (failSel == 1) ? 5u : Word(in);
    s.noReplyNext = Pick(in, 3);
    s.latencyMs = kLatencies[Pick(in, 5)];
    s.result = (Pick(in, 3) == 3) ? Word(in) : 0u;
    TRACE("agent script node %#x: refuse %u fail %u/%u noReply %u latency %llu result %u", node, s.refuseNext,
          s.failNext, s.failResult, s.noReplyNext, static_cast<unsigned long long>(s.latencyMs), s.result);
    const QOF_ConnHandle h = STANDIN_KormServerHandle(node);
    if (h != 0) {
        (void)STANDIN_AgentSetScript(h, &s);
    }
}

void Lifecycle(World &w, FuzzedDataProvider &in)
{
    const uint32_t mode = Pick(in, 3);
    TRACE("lifecycle %u", mode);
    if (mode <= 1) {
        WorldStop(Pick(in, 3));
        w.model.valid = false;
        if (mode == 0) {
            WorldStart(w);
        }
    } else if (mode == 2) {
        WorldStart(w);
    } else {
        (void)ZELM_Init(STANDIN_HostMalloc, nullptr);
    }
}

void Inject(World &w, FuzzedDataProvider &in)
{
    w.injected = true;
    w.model.valid = false;
    switch (Pick(in, 4)) {
    case 0: {
        const uint32_t n = Pick(in, 23) + 1;
        TRACE("inject: host allocation %u fails", n);
        STANDIN_HostFailNth(n);
        break;
    }
    case 1: {
        const uint32_t n = Pick(in, 63) + 1;
        TRACE("inject: host allocations fail from %u on", n);
        STANDIN_HostFailFrom(n);
        break;
    }
    case 2: {
        const char *name = kInjectable[Pick(in, kInjectNum - 1)];
        const uint32_t nth = Pick(in, 7) + 1;
        const uint32_t status = (Pick(in, 1) == 0) ? 1u : Word(in);
        TRACE("inject: call %u of %s fails with %#x", nth, name, status);
        (void)STANDIN_FailCall(name, nth, status);
        if (std::strcmp(name, "QOF_TimerStart") == 0 || std::strcmp(name, "QOF_TimerStop") == 0) {
            w.timerCallsInjected = true;
        }
        break;
    }
    case 3:
        TRACE("inject: clear");
        STANDIN_HostFailNth(0);
        STANDIN_HostFailFrom(0);
        STANDIN_FailClear(nullptr);
        TextFailNth(0);
        break;
    default: {
        const uint32_t n = Pick(in, 15) + 1;
        TRACE("inject: text copy %u fails", n);
        TextFailNth(n);
        break;
    }
    }
}

void OddEntry(World &w, FuzzedDataProvider &in)
{
    const uint32_t kind = Pick(in, 4);
    TRACE("odd entry %u", kind);
    switch (kind) {
    case 0:
        // Only a running module's completions: the host fails every call before it stops the library.
        if (ZELM_GetModCb(ZELM_MOD_LOCATION) != nullptr) {
            ZelmLocPublishLocationInstCbk(QOF_RpcResult{1, 0}, nullptr, nullptr, ZELM_GetModCb(ZELM_MOD_LOCATION));
        }
        if (ZELM_GetModCb(ZELM_MOD_COMP) != nullptr) {
            ZelmCompPublishComponentCbk(QOF_RpcResult{1, 0}, nullptr, nullptr, ZELM_GetModCb(ZELM_MOD_COMP));
        }
        break;
    case 1:
        (void)ZelmLocSmoothTimerCbk(nullptr, nullptr, nullptr);
        (void)ZelmCompSmoothTimerCbk(nullptr, nullptr, nullptr);
        break;
    case 2: {
        const uint32_t node = Node(w, in);
        const uint32_t index = Index(in);
        const uint32_t position[3] = {(node >> 8) & 0xFFu, node & 0xFFu, node >> 16};
        (void)ZelmLocSubOsNodeLink(node, position, 1, nullptr);
        (void)ZelmCompSubLocationLink(index, STANDIN_KormServerHandle(node), nullptr);
        ZELM_LINK_SubLocationStatus(node, "svc-a", index, 1, nullptr);
        break;
    }
    case 3:
        if (ZELM_GetModCb(ZELM_MOD_NUM) != nullptr || ZELM_GetModCb(UINT32_MAX) != nullptr) {
            Broken("a control block for an unknown module");
        }
        if (ZELM_GetLocalData() == nullptr) {
            ZELM_FInit();
            ZELM_Free(nullptr);
            if (ZELM_Malloc(16) != nullptr || ZELM_INFRA_IsCanPublish() != 0 ||
                ZELM_INFRA_GetKorbServerHandle(w.nodes[0]) != 0) {
                Broken("a stopped library hands out memory or publication rights");
            }
        }
        break;
    default:
        WorldStart(w);
        break;
    }
}

// Location publications that configuration or a link-up starts wait for the HA role; timer retries do not.
void CheckHaGate(size_t callsBefore)
{
    if (STANDIN_MirlHaRole() == 0) {
        return;
    }
    for (size_t i = callsBefore; i < STANDIN_RpcCallCount(); ++i) {
        if (STANDIN_RpcCallGet(i)->kind == STANDIN_RPC_LOC) {
            Broken("location published while the HA role forbids it");
        }
    }
}

}  // namespace

void RunOneOp(World &w, FuzzedDataProvider &in)
{
    const uint32_t op = Pick(in, kOpCount - 1);
    const size_t callsBefore = STANDIN_RpcCallCount();
    switch (op) {
    case kOpConfigMsg:
        ConfigMsg(w, in);
        break;
    case kOpOsNodeLink: {
        const uint32_t node = Node(w, in);
        const uint32_t up = Pick(in, 1);
        TRACE("os-node link %#x %s", node, up != 0 ? "up" : "down");
        if (STANDIN_KormRaiseOsNodeLink(node, static_cast<int>(up)) == 0) {
            (void)STANDIN_RunDue();
            ModelOsNodeLink(w.model, node, up != 0);
        }
        break;
    }
    case kOpLocationStatus: {
        const uint32_t node = Node(w, in);
        const std::string name = Name(in);
        const uint32_t index = Index(in);
        const uint32_t available = Pick(in, 1);
        TRACE("location status node %#x '%s' index %u available %u", node, name.c_str(), index, available);
        STANDIN_KormRaiseLocationStatus(node, name.c_str(), index, static_cast<int>(available));
        (void)STANDIN_RunDue();
        ModelLocationStatus(w.model, node, name, index, available != 0);
        break;
    }
    case kOpAgentScript:
        AgentScript(w, in);
        break;
    case kOpAgentDown: {
        const uint32_t node = Node(w, in);
        const uint32_t down = Pick(in, 1);
        TRACE("agent of %#x %s", node, down != 0 ? "down" : "up");
        const QOF_ConnHandle h = STANDIN_KormServerHandle(node);
        if (h != 0) {
            (void)STANDIN_AgentSetDown(h, static_cast<int>(down));
        }
        break;
    }
    case kOpAdvanceClock: {
        const uint32_t sel = Pick(in, 7);
        const uint64_t ms = (sel < 7) ? kAdvances[sel] : Pick(in, 65535);
        TRACE("advance %llu ms", static_cast<unsigned long long>(ms));
        if (ms == 0) {
            (void)STANDIN_RunDue();
        } else {
            (void)STANDIN_RunFor(ms);
        }
        break;
    }
    case kOpHaRole: {
        const uint32_t sel = Pick(in, 3);
        const uint32_t role = (sel < 3) ? kRoles[sel] : Word(in);
        TRACE("ha role %#x", role);
        STANDIN_MirlSetHaRole(role);
        break;
    }
    case kOpLifecycle:
        Lifecycle(w, in);
        break;
    case kOpInject:
        Inject(w, in);
        break;
    case kOpFailPending: {
        const uint32_t errNo = Pick(in, 3);
        TRACE("fail pending calls, errno %u", errNo);
        STANDIN_RpcFailPending(errNo);
        break;
    }
    case kOpDeclareNode: {
        const uint32_t chassis = Pick(in, 300);
        const uint32_t slot = Pick(in, 300);
        const uint32_t cpu = Pick(in, 300);
        const uint32_t agent = Pick(in, 1);
        const uint32_t id = STANDIN_KormAddOsNode(chassis, slot, cpu, static_cast<int>(agent));
        TRACE("declare node %u/%u/%u agent %u: %#x", chassis, slot, cpu, agent, id);
        if (w.nodeNum < kMaxNodes) {
            w.nodes[w.nodeNum++] = id;
        }
        break;
    }
    default:
        OddEntry(w, in);
        break;
    }
    if (op == kOpConfigMsg || op == kOpOsNodeLink) {
        CheckHaGate(callsBefore);
    }
}

}  // namespace zf
