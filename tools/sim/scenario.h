// The scenario model: a cluster, its starting HA role and a timeline of events, as read from YAML.
#ifndef ZELM_SIM_SCENARIO_H
#define ZELM_SIM_SCENARIO_H

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "zelm_config.h"

namespace zsim {

using Ms = uint64_t;  // virtual milliseconds

// A place in a scenario file, 1-based; line 0 means "no place" (built from code).
struct Mark {
    int line = 0;
    int col = 0;
};

// Unusable input: reported as "file:line:col: message" and nothing runs.
class ScenarioError : public std::runtime_error {
public:
    ScenarioError(std::string file, Mark mark, const std::string &msg);
    std::string file;
    Mark mark;
    std::string message;
};

struct NodeDecl {
    std::string name;
    uint32_t chassis = 0;
    uint32_t slot = 0;
    uint32_t cpu = 0;
    bool agent = true;
    uint32_t osNodeId = 0;  // ((cpu << 16) + (chassis << 8) + slot) cut to 24 bits
};

enum class CfgClass { Location, LogicGroup, Component, CompNode };

union CfgRecord {
    ZelmLocInstCfg loc;
    ZelmLogicLocGrpCfg grp;
    ZelmCompInstCfg comp;
    ZelmCompNodeCfg node;
};

struct Atom {
    CfgClass cls = CfgClass::Location;
    uint16_t opCode = 0;
    uint16_t seq = 0;
    CfgRecord rec{};
};

enum class EventKind { Config, Link, LocationStatus, Agent, HaRole, LibraryStop, LibraryStart };

// Changes to a node agent's behaviour; unset fields keep their value.
struct AgentChange {
    std::optional<uint32_t> refuse, refuseStatus, fail, failResult, noReply, result;
    std::optional<Ms> latency;
    std::optional<bool> down;
};

struct Event {
    Ms at = 0;
    Mark mark;
    EventKind kind = EventKind::Config;
    std::vector<Atom> atoms;  // Config: one table message
    size_t node = 0;          // Link, LocationStatus, Agent: index into Scenario::nodes
    bool up = false;          // Link: link up; LocationStatus: available
    std::string service;      // LocationStatus
    uint32_t locIndex = 0;    // LocationStatus
    AgentChange agent;        // Agent
    uint32_t haRole = 0;      // HaRole
    bool replay = true;       // LibraryStart: replay configuration and status to the new library
};

// How much of the holdings the report lists.
struct ReportOptions {
    bool fullHoldings = true;  // false: per agent counts only
    size_t driftLimit = 0;     // 0: list every drift item
};

struct Scenario {
    std::string name;
    std::string description;
    std::string source;  // file name, or "<built-in>"
    uint32_t haRole = 0;
    std::optional<Ms> until;
    Ms settle = 60000;
    std::vector<NodeDecl> nodes;
    std::vector<Event> events;  // sorted by time, file order kept among equal times
    ReportOptions report;
};

// Parses a scenario from YAML text; `source` names it in error messages. Throws ScenarioError.
Scenario ParseScenario(const std::string &text, const std::string &source);
// Reads and parses a scenario file. Throws ScenarioError (also for a file that cannot be read).
Scenario LoadScenario(const std::string &path);
// The built-in scenario's YAML text.
const char *BuiltinScenarioText();

// "5s", "250ms", "1.5s", "2m", "1h" or a plain number of milliseconds; nullopt when malformed.
std::optional<Ms> ParseDuration(const std::string &text);
// Virtual time as seconds with three decimals ("12.500").
std::string FormatTime(Ms t);

uint32_t OsNodeIdOf(uint32_t chassis, uint32_t slot, uint32_t cpu);
// A number as "%#x" prints it ("0x80000000", "0").
std::string Hex(uint32_t v);
const char *ClassName(CfgClass cls);
uint32_t ClassId(CfgClass cls);

}  // namespace zsim

#endif
