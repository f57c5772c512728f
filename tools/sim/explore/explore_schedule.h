// Fault schedules of `zelm-sim explore`: drawn from a seed and a run number alone, and merged into a
// scenario's timeline as ordinary events.
#ifndef ZELM_SIM_EXPLORE_SCHEDULE_H
#define ZELM_SIM_EXPLORE_SCHEDULE_H

#include <cstdint>
#include <string>
#include <vector>

#include "scenario/scenario.h"

namespace zsim {

struct Fault {
    FaultKind kind = FaultKind::Down;
    size_t node = SIZE_MAX;  // the node it concerns; none for an HA-role flip
    Ms at = 0;
    Ms span = 0;         // how long a lag, an outage or a flip lasts
    Ms lag = 0;          // lag: the agent's latency meanwhile
    uint32_t count = 0;  // refuse, fail, noReply: how many calls
    uint32_t code = 0;   // refuse: the status; fail: the result
};

// The kinds a run can draw: those that concern a node only when the budget names one.
std::vector<FaultKind> DrawableKinds(const ExploreBudget &budget);

// The faults of run `run` under `seed`: 1 to maxFaults of them, in time order. The same on every build and
// machine: the numbers come from SplitMix64 and are brought into range by rejection, nothing else.
std::vector<Fault> DrawSchedule(const ExploreBudget &budget, uint64_t seed, uint64_t run);

// What a fault does, for people: "at 12.345 s: agent n2 down for 3.000 s".
std::string FaultText(const Scenario &sc, const Fault &f);

// A run to try: a scenario with the events that will run, and the faults that put some of them there.
struct Trial {
    Scenario scenario;
    std::vector<Fault> faults;
    std::vector<size_t> faultOf;  // per event: 1 + the index of its fault in `faults`; 0 for the scenario's own
    std::vector<size_t> origin;   // per event: its place in the trial as WithFaults made it
};

// The scenario with the faults' events in its timeline, each after the scenario's events of its time. A
// fault ends by bringing back what the timeline has at its end (the agent's latency, its link, the HA role).
Trial WithFaults(const Scenario &sc, const std::vector<Fault> &faults);

// A comment for each event of the trial: empty for the scenario's own, else which fault it starts or ends
// ("fault 2: agent n1 goes down").
std::vector<std::string> FaultNotes(const Trial &t);

}  // namespace zsim

#endif
