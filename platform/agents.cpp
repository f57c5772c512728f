// Simulated node agents: reading the two publication requests, scripted answers, and what each agent holds.
//
// An agent reads a request the way a peer would: from raw bytes at fixed
// offsets (little-endian, 64-bit pointers), never through the library's
// record types, so that a layout fault in the library shows up here. Texts
// are copied bounded, once each into the pool of distinct texts; a null text
// reads as "" and is flagged.
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <utility>

#include "held_entries.h"
#include "standin_internal.h"
#include "standin_services.h"
#include "zelm_standin.h"

namespace standin {
namespace {

constexpr QOF_ConnHandle kHandleBase = 0x10000;
constexpr uint32_t kUnknownHandle = 0xFFFFFFFFu;
constexpr uint32_t kDownStatus = 2;
constexpr uint32_t kMaxDecoded = 65536;  // a garbage count must not make the agent read without end
constexpr size_t kMaxText = 255;

constexpr size_t kLocReqLen = 16;
constexpr size_t kCompReqLen = 24;
constexpr size_t kEntryLen = 96;
// The held entries copy the public entries' numbers as one run of words, the key's among them.
static_assert(offsetof(STANDIN_LocEntry, LocName) == HeldLoc::kNumbers * sizeof(uint32_t));
static_assert(offsetof(STANDIN_LocEntry, LocId) == HeldLoc::kKeyNumber * sizeof(uint32_t));
static_assert(offsetof(STANDIN_CompEntry, compTypeName) == HeldComp::kNumbers * sizeof(uint32_t));
static_assert(offsetof(STANDIN_CompEntry, compInst) == HeldComp::kKeyNumber * sizeof(uint32_t));

struct Agent {
    bool present = true;
    bool down = false;
    STANDIN_AgentScript script{};
    ChunkMap<uint32_t, HeldLoc> locs;
    ChunkMap<std::pair<uint32_t, uint32_t>, HeldComp> comps;  // (locIndex, compInst)
};

std::pair<uint32_t, uint32_t> CompKey(uint32_t locIndex, uint32_t compInst)
{
    return {locIndex, compInst};
}

std::map<QOF_ConnHandle, std::unique_ptr<Agent>> g_agents;
QOF_ConnHandle g_nextHandle = kHandleBase + 1;

Agent *Find(QOF_ConnHandle handle)
{
    auto it = g_agents.find(handle);
    return it == g_agents.end() ? nullptr : it->second.get();
}

uint32_t U32(const uint8_t *p, size_t off)
{
    uint32_t v = 0;
    std::memcpy(&v, p + off, sizeof(v));
    return v;
}

const uint8_t *Ptr(const uint8_t *p, size_t off)
{
    const uint8_t *v = nullptr;
    std::memcpy(&v, p + off, sizeof(v));
    return v;
}

// Reads the text at the pointer stored at `off`, at most kMaxText characters, into the pool; sets `bit` in
// *nullTexts for null.
const char *Text(const uint8_t *p, size_t off, uint32_t bit, uint32_t *nullTexts)
{
    const auto *src = reinterpret_cast<const char *>(Ptr(p, off));
    if (src == nullptr) {
        *nullTexts |= bit;
        src = "";
    }
    return TextOf(InternText(src, strnlen(src, kMaxText)));
}

STANDIN_LocEntry DecodeLoc(const uint8_t *e)
{
    STANDIN_LocEntry d{};
    d.LocId = U32(e, 0);
    d.LocType = U32(e, 4);
    d.LocName = Text(e, 8, 1u << 0, &d.nullTexts);
    d.OsInst = U32(e, 16);
    d.LocGrp = U32(e, 20);
    d.LocParam1 = U32(e, 24);
    d.Lrid = U32(e, 28);
    d.LocParam2 = U32(e, 32);
    d.LocParam3 = U32(e, 36);
    d.LocParam4 = U32(e, 40);
    d.LocParam5 = U32(e, 44);
    d.LocParam6 = U32(e, 48);
    d.reserved1 = U32(e, 52);
    d.imageName = Text(e, 56, 1u << 1, &d.nullTexts);
    d.LocExtName = Text(e, 64, 1u << 2, &d.nullTexts);
    d.logicId = U32(e, 72);
    d.faultPolicy = U32(e, 76);
    d.grpParam1 = U32(e, 80);
    d.grpParam2 = U32(e, 84);
    d.grpParam3 = U32(e, 88);
    d.reserved2 = U32(e, 92);
    return d;
}

STANDIN_CompEntry DecodeComp(const uint8_t *e)
{
    STANDIN_CompEntry d{};
    d.compType = U32(e, 0);
    d.reserved1 = U32(e, 4);
    d.compTypeName = Text(e, 8, 1u << 0, &d.nullTexts);
    d.compFileName = Text(e, 16, 1u << 1, &d.nullTexts);
    d.compExtName = Text(e, 24, 1u << 2, &d.nullTexts);
    d.compInstName = Text(e, 32, 1u << 3, &d.nullTexts);
    d.attr7 = U32(e, 40);
    d.compClass = U32(e, 44);
    d.compInst = U32(e, 48);
    d.attr1 = U32(e, 52);
    d.cfgStatus = U32(e, 56);
    d.attr2 = U32(e, 60);
    d.locIndex = U32(e, 64);
    d.attr3 = U32(e, 68);
    d.attr4 = U32(e, 72);
    d.attr5 = U32(e, 76);
    d.attr6 = U32(e, 80);
    d.attr8 = U32(e, 84);
    d.attr9 = U32(e, 88);
    d.reserved2 = U32(e, 92);
    return d;
}

// The held form of an entry and back: the numbers but the key's as they are, each text by its id in the pool.
template <typename Held, typename Entry, size_t N>
Held ToHeld(const Entry &e, const char *const (&texts)[N])
{
    Held h{};
    const auto *numbers = reinterpret_cast<const uint32_t *>(&e);
    std::memcpy(h.numbers, numbers, Held::kKeyNumber * sizeof(uint32_t));
    std::memcpy(h.numbers + Held::kKeyNumber, numbers + Held::kKeyNumber + 1,
                (Held::kNumbers - Held::kKeyNumber - 1) * sizeof(uint32_t));
    for (size_t i = 0; i < N; ++i) {
        h.texts[i] = (e.nullTexts & (1u << i)) != 0 ? kNullText : InternText(texts[i], std::strlen(texts[i]));
    }
    return h;
}

template <typename Entry, typename Held, size_t N>
Entry FromHeld(const Held &h, uint32_t key, const char *Entry::*const (&texts)[N])
{
    Entry e{};
    auto *numbers = reinterpret_cast<uint32_t *>(&e);
    std::memcpy(numbers, h.numbers, Held::kKeyNumber * sizeof(uint32_t));
    numbers[Held::kKeyNumber] = key;
    std::memcpy(numbers + Held::kKeyNumber + 1, h.numbers + Held::kKeyNumber,
                (Held::kNumbers - Held::kKeyNumber - 1) * sizeof(uint32_t));
    for (size_t i = 0; i < N; ++i) {
        e.*texts[i] = h.texts[i] == kNullText ? "" : TextOf(h.texts[i]);
        e.nullTexts |= h.texts[i] == kNullText ? 1u << i : 0u;
    }
    return e;
}

constexpr const char *STANDIN_LocEntry::*kLocTexts[] = {&STANDIN_LocEntry::LocName, &STANDIN_LocEntry::imageName,
                                                        &STANDIN_LocEntry::LocExtName};
constexpr const char *STANDIN_CompEntry::*kCompTexts[] = {&STANDIN_CompEntry::compTypeName,
                                                          &STANDIN_CompEntry::compFileName,
                                                          &STANDIN_CompEntry::compExtName,
                                                          &STANDIN_CompEntry::compInstName};

STANDIN_LocEntry FromHeld(uint32_t locId, const HeldLoc &h)
{
    return FromHeld<STANDIN_LocEntry>(h, locId, kLocTexts);
}

STANDIN_CompEntry FromHeld(uint32_t compInst, const HeldComp &h)
{
    return FromHeld<STANDIN_CompEntry>(h, compInst, kCompTexts);
}

HeldLoc ToHeld(const STANDIN_LocEntry &e)
{
    const char *const texts[] = {e.LocName, e.imageName, e.LocExtName};
    return ToHeld<HeldLoc>(e, texts);
}

HeldComp ToHeld(const STANDIN_CompEntry &e)
{
    const char *const texts[] = {e.compTypeName, e.compFileName, e.compExtName, e.compInstName};
    return ToHeld<HeldComp>(e, texts);
}

}  // namespace

void ResetAgents()
{
    g_agents.clear();
    ResetTexts();
    g_nextHandle = kHandleBase + 1;
}

QOF_ConnHandle AgentCreate()
{
    const QOF_ConnHandle handle = g_nextHandle++;
    g_agents.emplace(handle, std::make_unique<Agent>());
    return handle;
}

void AgentSetPresent(QOF_ConnHandle handle, bool present)
{
    if (Agent *a = Find(handle)) {
        a->present = present;
    }
}

uint32_t AgentAccept(QOF_ConnHandle handle, AgentAnswer *answer)
{
    Agent *a = Find(handle);
    if (a == nullptr || !a->present) {
        return kUnknownHandle;
    }
    if (a->down) {
        return kDownStatus;
    }
    STANDIN_AgentScript &s = a->script;
    if (s.refuseNext != 0) {
        --s.refuseNext;
        return s.refuseStatus != 0 ? s.refuseStatus : 1u;
    }
    answer->latencyMs = s.latencyMs != 0 ? s.latencyMs : 1u;
    answer->result = s.result;
    if (s.failNext != 0) {
        --s.failNext;
        answer->result = s.failResult != 0 ? s.failResult : 1u;
    }
    answer->reply = true;
    if (s.noReplyNext != 0) {
        --s.noReplyNext;
        answer->reply = false;
    }
    return 0;
}

uint32_t AgentApply(QOF_ConnHandle handle, const STANDIN_RpcCall &call)
{
    Agent *a = Find(handle);
    if (a == nullptr) {
        return 0;
    }
    const bool remove = call.opType == 1;
    if (!remove && call.opType != 0 && call.opType != 2) {
        return 0;
    }
    uint32_t changed = 0;
    for (uint32_t i = 0; i < call.decodedNum; ++i) {
        if (call.kind == STANDIN_RPC_LOC) {
            const STANDIN_LocEntry &e = call.locEntries[i];
            changed += (remove ? a->locs.Erase(e.LocId) : a->locs.Put(e.LocId, ToHeld(e))) ? 1 : 0;
        } else if (call.kind == STANDIN_RPC_COMP) {
            const STANDIN_CompEntry &e = call.compEntries[i];
            const auto key = CompKey(call.locIndex, e.compInst);
            changed += (remove ? a->comps.Erase(key) : a->comps.Put(key, ToHeld(e))) ? 1 : 0;
        }
    }
    return changed;
}

void DecodeRequest(STANDIN_RpcCall *call, std::vector<STANDIN_LocEntry> *locs, std::vector<STANDIN_CompEntry> *comps,
                   const void *req, uint32_t reqLen)
{
    const auto *p = static_cast<const uint8_t *>(req);
    if (p == nullptr) {
        return;
    }
    if (call->kind == STANDIN_RPC_LOC && reqLen >= kLocReqLen) {
        call->opType = U32(p, 0);
        call->entryNum = U32(p, 4);
        const uint8_t *list = Ptr(p, 8);
        const uint32_t n = list == nullptr ? 0 : (call->entryNum < kMaxDecoded ? call->entryNum : kMaxDecoded);
        for (uint32_t i = 0; i < n; ++i) {
            locs->push_back(DecodeLoc(list + i * kEntryLen));
        }
        call->decodedNum = n;
    } else if (call->kind == STANDIN_RPC_COMP && reqLen >= kCompReqLen) {
        call->locIndex = U32(p, 0);
        call->opType = U32(p, 4);
        call->entryNum = U32(p, 8);
        call->reserved = U32(p, 12);
        const uint8_t *list = Ptr(p, 16);
        const uint32_t n = list == nullptr ? 0 : (call->entryNum < kMaxDecoded ? call->entryNum : kMaxDecoded);
        for (uint32_t i = 0; i < n; ++i) {
            comps->push_back(DecodeComp(list + i * kEntryLen));
        }
        call->decodedNum = n;
    }
}

}  // namespace standin

