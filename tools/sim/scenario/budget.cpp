// The memory estimate of a run. The costs are peak resident bytes measured with the release build on
// generated clusters of several sizes (docs/performance.md, scripts/sim-scale.sh): the library's records,
// the agents' copies, the simulator's packed atoms and its configuration of each record, together.
#include "scenario/budget.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "scenario/scenario.h"
#include "text/units.h"

namespace zsim {

namespace {

constexpr double kBaseBytes = 8e6;
constexpr double kNodeBytes = 1300;
constexpr double kLocationBytes = 1700;
constexpr double kComponentBytes = 360;
constexpr double kTypeBytes = 700;
constexpr double kGroupBytes = 500;
constexpr double kEventBytes = 300;
// A request's entries are copied while it is in flight (the library's request with its texts, the stand-in's
// copy and the agent's decoded entries); the agents decode at most 65536 of them.
constexpr double kRequestEntryBytes = 400;
constexpr double kMaxRequestEntries = 65536;
// The YAML parser keeps about this much per node of the document, and a node takes at least one of ",:-[{".
constexpr double kYamlNodeBytes = 600;
constexpr double kTextCopies = 2;

// A request in the history, with its share of fault periods (measured: 96 bytes a request over 728,000
// requests, docs/performance.md), and what the page takes per request while it is drawn.
constexpr double kHistoryRequestBytes = 130;
// The page's text, a few copies of it while it is put together; its layout bounds it near 4 MB.
constexpr double kPageBytes = 16e6;
// The smooth timers republish each flagged peer once a tick.
constexpr double kSmoothPeriodMs = 5000;

}  // namespace

ScenarioSize &ScenarioSize::operator+=(const ScenarioSize &more)
{
    nodes += more.nodes;
    locations += more.locations;
    components += more.components;
    types += more.types;
    groups += more.groups;
    events += more.events;
    burst = std::max(burst, more.burst);
    return *this;
}

ScenarioSize SizeOf(const Event &ev)
{
    ScenarioSize size{.events = 1};
    for (const AtomRef a : ev.atoms) {
        (a.cls == CfgClass::Location    ? size.locations
         : a.cls == CfgClass::Component ? size.components
         : a.cls == CfgClass::CompNode  ? size.types
                                        : size.groups) += 1;
    }
    return size;
}

double RunBytes(const ScenarioSize &s)
{
    const double largestRequest = std::max(std::min(std::max(s.locations, s.components), kMaxRequestEntries), s.burst);
    return kBaseBytes + s.nodes * kNodeBytes + s.locations * kLocationBytes + s.components * kComponentBytes +
           s.types * kTypeBytes + s.groups * kGroupBytes + s.events * kEventBytes + largestRequest * kRequestEntryBytes;
}

double ReadBytes(std::string_view text)
{
    double separators = 1;
    for (const char c : text) {
        separators += c == ',' || c == ':' || c == '-' || c == '[' || c == '{' ? 1 : 0;
    }
    return kBaseBytes + static_cast<double>(text.size()) * kTextCopies + separators * kYamlNodeBytes;
}

uint64_t MaxTextBytes(uint64_t limitBytes)
{
    return limitBytes / 16;
}

std::string RoundLimit(double bytes)
{
    // Whole megabytes below a gigabyte, whole gigabytes above.
    const double megabytes = std::ceil(bytes / (1 << 20));
    return megabytes < 1024 ? fmt::format("{:.0f}M", megabytes) : fmt::format("{:.0f}G", std::ceil(bytes / (1 << 30)));
}

std::string OverBudget(const std::string &what, double bytes, uint64_t limitBytes)
{
    return fmt::format("{} needs about {} of memory, more than the limit of {}; raise the limit with --memory-limit {}",
                       what, FormatBytes(static_cast<uint64_t>(std::min(bytes, 1e18))), FormatBytes(limitBytes),
                       RoundLimit(std::min(bytes, 1e18)));
}

std::optional<std::string> MemoryBudget::Add(const ScenarioSize &more)
{
    size_ += more;
    const double bytes = RunBytes(size_);
    if (bytes <= static_cast<double>(limit_)) {
        return std::nullopt;
    }
    return OverBudget("this scenario (" + Plural(size_.nodes, "node", "nodes") + ", " +
                          Plural(size_.locations, "location", "locations") + ", " +
                          Plural(size_.components, "component", "components") + ", " +
                          Plural(size_.types, "component type", "component types") + ", " +
                          Plural(size_.events, "event", "events") + " so far)",
                      bytes, limit_);
}

std::optional<std::string> HistoryOverBudget(const Scenario &sc, std::optional<uint64_t> untilMs, uint64_t limitBytes)
{
    ScenarioSize size{.nodes = static_cast<double>(sc.nodes.size())};
    double atoms = 0;
    double indexes = 0;  // announced by location reports: each a peer of its own for the component timer
    double starts = 0;
    for (const Event &ev : sc.events) {
        size += SizeOf(ev);
        atoms += static_cast<double>(ev.atoms.size());
        indexes += ev.kind == EventKind::LocationStatus ? 1 : 0;
        starts += ev.kind == EventKind::LibraryStart || ev.kind == EventKind::LibraryRestart ? 1 : 0;
    }
    const Ms lastEvent = sc.events.empty() ? 0 : sc.events.back().at;
    const Ms end = untilMs ? *untilMs : sc.until ? *sc.until : lastEvent + sc.settle;
    // Each atom and event sends at most one request; every peer may be sent one at each smooth tick and at
    // each library start (the replay).
    const double peers = size.nodes + indexes;
    const double requests =
        atoms + size.events + peers * (std::floor(static_cast<double>(end) / kSmoothPeriodMs) + 1 + starts);
    const double bytes = RunBytes(size) + kPageBytes + requests * kHistoryRequestBytes;
    if (bytes <= static_cast<double>(limitBytes)) {
        return std::nullopt;
    }
    return OverBudget("the run with a history of at most " + Plural(requests, "request", "requests"), bytes,
                      limitBytes);
}

}  // namespace zsim
