// The scenario model: a cluster, its starting HA role and a timeline of events, as read from YAML.
#ifndef ZELM_SIM_SCENARIO_H
#define ZELM_SIM_SCENARIO_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "scenario/explore_budget.h"
#include "text/units.h"
#include "zelm_config.h"

namespace zsim {

// A place in a scenario file, 1-based; line 0 means "no place" (built from code).
struct Mark {
    int line = 0;
    int col = 0;
};

// "file:line:col", or the file alone for no place.
std::string Place(const std::string &file, Mark mark);

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

// An atom as it is built: any class's record in one union.
struct Atom {
    CfgClass cls = CfgClass::Location;
    uint16_t opCode = 0;
    uint16_t seq = 0;
    CfgRecord rec{};
};

// The length of a class's record, as the library reads it.
uint32_t RecordLen(CfgClass cls);

// An atom as it is read: its record where it lies (in an AtomList, or in an Atom), by its class's type.
struct AtomRef {
    AtomRef(CfgClass c, uint16_t op, uint16_t sq, const void *record) : cls(c), opCode(op), seq(sq), rec_(record) {}
    AtomRef(const Atom &a) : AtomRef(a.cls, a.opCode, a.seq, &a.rec) {}  // NOLINT: an Atom reads as itself

    CfgClass cls;
    uint16_t opCode;
    uint16_t seq;
    const void *Record() const { return rec_; }
    const ZelmLocInstCfg &Loc() const { return *static_cast<const ZelmLocInstCfg *>(rec_); }
    const ZelmLogicLocGrpCfg &Grp() const { return *static_cast<const ZelmLogicLocGrpCfg *>(rec_); }
    const ZelmCompInstCfg &Comp() const { return *static_cast<const ZelmCompInstCfg *>(rec_); }
    const ZelmCompNodeCfg &Node() const { return *static_cast<const ZelmCompNodeCfg *>(rec_); }

private:
    const void *rec_;
};

// The atoms of one configuration message, packed: each record at its class's length after two words of
// class, operation and sequence number, so that a generated cluster keeps a component in 92 bytes. The
// records never move while the list is not changed: the configuration the simulator keeps points at them.
class AtomList {
public:
    class Iterator {
    public:
        using value_type = AtomRef;
        using difference_type = std::ptrdiff_t;
        Iterator() = default;
        explicit Iterator(const uint32_t *at) : at_(at) {}
        AtomRef operator*() const;
        Iterator &operator++();
        Iterator operator++(int)
        {
            Iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const Iterator &other) const { return at_ == other.at_; }

