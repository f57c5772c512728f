// The cost of each kind of entry into the library: summing the stand-in's counts, naming the largest entry,
// and saying why a kind that dominates costs what it does, in the library's terms.
#include "run/cost.h"

#include <fmt/format.h>

#include <algorithm>

#include "run/lib_view.h"
#include "run/sim_state.h"

namespace zsim {

namespace {

constexpr const char *kKindNames[kEntryKinds] = {"configuration messages",
                                                 "RPC completions",
                                                 "timer ticks",
                                                 "OS-node link reports",
                                                 "location-status reports",
                                                 "library start and stop"};
constexpr const char *kKindKeys[kEntryKinds] = {"configMessages",    "rpcCompletions",        "timerTicks",
                                                "osNodeLinkReports", "locationStatusReports", "libraryStartStop"};
constexpr const char *kTreeNames[kTreeFunctions] = {"AXO_AVL3_First", "AXO_AVL3_Next", "AXO_AVL3_Find",
                                                    "AXO_AVL3_Insert_Or_Find", "AXO_AVL3_Delete"};

// A kind dominates the run's cost from this share of its tree steps on.
constexpr double kDominantShare = 0.5;

bool Larger(const EntryCounts &a, const EntryCounts &b)
{
    return a.TreeSteps() != b.TreeSteps() ? a.TreeSteps() > b.TreeSteps() : a.hostBytes > b.hostBytes;
}

size_t BusiestFunction(const EntryCounts &c)
{
    return static_cast<size_t>(std::max_element(c.tree.begin(), c.tree.end()) - c.tree.begin());
}

std::string NodeName(const SimState &s, size_t node, uint32_t osNodeId)
{
    return node == SIZE_MAX ? fmt::format("OS node {}", Hex(osNodeId)) : s.scenario.nodes[node].name;
}

std::string CompletionText(const SimState &s, const STANDIN_RpcCall &call)
{
    const size_t node = s.NodeOfHandle(call.handle);
    std::string to = node == SIZE_MAX ? fmt::format("handle {}", call.handle) : s.scenario.nodes[node].name;
    if (call.kind == STANDIN_RPC_COMP) {
        to += fmt::format(", locIndex {}", call.locIndex);
    }
    const std::string outcome = call.result.success == 0 ? "failed"
                                : call.replied == 0      ? "no reply"
                                : call.replyResult == 0  ? "applied"
                                                         : fmt::format("result {}", call.replyResult);
    return fmt::format("completion of request #{} ({} to {}, {}): {}", call.callId, call.method, to,
                       Plural(call.entryNum, "entry", "entries"), outcome);
}

// Why the walks of a kind cost what they do, and how that grows.
std::string WalkWhy(size_t kind, const KindCost &k)
{
    switch (kind) {
    case STANDIN_ENTRY_RPC_COMPLETION:
        if (k.doing == k.doingComp) {
            return fmt::format(
                "each of the {} successful completions walks all the component locations the library "
                "holds (up to {}) to decide whether the smooth timer may stop; it grows per "
                "completion with the number of component locations",
                Grouped(k.doing), Grouped(k.peak.compLocations));
        }
        return fmt::format(
            "each of the {} successful completions walks every peer of its module to decide whether "
            "the smooth timer may stop: all the component locations (up to {}) after a component "
            "request, all the OS nodes (up to {}) after a location request; it grows per completion "
            "with the number of component locations and of OS nodes",
            Grouped(k.doing), Grouped(k.peak.compLocations), Grouped(k.peak.osNodes));
    case STANDIN_ENTRY_OSNODE_LINK:
        return fmt::format(
            "each of the {} link-ups walks all the locations the library holds (up to {}) to pick "
            "out the OS node's own; it grows per link-up with the number of locations",
            Grouped(k.doing), Grouped(k.peak.locations));
    case STANDIN_ENTRY_TIMER_TICK:
        return fmt::format(
            "each of the {} ticks walks every peer of its timer's module (up to {} component "
            "locations, {} OS nodes) to republish the flagged ones, and each flagged OS node's "
            "locations are picked out of all {}; it grows per tick with the peers and the "
            "flagged ones",
            Grouped(k.total.entries), Grouped(k.peak.compLocations), Grouped(k.peak.osNodes),
            Grouped(k.peak.locations));
    case STANDIN_ENTRY_CONFIG:
        return "component-type updates walk every component location and every component stored there to find "
               "the type's components; each grows with all the components stored";
    case STANDIN_ENTRY_LOCATION_STATUS:
        return fmt::format(
            "each of the {} reports that makes an index available publishes all the components "
            "stored at it in one request, walking them; it grows per report with the components "
            "of a location",
            Grouped(k.doing));
    default:
        return "stopping the library walks and releases every record it holds; it grows with the records";
    }
}

std::string LookupWhy(size_t kind, const KindCost &k)
{
    const EntryCounts &t = k.total;
    switch (kind) {
    case STANDIN_ENTRY_RPC_COMPLETION:
        return fmt::format(
            "each completion looks up every entry of its request to note its publication state "
            "({} entries in {} completions); it grows with the entries per request",
            Grouped(t.rpcEntries), Grouped(t.entries));
    case STANDIN_ENTRY_CONFIG:
        return "each atom looks its record up and stores it; it grows with the atoms, and with the logarithm of "
               "the records stored";
    default:
        return fmt::format(
            "{:.1f} steps per entry, lookups and stores of single records; it grows with the "
            "entries",
            static_cast<double>(t.TreeSteps()) / static_cast<double>(std::max<uint64_t>(t.entries, 1)));
    }
}

}  // namespace

uint64_t EntryCounts::TreeSteps() const
{
    uint64_t n = 0;
    for (const uint64_t calls : tree) {
        n += calls;
    }
    return n;
}

EntryCounts &EntryCounts::operator+=(const EntryCounts &more)
{
    entries += more.entries;
    for (size_t f = 0; f < kTreeFunctions; ++f) {
        tree[f] += more.tree[f];
    }
    hostAllocs += more.hostAllocs;
    hostBytes += more.hostBytes;
    rpcRequests += more.rpcRequests;
    rpcEntries += more.rpcEntries;
    return *this;
}

uint64_t CostTable::TreeSteps() const
{
    uint64_t n = 0;
    for (const KindCost &k : kinds) {
        n += k.total.TreeSteps();
    }
    return n;
}

const char *EntryKindName(size_t kind)
{
    return kind < kEntryKinds ? kKindNames[kind] : "?";
}

const char *EntryKindKey(size_t kind)
{
    return kind < kEntryKinds ? kKindKeys[kind] : "?";
}

const char *TreeFunctionName(size_t function)
{
    return function < kTreeFunctions ? kTreeNames[function] : "?";
}

std::string Grouped(uint64_t n)
{
    const std::string digits = fmt::format("{}", n);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) {
            out += ',';
        }
        out += digits[i];
    }
    return out;
}

