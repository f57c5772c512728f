// Running scenarios in child processes, a few at a time: the library and the stand-in are one per process,
// and a run that crashes or hangs takes only its own process with it.
#ifndef ZELM_SIM_EXPLORE_POOL_H
#define ZELM_SIM_EXPLORE_POOL_H

#include <cstdint>
#include <functional>
#include <string>
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
inline constexpr size_t kReasonKeys = 3 * kDriftReasonCount;

// What one run came to. Plain bytes: a child sends it to the parent through a pipe.
struct RunOutcome {
    enum class Status : uint8_t { Completed, Crashed, Hung };
    Status status = Status::Completed;
    int signal = 0;  // Crashed: the signal that ended it; 0 when it exited with `exitCode`
    int exitCode = 0;
    bool converged = false;
    Ms convergedAt = 0;                // when what the drift compares last changed, converged or not
    uint64_t leftBlocks = 0;           // host blocks the library left allocated after it stopped
    uint64_t holdings = 0;             // a fingerprint of what the agents held at the end
    uint32_t items[kReasonKeys] = {};  // drift items by ReasonKey::Index

    void Add(ReasonKey key, size_t n) { items[key.Index()] += static_cast<uint32_t>(n); }
    // Whether it completed with drift of this kind and reason.
    bool Shows(ReasonKey key) const { return status == Status::Completed && items[key.Index()] != 0; }
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
    // Runs one scenario as `zelm-sim --html` does, in a child process; its outcome and its timeline page.
    RunOutcome RunWithPage(const Scenario &sc, std::string &page);
    // Runs started so far.
    uint64_t Started() const { return started_; }

private:
    // Runs work(0) ... work(count - 1) in child processes: each returns what its child sends, an outcome's
    // bytes and anything after them, which done(k, outcome, rest) receives.
    void RunChildren(size_t count, const std::function<std::string(size_t)> &work,
                     const std::function<void(size_t, const RunOutcome &, std::string)> &done);

    unsigned jobs_;
    uint64_t started_ = 0;
    double slowest_ = 0;  // seconds
};

// Runs a scenario in this process (with no history, log or trace) and tells what it came to.
RunOutcome RunHere(const Scenario &sc);

}  // namespace zsim

#endif
