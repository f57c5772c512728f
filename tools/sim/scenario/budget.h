// What a scenario's run will take in memory, estimated from measured costs per record, against a limit.
#ifndef ZELM_SIM_BUDGET_H
#define ZELM_SIM_BUDGET_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zsim {

struct Event;
struct Scenario;

// What a scenario brings, as records the run keeps: configuration atoms by class, nodes and events.
struct ScenarioSize {
    double nodes = 0;
    double locations = 0;
    double components = 0;
    double types = 0;
    double groups = 0;
    double events = 0;
    // Request entries that may be in flight at the same time beyond the largest request: a generated
    // cluster's locations are all announced at once (or a node's at a time), each with its components.
    double burst = 0;

    ScenarioSize &operator+=(const ScenarioSize &more);
};

// What one timeline event brings: itself and its configuration atoms by class.
ScenarioSize SizeOf(const Event &ev);

// The bytes a run of this size takes at its peak.
double RunBytes(const ScenarioSize &size);
// The bytes that reading this YAML text takes, from its length and the nodes it can hold.
double ReadBytes(std::string_view text);
// The longest text worth reading within the limit, whatever it holds.
uint64_t MaxTextBytes(uint64_t limitBytes);

class MemoryBudget {
public:
    explicit MemoryBudget(uint64_t limitBytes) : limit_(limitBytes) {}
    // Counts what a part of the scenario adds; the message to refuse it with once the whole no longer fits.
    std::optional<std::string> Add(const ScenarioSize &more);

private:
    uint64_t limit_;
    ScenarioSize size_;
};

// With the run's history kept (for the timeline page): the message to refuse the scenario with when its run
// and the history together may need more than the limit. `untilMs` is the report time the command line
// gives, if any.
std::optional<std::string> HistoryOverBudget(const Scenario &sc, std::optional<uint64_t> untilMs, uint64_t limitBytes);

// The smallest --memory-limit in whole megabytes (below a gigabyte) or whole gigabytes that holds `bytes`: "9M".
std::string RoundLimit(double bytes);
// The message for something that needs `bytes` where `limitBytes` are allowed, with the smallest limit that
// allows it; `what` says what it is.
std::string OverBudget(const std::string &what, double bytes, uint64_t limitBytes);

}  // namespace zsim

#endif
