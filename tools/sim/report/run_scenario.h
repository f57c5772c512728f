// A whole run in one call: the scenario run to its report time, the report built, the library stopped.
#ifndef ZELM_SIM_RUN_SCENARIO_H
#define ZELM_SIM_RUN_SCENARIO_H

#include <cstddef>

#include "report/report.h"
#include "run/history.h"
#include "run/runner.h"
#include "scenario/scenario.h"

namespace zsim {

// What a run gives back: the report, the nodes' history (when asked for) and the host blocks the library
// left allocated after it stopped.
struct RunResult {
    Report report;
    RunHistory history;
    size_t leftBlocks = 0;
    uint64_t holdings = 0;  // SimState::HoldingsFingerprint at the report time
};

// Runs a scenario from start to report and stops the library again.
RunResult RunScenario(const Scenario &scenario, const RunOptions &options);

}  // namespace zsim

#endif
