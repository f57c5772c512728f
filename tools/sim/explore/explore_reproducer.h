// The scenario files explore writes: each drift reason's shrunk run, and the first run of each defect, with a
// header that says what it shows and where it came from.
#ifndef ZELM_SIM_EXPLORE_REPRODUCER_H
#define ZELM_SIM_EXPLORE_REPRODUCER_H

#include <cstdint>
#include <string>

#include "explore/explore_report.h"
#include "explore/explore_schedule.h"

namespace zsim {

// The file name of a reason's reproducer, without ".yaml": "extra-withdrawal-lost".
std::string ReproducerName(ReasonKey key);

// The reproducer of `f` (of the scenario without faults with `baseline`): `shrunk` renamed after the reason, as
// YAML under its header, for the file `name`.yaml. Sets the counts of `x`.
std::string ReproducerText(const Scenario &explored, uint64_t seed, const ReasonFinding &f, Trial shrunk, Reproducer &x,
                           const std::string &name, bool baseline);

// The scenario of the run that showed `d` first, with all its faults.
std::string DefectText(const Scenario &explored, uint64_t seed, const DefectFinding &d, Trial run);

}  // namespace zsim

#endif
