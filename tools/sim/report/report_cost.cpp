// The report's COST part as text: per kind of entry into the library, its work; the largest entries; and why
// the kind that dominates costs what it does.
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "report/report_text.h"
#include "text/units.h"

namespace zsim {

namespace {

constexpr size_t kColumns = 11;
constexpr std::array<const char *, kColumns> kHeads = {"COUNT", "TREE STEPS", "FIRST",      "NEXT",
                                                       "FIND",  "INSERT",     "DELETE",     "ALLOCS",
                                                       "BYTES", "REQUESTS",   "REQ ENTRIES"};

std::array<std::string, kColumns> Cells(const EntryCounts &c)
{
    return {Grouped(c.entries),   Grouped(c.TreeSteps()), Grouped(c.tree[0]),   Grouped(c.tree[1]),
            Grouped(c.tree[2]),   Grouped(c.tree[3]),     Grouped(c.tree[4]),   Grouped(c.hostAllocs),
            Grouped(c.hostBytes), Grouped(c.rpcRequests), Grouped(c.rpcEntries)};
}

std::string Counted(uint64_t n, const char *one, const char *many)
{
    return Grouped(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string LargestText(const KindCost &k)
{
    const EntryCounts &c = k.largest;
    return fmt::format("at {}: {}: {} tree steps, {} ({} bytes), {} with {}", Seconds(k.largestAt), k.largestWhat,
                       Grouped(c.TreeSteps()), Counted(c.hostAllocs, "allocation", "allocations"), Grouped(c.hostBytes),
                       Counted(c.rpcRequests, "request", "requests"), Counted(c.rpcEntries, "entry", "entries"));
}

std::string CostLine(const Report &r)
{
    const CostTable &cost = r.cost;
    uint64_t entries = 0;
    for (const KindCost &k : cost.kinds) {
        entries += k.total.entries;
    }
    std::string line =
        fmt::format("Cost: {} tree steps in {} entries into the library", Grouped(cost.TreeSteps()), Grouped(entries));
    const Dominant d = DominantCost(cost);
    if (d.kind == kEntryKinds) {
        return line + "; no kind of entry takes half of them.";
    }
    return line + fmt::format("; {} take {}: {}.", EntryKindName(d.kind), fmt::format("{} %", d.percent), d.why);
}

void WriteCost(const Painter &p, const Report &r)
{
    p.Line("");
    p.Line(p.Bold("COST") +
           "  the library's work per kind of entry into it: tree steps (calls of AXO_AVL3_First, Next, Find,");
    p.Line("      Insert_Or_Find, Delete), host allocations and bytes, RPC requests and their entries");
    std::vector<std::array<std::string, kColumns>> rows;
    std::array<size_t, kColumns> widths{};
    for (size_t i = 0; i < kColumns; ++i) {
        widths[i] = std::string(kHeads[i]).size();
    }
    for (const KindCost &k : r.cost.kinds) {
        rows.push_back(Cells(k.total));
        for (size_t i = 0; i < kColumns; ++i) {
            widths[i] = std::max(widths[i], rows.back()[i].size());
        }
    }
    std::string head = "  " + Pad("ENTRY", 24);
    for (size_t i = 0; i < kColumns; ++i) {
        head += "  " + PadLeft(kHeads[i], widths[i]);
    }
    p.Line(head);
    for (size_t kind = 0; kind < kEntryKinds; ++kind) {
        std::string line = "  " + Pad(EntryKindName(kind), 24);
        for (size_t i = 0; i < kColumns; ++i) {
            line += "  " + PadLeft(rows[kind][i], widths[i]);
        }
        p.Line(line);
    }
    p.Line("  the largest single entry of each kind, by tree steps:");
    for (size_t kind = 0; kind < kEntryKinds; ++kind) {
        const KindCost &k = r.cost.kinds[kind];
        if (k.total.entries != 0) {
            p.Line("    " + Pad(EntryKindName(kind), 24) + LargestText(k));
        }
    }
    const Dominant d = DominantCost(r.cost);
    if (d.kind != kEntryKinds) {
        p.Line(fmt::format("  {} take {} of the tree steps: {}", EntryKindName(d.kind), fmt::format("{} %", d.percent),
                           d.why));
    }
}

}  // namespace zsim
