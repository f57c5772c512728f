// A node's lane and the band of folded nodes, from their rows, with their labels and how each one ended.
#include <fmt/format.h>

#include <algorithm>

#include "text/printable.h"
#include "text/units.h"
#include "timeline/timeline_chart.h"
#include "timeline/timeline_marks.h"

namespace zsim {

namespace {

// Offsets within a lane.
constexpr double kLinkTop = 2;
constexpr double kLinkHeight = 4;
constexpr double kAgentTop = 7;
constexpr double kAgentHeight = 5;
constexpr double kTickMid = 16;
constexpr double kLocRowTop = 19;
constexpr double kCompRowTop = 35;
constexpr double kRowHeight = 14;
// Within the folded band.
constexpr double kBandStatusHeight = 12;
constexpr double kBandRequestsTop = 18;
constexpr double kBandRequestsHeight = 30;
constexpr double kBandConvergedTop = 52;
constexpr double kBandConvergedHeight = 14;
constexpr size_t kNameChars = 22;

void Label(Markup &m, double top, const std::string &name, const std::string &detail)
{
    const std::string shown = name.size() > kNameChars ? ShortName(name, kNameChars - 1) + "\u2026" : name;
    OpenTipped(m, "name", {name});
    m.Element("text", {{"class", "node"}, {"x", Num(kLabelLeft)}, {"y", Num(top + 19)}}, shown);
    m.Close("g");
    m.Element("text", {{"class", "sub"}, {"x", Num(kLabelLeft)}, {"y", Num(top + 34)}}, detail);
}

void Side(Markup &m, double top, bool converged, const std::string &outcome, const std::string &traffic)
{
    DrawMark(m, converged ? MarkKind::Converged : MarkKind::NeverConverged, kSideLeft + 5, top + 15, 4.5);
    m.Element("text", {{"class", converged ? "side" : "side bad"}, {"x", Num(kSideLeft + 16)}, {"y", Num(top + 19)}},
              outcome);
    m.Element("text", {{"class", "sub"}, {"x", Num(kSideLeft + 16)}, {"y", Num(top + 34)}}, traffic);
}

std::string Traffic(uint64_t requests, uint64_t failures)
{
    return fmt::format("{}, {} failed", Plural(requests, "request", "requests"), failures);
}

}  // namespace

NodeTrouble TroubleOf(const Chart &c, size_t n)
{
    const AgentReport &a = c.report.agents[n];
    NodeTrouble t{a.driftItems, a.convergedAt.has_value(), a.failures, 0, 0};
    if (n < c.history.nodes.size()) {
        t.faultSpans = c.history.nodes[n].faults.size();
        t.outages = c.history.nodes[n].agentDown.size();
    }
    return t;
}

void DrawLane(Markup &m, const Chart &c, size_t node, double top)
{
    static const NodeHistory kNone;
    const NodeDecl &d = c.sc.nodes[node];
    const AgentReport &a = c.report.agents[node];
    const NodeHistory &h = node < c.history.nodes.size() ? c.history.nodes[node] : kNone;
    m.Open("g", {{"class", "lane"}, {"data-node", d.name}});
    m.Empty("rect", {{"class", "lane-bg"},
                     {"x", "0"},
                     {"y", Num(top)},
                     {"width", Num(kChartWidth)},
                     {"height", Num(kLaneHeight)}});
    Label(m, top, d.name, fmt::format("0x{:06x}{}", d.osNodeId, d.agent ? "" : ", no agent"));
    m.Element("text", {{"class", "row"}, {"x", Num(kPlotLeft - 6)}, {"y", Num(top + kLocRowTop + 10)}}, "locations");
    m.Element("text", {{"class", "row"}, {"x", Num(kPlotLeft - 6)}, {"y", Num(top + kCompRowTop + 10)}}, "components");

    m.Empty("rect", {{"class", "b-nolink"},
                     {"x", Num(kPlotLeft)},
                     {"y", Num(top + kLinkTop)},
                     {"width", Num(kPlotRight - kPlotLeft)},
                     {"height", Num(kLinkHeight)}});
    DrawSpans(m, c, h.linkUp, "b-link", "link up", top + kLinkTop, kLinkHeight);
    DrawSpans(m, c, h.agentDown, "b-down", "agent down", top + kAgentTop, kAgentHeight);
    std::vector<Span> locFaults, compFaults;
    for (const FaultSpan &f : h.faults) {
        (f.component ? compFaults : locFaults).push_back(f.span);
    }
    DrawSpans(m, c, locFaults, "b-fault", "the library holds the fault flag of this OS node", top + kLocRowTop,
              kRowHeight);
    DrawSpans(m, c, compFaults, "b-fault", "the library holds the fault flag of a component location published here",
              top + kCompRowTop, kRowHeight);

    std::vector<NodeRequest> all, locs, comps;
    for (const RequestRecord &r : h.requests) {
        all.push_back({&r, node});
        (r.component ? comps : locs).push_back({&r, node});
    }
    DrawTicks(m, c, all, top + kTickMid);
    DrawRequests(m, c, locs, d.name, top + kLocRowTop, kRowHeight);
    DrawRequests(m, c, comps, d.name, top + kCompRowTop, kRowHeight);

    if (a.convergedAt) {
        const double x = c.scale.X(*a.convergedAt);
        OpenTipped(m, "conv",
                   {d.name + " converged at " + Seconds(*a.convergedAt) + ": from then on it held what it should"});
        m.Empty("path", {{"class", "conv"}, {"d", PathData().M(x, top + 2).V(top + kLaneHeight - 2).Str()}});
        m.Close("g");
    }
    Side(m, top, a.convergedAt.has_value(),
         a.convergedAt ? "converged " + Seconds(*a.convergedAt)
                       : "not converged: " + Plural(a.driftItems, "drift item", "drift items"),
         Traffic(a.requests, a.failures));
    m.Close("g");
}

void DrawFoldedBand(Markup &m, const Chart &c, const std::vector<size_t> &nodes,
                    const std::vector<NodeTrouble> &trouble, double top)
{
    std::vector<Span> links, outages, converged;
    std::vector<NodeRequest> reqs;
    uint64_t requests = 0, failures = 0;
    size_t quiet = 0;
    Ms first = UINT64_MAX, last = 0;
    for (const size_t n : nodes) {
        const AgentReport &a = c.report.agents[n];
        requests += a.requests;
        failures += a.failures;
        if (n < c.history.nodes.size()) {
            const NodeHistory &h = c.history.nodes[n];
            links.insert(links.end(), h.linkUp.begin(), h.linkUp.end());
            outages.insert(outages.end(), h.agentDown.begin(), h.agentDown.end());
            for (const RequestRecord &r : h.requests) {
                reqs.push_back({&r, n});
            }
        }
        quiet += IsQuiet(trouble[n]) ? 1u : 0u;
        if (a.convergedAt) {
            converged.push_back({*a.convergedAt, std::nullopt});
            first = std::min(first, *a.convergedAt);
            last = std::max(last, *a.convergedAt);
        }
    }
    std::stable_sort(reqs.begin(), reqs.end(),
                     [](const NodeRequest &x, const NodeRequest &y) { return x.r->at < y.r->at; });
    const std::string who = Plural(nodes.size(), "node", "nodes");
    m.Open("g", {{"class", "band"}, {"data-nodes", fmt::format("{}", nodes.size())}});
    m.Empty("rect", {{"class", "band-bg"},
                     {"x", "0"},
                     {"y", Num(top)},
                     {"width", Num(kChartWidth)},
                     {"height", Num(kBandHeight)}});
    Label(m, top, Plural(nodes.size(), "more node", "more nodes"),
          quiet == nodes.size() ? "quiet: nothing failed" : fmt::format("{} of them troubled", nodes.size() - quiet));
    m.Element("text", {{"class", "row"}, {"x", Num(kPlotLeft - 6)}, {"y", Num(top + kBandStatusHeight)}}, "links up");
    m.Element("text", {{"class", "row"}, {"x", Num(kPlotLeft - 6)}, {"y", Num(top + kBandRequestsTop + 19)}},
              "requests");
    m.Element("text", {{"class", "row"}, {"x", Num(kPlotLeft - 6)}, {"y", Num(top + kBandConvergedTop + 11)}},
              "converged");

    OpenTipped(m, "share", {"links up among the " + who + ", over time"});
    m.Empty("rect", {{"class", "b-nolink"},
                     {"x", Num(kPlotLeft)},
                     {"y", Num(top + 3)},
                     {"width", Num(kPlotRight - kPlotLeft)},
                     {"height", Num(kBandStatusHeight)}});
    DrawShare(m, c, links, nodes.size(), "b-link", top + 3, kBandStatusHeight);
    m.Close("g");
    if (!outages.empty()) {
        OpenTipped(m, "share", {"agents down among the " + who + ", over time"});
        DrawShare(m, c, outages, nodes.size(), "b-down", top + 3, kBandStatusHeight);
        m.Close("g");
    }
    DrawTicks(m, c, reqs, top + kBandRequestsTop - 3);
    DrawRequests(m, c, reqs, who, top + kBandRequestsTop, kBandRequestsHeight);
    OpenTipped(m, "share", {"nodes converged among the " + who + ", over time"});
    m.Empty("rect", {{"class", "b-nolink"},
                     {"x", Num(kPlotLeft)},
                     {"y", Num(top + kBandConvergedTop)},
                     {"width", Num(kPlotRight - kPlotLeft)},
                     {"height", Num(kBandConvergedHeight)}});
    DrawShare(m, c, converged, nodes.size(), "b-conv", top + kBandConvergedTop, kBandConvergedHeight);
    m.Close("g");
    const bool all = converged.size() == nodes.size();
    Side(m, top, all,
         all ? "converged " + (first == last ? Seconds(first) : Period(first, last))
             : fmt::format("{} of {} not converged", nodes.size() - converged.size(), who),
         Traffic(requests, failures));
    m.Close("g");
}

}  // namespace zsim
