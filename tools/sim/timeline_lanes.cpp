// A node's lane and the band of folded nodes: link and agent periods, fault flags, requests and the timer
// ticks that sent them, convergence.
#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "timeline_chart.h"
#include "timeline_events.h"
#include "timeline_marks.h"

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

// The outcomes in the order a density bar stacks them, troubles on top.
constexpr MarkKind kStackOrder[] = {MarkKind::Applied, MarkKind::InFlight, MarkKind::NoReply, MarkKind::Failed, MarkKind::Refused};

struct Req {
    const RequestRecord *r;
    size_t node;
};

std::string Plural(size_t n, const char *one, const char *many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

std::string Period(Ms from, Ms to) { return FormatTime(from) + " to " + FormatTime(to) + " s"; }

std::string OutcomeText(const RequestRecord &r)
{
    const std::string done = r.doneAt ? " at " + FormatTime(*r.doneAt) + " s" : "";
    switch (r.outcome) {
    case RequestOutcome::Applied:
        return "applied" + done;
    case RequestOutcome::Refused:
        return "refused, status " + std::to_string(r.code);
    case RequestOutcome::Rejected:
        return "failed completion: result " + std::to_string(r.code) + done;
    case RequestOutcome::NoReply:
        return "completed without a reply" + done;
    case RequestOutcome::Failed:
        return "the call failed" + done + " (the agent went down, or the library stopped)";
    case RequestOutcome::InFlight:
        break;
    }
    return "in flight at the end of the run";
}

std::vector<std::string> RequestTip(const Chart &c, const Req &q)
{
    const RequestRecord &r = *q.r;
    std::vector<std::string> lines{FormatTime(r.at) + " s request #" + std::to_string(r.callId) + " to " + c.sc.nodes[q.node].name +
                                   ": " + (r.component ? "components at index " + std::to_string(r.locIndex) : std::string("locations")) +
                                   ", " + RequestOpName(r.opType) + ", " + Plural(r.entries, "entry", "entries"),
                                   OutcomeText(r)};
    if (!r.timer.empty()) {
        lines.push_back("sent by a " + r.timer + " tick");
    } else if (r.event < c.sc.events.size()) {
        lines.push_back("after " + EventHeadline(c.sc, c.sc.events[r.event]));
    }
    return lines;
}

// Requests in one row: a mark each where they stand apart, a density bar where they crowd, its height
// after its count beside the row's fullest bin.
void DrawRequests(Markup &m, const Chart &c, const std::vector<Req> &reqs, const std::string &who, double top, double height)
{
    std::vector<TimePoint> points;
    for (size_t i = 0; i < reqs.size(); ++i) {
        points.push_back({reqs[i].r->at, i});
    }
    const std::vector<Bin> bins = GatherBins(points, c.scale, kBinPx);
    size_t fullest = 1;
    for (const Bin &b : bins) {
        fullest = std::max(fullest, b.items.size());
    }
    const double mid = top + height / 2;
    for (const Bin &b : bins) {
        if (b.items.size() == 1) {
            const Req &q = reqs[b.items.front()];
            const double x = c.scale.X(q.r->at);
            OpenTipped(m, "req", RequestTip(c, q));
            if (q.r->doneAt && c.scale.X(*q.r->doneAt) - x >= kMarkRadius) {
                const double done = c.scale.X(*q.r->doneAt);
                m.Empty("path", {{"class", "lat"}, {"d", PathData().M(x, mid).H(done).M(done, mid - 3).V(mid + 3).Str()}});
            }
            DrawMark(m, MarkOf(q.r->outcome), x, mid, kMarkRadius);
            m.Close("g");
            continue;
        }
        std::map<MarkKind, size_t> counts;
        for (const size_t i : b.items) {
            counts[MarkOf(reqs[i].r->outcome)]++;
        }
        std::vector<std::string> tip{Period(b.from, b.to) + ": " + Plural(b.items.size(), "request", "requests") + " to " + who};
        for (const MarkKind k : kStackOrder) {
            if (counts[k] != 0) {
                tip.push_back("  " + std::to_string(counts[k]) + " " + MarkLabel(k));
            }
        }
        OpenTipped(m, "req dense", tip);
        const double total = height * (0.3 + 0.7 * static_cast<double>(b.items.size()) / static_cast<double>(fullest));
        double y = top + height;
        for (const MarkKind k : kStackOrder) {
            const double h = total * static_cast<double>(counts[k]) / static_cast<double>(b.items.size());
            if (h > 0) {
                y -= h;
                m.Empty("rect", {{"class", DensityClass(k)}, {"x", Num(b.x + 0.5)}, {"y", Num(y)}, {"width", Num(b.width - 1)}, {"height", Num(h)}});
            }
        }
        m.Close("g");
    }
}

// The ticks of the smooth timers that sent these requests, pointing down at them.
void DrawTicks(Markup &m, const Chart &c, const std::vector<Req> &reqs, double mid)
{
    std::map<std::pair<Ms, std::string>, size_t> ticks;  // (time, timer) -> requests it sent
    for (const Req &q : reqs) {
        if (!q.r->timer.empty()) {
            ticks[{q.r->at, q.r->timer}]++;
        }
    }
    std::vector<std::pair<std::pair<Ms, std::string>, size_t>> list(ticks.begin(), ticks.end());
    std::vector<TimePoint> points;
    for (size_t i = 0; i < list.size(); ++i) {
        points.push_back({list[i].first.first, i});
    }
    for (const Bin &b : GatherBins(points, c.scale, kBinPx)) {
        size_t sent = 0;
        for (const size_t i : b.items) {
            sent += list[i].second;
        }
        const auto &first = list[b.items.front()].first;
        std::set<std::string> timers;
        for (const size_t i : b.items) {
            timers.insert(list[i].first.second);
        }
        std::string tip;
        for (const std::string &t : timers) {
            tip += (tip.empty() ? "" : " and ") + t;
        }
        tip += (b.items.size() == 1 ? " tick" : " ticks") + (b.from == b.to ? " at " + FormatTime(b.from) + " s" : ", " + Period(b.from, b.to));
        OpenTipped(m, "tick", {tip + ": republished " + Plural(sent, "request", "requests") + " here"});
        DrawMark(m, MarkKind::TimerTick, b.items.size() == 1 ? c.scale.X(first.first) : b.x + b.width / 2, mid, 3.5);
        m.Close("g");
    }
}

// Periods as bands from `top`, `height` high, each with its period on hover.
void DrawSpans(Markup &m, const Chart &c, const std::vector<Span> &spans, const char *cls, const std::string &what, double top, double height)
{
    for (const PixelRange &p : SpanPixels(spans, c.scale)) {
        OpenTipped(m, "span", {what + ", " + Period(p.from, p.to)});
        m.Empty("rect", {{"class", cls}, {"x", Num(p.x0)}, {"y", Num(top)}, {"width", Num(p.x1 - p.x0)}, {"height", Num(height)}});
        m.Close("g");
    }
}

// How many of `total` nodes are within one of their periods, over time, as an area from the bottom.
void DrawShare(Markup &m, const Chart &c, const std::vector<Span> &spans, size_t total, const char *cls, double top, double height)
{
    std::map<double, long> steps;  // x -> change in the count
    for (const Span &s : spans) {
        steps[std::round(c.scale.X(s.from))]++;
        if (s.to) {
            steps[std::round(c.scale.X(*s.to))]--;
        }
    }
    if (steps.empty() || total == 0) {
        return;
    }
    const double bottom = top + height;
    PathData d;
    d.M(kPlotLeft, bottom);
    long count = 0;
    for (const auto &[x, change] : steps) {
        count += change;
        d.H(x).V(bottom - height * static_cast<double>(count) / static_cast<double>(total));
    }
    m.Empty("path", {{"class", cls}, {"d", d.H(kPlotRight).V(bottom).Z().Str()}});
}

void Label(Markup &m, double top, const std::string &name, const std::string &detail)
{
    const std::string shown = name.size() > kNameChars ? name.substr(0, kNameChars - 1) + "\u2026" : name;
    OpenTipped(m, "name", {name});
    m.Element("text", {{"class", "node"}, {"x", Num(kLabelLeft)}, {"y", Num(top + 19)}}, shown);
    m.Close("g");
    m.Element("text", {{"class", "sub"}, {"x", Num(kLabelLeft)}, {"y", Num(top + 34)}}, detail);
}

void Side(Markup &m, double top, bool converged, const std::string &outcome, const std::string &traffic)
{
    DrawMark(m, converged ? MarkKind::Converged : MarkKind::NeverConverged, kSideLeft + 5, top + 15, 4.5);
    m.Element("text", {{"class", converged ? "side" : "side bad"}, {"x", Num(kSideLeft + 16)}, {"y", Num(top + 19)}}, outcome);
    m.Element("text", {{"class", "sub"}, {"x", Num(kSideLeft + 16)}, {"y", Num(top + 34)}}, traffic);
}

std::string Traffic(uint64_t requests, uint64_t failures)
{
    return Plural(requests, "request", "requests") + ", " + std::to_string(failures) + " failed";
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

void OpenTipped(Markup &m, const std::string &cls, const std::vector<std::string> &tip)
{
    m.Open("g", {{"class", cls}}).Open("title").Lines(tip).Close("title");
}

void DrawLane(Markup &m, const Chart &c, size_t node, double top)
{
    static const NodeHistory kNone;
    const NodeDecl &d = c.sc.nodes[node];
    const AgentReport &a = c.report.agents[node];
    const NodeHistory &h = node < c.history.nodes.size() ? c.history.nodes[node] : kNone;
    m.Open("g", {{"class", "lane"}, {"data-node", d.name}});
    m.Empty("rect", {{"class", "lane-bg"}, {"x", "0"}, {"y", Num(top)}, {"width", Num(kChartWidth)}, {"height", Num(kLaneHeight)}});
    char id[16];
    std::snprintf(id, sizeof id, "0x%06x", d.osNodeId);
    Label(m, top, d.name, std::string(id) + (d.agent ? "" : ", no agent"));
    m.Element("text", {{"class", "row"}, {"x", Num(kPlotLeft - 6)}, {"y", Num(top + kLocRowTop + 10)}}, "locations");
    m.Element("text", {{"class", "row"}, {"x", Num(kPlotLeft - 6)}, {"y", Num(top + kCompRowTop + 10)}}, "components");

    m.Empty("rect", {{"class", "b-nolink"}, {"x", Num(kPlotLeft)}, {"y", Num(top + kLinkTop)}, {"width", Num(kPlotRight - kPlotLeft)}, {"height", Num(kLinkHeight)}});
    DrawSpans(m, c, h.linkUp, "b-link", "link up", top + kLinkTop, kLinkHeight);
    DrawSpans(m, c, h.agentDown, "b-down", "agent down", top + kAgentTop, kAgentHeight);
    std::vector<Span> locFaults, compFaults;
    for (const FaultSpan &f : h.faults) {
        (f.component ? compFaults : locFaults).push_back(f.span);
    }
    DrawSpans(m, c, locFaults, "b-fault", "the library holds the fault flag of this OS node", top + kLocRowTop, kRowHeight);
    DrawSpans(m, c, compFaults, "b-fault", "the library holds the fault flag of a component location published here", top + kCompRowTop, kRowHeight);

    std::vector<Req> all, locs, comps;
    for (const RequestRecord &r : h.requests) {
        all.push_back({&r, node});
        (r.component ? comps : locs).push_back({&r, node});
    }
    DrawTicks(m, c, all, top + kTickMid);
    DrawRequests(m, c, locs, d.name, top + kLocRowTop, kRowHeight);
    DrawRequests(m, c, comps, d.name, top + kCompRowTop, kRowHeight);

    if (a.convergedAt) {
        const double x = c.scale.X(*a.convergedAt);
        OpenTipped(m, "conv", {d.name + " converged at " + FormatTime(*a.convergedAt) + " s: from then on it held what it should"});
        m.Empty("path", {{"class", "conv"}, {"d", PathData().M(x, top + 2).V(top + kLaneHeight - 2).Str()}});
        m.Close("g");
    }
    Side(m, top, a.convergedAt.has_value(),
         a.convergedAt ? "converged " + FormatTime(*a.convergedAt) + " s"
                       : "not converged: " + Plural(a.driftItems, "drift item", "drift items"),
         Traffic(a.requests, a.failures));
    m.Close("g");
}

void DrawFoldedBand(Markup &m, const Chart &c, const std::vector<size_t> &nodes, double top)
{
    std::vector<Span> links, outages, converged;
    std::vector<Req> reqs;
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
        quiet += IsQuiet(TroubleOf(c, n)) ? 1u : 0u;
        if (a.convergedAt) {
            converged.push_back({*a.convergedAt, std::nullopt});
            first = std::min(first, *a.convergedAt);
            last = std::max(last, *a.convergedAt);
        }
    }
    std::stable_sort(reqs.begin(), reqs.end(), [](const Req &x, const Req &y) { return x.r->at < y.r->at; });
    const std::string who = Plural(nodes.size(), "node", "nodes");
    m.Open("g", {{"class", "band"}, {"data-nodes", std::to_string(nodes.size())}});
    m.Empty("rect", {{"class", "band-bg"}, {"x", "0"}, {"y", Num(top)}, {"width", Num(kChartWidth)}, {"height", Num(kBandHeight)}});
    Label(m, top, Plural(nodes.size(), "more node", "more nodes"),
          quiet == nodes.size() ? "quiet: nothing failed" : std::to_string(nodes.size() - quiet) + " of them troubled");
    m.Element("text", {{"class", "row"}, {"x", Num(kPlotLeft - 6)}, {"y", Num(top + kBandStatusHeight)}}, "links up");
    m.Element("text", {{"class", "row"}, {"x", Num(kPlotLeft - 6)}, {"y", Num(top + kBandRequestsTop + 19)}}, "requests");
    m.Element("text", {{"class", "row"}, {"x", Num(kPlotLeft - 6)}, {"y", Num(top + kBandConvergedTop + 11)}}, "converged");

    OpenTipped(m, "share", {"links up among the " + who + ", over time"});
    m.Empty("rect", {{"class", "b-nolink"}, {"x", Num(kPlotLeft)}, {"y", Num(top + 3)}, {"width", Num(kPlotRight - kPlotLeft)}, {"height", Num(kBandStatusHeight)}});
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
    m.Empty("rect", {{"class", "b-nolink"}, {"x", Num(kPlotLeft)}, {"y", Num(top + kBandConvergedTop)}, {"width", Num(kPlotRight - kPlotLeft)}, {"height", Num(kBandConvergedHeight)}});
    DrawShare(m, c, converged, nodes.size(), "b-conv", top + kBandConvergedTop, kBandConvergedHeight);
    m.Close("g");
    const bool all = converged.size() == nodes.size();
    Side(m, top, all,
         all ? "converged " + FormatTime(first) + (first == last ? "" : " to " + FormatTime(last)) + " s"
             : std::to_string(nodes.size() - converged.size()) + " of " + who + " not converged",
         Traffic(requests, failures));
    m.Close("g");
}

}  // namespace zsim
