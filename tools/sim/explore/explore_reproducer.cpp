// Writing explore's scenario files: plain scenarios that zelm-sim runs as they are.
#include "explore/explore_reproducer.h"

#include <algorithm>

#include "report/report_paint.h"
#include "scenario/scenario_write.h"
#include "text/printable.h"
#include "text/units.h"

namespace zsim {

namespace {

constexpr size_t kNameKept = 70;  // of the explored scenario's name, in a reproducer's name (at most 100)

std::string Origin(const Scenario &explored, uint64_t seed, size_t run)
{
    return "run " + std::to_string(run) + " of `zelm-sim explore --seed " + std::to_string(seed) + "` on " +
           Printable(explored.name) + " (" + Printable(explored.source) + ")";
}

}  // namespace

std::string ReproducerName(ReasonKey key)
{
    return std::string(KindName(key.kind)) + "-" + ReasonCode(key.reason);
}

std::string ReproducerText(const Scenario &explored, uint64_t seed, const ReasonFinding &f, Trial shrunk, Reproducer &x)
{
    shrunk.scenario.name =
        ShortName(explored.name, kNameKept) + ": " + KindName(f.key.kind) + " " + ReasonCode(f.key.reason);
    shrunk.scenario.description.clear();
    x.events = shrunk.scenario.events.size();
    std::vector<bool> kept(shrunk.faults.size() + 1);
    for (const size_t k : shrunk.faultOf) {
        kept[k] = true;
    }
    x.faults = static_cast<size_t>(std::count(kept.begin() + 1, kept.end(), true));
    std::string text = "# zelm-sim explore reproducer: " + std::string(KindName(f.key.kind)) + " drift, reason " +
                       ReasonCode(f.key.reason) + ":\n#   " + ReasonLabel(f.key.reason) + "\n# Found in " +
                       Origin(explored, seed, f.firstRun) + ", whose faults were:\n";
    for (size_t i = 0; i < f.firstRunFaults.size(); ++i) {
        text += "#   " + std::to_string(i + 1) + ". " + Printable(f.firstRunFaults[i]) + "\n";
    }
    return text + "# Shrunk to " + Plural(x.events, "event", "events") + ", with " +
           Plural(x.faults, "fault", "faults") + " of the run's. `zelm-sim --expect-converged " +
           ReproducerName(f.key) + ".yaml` exits with 1.\n\n" + ScenarioYaml(shrunk.scenario, FaultNotes(shrunk));
}

std::string DefectText(const Scenario &explored, uint64_t seed, const DefectFinding &d, Trial run)
{
    run.scenario.explore.reset();
    return "# zelm-sim explore: " + Origin(explored, seed, d.firstRun) + " " + DefectName(d.defect) + ": " + d.detail +
           "\n\n" + ScenarioYaml(run.scenario, FaultNotes(run));
}

}  // namespace zsim
