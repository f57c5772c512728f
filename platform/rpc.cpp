// QOF RPC calls to the simulated node agents: pending calls, their completions, and the call recorder.
//
// An accepted call copies the request bytes and is read by the agent at once;
// its completion is a loop step after the agent's latency, never inside the
// call. The completion gets the stand-in's copy as input message and, when
// the agent replies, an output message whose first u32 is the agent's result;
// both copies are released after the completion returns.
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "standin_internal.h"
#include "standin_services.h"
#include "zelm_standin.h"

namespace standin {
namespace {

constexpr uint32_t kRefused = 0xFFFFFFFFu;
constexpr size_t kOutMsgLen = 16;
constexpr int kMaxFailRounds = 64;  // completions may call again; give up after this many rounds

struct CallRec {
    STANDIN_RpcCall pub{};
    std::string method;
    std::vector<STANDIN_LocEntry> locs;
    std::vector<STANDIN_CompEntry> comps;
};

struct Pending {
    std::shared_ptr<CallRec> rec;
    QOF_RpcCbPair pair;
    void *reqCopy;
    StepId step;
    AgentAnswer answer;
};

std::deque<std::shared_ptr<CallRec>> g_calls;  // the recorder
std::map<uint64_t, Pending> g_pending;         // by call id, so in call order
uint64_t g_nextCallId = 1;
STANDIN_RpcObserver g_observer = nullptr;
void *g_observerArg = nullptr;

void Observe(const STANDIN_RpcCall &call, int completed)
{
    if (g_observer != nullptr) {
        g_observer(&call, completed, g_observerArg);
    }
}

// Takes the call out of the pending set and completes it; the agent applies it when it answers 0.
void Complete(uint64_t callId, bool answered, QOF_RpcResult result)
{
    auto it = g_pending.find(callId);
    if (it == g_pending.end()) {
        return;
    }
    Pending p = it->second;
    g_pending.erase(it);
    if (p.step != 0) {
        (void)LoopCancel(p.step);
    }
    STANDIN_RpcCall &call = p.rec->pub;
    void *outMsg = nullptr;
    if (answered && p.answer.reply) {
        outMsg = std::calloc(1, kOutMsgLen);
        std::memcpy(outMsg, &p.answer.result, sizeof(uint32_t));
        call.replied = 1;
        call.replyResult = p.answer.result;
        if (p.answer.result == 0) {
            call.changedNum = AgentApply(call.handle, call);
        }
    }
    call.outcome = STANDIN_RPC_COMPLETED;
    call.completedMs = ClockNow();
    call.result = result;
    {
        STANDIN_Entry what{};
        what.kind = STANDIN_ENTRY_RPC_COMPLETION;
        what.call = &call;
        const EntryScope entry(what);
        p.pair.completion(result, p.reqCopy, outMsg, p.pair.userData);
    }
    std::free(outMsg);
    std::free(p.reqCopy);
    Observe(call, 1);
}

void CompleteStep(void *arg)
{
    const auto callId = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(arg));
    auto it = g_pending.find(callId);
    if (it != g_pending.end()) {
        it->second.step = 0;
        Complete(callId, true, QOF_RpcResult{1, 0});
    }
}

// Fails, in call order, every pending call that `match` selects, also those made by the completions.
template <typename Match>
void FailPending(QOF_RpcResult result, Match match)
{
    for (int round = 0; round < kMaxFailRounds; ++round) {
        std::vector<uint64_t> ids;
        for (const auto &[id, p] : g_pending) {
            if (match(p)) {
                ids.push_back(id);
            }
        }
        if (ids.empty()) {
            return;
        }
        for (uint64_t id : ids) {
            Complete(id, false, result);
        }
    }
}

}  // namespace

void ResetRpc()
{
    FailPending(QOF_RpcResult{0, 1}, [](const Pending &) { return true; });
    for (auto &[id, p] : g_pending) {  // left over only when completions kept calling
        (void)LoopCancel(p.step);
        std::free(p.reqCopy);
    }
    g_pending.clear();
    g_calls.clear();
    g_nextCallId = 1;
    g_observer = nullptr;
    g_observerArg = nullptr;
}

void RpcFailPendingOn(QOF_ConnHandle handle, QOF_RpcResult result)
{
    FailPending(result, [handle](const Pending &p) { return p.rec->pub.handle == handle; });
}

}  // namespace standin

extern "C" uint32_t QOF_ConnRpcCall(QOF_ConnHandle handle, const char *method, const void *req, uint32_t reqLen,
                                    const QOF_RpcCbPair *completion, uint32_t flags)
{
    using namespace standin;
    auto rec = std::make_shared<CallRec>();
    STANDIN_RpcCall &call = rec->pub;
    call.callId = g_nextCallId++;
    call.timeMs = ClockNow();
    call.handle = handle;
    call.flags = flags;
    call.reqLen = reqLen;
    rec->method = method != nullptr ? method : "";
    call.method = rec->method.c_str();
    call.kind = rec->method == "KorbLocSubscribe"    ? STANDIN_RPC_LOC
                : rec->method == "KorbCompSubscribe" ? STANDIN_RPC_COMP
                                                     : STANDIN_RPC_OTHER;
    DecodeRequest(&call, &rec->locs, &rec->comps, req, reqLen);
    EntryNoteRpc(call.entryNum);
    call.locEntries = rec->locs.empty() ? nullptr : rec->locs.data();
    call.compEntries = rec->comps.empty() ? nullptr : rec->comps.data();
    g_calls.push_back(rec);

    AgentAnswer answer{};
    uint32_t status = STANDIN_FAILING();
    if (status == 0) {
        const bool valid = method != nullptr && completion != nullptr && completion->completion != nullptr &&
                           (req != nullptr || reqLen == 0);
        status = valid ? AgentAccept(handle, &answer) : kRefused;
    }
    call.callStatus = status;
    if (status != 0) {
        call.outcome = STANDIN_RPC_REFUSED;
        Observe(call, 0);
        return status;
    }

    void *copy = std::malloc(reqLen != 0 ? reqLen : 1);
    if (reqLen != 0) {
        std::memcpy(copy, req, reqLen);
    }
    const uint64_t due = ClockNow() + answer.latencyMs;
    const StepId step = LoopPostAt(due, &CompleteStep, reinterpret_cast<void *>(static_cast<uintptr_t>(call.callId)));
    g_pending.emplace(call.callId, Pending{rec, *completion, copy, step, answer});
    call.outcome = STANDIN_RPC_PENDING;
    Observe(call, 0);
    return 0;
}

extern "C" size_t STANDIN_RpcCallCount(void)
{
    return standin::g_calls.size();
}

extern "C" const STANDIN_RpcCall *STANDIN_RpcCallGet(size_t index)
{
    return index < standin::g_calls.size() ? &standin::g_calls[index]->pub : nullptr;
}

extern "C" void STANDIN_RpcCallClear(void)
{
    standin::g_calls.clear();
}

extern "C" size_t STANDIN_RpcPendingCount(void)
{
    return standin::g_pending.size();
}

extern "C" void STANDIN_RpcSetObserver(STANDIN_RpcObserver observer, void *arg)
{
    standin::g_observer = observer;
    standin::g_observerArg = arg;
}

extern "C" void STANDIN_RpcFailPending(uint32_t errNo)
{
    standin::FailPending(QOF_RpcResult{0, errNo}, [](const standin::Pending &) { return true; });
}
