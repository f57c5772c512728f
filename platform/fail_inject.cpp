// Failure injection and call counting: one table for every call a host or test can make fail.
//
// Every platform function of the stand-in, the bounded copy functions and the
// host allocator ask Failing() on entry, and the text copies of a host that
// makes its own ask STANDIN_FailingCall(): the call is
// counted, and an armed failure (the n-th call from arming once, or every call
// from the n-th on) makes it fail with its status. Functions that return
// nothing, and the withdrawals and destroys whose result a user may ignore,
// are counted but cannot be armed: a platform that keeps calling a stopped
// user's callbacks breaks its own contract.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "standin_internal.h"
#include "standin_services.h"
#include "zelm_standin.h"

namespace standin {

struct FailState {
    bool canFail = true;
    uint64_t calls = 0;
    uint64_t from = 0;  // first failing call number of a run that lasts; 0 = none
    uint32_t fromStatus = 0;
    std::multimap<uint64_t, uint32_t> once;  // absolute call number -> status
};

namespace {

constexpr uint32_t kDefaultStatus = 0xFFFFFFFFu;

struct FailPoint {
    const char *name;
    bool canFail;
};

// In the order a sweep walks them: the host's allocator, the text copies, the
// bounded functions, then the platform services.
constexpr FailPoint kPoints[] = {
    {"STANDIN_HostMalloc", true},
    {"strdup", true},
    {"strndup", true},
    {"memcpy_s", true},
    {"memset_s", true},
    {"strcpy_s", true},
    {"QOF_TimerCreateAttr", true},
    {"QOF_TimerSetAttr", true},
    {"QOF_TimerDestroyAttr", false},
    {"QOF_TimerCreate", true},
    {"QOF_TimerStart", true},
    {"QOF_TimerStop", true},
    {"QOF_TimerDestroy", false},
    {"QOF_UloServerSetClassidMsgHandler", true},
    {"QOF_CreateMsg", true},
    {"QOF_GetBlockNum", true},
    {"QOF_GetNextAtom", true},
    {"QOF_GetClassId", true},
    {"QOF_GetAtomOpCode", true},
    {"QOF_GetAtomSeq", true},
    {"QOF_GetRecData", true},
    {"QOF_AddOpInfoArea", true},
    {"QOF_AddInfoItem", true},
    {"QOF_AddRetCode", true},
    {"QOF_UloServerAddRecord", true},
    {"QOF_FreeMsg", false},
    {"QOF_ConnRpcCall", true},
    {"KORM_GetLocalData", true},
    {"KORM_FindKorbCb", true},
    {"KORM_SubOsNodeStatusIntf", true},
    {"KORM_DestroySubOsNodeStatusIntf", false},
    {"KORM_SubLocationStatus", true},
    {"KORM_DestroySubLocationStatus", false},
    {"KORM_GetLocationStatus", true},
    {"MIRL_GetCompHaRole", true},
    {"AXO_AVL3_First", false},
    {"AXO_AVL3_Next", false},
    {"AXO_AVL3_Find", false},
    {"AXO_AVL3_Insert_Or_Find", false},
    {"AXO_AVL3_Delete", false},
};

// Looked up by string_view, so that a lookup allocates nothing. Entries are never added or removed
// once the table is made, so the entries that call sites keep stay valid.
using StateMap = std::map<std::string, FailState, std::less<>>;

StateMap &States()
{
    static StateMap states = [] {
        StateMap s;
        for (const FailPoint &point : kPoints) {
            s[point.name].canFail = point.canFail;
        }
        return s;
    }();
    return states;
}

FailState *Find(const char *function)
{
    if (function == nullptr) {
        return nullptr;
    }
    auto it = States().find(std::string_view(function));
    return it == States().end() ? nullptr : &it->second;
}

FailState *Armable(const char *function, uint64_t nth)
{
    FailState *st = Find(function);
    return (st != nullptr && st->canFail && nth != 0) ? st : nullptr;
}

void Disarm(FailState &st)
{
    st.from = 0;
    st.fromStatus = 0;
    st.once.clear();
}

}  // namespace

void ResetFailures()
{
    for (auto &[name, st] : States()) {
        st.calls = 0;
        Disarm(st);
    }
}

FailState *FailPointNamed(const char *function)
{
    return Find(function);
}

uint64_t *CallCounterNamed(const char *function)
{
    FailState *st = Find(function);
    return st == nullptr ? nullptr : &st->calls;
}

uint32_t Failing(FailState *st)
{
    if (st == nullptr) {
        return 0;
    }
    ++st->calls;
    auto it = st->once.find(st->calls);
    if (it != st->once.end()) {
        const uint32_t status = it->second;
        st->once.erase(it);
        return status;
    }
    return (st->from != 0 && st->calls >= st->from) ? st->fromStatus : 0;
}

}  // namespace standin

// A status of 0 would read as success: it stands for 0xFFFFFFFF.
extern "C" int STANDIN_FailCall(const char *function, uint64_t nth, uint32_t status)
{
    standin::FailState *st = standin::Armable(function, nth);
    if (st == nullptr) {
        return 1;
    }
    st->once.emplace(st->calls + nth, status != 0 ? status : standin::kDefaultStatus);
    return 0;
}

extern "C" int STANDIN_FailFrom(const char *function, uint64_t nth, uint32_t status)
{
    standin::FailState *st = standin::Armable(function, nth);
    if (st == nullptr) {
        return 1;
    }
    st->from = st->calls + nth;
    st->fromStatus = status != 0 ? status : standin::kDefaultStatus;
    return 0;
}

extern "C" void STANDIN_FailClear(const char *function)
{
    for (auto &[name, st] : standin::States()) {
        if (function == nullptr || name == function) {
            standin::Disarm(st);
        }
    }
}

extern "C" uint64_t STANDIN_CallCount(const char *function)
{
    const standin::FailState *st = standin::Find(function);
    return st == nullptr ? 0 : st->calls;
}

extern "C" const char *STANDIN_FailPoint(size_t index)
{
    size_t armable = 0;
    for (const standin::FailPoint &point : standin::kPoints) {
        if (point.canFail && armable++ == index) {
            return point.name;
        }
    }
    return nullptr;
}

extern "C" uint32_t STANDIN_FailingCall(const char *function)
{
    return standin::Failing(standin::Find(function));
}
