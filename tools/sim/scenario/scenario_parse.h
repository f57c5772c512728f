// Private to the scenario parser: the pieces shared by its files.
#ifndef ZELM_SIM_SCENARIO_PARSE_H
#define ZELM_SIM_SCENARIO_PARSE_H

#include <string>
#include <unordered_map>
#include <vector>

#include "scenario/budget.h"
#include "scenario/scenario.h"
#include "scenario/yaml_read.h"

namespace zsim {

// Node names and service names: the library keys locations by service names of at most 63 characters.
inline constexpr size_t kMaxNameLength = 63;

// The declared nodes with each one's index by name: a scenario may declare millions of nodes, and every
// event and atom that names one looks it up.
struct NodeIndex {
    const std::vector<NodeDecl> &nodes;
    std::unordered_map<std::string, size_t> byName;  // the first node of each name
};

// The index of the declared node named by `node`; fails on an unknown name.
size_t FindNode(const YamlReader &r, const YAML::Node &node, const NodeIndex &index);
Atom ParseAtom(const YamlReader &r, const YAML::Node &node, const NodeIndex &index, uint16_t defaultSeq);
// Expands a `generate:` block into nodes and events appended to `sc` (events unsorted), after charging the budget.
void Generate(const YamlReader &r, const YAML::Node &block, Scenario &sc, MemoryBudget &budget);
// Reads an `explore:` section; the scenario's nodes and timeline must be read before.
ExploreBudget ParseExplore(const YamlReader &r, const YAML::Node &block, const Scenario &sc, const NodeIndex &index);

}  // namespace zsim

#endif
