// Setting up, tearing down and checking the fuzz world.
//
// Checks between entries: every tree of the library is a sound AVL3 tree whose
// count matches its entries; records agree with their keys; a module with a
// flagged peer has its smooth timer running; no attribute set is left alive;
// no reply is left alive or released twice; no log line reports a record
// size mismatch or a completion for a stopped module; every RPC request has
// the layout an agent reads, with texts no longer than their fields. Each
// configuration message gets at most one reply, which accounts for its atoms
// in order. After a stop: no host block, timer or status subscription is left.
#include "entries_world.h"

#include <cstdio>
#include <cstring>

#include "entries_textfail.h"
#include "zelm.h"
#include "zelm_standin.h"

namespace zf {
namespace {

// Log formats that no sequence of entries may produce (formats, not bodies: bodies carry configured texts).
constexpr const char *kForbiddenLogs[] = {
    "dismatch",                   // record sizes and descriptors disagree
    "control block is not current", // a completion outlived its module although the host failed it first
};

void WatchLog(const STANDIN_LogEvent *event, void *)
{
    if (event->format == nullptr) {
        return;
    }
    for (const char *forbidden : kForbiddenLogs) {
        if (std::strstr(event->format, forbidden) != nullptr) {
            std::fprintf(stderr, "log: %s: %s\n", event->funcName, event->body);
            Broken("forbidden log line");
        }
    }
}

// A sound tree whose entries number `count`; returns that number.
uint32_t CheckSet(ZelSet *set)
{
    if (set == nullptr) {
        Broken("a running module lost a tree");
    }
    char why[128] = {};
    if (STANDIN_AVL3_Check(&set->tree, &set->treeInfo, why, sizeof(why)) != 0) {
        std::fprintf(stderr, "tree of %u-byte entries, %u linked: %s\n", set->entrySize, set->count, why);
        Broken("unsound tree");
    }
    uint32_t n = 0;
    for (void *e = AXO_AVL3_First(&set->tree, &set->treeInfo); e != nullptr;
         e = AXO_AVL3_Next(reinterpret_cast<AXO_AVL3_NODE *>(static_cast<char *>(e) + set->treeInfo.nodeOffset),
                           &set->treeInfo)) {
        ++n;
    }
    if (n != set->count) {
        Broken("tree count differs from its entries");
    }
    return n;
}

template <typename Entry>
Entry *First(ZelSet *set)
{
    return static_cast<Entry *>(AXO_AVL3_First(&set->tree, &set->treeInfo));
}

template <typename Entry>
Entry *Next(ZelSet *set, Entry *e)
{
    return static_cast<Entry *>(AXO_AVL3_Next(&e->node, &set->treeInfo));
}

// The module's own timer of that name, or null when the latest one is not the module's.
const STANDIN_TimerInfo *TimerOf(const char *name, const void *cb)
{
    const STANDIN_TimerInfo *t = STANDIN_TimerFind(name);
    return (t != nullptr && t->alive != 0 && t->cbPair.userData == cb) ? t : nullptr;
}

void CheckLocation(const World &w, locationCb *cb)
{
    CheckSet(cb->locationInstTree);
    CheckSet(cb->logicGrpInstTree);
    CheckSet(cb->osNodeTree);
    for (auto *inst = First<locationInst>(cb->locationInstTree); inst != nullptr;
         inst = Next(cb->locationInstTree, inst)) {
        if (inst->osNodeId != (inst->instCfg.OsInst & 0xFFFFFFu) || inst->publishState > 2u) {
            Broken("location record disagrees with its configuration");
        }
    }
    uint32_t flaggedNum = 0;
    for (auto *node = First<osNodeInst>(cb->osNodeTree); node != nullptr; node = Next(cb->osNodeTree, node)) {
        flaggedNum += (node->publishFault != 0) ? 1u : 0u;
    }
    const bool flagged = flaggedNum != 0;
    const STANDIN_TimerInfo *timer = TimerOf("ZelmLocSmooth", cb);
    if (timer == nullptr) {
        Broken("running location module without its smooth timer");
    }
    if (flagged && timer->running == 0 && !w.timerCallsInjected) {
        Broken("a flagged OS node while the location smooth timer is stopped");
    }
}

void CheckComp(const World &w, ZelmCompCb *cb)
{
    CheckSet(cb->compNodeTree);
    CheckSet(cb->locationTree);
    uint32_t flaggedNum = 0;
    for (auto *loc = First<ZelmCompLocation>(cb->locationTree); loc != nullptr; loc = Next(cb->locationTree, loc)) {
        flaggedNum += (loc->publishFault != 0) ? 1u : 0u;
        CheckSet(loc->componentTree);
        for (auto *c = First<ZelmComponent>(loc->componentTree); c != nullptr; c = Next(loc->componentTree, c)) {
            if (c->cfg.locIndex != loc->locIndex || c->state > 2u) {
                Broken("component stored under another location than its own");
            }
        }
    }
    for (auto *n = First<ZelmCompNode>(cb->compNodeTree); n != nullptr; n = Next(cb->compNodeTree, n)) {
        if (n->cfg.compClass == 0) {
            Broken("compNode of class 0 stored");
        }
    }
    const bool flagged = flaggedNum != 0;
    const STANDIN_TimerInfo *timer = TimerOf("ZelmCompSmooth", cb);
    if (timer == nullptr) {
        Broken("running component module without its smooth timer");
    }
    if (flagged && timer->running == 0 && !w.timerCallsInjected) {
        Broken("a flagged location while the component smooth timer is stopped");
    }
}

bool TextFits(const char *text, size_t width)
{
    return std::strlen(text) <= width;
}

void CheckLocCall(const STANDIN_RpcCall &call)
{
    if (call.reqLen != 16 || call.flags != 0 || call.opType > 2 || call.entryNum == 0 ||
        call.decodedNum != call.entryNum) {
        Broken("location request with a bad header");
    }
    for (uint32_t i = 0; i < call.decodedNum; ++i) {
        const STANDIN_LocEntry &e = call.locEntries[i];
        if (e.reserved1 != 0 || e.reserved2 != 0 || e.nullTexts != 0) {
            Broken("location entry with a reserved word set or a text missing");
        }
        if (!TextFits(e.LocName, 32) || !TextFits(e.imageName, 32) || !TextFits(e.LocExtName, 32)) {
            Broken("location entry text longer than its field");
        }
        if ((e.OsInst & 0xFFFFFFu) != (call.locEntries[0].OsInst & 0xFFFFFFu)) {
            Broken("one location request for two OS nodes");
        }
        if (i > 0 && e.LocId <= call.locEntries[i - 1].LocId) {
            Broken("locations of one request out of ascending order");
        }
    }
}

void CheckCompCall(const STANDIN_RpcCall &call)
{
    if (call.reqLen != 24 || call.flags != 0 || call.reserved != 0 || call.opType > 2 || call.entryNum == 0 ||
        call.decodedNum != call.entryNum) {
        Broken("component request with a bad header");
    }
    for (uint32_t i = 0; i < call.decodedNum; ++i) {
        const STANDIN_CompEntry &e = call.compEntries[i];
        if (e.reserved1 != 0 || e.reserved2 != 0 || e.nullTexts != 0 || e.locIndex != call.locIndex) {
            Broken("component entry with a reserved word set, a text missing or another location");
        }
        if (!TextFits(e.compTypeName, 32) || !TextFits(e.compFileName, 64) || !TextFits(e.compExtName, 68) ||
            !TextFits(e.compInstName, 32)) {
            Broken("component entry text longer than its field");
        }
        if (i > 0 && e.compInst <= call.compEntries[i - 1].compInst) {
            Broken("components of one request out of ascending order");
        }
        const bool noNode = e.compType == 3 || e.compType == 207;
        const bool emptyTexts = (e.compTypeName[0] | e.compFileName[0] | e.compExtName[0]) == 0;
        if (noNode != (e.compClass == 0) || (noNode && !emptyTexts)) {
            Broken("component entry with a compNode it cannot have");
        }
    }
}

void CheckCalls(World &w)
{
    const size_t n = STANDIN_RpcCallCount();
    for (; w.callsChecked < n; ++w.callsChecked) {
        const STANDIN_RpcCall *call = STANDIN_RpcCallGet(w.callsChecked);
        if (call->kind == STANDIN_RPC_LOC) {
            CheckLocCall(*call);
        } else if (call->kind == STANDIN_RPC_COMP) {
            CheckCompCall(*call);
        } else {
            Broken("RPC call of an unknown method");
        }
    }
}

}  // namespace

void CheckReply(const World &w, uint32_t routeClass, const AtomTag *atoms, size_t atomNum, size_t repliesBefore)
{
    const size_t replies = STANDIN_ReplyCount() - repliesBefore;
    if (replies > 1) {
        Broken("more than one reply to a message");
    }
    void *userData = nullptr;
    (void)STANDIN_UloHandler(routeClass, &userData);
    const ZelmLocalData *data = ZELM_GetLocalData();
    if (data == nullptr || userData != data) {
        if (replies != 0) {
            Broken("reply to a message for a stopped library or another record");
        }
        return;
    }
    if (replies == 0) {
        if (!w.injected) {
            Broken("message without reply");
        }
        return;
    }
    const STANDIN_Reply *r = STANDIN_ReplyGet(repliesBefore);
    if (r->createKind != 3 || r->handedBack != 1 || (r->hasRetCode != 0 && r->retCode != 1)) {
        Broken("reply not made with kind 3, not handed back, or with a return code other than 1");
    }
    // An injected failure of QOF_GetBlockNum makes any message read as one without atoms.
    const uint32_t expectedResult = (atomNum == 0) ? 0xFFFFFFFFu : 0u;
    const bool readAsEmpty = w.injected && r->handlerResult == 0xFFFFFFFFu && r->opInfoNum == 0;
    if ((r->handlerResult != expectedResult && !readAsEmpty) || r->opInfoNum > atomNum) {
        Broken("message answered with a bad result or more op-info areas than atoms");
    }
    // An injected failure may stop the message anywhere, also before its return code or an info item is added.
    if (!w.injected && (r->hasRetCode != (atomNum == 0 ? 1u : 0u) || r->opInfoNum != atomNum)) {
        Broken("message stopped early, or not stopped without atoms, without an injected failure");
    }
    size_t failed = 0;
    for (size_t i = 0; i < r->opInfoNum; ++i) {
        const STANDIN_OpInfo &info = r->opInfos[i];
        if (info.opCode != atoms[i].opCode || info.seq != atoms[i].seq) {
            Broken("op-info area out of the atoms' order");
        }
        if (info.code == 0) {
            continue;
        }
        if (!w.injected) {
            Broken("atom failed without an injected failure");
        }
        if (failed < r->infoItemNum && r->infoItems[failed] != info.code) {
            Broken("info item that is not the failed atom's code");
        }
        ++failed;
    }
    if (r->infoItemNum > failed) {
        Broken("info item without a failed atom");
    }
}

void Broken(const char *rule)
{
    std::fprintf(stderr, "zelm fuzz: broken rule: %s\n", rule);
    __builtin_trap();
}

void WorldStart(World &w)
{
    const bool wasStarted = ZELM_GetLocalData() != nullptr;
    (void)ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree);
    if (!wasStarted) {
        ModelRestart(w.model);
        w.model.valid = w.model.valid && !w.injected;
    }
}