using standin::Find;

extern "C" int STANDIN_AgentGetScript(QOF_ConnHandle handle, STANDIN_AgentScript *script)
{
    const standin::Agent *a = Find(handle);
    if (a == nullptr || script == nullptr) {
        return 1;
    }
    *script = a->script;
    return 0;
}

extern "C" int STANDIN_AgentSetScript(QOF_ConnHandle handle, const STANDIN_AgentScript *script)
{
    standin::Agent *a = Find(handle);
    if (a == nullptr) {
        return 1;
    }
    a->script = script != nullptr ? *script : STANDIN_AgentScript{};
    return 0;
}

extern "C" int STANDIN_AgentSetDown(QOF_ConnHandle handle, int down)
{
    standin::Agent *a = Find(handle);
    if (a == nullptr) {
        return 1;
    }
    a->down = down != 0;
    if (a->down) {
        standin::RpcFailPendingOn(handle, QOF_RpcResult{0, 1});
    }
    return 0;
}

extern "C" size_t STANDIN_AgentLocCount(QOF_ConnHandle handle)
{
    const standin::Agent *a = Find(handle);
    return a == nullptr ? 0 : a->locs.size();
}

extern "C" int STANDIN_AgentLocFind(QOF_ConnHandle handle, uint32_t locId, STANDIN_LocEntry *entry)
{
    const standin::Agent *a = Find(handle);
    const standin::HeldLoc *held = a == nullptr ? nullptr : a->locs.Find(locId);
    if (held == nullptr || entry == nullptr) {
        return 1;
    }
    *entry = standin::FromHeld(locId, *held);
    return 0;
}

