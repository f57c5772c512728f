// The RPC observer and the timer recorder drain: counts, retries, withdrawals, holding changes, trace lines.
#include "observer.h"

#include "zelm.h"

#include <cstring>
#include <string>

namespace zsim {

namespace {

// Both modules withdraw with operation type 1.
constexpr uint32_t kOpDelete = ZELM_LOC_OP_DEL;
static_assert(ZELM_LOC_OP_DEL == ZELM_COMP_OP_DEL);

const char *OpName(uint32_t opType)
{
    switch (opType) {
    case 0:
        return "add";
    case 1:
        return "delete";
    case 2:
        return "smooth";
    default:
        return "?";
    }
}

uint64_t Mix(uint64_t h, const void *data, size_t len)
{
    // FNV-1a: a fingerprint to notice that a held entry changed, not a security measure.
    const auto *p = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < len; ++i) {
        h = (h ^ p[i]) * 1099511628211ull;
    }
    return h;
}

uint64_t MixText(uint64_t h, const char *text) { return Mix(h, text, std::strlen(text) + 1); }

uint64_t Fingerprint(const STANDIN_LocEntry *e)
{
    if (e == nullptr) {
        return 0;
    }
    uint64_t h = 1469598103934665603ull;
    h = Mix(h, &e->LocId, offsetof(STANDIN_LocEntry, LocName));
    h = MixText(h, e->LocName);
    h = MixText(h, e->imageName);
    return MixText(h, e->LocExtName) | 1;
}

uint64_t Fingerprint(const STANDIN_CompEntry *e)
{
    if (e == nullptr) {
        return 0;
    }
    uint64_t h = 1469598103934665603ull;
    h = Mix(h, &e->compType, offsetof(STANDIN_CompEntry, compTypeName));
    h = MixText(h, e->compTypeName);
    h = MixText(h, e->compFileName);
    h = MixText(h, e->compExtName);
    return MixText(h, e->compInstName) | 1;
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

std::string Observer::Describe(const STANDIN_RpcCall &call) const
{
    const size_t node = state_.NodeOfHandle(call.handle);
    std::string s = "#";
    s += std::to_string(call.callId);
    s += ' ';
    s += node == SIZE_MAX ? "handle " + std::to_string(call.handle) : state_.scenario.nodes[node].name;
    if (call.kind == STANDIN_RPC_COMP) {
        s += " locIndex " + std::to_string(call.locIndex);
    }
    return s;
}

void Observer::OnCall(const STANDIN_RpcCall &call)
{
    DrainTimers();
    const bool loc = call.kind == STANDIN_RPC_LOC;
    (loc ? state_.counters.locRequests : state_.counters.compRequests)++;
    const size_t node = state_.NodeOfHandle(call.handle);
    if (node != SIZE_MAX) {
        state_.nodes[node].requests++;
    }
    const PeerKey peer{call.kind, call.handle, loc ? 0u : call.locIndex};
    if (failedPeers_.count(peer) != 0) {
        state_.counters.retries++;
    }
    const bool refused = call.outcome == STANDIN_RPC_REFUSED;
    if (refused) {
        state_.counters.refused++;
        failedPeers_.insert(peer);
        if (node != SIZE_MAX) {
            state_.nodes[node].failures++;
        }
    } else if (node != SIZE_MAX) {
        state_.nodes[node].pending++;
    }
    if (call.opType == kOpDelete) {
        NoteWithdrawal(call, refused ? WithdrawalRec{Withdrawal::Refused, call.callStatus}
                                     : WithdrawalRec{Withdrawal::Pending, 0});
    }
    if (trace_.On()) {
        std::string s = Describe(call) + " " + call.method + " " + OpName(call.opType) + ", " +
                        std::to_string(call.entryNum) + (call.entryNum == 1 ? " entry [" : " entries [");
        for (uint32_t i = 0; i < call.decodedNum && i < 8; ++i) {
            if (i != 0) {
                s += ' ';
            }
            s += std::to_string(loc ? call.locEntries[i].LocId : call.compEntries[i].compInst);
        }
        if (call.decodedNum > 8) {
            s += " +" + std::to_string(call.decodedNum - 8);
        }
        s += refused ? "]: refused, status " + std::to_string(call.callStatus) : "]: accepted";
        trace_.Raw(call.timeMs, "CALL", s);
    }
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
    }
    if (call.opType == kOpDelete) {
        NoteWithdrawal(call, ok                ? WithdrawalRec{Withdrawal::Applied, 0}
                             : call.replied != 0 ? WithdrawalRec{Withdrawal::Failed, call.replyResult}
                                                 : WithdrawalRec{Withdrawal::NoReply, 0});
    }
    if (trace_.On()) {
        std::string s = Describe(call) + " done: success " + std::to_string(call.result.success) + " errno " +
                        std::to_string(call.result.errNo) + ", ";
        s += call.replied != 0 ? "result " + std::to_string(call.replyResult) + (ok ? " (applied)" : "")
                               : std::string("no reply");
        trace_.Raw(call.completedMs, "DONE", s);
    }
    DrainTimers();
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

void Observer::TrackHoldings(const STANDIN_RpcCall &call)
{
    // The agent has applied the request; note whether anything it holds is now different.
    bool changed = false;
    for (uint32_t i = 0; i < call.decodedNum; ++i) {
        uint64_t fp = 0;
        HoldKey key;
        if (call.kind == STANDIN_RPC_LOC) {
            const uint32_t id = call.locEntries[i].LocId;
            fp = Fingerprint(STANDIN_AgentLocFind(call.handle, id));
            key = HoldKey{call.kind, call.handle, id, 0};
        } else if (call.kind == STANDIN_RPC_COMP) {
            const uint32_t inst = call.compEntries[i].compInst;
            fp = Fingerprint(STANDIN_AgentCompFind(call.handle, call.locIndex, inst));
            key = HoldKey{call.kind, call.handle, call.locIndex, inst};
        } else {
            continue;
        }
        auto [it, fresh] = holdings_.emplace(key, fp);
        if (fresh ? fp != 0 : it->second != fp) {
            it->second = fp;
            changed = true;
        }
    }
    if (changed) {
        state_.lastHoldingChangeAt = call.completedMs;
    }
}

void Observer::DrainTimers() { DrainTimersBefore(UINT64_MAX); }

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
