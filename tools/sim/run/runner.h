// Running a scenario: the simulator as the library's host on the stand-in platform, in virtual time.
#ifndef ZELM_SIM_RUNNER_H
#define ZELM_SIM_RUNNER_H

#include <cstdio>
#include <functional>
#include <optional>

#include "run/cost.h"
#include "run/history.h"
#include "run/observer.h"
#include "run/sim_state.h"
#include "run/trace.h"
#include "scenario/scenario.h"

namespace zsim {

struct RunOptions {
    std::optional<Ms> until;  // report at this time; otherwise when the run settles
    FILE *log = nullptr;      // the library's log as text; null: counted only
    FILE *trace = nullptr;
    bool history = false;                                    // keep each node's history (it grows with the run)
    std::function<void(const SimState &, Ms now)> progress;  // called now and then during long runs
};

// One run: the stand-in is reset when it is made. Only one may exist at a time.
class Simulation {
public:
    Simulation(const Scenario &scenario, const RunOptions &options);
    ~Simulation();
    Simulation(const Simulation &) = delete;
    Simulation &operator=(const Simulation &) = delete;

    // Runs the timeline up to the report time; the library is left running for the report.
    void Run();
    // Completes pending calls with failure and stops the library, as a host must. Returns the host blocks
    // still allocated afterwards (0 for a library that released everything).
    size_t Shutdown();
    const SimState &State() const { return state_; }
    // The history so far; none is kept from then on.
    RunHistory TakeHistory();

private:
    static void CursorThunk(void *self);
    static void MarkerThunk(void *self);
    static void AtomThunk(size_t index, void *self);
    void CursorStep();
    void Apply(const Event &ev);
    void ApplyConfig(const Event &ev);
    void ApplyLocationStatus(const Event &ev);
    void ApplyAgent(const Event &ev);
    void ApplyLibrary(const Event &ev);
    void NoteExpectedChange(AtomRef atom, size_t formerNode, Ms now);
    void Deliver(const AtomList &atoms, bool replay);
    void NoteBeforeDelivery(AtomRef atom);
    void NoteLocationBefore(AtomRef atom);
    void NoteGroupBefore(AtomRef atom);
    void NoteComponentBefore(AtomRef atom);
    void TraceReply(const AtomList &atoms);
    void StartLibrary(bool replay);
    void StopLibrary(const char *why);
    void FInit();
    void RaiseLink(size_t node, bool up);
    void Housekeeping();
    void NoteEnd(bool fixedTime);

    const Scenario &sc_;
    RunOptions opt_;
    SimState state_;
    RunHistory history_;
    Trace trace_;
    Observer observer_;
    CostMeter cost_;
    size_t next_ = 0;
    // The configuration message being delivered, and the atom the library takes up now: it takes them in order.
    const AtomList *delivering_ = nullptr;
    AtomList::Iterator deliveringAtom_;
    size_t deliveringIndex_ = 0;
};

}  // namespace zsim

#endif
