// Watching the platform while the library runs: RPC calls and completions, timer calls; counting and tracing them.
#ifndef ZELM_SIM_OBSERVER_H
#define ZELM_SIM_OBSERVER_H

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <tuple>

#include "sim_state.h"
#include "trace.h"
#include "zelm_standin.h"

namespace zsim {

class Observer {
public:
    Observer(SimState &state, Trace &trace) : state_(state), trace_(trace) {}
    ~Observer();
    Observer(const Observer &) = delete;
    Observer &operator=(const Observer &) = delete;

    void Install();
    // Traces and counts the timer calls recorded since the last drain, then empties the recorder.
    void DrainTimers();
    // Called now and then while the run is busy (progress display).
    void SetHeartbeat(std::function<void()> beat) { heartbeat_ = std::move(beat); }

private:
    static void Thunk(const STANDIN_RpcCall *call, int completed, void *arg);
    void OnCall(const STANDIN_RpcCall &call);
    void OnCompletion(const STANDIN_RpcCall &call);
    void NoteWithdrawal(const STANDIN_RpcCall &call, const WithdrawalRec &rec);
    void TrackHoldings(const STANDIN_RpcCall &call);
    void DrainTimersBefore(Ms t);
    std::string Describe(const STANDIN_RpcCall &call) const;

    using PeerKey = std::tuple<int, QOF_ConnHandle, uint32_t>;  // kind, handle, locIndex for components
    using HoldKey = std::tuple<int, QOF_ConnHandle, uint32_t, uint32_t>;

    SimState &state_;
    Trace &trace_;
    bool installed_ = false;
    std::set<PeerKey> failedPeers_;
    std::map<HoldKey, uint64_t> holdings_;  // fingerprint of every entry an agent holds
    std::function<void()> heartbeat_;
    uint64_t calls_ = 0;
    size_t drained_ = 0;
};

}  // namespace zsim

#endif
