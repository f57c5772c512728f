// A whole run in one call: Simulation, then the report, then the stop.
#include "report/run_scenario.h"

#include "zelm_standin.h"

namespace zsim {

RunResult RunScenario(const Scenario &scenario, const RunOptions &options)
{
    RunResult out;
    Simulation sim(scenario, options);
    sim.Run();
    out.report = BuildReport(sim.State(), STANDIN_Now());
    out.holdings = sim.State().HoldingsFingerprint();
    // Before the stop, which fails the calls still in flight at the report time.
    out.history = sim.TakeHistory();
    out.leftBlocks = sim.Shutdown();
    return out;
}

}  // namespace zsim
