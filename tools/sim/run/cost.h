// What the library did on each kind of entry into it: tree steps, host allocations, RPC requests, as counted
// by the stand-in, summed per kind, with the largest single entry of each.
#ifndef ZELM_SIM_COST_H
#define ZELM_SIM_COST_H

#include <array>
#include <cstdint>
#include <string>

#include "text/units.h"
#include "zelm_standin.h"

namespace zsim {

// The kinds in the order the report lists them (the stand-in's entry kinds).
inline constexpr size_t kEntryKinds = STANDIN_ENTRY_KINDS;
inline constexpr size_t kTreeFunctions = STANDIN_TREE_FUNCTIONS;

struct EntryCounts {
    uint64_t entries = 0;
    std::array<uint64_t, kTreeFunctions> tree{};  // AXO_AVL3_First, Next, Find, Insert_Or_Find, Delete
    uint64_t hostAllocs = 0;
    uint64_t hostBytes = 0;
    uint64_t rpcRequests = 0;
    uint64_t rpcEntries = 0;

    uint64_t TreeSteps() const;
    EntryCounts &operator+=(const EntryCounts &more);
};

// The library's peers and records when an entry ended: what a walk over them would step through.
struct LibrarySizes {
    uint64_t locations = 0;
    uint64_t osNodes = 0;
    uint64_t compLocations = 0;
};

struct KindCost {
    EntryCounts total;
    // The single entry with the most tree steps (then host bytes); the first of equals.
    EntryCounts largest;
    Ms largestAt = 0;
    std::string largestWhat;
    // Entries that did what makes them walk: successful completions (of component requests apart), link-ups,
    // available reports.
    uint64_t doing = 0;
    uint64_t doingComp = 0;
    LibrarySizes peak;  // the largest sizes seen at the end of an entry of this kind
};

struct CostTable {
    std::array<KindCost, kEntryKinds> kinds;
    uint64_t TreeSteps() const;
};

struct SimState;

// Sums the stand-in's entries into the state's cost table while it is installed.
class CostMeter {
public:
    explicit CostMeter(SimState &state) : state_(state) {}
    ~CostMeter();
    CostMeter(const CostMeter &) = delete;
    CostMeter &operator=(const CostMeter &) = delete;

    void Install();
    // What the next configuration message and host call are, for the largest entries: "event 12".
    std::string configWhat;
    std::string hostWhat;

private:
    static void Thunk(const STANDIN_Entry *entry, void *self);
    void Count(const STANDIN_Entry &entry);
    std::string Describe(const STANDIN_Entry &entry) const;

    SimState &state_;
    bool installed_ = false;
};

// A kind as the report names it: "RPC completions"; and as JSON does: "rpcCompletions".
const char *EntryKindName(size_t kind);
const char *EntryKindKey(size_t kind);
// A tree function's name: "AXO_AVL3_Next".
const char *TreeFunctionName(size_t function);
// The kind that took at least half of the run's tree steps, if one did, and why in the library's terms.
struct Dominant {
    size_t kind = kEntryKinds;  // kEntryKinds: none
    double share = 0;
    unsigned percent = 0;  // the share in whole percent, rounded
    std::string why;
};
Dominant DominantCost(const CostTable &cost);
// 1234567 as "1,234,567".
std::string Grouped(uint64_t n);

}  // namespace zsim

#endif
