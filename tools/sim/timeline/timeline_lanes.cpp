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

// A line of the outcome column, cut to fit (the hover has it whole).
std::string Fitted(const std::string &line)
{
    return line.size() > kSideChars ? ShortName(line, kSideChars - 1) + "\u2026" : line;
}

// The outcome column: how the lane ended, and for drift its reason in the chart itself; `tip` on hover.
void Side(Markup &m, double top, bool converged, const std::string &outcome, const std::string &reason,
          const std::string &traffic, const std::vector<std::string> &tip)
{
    OpenTipped(m, "outcome", tip);
    DrawMark(m, converged ? MarkKind::Converged : MarkKind::NeverConverged, kSideLeft + 5, top + 12, 4.5);
    m.Element("text", {{"class", converged ? "side" : "side bad"}, {"x", Num(kSideLeft + 16)}, {"y", Num(top + 16)}},
              outcome);
    if (!reason.empty()) {
        m.Element("text", {{"class", "reason"}, {"x", Num(kSideLeft + 16)}, {"y", Num(top + 30)}}, Fitted(reason));
    }
    m.Element("text", {{"class", "sub"}, {"x", Num(kSideLeft + 16)}, {"y", Num(top + (reason.empty() ? 32 : 44))}},
              traffic);
    m.Close("g");
}

// A lane's drift items on hover: the node's, as the report lists them.
std::vector<std::string> DriftTip(const Chart &c, const AgentReport &a)
{
    std::vector<std::string> tip{a.node + ": not converged, " + Plural(a.driftItems, "drift item", "drift items")};
    for (const NodeReason &r : a.reasons) {
        tip.push_back(
            fmt::format("  {} {} [{}]: {}", r.items, KindName(r.kind), ReasonCode(r.reason), ReasonLabel(r.reason)));
    }
    size_t listed = 0;
    for (const DriftItem &d : c.report.drift) {
        if (d.node == a.node && listed++ < kTipItems) {
            tip.push_back(fmt::format("  {} {} {}: {}", KindName(d.kind), DriftEntry(d), d.name, d.why.text));
        }
    }
    MoreLine(tip, std::max(listed, a.driftItems));
    return tip;
}

// A node's drift by kind: "4 extra", "3 missing, 1 extra".
std::string DriftCounts(const AgentReport &a)
{
    size_t byKind[3] = {};
    for (const NodeReason &r : a.reasons) {
        byKind[static_cast<int>(r.kind)] += r.items;
    }
    std::string out;
    for (const DriftKind k : {DriftKind::Missing, DriftKind::Extra, DriftKind::Stale}) {
        if (byKind[static_cast<int>(k)] != 0) {
            out += fmt::format("{}{} {}", out.empty() ? "" : ", ", byKind[static_cast<int>(k)], KindName(k));
        }
    }
    return out.empty() ? Plural(a.driftItems, "drift item", "drift items") : out;
}

// Its main reason with its cause in a few words: "forgotten: index 6 moved to 16 at 20 s".
std::string MainReason(const AgentReport &a)
{
    if (a.reasons.empty()) {
        return "";
    }
    const NodeReason &r = a.reasons.front();
    std::string out = ReasonCode(r.reason);
    if (r.cause) {
        out += ": " + r.cause->what + " at " + CompactSeconds(r.cause->at);
    }
    if (a.reasons.size() > 1) {
        out += "; " + Plural(a.reasons.size() - 1, "more reason", "more reasons");
    }
    return out;
}

std::string Traffic(uint64_t requests, uint64_t failures)
{
    return fmt::format("{}, {} failed", Plural(requests, "request", "requests"), failures);
}

}  // namespace

std::string LaneId(size_t node)
{
    return fmt::format("lane-{}", node);
}

NodeTrouble TroubleOf(const Report &report, const RunHistory &history, size_t n)
{
    const AgentReport &a = report.agents[n];
    NodeTrouble t{a.driftItems, a.convergedAt.has_value(), a.failures, 0, 0};
    if (n < history.nodes.size()) {
        t.faultSpans = history.nodes[n].faults.size();
        t.outages = history.nodes[n].agentDown.size();
    }
    return t;
}

LanePlan PlanChart(const Scenario &sc, const Report &report, const RunHistory &history)
{
    std::vector<NodeTrouble> trouble;
    for (size_t n = 0; n < sc.nodes.size() && n < report.agents.size(); ++n) {
        trouble.push_back(TroubleOf(report, history, n));
    }
    return PlanLanes(trouble);
}

void DrawLane(Markup &m, const Chart &c, size_t node, double top)
{
    static const NodeHistory kNone;
    const NodeDecl &d = c.sc.nodes[node];
    const AgentReport &a = c.report.agents[node];
    const NodeHistory &h = node < c.history.nodes.size() ? c.history.nodes[node] : kNone;
    m.Open("g", {{"class", "lane"}, {"data-node", d.name}, {"id", LaneId(node)}});
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

    std::vector<NodeRequest> all;
    for (const RequestRecord &r : h.requests) {
        all.push_back({&r, node});
    }
    DrawTicks(m, c, all, h.faults, top + kTickMid);
    const std::vector<CauseMark> causes = CausesOf(c.report, node);
    const std::vector<LaneRow> rows = LaneRows(c.history, node, causes);
    DrawRow(m, c, rows[0], d.name, top + kLocRowTop, kRowHeight);
    DrawRow(m, c, rows[1], d.name, top + kCompRowTop, kRowHeight);

    if (a.convergedAt) {
        const double x = c.scale.X(*a.convergedAt);
        OpenTipped(m, "conv",
                   {d.name + " converged at " + Seconds(*a.convergedAt) + ": from then on it held what it should"});
        m.Empty("path", {{"class", "conv"}, {"d", PathData().M(x, top + 2).V(top + kLaneHeight - 2).Str()}});
        m.Close("g");
    }
    if (a.convergedAt) {
        Side(m, top, true, "converged " + Seconds(*a.convergedAt), "", Traffic(a.requests, a.failures),
             {d.name + " converged at " + Seconds(*a.convergedAt)});
    } else {
        Side(m, top, false, "not converged: " + DriftCounts(a), MainReason(a), Traffic(a.requests, a.failures),
             DriftTip(c, a));
    }
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
    DrawTicks(m, c, reqs, {}, top + kBandRequestsTop - 3);
    DrawRow(m, c, LaneRow{{}, reqs}, who, top + kBandRequestsTop, kBandRequestsHeight);
    OpenTipped(m, "share", {"nodes converged among the " + who + ", over time"});
    m.Empty("rect", {{"class", "b-nolink"},
                     {"x", Num(kPlotLeft)},
                     {"y", Num(top + kBandConvergedTop)},
                     {"width", Num(kPlotRight - kPlotLeft)},
                     {"height", Num(kBandConvergedHeight)}});
    DrawShare(m, c, converged, nodes.size(), "b-conv", top + kBandConvergedTop, kBandConvergedHeight);
    m.Close("g");
    const bool all = converged.size() == nodes.size();
    const std::string outcome = all ? "converged " + (first == last ? Seconds(first) : Period(first, last))
                                    : fmt::format("{} of {} not converged", nodes.size() - converged.size(), who);
    Side(m, top, all, outcome, "", Traffic(requests, failures), {outcome});
    m.Close("g");
}

}  // namespace zsim
