// The AGENTS part of the text report: one row per node (alike nodes folded in summary reports), and
// under each row in full reports what the agent holds, beside the library's publication state.
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <map>
#include <span>
#include <tuple>

#include "report/report_paint.h"
#include "report/report_text.h"
#include "text/units.h"

namespace zsim {

namespace {

constexpr size_t kColumns = 11;
using Row = std::array<std::string, kColumns>;
const Row kHeader = {"NODE", "OSNODE", "LINK", "AGENT",   "LIBRARY",  "REQ",
                     "FAIL", "LOC",    "COMP", "CHANGED", "CONVERGED"};
constexpr bool kRightAligned[kColumns] = {false, false, false, false, false, true, true, true, true, true, false};

std::string OsNodeId(uint32_t id)
{
    return fmt::format("0x{:06x}", id);
}

std::string Converged(const AgentReport &a)
{
    return a.convergedAt ? Seconds(*a.convergedAt) : "no: " + Plural(a.driftItems, "drift item", "drift items");
}

Row RowOf(const AgentReport &a)
{
    return {a.node,
            OsNodeId(a.osNodeId),
            a.linkUp ? "up" : "down",
            a.hasAgent ? (a.agentDown ? "down" : "up") : "none",
            a.libNode + (a.libFault ? ", fault" : ""),
            fmt::format("{}", a.requests),
            fmt::format("{}", a.failures),
            fmt::format("{}", a.locCount),
            fmt::format("{}", a.compCount),
            a.lastChangeAt ? Seconds(*a.lastChangeAt) : "-",
            Converged(a)};
}

// Nodes whose rows differ only in name, identifier and times; each group in the order of its first node.
// `rows` holds each agent's row, in the order of `r.agents`.
std::vector<std::vector<size_t>> AlikeGroups(const Report &r, std::span<const Row> rows)
{
    std::map<std::vector<std::string>, size_t> groupOf;
    std::vector<std::vector<size_t>> groups;
    for (size_t n = 0; n < r.agents.size(); ++n) {
        const Row &row = rows[n];
        std::vector<std::string> key(row.begin() + 2, row.begin() + 9);
        key.push_back(fmt::format("{}", r.agents[n].driftItems));
        const auto [it, fresh] = groupOf.emplace(key, groups.size());
        if (fresh) {
            groups.emplace_back();
        }
        groups[it->second].push_back(n);
    }
    return groups;
}

std::string AlikeLine(const Report &r, const std::vector<size_t> &group)
{
    const AgentReport &first = r.agents[group.front()];
    std::string line = "  " + Plural(group.size() - 1, "more node", "more nodes") + " like " + first.node;
    if (!first.convergedAt) {
        return line + ", none converged";
    }
    Ms from = UINT64_MAX;
    Ms to = 0;
    for (size_t n : group) {
        from = std::min(from, *r.agents[n].convergedAt);
        to = std::max(to, *r.agents[n].convergedAt);
    }
    return line + ", converged between " + Seconds(from) + " and " + Seconds(to);
}

void Holdings(const Painter &p, const AgentReport &a)
{
    std::vector<std::pair<std::string, std::string>> lines;  // entry, library state ("" for a heading)
    auto comps = [&lines](const std::vector<HeldComp> &list) {
        for (const HeldComp &c : list) {
            lines.push_back(
                {fmt::format("      component {} {} (type {})", c.compInst, c.compInstName, c.compType), c.libState});
        }
    };
    for (const HeldLoc &l : a.locations) {
        lines.push_back({l.locIndex ? fmt::format("    location {} {} (index {})", l.LocId, l.LocName, *l.locIndex)
                                    : fmt::format("    location {} {} (no index announced)", l.LocId, l.LocName),
                         l.libState});
        comps(l.comps);
    }
    for (const IndexGroup &g : a.otherIndexes) {
        lines.push_back({fmt::format("    index {}: no location held here is announced under it", g.locIndex), ""});
        comps(g.comps);
    }
    size_t width = 0;
    for (const auto &[entry, state] : lines) {
        width = std::max(width, state.empty() ? 0 : entry.size());
    }
    for (const auto &[entry, state] : lines) {
        p.Line(state.empty() ? entry : Pad(entry, width + 2) + p.State(state));
    }
}

}  // namespace

void WriteAgents(const Painter &p, const Report &r)
{
    p.Line(p.Bold("AGENTS") +
           "  LINK and AGENT as the cluster has them; LIBRARY: the library's record of the node and its");
    p.Line("        fault flag; CHANGED: its holdings last changed; CONVERGED: since when it holds what it should.");
    if (r.fullHoldings) {
        p.Line("        Each entry an agent holds is followed by the library's publication state of it.");
    }
    std::vector<Row> rows{kHeader};
    for (const AgentReport &a : r.agents) {
        rows.push_back(RowOf(a));
    }
    std::array<size_t, kColumns> width{};
    for (const Row &row : rows) {
        for (size_t c = 0; c < kColumns; ++c) {
            width[c] = std::max(width[c], row[c].size());
        }
    }
    auto line = [&](const Row &row) {
        std::string s;
        for (size_t c = 0; c < kColumns; ++c) {
            s += "  " + (kRightAligned[c]    ? PadLeft(row[c], width[c])
                         : c + 1 == kColumns ? row[c]
                                             : Pad(row[c], width[c]));
        }
        return s;
    };
    p.Line(line(rows[0]));
    if (r.fullHoldings) {
        for (size_t n = 0; n < r.agents.size(); ++n) {
            p.Line(line(rows[n + 1]));
            Holdings(p, r.agents[n]);
        }
        return;
    }
    // Three alike nodes or more fold into the first of them and a line that counts the others.
    const std::vector<std::vector<size_t>> groups = AlikeGroups(r, std::span<const Row>(rows).subspan(1));
    std::vector<const std::vector<size_t> *> groupOf(r.agents.size());
    for (const std::vector<size_t> &g : groups) {
        for (size_t n : g) {
            groupOf[n] = &g;
        }
    }
    for (size_t n = 0; n < r.agents.size(); ++n) {
        const std::vector<size_t> &g = *groupOf[n];
        if (g.size() < 3 || g.front() == n) {
            p.Line(line(rows[n + 1]));
        }
        if (g.size() >= 3 && g.front() == n) {
            p.Line(AlikeLine(r, g));
        }
    }
}

}  // namespace zsim
