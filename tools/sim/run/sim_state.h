// What the simulator knows while it runs: the cluster as the host sees it, the configuration, and the
// history that explains drift later.
#ifndef ZELM_SIM_SIM_STATE_H
#define ZELM_SIM_SIM_STATE_H

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/qof.h"
#include "run/config_model.h"
#include "run/cost.h"
#include "run/drift_reason.h"
#include "run/history.h"
#include "scenario/scenario.h"

namespace zsim {

struct NodeState {
    QOF_ConnHandle handle = 0;  // the agent's server handle; 0 without an agent
    bool linkUp = false;
    bool linkEverUp = false;
    bool upWhileForbidden = false;  // its latest link-up came while the HA role forbade publication
    Ms upAt = 0;                    // its latest link-up
    bool agentDown = false;
    // Publication traffic to this agent.
    uint64_t requests = 0;
    uint64_t failures = 0;
    uint64_t pending = 0;
    std::optional<Ms> lastChangeAt;          // its holdings last changed
    std::optional<Ms> lastExpectedChangeAt;  // what it should hold last changed (or may have)
};

// How the latest withdrawal (operation type 1) of one key went.
enum class Withdrawal { None, Pending, Applied, Failed, NoReply, Refused };

struct WithdrawalRec {
    Withdrawal state = Withdrawal::None;
    uint32_t code = 0;  // the agent's result, or the refusal status
    Ms at = 0;          // when it was refused, or completed
};

// Publications of one key since its latest record was stored that were refused or failed. A success needs no
// count: the library's publication state tells it.
struct FailedSends {
    uint32_t count = 0;
    Ms lastAt = 0;
};

struct LocHistory {
    uint32_t haAtStore = 0;               // the HA role when its latest record was delivered
    std::optional<Why> unsentWithdrawal;  // why its latest delete sent no withdrawal
    std::optional<Ms> groupDeletedAt;     // its logic group's delete withdrew it
    WithdrawalRec withdrawal;
    FailedSends failed;
};

struct CompHistory {
    std::optional<Why> unsentWithdrawal;
    WithdrawalRec withdrawal;
    FailedSends failed;
};

// The latest event that made the library forget the components of a location index, as a cause:
// "location index 6 moved to 16 (batch-6 on n3)", "location 4 was deleted".
struct IndexHistory {
    Ms at = 0;
    std::string note;
    std::string brief;  // the same in a few words: "index 6 moved to 16", "location 4 deleted"
};

struct AtomNote {
    Ms at = 0;
    CfgClass cls = CfgClass::Location;
    uint16_t opCode = 0;
    uint16_t seq = 0;
    std::string key;
    std::string reason;  // ignored: the filter; rejected: the reply code
};

struct Counters {
    uint64_t locRequests = 0;
    uint64_t compRequests = 0;
    uint64_t refused = 0;
    uint64_t failedCompletions = 0;  // a non-zero result or no reply
    uint64_t retries = 0;
    uint64_t configMessages = 0;
    uint64_t atoms = 0;
    uint64_t heldAtoms = 0;      // configuration that arrived while the library was stopped
    uint64_t partlyDecoded = 0;  // requests with more entries than the stand-in's agents decode
    std::map<std::string, uint64_t> ticks;

    uint64_t Requests() const { return locRequests + compRequests; }
    uint64_t Failures() const { return refused + failedCompletions; }
};

// Why the run ended where it did.
enum class EndReason {
    Settled,      // nothing pending any more: no call in flight, no timer started
    SettleLimit,  // the settle time after the last event passed with something still pending
    Until,        // the report time was given
};

struct RunEnd {
    EndReason reason = EndReason::Settled;
    std::vector<std::string> timersRunning;  // SettleLimit: the timers still started
    uint64_t callsInFlight = 0;
};

struct SimState {
    explicit SimState(const Scenario &s) : scenario(s), nodes(s.nodes.size()) {}

    const Scenario &scenario;
    ConfigModel config;
    std::vector<NodeState> nodes;
    // (node, service) -> (announced index, order of the report): the locations available now.
    std::map<std::pair<size_t, std::string>, std::pair<uint32_t, uint64_t>> available;
    // (index, order of the report) -> node: who announces each index now, the latest last.
    std::map<std::pair<uint32_t, uint64_t>, size_t> announcers;
    uint64_t reportOrder = 0;
    uint32_t haRole = 0;
    bool libraryRunning = false;
    bool bareRestart = false;  // the library was restarted without replay: it knows only what came after
    Ms bareRestartAt = 0;
    Ms lastEventAt = 0;
    Ms lastHoldingChangeAt = 0;   // an agent's holdings changed
    Ms lastExpectedChangeAt = 0;  // the configuration or the announced locations changed
    size_t eventsDone = 0;
    RunEnd end;

    // Only the locations with something to note; absent reads as a LocHistory{}.
    std::map<uint32_t, LocHistory> locHistory;
    // Every LocId whose location was stored or deleted while the library ran, or deleted while it was stopped.
    zelm::ChunkMap<uint32_t, bool> locationsSeen;
    // When each location's latest record was stored.
    zelm::ChunkMap<uint32_t, Ms> locationStoredAt;
    std::map<CompKey, CompHistory> compHistory;
    std::map<uint32_t, IndexHistory> indexHistory;
    std::map<uint32_t, Ms> announcedAt;  // index -> when the node that announces it last changed
    std::vector<AtomNote> ignored;
    std::vector<AtomNote> rejected;
    Counters counters;
    CostTable cost;
    RunHistory *history = nullptr;  // kept only when asked for

    // The node whose agent answers on `handle`, or SIZE_MAX.
    size_t NodeOfHandle(QOF_ConnHandle handle) const;
    // The node with this OS-node identifier, or SIZE_MAX.
    size_t NodeOfId(uint32_t osNodeId) const;
    // The node a location's OsInst places it on (its low 24 bits are the identifier), or SIZE_MAX.
    size_t NodeOfOsInst(uint32_t osInst) const { return NodeOfId(osInst & 0xFFFFFFu); }
    // Notes a location-status report: the service available under `index`, or not available (none).
    void Announce(size_t node, const std::string &service, std::optional<uint32_t> index);
    // The node that announced a location index last among those that announce it now, or SIZE_MAX.
    size_t AnnouncerOf(uint32_t index) const;
    // The index a node announces for a service now, if any. A location's service bears its name.
    std::optional<uint32_t> AnnouncedIndex(size_t node, const std::string &service) const;
    // What `node` should hold changed at `t`; SIZE_MAX names no node (only the run's time moves).
    void ExpectedChanged(size_t node, Ms t);
    void ExpectedChangedEverywhere(Ms t);
    // A fingerprint of what every agent holds now: equal for two runs whose agents hold the same entries.
    uint64_t HoldingsFingerprint() const;

    std::map<QOF_ConnHandle, size_t> byHandle;
    std::map<uint32_t, size_t> byId;
};

}  // namespace zsim

#endif
