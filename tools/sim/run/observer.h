// Watching the platform while the library runs: RPC calls and completions, timer calls; counting and tracing them.
#ifndef ZELM_SIM_OBSERVER_H
#define ZELM_SIM_OBSERVER_H

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "run/fault_watch.h"
#include "run/sim_state.h"
#include "run/trace.h"
#include "zelm_standin.h"

namespace zsim {

class Observer {
public:
    Observer(SimState &state, Trace &trace) : state_(state), trace_(trace), faults_(state) {}
    ~Observer();
    Observer(const Observer &) = delete;
    Observer &operator=(const Observer &) = delete;

    void Install();
    // Traces and counts the timer calls recorded since the last drain, then empties the recorder.
    void DrainTimers();
    // The requests from now on follow from this timeline event (until a smooth timer ticks).
    void EventStarts(size_t event);
    // The library takes up this atom (an index into the event's atoms) of the event's configuration message.
    void AtomStarts(size_t atom) { causeAtom_ = atom; }
    // After each run of the loop: the library's fault flags, for the history.
    void AfterSteps(Ms now) { faults_.Look(now); }
    // Called now and then while the run is busy (progress display).
    void SetHeartbeat(std::function<void()> beat) { heartbeat_ = std::move(beat); }
    // The timers that are started now, by name.
    std::vector<std::string> RunningTimers() const;

private:
    static void Thunk(const STANDIN_RpcCall *call, int completed, void *arg);
    void OnCall(const STANDIN_RpcCall &call);
    void OnCompletion(const STANDIN_RpcCall &call);
    void RecordCall(const STANDIN_RpcCall &call, size_t node);
    void RecordCompletion(const STANDIN_RpcCall &call);
    void NoteWithdrawal(const STANDIN_RpcCall &call, const WithdrawalRec &rec);
    // A publication (not a withdrawal) refused, or completed without being applied: noted for each of its keys.
    void NoteFailedSend(const STANDIN_RpcCall &call, Ms at);
    void TrackHoldings(const STANDIN_RpcCall &call);
    void DrainTimersBefore(Ms t);
    std::string Describe(const STANDIN_RpcCall &call) const;
    void TraceCall(const STANDIN_RpcCall &call);
    void TraceCompletion(const STANDIN_RpcCall &call);

    using PeerKey = std::tuple<int, QOF_ConnHandle, uint32_t>;  // kind, handle, locIndex for components

    SimState &state_;
    Trace &trace_;
    FaultWatch faults_;
    bool installed_ = false;
    std::set<PeerKey> failedPeers_;
    std::set<std::string> timerNames_;
    std::function<void()> heartbeat_;
    uint64_t calls_ = 0;
    size_t drained_ = 0;
    // What the next requests follow from, for the history.
    std::string causeTimer_;
    size_t causeEvent_ = SIZE_MAX;
    size_t causeAtom_ = SIZE_MAX;
    std::map<uint64_t, std::pair<size_t, size_t>> openRequests_;  // call id -> (node, index in its requests)
};

}  // namespace zsim

#endif
