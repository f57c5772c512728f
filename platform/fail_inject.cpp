// Failure injection and call counting for the platform functions, by function name.
//
// Every platform function of the stand-in asks FailHit on entry: the call is
// counted, and an armed failure (n-th call from arming, or always) makes it
// fail with its status. Functions that return nothing cannot report a failure;
// they are counted but cannot be armed.
#include <cstring>
#include <map>
#include <string>

#include "standin_internal.h"
#include "standin_services.h"
#include "zelm_standin.h"

namespace standin {
namespace {

constexpr uint32_t kDefaultStatus = 0xFFFFFFFFu;

struct FailState {
    bool canFail = true;
    uint64_t calls = 0;
    bool always = false;
    uint32_t alwaysStatus = 0;
    std::multimap<uint64_t, uint32_t> armed; // absolute call number -> status
};

struct NameDef {
    const char *name;
    bool canFail;
};

constexpr NameDef kNames[] = {
    {"QOF_TimerCreateAttr", true},
    {"QOF_TimerSetAttr", true},
    {"QOF_TimerDestroyAttr", false},
    {"QOF_TimerCreate", true},
    {"QOF_TimerStart", true},
    {"QOF_TimerStop", true},
    {"QOF_TimerDestroy", true},
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
    {"KORM_DestroySubOsNodeStatusIntf", true},
    {"KORM_SubLocationStatus", true},
    {"KORM_DestroySubLocationStatus", true},
    {"KORM_GetLocationStatus", true},
    {"MIRL_GetCompHaRole", true},
};

// Built on first use, so that other parts may register names from their static initialisers.
std::map<std::string, FailState> &States()
{
    static std::map<std::string, FailState> states = [] {
        std::map<std::string, FailState> s;
        for (const NameDef &def : kNames) {
            s[def.name].canFail = def.canFail;
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
    auto it = States().find(function);
    return it == States().end() ? nullptr : &it->second;
}

void ResetFailures()
{
    for (auto &[name, st] : States()) {
        st.calls = 0;
        st.always = false;
        st.alwaysStatus = 0;
        st.armed.clear();
    }
}

ResetRegistration g_failReset{5, &ResetFailures};

} // namespace

bool FailHit(const char *function, uint32_t *status)
{
    FailState *st = Find(function);
    if (st == nullptr) {
        return false;
    }
    ++st->calls;
    auto it = st->armed.find(st->calls);
    if (it != st->armed.end()) {
        *status = it->second;
        st->armed.erase(it);
        return true;
    }
    if (st->always) {
        *status = st->alwaysStatus;
        return true;
    }
    return false;
}

void FailRegisterName(const char *function)
{
    if (function != nullptr) {
        (void)States()[function];
    }
}

} // namespace standin

// A status of 0 would read as success: it stands for 0xFFFFFFFF.
extern "C" int STANDIN_FailCall(const char *function, uint64_t nth, uint32_t status)
{
    standin::FailState *st = standin::Find(function);
    if (st == nullptr || !st->canFail || nth == 0) {
        return 1;
    }
    st->armed.emplace(st->calls + nth, status != 0 ? status : standin::kDefaultStatus);
    return 0;
}

extern "C" int STANDIN_FailAlways(const char *function, uint32_t status)
{
    standin::FailState *st = standin::Find(function);
    if (st == nullptr || !st->canFail) {
        return 1;
    }
    st->always = true;
    st->alwaysStatus = status != 0 ? status : standin::kDefaultStatus;
    return 0;
}

extern "C" void STANDIN_FailClear(const char *function)
{
    if (function == nullptr) {
        for (auto &[name, st] : standin::States()) {
            st.always = false;
            st.armed.clear();
        }
        return;
    }
    standin::FailState *st = standin::Find(function);
    if (st != nullptr) {
        st->always = false;
        st->armed.clear();
    }
}

extern "C" uint64_t STANDIN_CallCount(const char *function)
{
    const standin::FailState *st = standin::Find(function);
    return st == nullptr ? 0 : st->calls;
}