Dominant DominantCost(const CostTable &cost)
{
    Dominant d;
    const uint64_t all = cost.TreeSteps();
    for (size_t kind = 0; kind < kEntryKinds && all != 0; ++kind) {
        const KindCost &k = cost.kinds[kind];
        const double share = static_cast<double>(k.total.TreeSteps()) / static_cast<double>(all);
        if (share < kDominantShare) {
            continue;
        }
        const size_t busiest = BusiestFunction(k.total);
        const bool walks = busiest == STANDIN_TREE_NEXT || busiest == STANDIN_TREE_FIRST || kind == STANDIN_ENTRY_HOST;
        d.kind = kind;
        d.share = share;
        d.percent = static_cast<unsigned>(share * 100 + 0.5);
        d.why = walks ? WalkWhy(kind, k) : LookupWhy(kind, k);
        break;
    }
    return d;
}

CostMeter::~CostMeter()
{
    if (installed_) {
        STANDIN_EntrySetObserver(nullptr, nullptr);
    }
}

void CostMeter::Install()
{
    STANDIN_EntrySetObserver(&CostMeter::Thunk, this);
    installed_ = true;
}

void CostMeter::Thunk(const STANDIN_Entry *entry, void *self)
{
    static_cast<CostMeter *>(self)->Count(*entry);
}

void CostMeter::Count(const STANDIN_Entry &e)
{
    if (static_cast<size_t>(e.kind) >= kEntryKinds) {
        return;
    }
    KindCost &k = state_.cost.kinds[e.kind];
    EntryCounts c;
    c.entries = 1;
    std::copy(std::begin(e.treeCalls), std::end(e.treeCalls), c.tree.begin());
    c.hostAllocs = e.hostAllocs;
    c.hostBytes = e.hostBytes;
    c.rpcRequests = e.rpcCalls;
    c.rpcEntries = e.rpcEntries;
    k.total += c;
    if (k.total.entries == 1 || Larger(c, k.largest)) {
        k.largest = c;
        k.largestAt = e.timeMs;
        k.largestWhat = Describe(e);
    }
    const bool succeeded = e.call != nullptr && e.call->replied != 0 && e.call->replyResult == 0;
    k.doing += (e.kind == STANDIN_ENTRY_RPC_COMPLETION ? succeeded : e.up != 0) ? 1 : 0;
    k.doingComp += succeeded && e.call->kind == STANDIN_RPC_COMP ? 1 : 0;
    LibrarySizes now;
    LibCounts(&now.locations, &now.osNodes, &now.compLocations);
    k.peak.locations = std::max(k.peak.locations, now.locations);
    k.peak.osNodes = std::max(k.peak.osNodes, now.osNodes);
    k.peak.compLocations = std::max(k.peak.compLocations, now.compLocations);
}

std::string CostMeter::Describe(const STANDIN_Entry &e) const
{
    const SimState &s = state_;
    switch (e.kind) {
    case STANDIN_ENTRY_CONFIG:
        return fmt::format("configuration message of {}{}{}", Plural(e.atoms, "atom", "atoms"),
                           configWhat.empty() ? "" : ", ", configWhat);
    case STANDIN_ENTRY_RPC_COMPLETION:
        return e.call == nullptr ? "completion" : CompletionText(s, *e.call);
    case STANDIN_ENTRY_TIMER_TICK:
        return fmt::format("tick of {}", e.name != nullptr ? e.name : "a timer");
    case STANDIN_ENTRY_OSNODE_LINK:
        return fmt::format("link {} report of {}", e.up != 0 ? "up" : "down",
                           NodeName(s, s.NodeOfId(e.osNodeId), e.osNodeId));
    case STANDIN_ENTRY_LOCATION_STATUS:
        return fmt::format("location {} on {} {}", e.name != nullptr ? e.name : "?",
                           NodeName(s, s.NodeOfId(e.osNodeId), e.osNodeId),
                           e.up != 0 ? "available under index " + IndexText(e.locIndex) : std::string("not available"));
    default:
        return hostWhat;
    }
}

}  // namespace zsim