    private:
        const uint32_t *at_ = nullptr;
    };

    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    AtomRef front() const { return *begin(); }
    // The index-th atom, walked to from the first: records differ in length.
    AtomRef At(size_t index) const;
    Iterator begin() const { return Iterator(words_.data()); }
    Iterator end() const { return Iterator(words_.data() + words_.size()); }
    void push_back(const Atom &a);
    // Removes the index-th atom.
    void erase(size_t index);
    // Gives back what growing the list left unused.
    void ShrinkToFit() { words_.shrink_to_fit(); }

private:
    std::vector<uint32_t> words_;
    size_t count_ = 0;
};

enum class EventKind { Config, Link, LocationStatus, Agent, HaRole, LibraryStop, LibraryStart, LibraryRestart };

// Where an event comes from: an entry of the timeline, the recovery a `downFor` implies, or `generate`.
enum class EventOrigin { Written, Implied, Generated };

// Changes to a node agent's behaviour; unset fields keep their value.
struct AgentChange {
    std::optional<uint32_t> refuse, refuseStatus, fail, failResult, noReply, result;
    std::optional<Ms> latency;
    std::optional<bool> down;
};

// The counts of an agent change by their keys in a scenario: one table, so that the reader and the writer of
// scenarios cannot come to disagree on a key.
struct AgentCount {
    const char *key;
    std::optional<uint32_t> AgentChange::*field;
};
inline constexpr AgentCount kAgentCounts[] = {{"refuse", &AgentChange::refuse},
                                              {"refuseStatus", &AgentChange::refuseStatus},
                                              {"fail", &AgentChange::fail},
                                              {"failResult", &AgentChange::failResult},
                                              {"noReply", &AgentChange::noReply},
                                              {"result", &AgentChange::result}};

struct Event {
    Ms at = 0;
    Mark mark;
    EventKind kind = EventKind::Config;
    EventOrigin origin = EventOrigin::Written;
    AtomList atoms;         // Config: one table message
    size_t node = 0;        // Link, LocationStatus, Agent: index into Scenario::nodes
    std::string service;    // LocationStatus
    AgentChange agent;      // Agent
    uint32_t locIndex = 0;  // LocationStatus
    uint32_t haRole = 0;    // HaRole
    bool up = false;        // Link: link up; LocationStatus: available
    bool replay = true;     // LibraryStart, LibraryRestart: replay configuration and status to the new library
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
    std::optional<ExploreBudget> explore;  // the `explore:` section, defaults resolved
    // What the file says that is valid but likely not what was meant (a time without its unit, events out of
    // time order): "file:line:col: warning: ..." each, in file order.
    std::vector<std::string> warnings;
};

// What reading a scenario may take. A scenario is refused when the estimated memory of its run
// (measured costs per node, location, component, type and event) or of reading its file exceeds `memoryBytes`.
struct ReadLimits {
    uint64_t memoryBytes = uint64_t{4} << 30;
};

// An atom of this class as a scenario gives it when it leaves every field out: an add, the record's
// fields 0 or empty but for the defaults that make the library act on it.
Atom BlankAtom(CfgClass cls);
// What an agent event changes, as the trace says it: "refuse next 2, fail next 1, failure result 5".
std::string AgentChangeText(const AgentChange &change);

// Parses a scenario from YAML text; `source` names it in error messages. Throws ScenarioError.
Scenario ParseScenario(const std::string &text, const std::string &source, const ReadLimits &limits = {});
// Reads and parses a scenario file; "-" reads standard input. Throws ScenarioError (also for a path that
// cannot be read, is a directory or a device, or is too large). With `text`, the text read goes there.
Scenario LoadScenario(const std::string &path, const ReadLimits &limits = {}, std::string *text = nullptr);
// The built-in scenario's YAML text.
const char *BuiltinScenarioText();

// Every time in a scenario (and --until) is at most this: 24 hours.
inline constexpr Ms kMaxTime = 24ull * 3600 * 1000;

enum class TimeError { None, Malformed, NotWhole, TooLarge };
struct TimeValue {
    Ms ms = 0;
    TimeError error = TimeError::None;
};
// "5s", "250ms", "1.5s", "2m", "1h" or a plain number of milliseconds, up to kMaxTime.
TimeValue ReadTime(const std::string &text);
// The message for a time that could not be read: "at must be a time such as ..., not '5 seconds'".
std::string TimeProblem(const std::string &what, const std::string &text, TimeError error);
// The location index a report gives for "no valid index" (`index: invalid` in a scenario).
inline constexpr uint32_t kInvalidIndex = 0xFFFFFFFFu;
// A location index as the trace and the page show it: the number, or "invalid".
std::string IndexText(uint32_t index);

uint32_t OsNodeIdOf(uint32_t chassis, uint32_t slot, uint32_t cpu);
const char *ClassName(CfgClass cls);
// An atom's key as reports name it: "LocId 4", "locIndex 2" (a logic group), "6/601" (index/compInst), "compType 10".
std::string AtomKey(AtomRef a);
// "add", "update", "delete", or "op" for an operation code that has no effect.
const char *AtomOpName(uint16_t opCode);
uint32_t ClassId(CfgClass cls);

}  // namespace zsim

#endif
