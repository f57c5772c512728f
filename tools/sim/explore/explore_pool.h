// Running scenarios in child processes, a few at a time: the library and the stand-in are one per process,
// and a run that crashes or hangs takes only its own process with it.
#ifndef ZELM_SIM_EXPLORE_POOL_H
#define ZELM_SIM_EXPLORE_POOL_H

#include <cstdint>
#include <functional>
#include <vector>

#include "run/drift_reason.h"
#include "scenario/scenario.h"

namespace zsim {

// A drift reason as the drift audit groups items: kind and reason.
struct ReasonKey {
    DriftKind kind = DriftKind::Missing;
    DriftReason reason = DriftReason::NotConfigured;
    bool operator==(const ReasonKey &) const = default;
    // Kinds first, then reasons, in the order of their enums.
    size_t Index() const { return static_cast<size_t>(kind) * kDriftReasonCount + static_cast<size_t>(reason); }
};

// What one run came to. Plain bytes: a child sends it to the parent through a pipe.
struct RunOutcome {
    enum class Status : uint8_t { Completed, Crashed, Hung };
    Status status = Status::Completed;
    int signal = 0;  // Crashed: the signal that ended it; 0 when it exited with `exitCode`
    int exitCode = 0;
    bool converged = false;
    Ms convergedAt = 0;
    uint64_t leftBlocks = 0;  // host blocks the library left allocated after it stopped
    uint64_t reasonBits[2] = {};

    void Add(ReasonKey key) { reasonBits[key.Index() / 64] |= uint64_t{1} << (key.Index() % 64); }
    // Whether it completed with drift of this kind and reason.
    bool Shows(ReasonKey key) const
    {
        return status == Status::Completed && (reasonBits[key.Index() / 64] >> (key.Index() % 64) & 1) != 0;
    }
    // Every reason it shows, in the order of ReasonKey::Index.
    std::vector<ReasonKey> Reasons() const;
};

class WorkerPool {
public:
    explicit WorkerPool(unsigned jobs) : jobs_(jobs) {}
    unsigned Jobs() const { return jobs_; }
    // Runs make(0) ... make(count - 1), each scenario made and run in a child process of its own, at most
    // Jobs() at a time, and calls done(k, outcome) as each ends, in no particular order. A child that is
    // still running after a minute and ten times the slowest run so far is killed and its run reported hung.
    // Throws UsageError when no process can be started.
    void Run(size_t count, const std::function<Scenario(size_t)> &make,
             const std::function<void(size_t, const RunOutcome &)> &done);
    // Runs started so far.
    uint64_t Started() const { return started_; }

private:
    unsigned jobs_;
    uint64_t started_ = 0;
    double slowest_ = 0;  // seconds
};

// Runs a scenario in this process (with no history, log or trace) and tells what it came to.
RunOutcome RunHere(const Scenario &sc);

}  // namespace zsim

#endif
