// Private to the stand-in: what its services (loop, failure injection, timers, RPC) share.
#ifndef ZELM_PLATFORM_STANDIN_SERVICES_H
#define ZELM_PLATFORM_STANDIN_SERVICES_H

#include <cstdint>
#include <vector>

#include "zelm_standin.h"

namespace standin {

// ---- event loop ----
// A pending step is named by its posting sequence number, never 0.
using StepId = uint64_t;
// Posts fn(arg) to run at the absolute time atMs (not before now); same-time steps run in posting order.
StepId LoopPostAt(uint64_t atMs, STANDIN_StepFn fn, void *arg);
// Removes a step that has not run yet; false when it already ran or was never posted.
bool LoopCancel(StepId id);

// ---- failure injection ----
// A function's entry in the failure-injection table.
struct FailState;
// The entry of the named function; null for a name not in the table.
FailState *FailPointNamed(const char *function);
// Counts one call of the entry's function and returns the status it must fail with, 0 to go
// ahead. A null entry always goes ahead.
uint32_t Failing(FailState *point);

// The call counter of the named function's entry, for functions that are counted and never fail; null for
// a name not in the table.
uint64_t *CallCounterNamed(const char *function);

// Counts a call of the function it is written in, which cannot fail: one increment, on the hottest paths.
#define STANDIN_COUNT_CALL()                                                    \
    (void)++*[](const char *function) {                                         \
        static uint64_t *const counter = ::standin::CallCounterNamed(function); \
        return counter;                                                         \
    }(__func__)

// Failing() for the function it is written in. Each call site looks its entry up once, by the
// function's name, and keeps it: some of these functions run on every record copy.
#define STANDIN_FAILING()                                                               \
    ::standin::Failing([](const char *function) {                                       \
        static ::standin::FailState *const point = ::standin::FailPointNamed(function); \
        return point;                                                                   \
    }(__func__))

// The first line of every platform function that can be made to fail: returns `failed` when a
// failure is armed for this call; `failed` may name `failStatus`, the armed status.
#define STANDIN_FAIL_POINT(failed)                     \
    do {                                               \
        const uint32_t failStatus = STANDIN_FAILING(); \
        if (failStatus != 0) {                         \
            return failed;                             \
        }                                              \
    } while (0)

// ---- node agents (agents.cpp) ----
// How an agent answers one accepted call, fixed when the call is made.
struct AgentAnswer {
    uint64_t latencyMs;
    uint32_t result;  // the first u32 of the output message
    bool reply;       // false: completion without output message
};
// A new agent with a unique non-zero server handle, present.
QOF_ConnHandle AgentCreate();
// An absent agent (its node declared without one) refuses calls but keeps what it holds.
void AgentSetPresent(QOF_ConnHandle handle, bool present);
// 0 when the agent accepts a call now (`answer` filled, script counters consumed), else the refusal status.
uint32_t AgentAccept(QOF_ConnHandle handle, AgentAnswer *answer);
// Applies an answered call to what the agent holds; returns the entries that changed it.
uint32_t AgentApply(QOF_ConnHandle handle, const STANDIN_RpcCall &call);
// Fills the decoded part of `call` (call->kind set) from the request bytes as the agent reads them.
void DecodeRequest(STANDIN_RpcCall *call, std::vector<STANDIN_LocEntry> *locs, std::vector<STANDIN_CompEntry> *comps,
                   const void *req, uint32_t reqLen);

// ---- entries into the users (entry_meter.cpp) ----
// Measures one entry from its construction to its destruction, and hands it to the entry observer.
class EntryScope {
public:
    explicit EntryScope(const STANDIN_Entry &what);
    ~EntryScope();
    EntryScope(const EntryScope &) = delete;
    EntryScope &operator=(const EntryScope &) = delete;

private:
    STANDIN_Entry entry_;
    bool outermost_;
};
// Leaves out of the entry that runs what a host's callback does from inside it (the atom observer's own
// lookups), from its construction to its destruction.
class EntryUncounted {
public:
    EntryUncounted();
    ~EntryUncounted();
    EntryUncounted(const EntryUncounted &) = delete;
    EntryUncounted &operator=(const EntryUncounted &) = delete;

private:
    STANDIN_Entry start_;
};
// Notes an RPC request made, with the entries it carries, for the entry that runs.
void EntryNoteRpc(uint32_t entries);
// Notes a host allocation of `bytes`, for the entry that runs.
void EntryNoteAlloc(size_t bytes);

// ---- RPC (rpc.cpp) ----
// Completes every call pending on this handle at once, with `result` and no output message.
void RpcFailPendingOn(QOF_ConnHandle handle, QOF_RpcResult result);

}  // namespace standin

#endif
