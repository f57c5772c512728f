// Writing explore's scenario files: plain scenarios that zelm-sim runs as they are.
#include "explore/explore_reproducer.h"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>

#include "report/report_paint.h"
#include "scenario/scenario_write.h"
#include "text/printable.h"
#include "text/units.h"

namespace zsim {

namespace {

constexpr size_t kNameKept = 70;  // of the explored scenario's name, in a reproducer's name (at most 100)

std::string Origin(const Scenario &explored, uint64_t seed, size_t run)
{
    return fmt::format("run {} of `zelm-sim explore --seed {}` on {} ({})", run, seed, Printable(explored.name),
                       Printable(explored.source));
}

}  // namespace

std::string ReproducerName(ReasonKey key)
{
    return std::string(KindName(key.kind)) + "-" + ReasonCode(key.reason);
}

std::string ReproducerText(const Scenario &explored, uint64_t seed, const ReasonFinding &f, Trial shrunk, Reproducer &x,
                           const std::string &name, bool baseline)
{
    shrunk.scenario.name = ShortName(explored.name, kNameKept) + ": " + (baseline ? "baseline " : "") +
                           KindName(f.key.kind) + " " + ReasonCode(f.key.reason);
    shrunk.scenario.description.clear();
    x.events = shrunk.scenario.events.size();
    std::vector<bool> kept(shrunk.faults.size() + 1);
    for (const size_t k : shrunk.faultOf) {
        kept[k] = true;
    }
    x.faults = static_cast<size_t>(std::count(kept.begin() + 1, kept.end(), true));
    std::string text = fmt::format("# zelm-sim explore reproducer: {} drift, reason {}:\n#   {}\n",
                                   KindName(f.key.kind), ReasonCode(f.key.reason), ReasonLabel(f.key.reason));
    if (baseline) {
        fmt::format_to(std::back_inserter(text),
                       "# Found in {} ({}) without faults: the scenario drifts by itself.\n# Shrunk to {}.",
                       Printable(explored.name), Printable(explored.source), Plural(x.events, "event", "events"));
    } else {
        fmt::format_to(std::back_inserter(text), "# Found in {}, whose faults were:\n",
                       Origin(explored, seed, f.firstRun));
        for (size_t i = 0; i < f.firstRunFaults.size(); ++i) {
            fmt::format_to(std::back_inserter(text), "#   {}. {}\n", i + 1, Printable(f.firstRunFaults[i]));
        }
        fmt::format_to(std::back_inserter(text), "# Shrunk to {}, with {} of the run's.",
                       Plural(x.events, "event", "events"), Plural(x.faults, "fault", "faults"));
    }
    fmt::format_to(std::back_inserter(text),
                   " `zelm-sim --expect-converged {0}.yaml` exits with 1;\n# {0}.html is its timeline page.\n\n{1}",
                   name, ScenarioYaml(shrunk.scenario, FaultNotes(shrunk)));
    return text;
}

std::string DefectText(const Scenario &explored, uint64_t seed, const DefectFinding &d, Trial run)
{
    run.scenario.explore.reset();
    return "# zelm-sim explore: " + Origin(explored, seed, d.firstRun) + " " + DefectName(d.defect) + ": " + d.detail +
           "\n\n" + ScenarioYaml(run.scenario, FaultNotes(run));
}

}  // namespace zsim
