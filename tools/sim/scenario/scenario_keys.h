// The keys of every map a scenario file holds and the words its values may be: one table each, read by the
// reader and listed whole for the scenario's JSON Schema (docs/scenario.schema.json), which must agree.
#ifndef ZELM_SIM_SCENARIO_KEYS_H
#define ZELM_SIM_SCENARIO_KEYS_H

#include <span>
#include <string>
#include <vector>

#include "scenario/scenario.h"

namespace zsim {

inline constexpr const char *kScenarioKeys[] = {"name",  "description", "haRole",   "until",  "settle",
                                                "nodes", "timeline",    "generate", "report", "explore"};
inline constexpr const char *kReportKeys[] = {"holdings", "driftLimit"};
inline constexpr const char *kNodeKeys[] = {"name", "chassis", "slot", "cpu", "agent"};
// An event: its time, and one of the kinds after it.
inline constexpr const char *kEventKeys[] = {"at", "config", "link", "locationStatus", "agent", "haRole", "library"};
inline constexpr std::span<const char *const> kEventKinds = std::span(kEventKeys).subspan(1);
inline constexpr const char *kLinkKeys[] = {"node", "up"};
inline constexpr const char *kLocationStatusKeys[] = {"node", "service", "index", "available"};
inline constexpr const char *kAgentKeys[] = {"node",    "refuse", "refuseStatus", "fail", "failResult",
                                             "noReply", "result", "latency",      "down", "downFor"};
inline constexpr const char *kLibraryKeys[] = {"action", "replay"};
inline constexpr const char *kGenerateKeys[] =
    {"nodes",  "locationsPerNode", "componentTypes", "componentsPerLocation", "atomsPerMessage", "configAt",
     "linkAt", "stagger",          "image"};
inline constexpr const char *kExploreKeys[] = {"agents", "faults", "maxFaults", "window", "longest"};
inline constexpr const char *kWindowKeys[] = {"from", "to"};

inline constexpr const char *kHoldingsValues[] = {"full", "summary"};
inline constexpr const char *kOpCodeNames[] = {"add", "update", "delete"};  // operation codes 0, 1 and 2
inline constexpr const char *kLibraryActions[] = {"stop", "start", "restart"};

// The keys of an atom of this class: "class", "opCode", "seq" and its record's fields in record order.
std::vector<const char *> AtomKeys(CfgClass cls);
// The names a scenario gives to the classes, and to the fault kinds of `explore:`, in their order.
std::vector<const char *> ClassNames();
std::vector<const char *> FaultKindNames();

// A table by the name the schema gives it: the keys of a map ("scenario", "node", "event", an atom's class,
// ...) or the words of a value ("class", "faultKind", ...).
struct NamedTable {
    std::string name;
    std::vector<std::string> entries;
};
std::vector<NamedTable> ScenarioMapKeys();
std::vector<NamedTable> ScenarioWords();

}  // namespace zsim

#endif
