// The RPC observer and the timer recorder drain: counts, retries, withdrawals, holdings, history, trace lines.
#include "run/observer.h"

#include "run/lib_view.h"

#include "text/units.h"

#include "zelm.h"

#include <fmt/format.h>

#include <cstring>
#include <iterator>
#include <string>

namespace zsim {

namespace {

// Both modules withdraw with operation type 1.
constexpr uint32_t kOpDelete = ZELM_LOC_OP_DEL;
static_assert(ZELM_LOC_OP_DEL == ZELM_COMP_OP_DEL);

RequestOutcome OutcomeOf(const STANDIN_RpcCall &call)
{
    if (call.outcome == STANDIN_RPC_REFUSED) {
        return RequestOutcome::Refused;
    }
    if (call.outcome != STANDIN_RPC_COMPLETED) {
        return RequestOutcome::InFlight;
    }
    if (call.result.success == 0) {
        return RequestOutcome::Failed;
    }
    if (call.replied == 0) {
        return RequestOutcome::NoReply;
    }
    return call.replyResult == 0 ? RequestOutcome::Applied : RequestOutcome::Rejected;
}

}  // namespace

Observer::~Observer()
{
    if (installed_) {
        STANDIN_RpcSetObserver(nullptr, nullptr);
    }
}

void Observer::Install()
{
    STANDIN_RpcSetObserver(&Observer::Thunk, this);
    installed_ = true;
}

void Observer::Thunk(const STANDIN_RpcCall *call, int completed, void *arg)
{
    auto *self = static_cast<Observer *>(arg);
    if (completed != 0) {
        self->OnCompletion(*call);
    } else {
        self->OnCall(*call);
    }
    if (self->heartbeat_ && (++self->calls_ & 0xFFF) == 0) {
        self->heartbeat_();
    }
}

void Observer::EventStarts(size_t event)
{
    DrainTimers();
    causeTimer_.clear();
    causeEvent_ = event;
    causeAtom_ = SIZE_MAX;
}

std::string Observer::Describe(const STANDIN_RpcCall &call) const
{
    const size_t node = state_.NodeOfHandle(call.handle);
    std::string s = node == SIZE_MAX ? fmt::format("#{} handle {}", call.callId, call.handle)
                                     : fmt::format("#{} {}", call.callId, state_.scenario.nodes[node].name);
    if (call.kind == STANDIN_RPC_COMP) {
        fmt::format_to(std::back_inserter(s), " locIndex {}", call.locIndex);
    }
    return s;
}

void Observer::OnCall(const STANDIN_RpcCall &call)
{
    DrainTimers();
    const bool loc = call.kind == STANDIN_RPC_LOC;
    (loc ? state_.counters.locRequests : state_.counters.compRequests)++;
    state_.counters.partlyDecoded += call.decodedNum < call.entryNum ? 1 : 0;
    const size_t node = state_.NodeOfHandle(call.handle);
    const PeerKey peer{call.kind, call.handle, loc ? 0u : call.locIndex};
    if (failedPeers_.count(peer) != 0) {
        state_.counters.retries++;
    }
    const bool refused = call.outcome == STANDIN_RPC_REFUSED;
    if (refused) {
        state_.counters.refused++;
        failedPeers_.insert(peer);
    }
    if (node != SIZE_MAX) {
        NodeState &n = state_.nodes[node];
        n.requests++;
        (refused ? n.failures : n.pending)++;
        RecordCall(call, node);
    }
    if (call.opType == kOpDelete) {
        NoteWithdrawal(call, refused ? WithdrawalRec{Withdrawal::Refused, call.callStatus, call.timeMs}
                                     : WithdrawalRec{Withdrawal::Pending, 0, call.timeMs});
    } else if (refused) {
        NoteFailedSend(call, call.timeMs);
    }
    TraceCall(call);
}

void Observer::OnCompletion(const STANDIN_RpcCall &call)
{
    // Timer calls made by this completion (a stop after success) follow its line; earlier ones precede it.
    DrainTimersBefore(call.completedMs);
    const size_t node = state_.NodeOfHandle(call.handle);
    const bool ok = call.replied != 0 && call.replyResult == 0;
    const PeerKey peer{call.kind, call.handle, call.kind == STANDIN_RPC_LOC ? 0u : call.locIndex};
    if (ok) {
        failedPeers_.erase(peer);
        TrackHoldings(call);
    } else {
        failedPeers_.insert(peer);
        state_.counters.failedCompletions++;
    }
    if (node != SIZE_MAX) {
        NodeState &n = state_.nodes[node];
        n.pending = n.pending > 0 ? n.pending - 1 : 0;
        n.failures += ok ? 0 : 1;
        // A failed completion is what flags a peer that no refusal flagged before.
        faults_.Touch(node, call.kind == STANDIN_RPC_COMP, call.locIndex);
    }
    RecordCompletion(call);
    const Ms at = call.completedMs;
    if (call.opType == kOpDelete) {
        NoteWithdrawal(call, ok                  ? WithdrawalRec{Withdrawal::Applied, 0, at}
                             : call.replied != 0 ? WithdrawalRec{Withdrawal::Failed, call.replyResult, at}
                                                 : WithdrawalRec{Withdrawal::NoReply, 0, at});
    } else if (!ok) {
        NoteFailedSend(call, at);
    }
    TraceCompletion(call);
    DrainTimers();
}

void Observer::RecordCall(const STANDIN_RpcCall &call, size_t node)
{
    const bool component = call.kind == STANDIN_RPC_COMP;
    faults_.Touch(node, component, call.locIndex);
    if (state_.history == nullptr) {
        return;
    }
    RequestRecord r;
    r.callId = call.callId;
    r.at = call.timeMs;
    r.component = component;
    r.opType = call.opType;
    r.locIndex = component ? call.locIndex : 0;
    r.entries = call.entryNum;
    r.outcome = OutcomeOf(call);
    r.code = call.callStatus;
    r.timer = causeTimer_;
    r.event = causeTimer_.empty() ? causeEvent_ : SIZE_MAX;
    r.atom = causeTimer_.empty() ? causeAtom_ : SIZE_MAX;
    std::vector<RequestRecord> &list = state_.history->nodes[node].requests;
    if (r.outcome == RequestOutcome::InFlight) {
        openRequests_[call.callId] = {node, list.size()};
    }
    list.push_back(std::move(r));
}

void Observer::RecordCompletion(const STANDIN_RpcCall &call)
{
    const auto it = openRequests_.find(call.callId);
    if (it == openRequests_.end() || state_.history == nullptr) {
        return;
    }
    RequestRecord &r = state_.history->nodes[it->second.first].requests[it->second.second];
    openRequests_.erase(it);
    r.doneAt = call.completedMs;
    r.outcome = OutcomeOf(call);
    r.code = call.replied != 0 ? call.replyResult : 0;
}

void Observer::TraceCall(const STANDIN_RpcCall &call)
{
    if (!trace_.On()) {
        return;
    }
    const bool loc = call.kind == STANDIN_RPC_LOC;
    std::string s = fmt::format("{} {} {}, {} [", Describe(call), call.method, RequestOpName(call.opType),
                                Plural(call.entryNum, "entry", "entries"));
    for (uint32_t i = 0; i < call.decodedNum && i < 8; ++i) {
        fmt::format_to(std::back_inserter(s), "{}{}", i != 0 ? " " : "",
                       loc ? call.locEntries[i].LocId : call.compEntries[i].compInst);
    }
    if (call.decodedNum > 8) {
        fmt::format_to(std::back_inserter(s), " +{}", call.decodedNum - 8);
    }
    s += call.outcome == STANDIN_RPC_REFUSED ? fmt::format("]: refused, status {}", call.callStatus) : "]: accepted";
    trace_.Raw(call.timeMs, "CALL", s);
}

void Observer::TraceCompletion(const STANDIN_RpcCall &call)
{
    if (!trace_.On()) {
        return;
    }
    const bool ok = call.replied != 0 && call.replyResult == 0;
    std::string s =
        fmt::format("{} done: success {} errno {}, ", Describe(call), call.result.success, call.result.errNo);
    s += call.replied != 0 ? fmt::format("result {}{}", call.replyResult, ok ? " (applied)" : "") : "no reply";
    trace_.Raw(call.completedMs, "DONE", s);
}

void Observer::NoteWithdrawal(const STANDIN_RpcCall &call, const WithdrawalRec &rec)
{
    for (uint32_t i = 0; i < call.decodedNum; ++i) {
        if (call.kind == STANDIN_RPC_LOC) {
            state_.locHistory[call.locEntries[i].LocId].withdrawal = rec;
        } else if (call.kind == STANDIN_RPC_COMP) {
            state_.compHistory[CompKey{call.locIndex, call.compEntries[i].compInst}].withdrawal = rec;
        }
    }
}

void Observer::NoteFailedSend(const STANDIN_RpcCall &call, Ms at)
{
    for (uint32_t i = 0; i < call.decodedNum; ++i) {
        FailedSends &f = call.kind == STANDIN_RPC_LOC
                             ? state_.locHistory[call.locEntries[i].LocId].failed
                             : state_.compHistory[CompKey{call.locIndex, call.compEntries[i].compInst}].failed;
        f = {f.count + 1, at};
    }
}

void Observer::TrackHoldings(const STANDIN_RpcCall &call)
{
    // The agent has applied the request and counted the entries that changed what it holds.
    const size_t node = state_.NodeOfHandle(call.handle);
    if (node == SIZE_MAX || call.changedNum == 0) {
        return;
    }
    state_.nodes[node].lastChangeAt = call.completedMs;
    state_.lastHoldingChangeAt = call.completedMs;
}

std::vector<std::string> Observer::RunningTimers() const
{
    std::vector<std::string> out;
    for (const std::string &name : timerNames_) {
        const STANDIN_TimerInfo *t = STANDIN_TimerFind(name.c_str());
        if (t != nullptr && t->alive != 0 && t->running != 0) {
            out.push_back(name);
        }
    }
    return out;
}

void Observer::DrainTimers()
{
    DrainTimersBefore(UINT64_MAX);
}

void Observer::DrainTimersBefore(Ms t)
{
    // Events before `drained_` were written by an earlier partial drain.
    const size_t n = STANDIN_TimerEventCount();
    size_t i = drained_;
    for (; i < n; ++i) {
        const STANDIN_TimerEvent *e = STANDIN_TimerEventGet(i);
        if (e->timeMs >= t) {
            break;
        }
        const std::string name = e->name != nullptr ? e->name : "?";
        const char *what = "?";
        switch (e->kind) {
        case STANDIN_TIMER_CREATE:
            what = "create";
            timerNames_.insert(name);
            break;
        case STANDIN_TIMER_START:
            what = e->wasRunning != 0 ? "start (already running)" : "start";
            break;
        case STANDIN_TIMER_STOP:
            what = e->wasRunning != 0 ? "stop" : "stop (not running)";
            break;
        case STANDIN_TIMER_TICK:
            what = "tick";
            state_.counters.ticks[name]++;
            causeTimer_ = name;
            if (state_.history != nullptr) {
                state_.history->ticks.push_back({e->timeMs, LibIsCompSmoothTimer(name.c_str()), name});
            }
            break;
        case STANDIN_TIMER_DESTROY:
            what = "destroy";
            break;
        }
        trace_.Raw(e->timeMs, "TIMER", name + " " + what);
    }
    if (i == n) {
        STANDIN_TimerEventClear();
        drained_ = 0;
    } else {
        drained_ = i;
    }
}

}  // namespace zsim