void WorldStop(uint32_t errNo)
{
    STANDIN_RpcFailPending(errNo);
    ZELM_FInit();
    if (STANDIN_RpcPendingCount() != 0) {
        Broken("a completion issued a call after the pending ones were failed");
    }
    if (STANDIN_HostLiveBlocks() != 0) {
        std::fprintf(stderr, "live host blocks: %zu (%zu bytes)\n", STANDIN_HostLiveBlocks(), STANDIN_HostLiveBytes());
        Broken("host blocks left after the library stopped");
    }
    if (STANDIN_TimerAliveCount() != 0) {
        Broken("timer left after the library stopped");
    }
    if (STANDIN_KormOsNodeSubscribed() != 0 || STANDIN_KormLocationSubscribed() != 0) {
        Broken("status subscription left after the library stopped");
    }
}

void WorldBegin(World &w)
{
    STANDIN_Reset();
    STANDIN_LogSetObserver(WatchLog, nullptr);
    TextFailNth(0);
    w = World{};
    for (const NodeDecl &n : kCluster) {
        w.nodes[w.nodeNum++] = STANDIN_KormAddOsNode(n.chassis, n.slot, n.cpu, n.hasAgent);
    }
    WorldStart(w);
}

void WorldEnd(World &w)
{
    (void)w;
    STANDIN_HostFailNth(0);
    STANDIN_HostFailFrom(0);
    STANDIN_FailClear(nullptr);
    TextFailNth(0);
    WorldStop(0);
    if (STANDIN_TimerAttrAliveCount() != 0 || STANDIN_MsgAliveCount() != 0 || STANDIN_MsgBadFreeCount() != 0) {
        Broken("platform object left alive or released twice");
    }
    // Leaves nothing of this input in the stand-in, so that the leak checker sees a balanced run.
    STANDIN_Reset();
}

void WorldCheck(World &w)
{
    STANDIN_LogClear();
    CheckCalls(w);
    if (STANDIN_TimerAttrAliveCount() != 0) {
        Broken("timer attribute set left alive");
    }
    if (STANDIN_MsgAliveCount() != 0 || STANDIN_MsgBadFreeCount() != 0) {
        Broken("reply left alive or released twice");
    }
    if (ZELM_GetLocalData() == nullptr) {
        return;
    }
    auto *link = static_cast<ZelmLinkCb *>(ZELM_GetModCb(ZELM_MOD_LINK));
    if (link != nullptr) {
        CheckSet(link->linkLocTree);
    }
    auto *loc = static_cast<locationCb *>(ZELM_GetModCb(ZELM_MOD_LOCATION));
    if (loc != nullptr) {
        CheckLocation(w, loc);
    }
    auto *comp = static_cast<ZelmCompCb *>(ZELM_GetModCb(ZELM_MOD_COMP));
    if (comp != nullptr) {
        CheckComp(w, comp);
    }
    ModelCheck(w.model);
}

}  // namespace zf