extern "C" void STANDIN_AgentLocForEach(QOF_ConnHandle handle, STANDIN_AgentLocVisit visit, void *arg)
{
    const standin::Agent *a = Find(handle);
    if (a == nullptr || visit == nullptr) {
        return;
    }
    a->locs.ForEach([&](uint32_t locId, const standin::HeldLoc &held) {
        const STANDIN_LocEntry e = standin::FromHeld(locId, held);
        visit(&e, arg);
    });
}

extern "C" size_t STANDIN_AgentCompCount(QOF_ConnHandle handle)
{
    const standin::Agent *a = Find(handle);
    return a == nullptr ? 0 : a->comps.size();
}

extern "C" int STANDIN_AgentCompFind(QOF_ConnHandle handle, uint32_t locIndex, uint32_t compInst,
                                     STANDIN_CompEntry *entry)
{
    const standin::Agent *a = Find(handle);
    const standin::HeldComp *held = a == nullptr ? nullptr : a->comps.Find(standin::CompKey(locIndex, compInst));
    if (held == nullptr || entry == nullptr) {
        return 1;
    }
    *entry = standin::FromHeld(compInst, *held);
    return 0;
}

extern "C" void STANDIN_AgentCompForEach(QOF_ConnHandle handle, STANDIN_AgentCompVisit visit, void *arg)
{
    const standin::Agent *a = Find(handle);
    if (a == nullptr || visit == nullptr) {
        return;
    }
    a->comps.ForEach([&](const std::pair<uint32_t, uint32_t> &key, const standin::HeldComp &held) {
        const STANDIN_CompEntry e = standin::FromHeld(key.second, held);
        visit(key.first, &e, arg);
    });
}
