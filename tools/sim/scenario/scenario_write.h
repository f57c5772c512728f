// Writing a scenario as YAML that reads back to the same run: the form of explore's reproducers.
#ifndef ZELM_SIM_SCENARIO_WRITE_H
#define ZELM_SIM_SCENARIO_WRITE_H

#include <string>
#include <string_view>
#include <vector>

#include "scenario/scenario.h"

namespace zsim {

// The scenario as YAML: its nodes and every event in its order, at absolute times, generated and implied
// events written out as events of their own (a `downFor` as a down and an up). `notes` holds a comment for
// each event (empty: none), written above it. The `explore:` section is left out.
std::string ScenarioYaml(const Scenario &sc, const std::vector<std::string> &notes = {});

// A time as a scenario writes it: "0", "250ms", "12s".
std::string YamlTime(Ms t);

}  // namespace zsim

#endif
