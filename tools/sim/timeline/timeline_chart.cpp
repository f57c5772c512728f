// The chart of a run as one SVG: the time axis, the events above the lanes, a lane per node (troubled ones
// first), the folded nodes, and the legend that explains its marks.
#include <fmt/format.h>

#include <map>

#include "text/units.h"
#include "timeline/timeline_chart.h"
#include "timeline/timeline_events.h"
#include "timeline/timeline_marks.h"

namespace zsim {

namespace {

constexpr double kAxisHeight = 24;
constexpr double kEventsTop = 28;
constexpr double kGap = 10;
constexpr double kBottomAxisHeight = 44;
constexpr int kMaxTicks = 14;
constexpr size_t kHeadlinesShown = 8;

void Axis(Markup &m, const Chart &c, double top, double bottom)
{
    const std::vector<Ms> ticks = AxisTicks(c.scale.end, kMaxTicks);
    const Ms step = ticks.size() > 1 ? ticks[1] : 1000;
    m.Open("g", {{"class", "axis"}});
    for (const Ms t : ticks) {
        const std::string x = Num(c.scale.X(t));
        const std::string label = TickLabel(t, step);
        m.Empty("path", {{"class", "grid"}, {"d", PathData().M(c.scale.X(t), top).V(bottom).Str()}});
        m.Element("text", {{"x", x}, {"y", Num(top - 8)}}, label);
        m.Element("text", {{"x", x}, {"y", Num(bottom + 16)}}, label);
    }
    m.Empty("path", {{"class", "end"}, {"d", PathData().M(kPlotRight, top).V(bottom + 4).Str()}});
    m.Element("text", {{"class", "endlabel"}, {"x", Num(kPlotRight)}, {"y", Num(bottom + 30)}},
              "report at " + Seconds(c.report.time));
    m.Element("text", {{"class", "title"}, {"x", Num((kPlotLeft + kPlotRight) / 2)}, {"y", Num(bottom + 34)}},
              "virtual time (s)");
    m.Close("g");
}

void EventBin(Markup &m, const Chart &c, const Bin &b, double mid, size_t fullest)
{
    const std::vector<Event> &events = c.sc.events;
    if (b.items.size() == 1) {
        const Event &ev = events[b.items.front()];
        OpenTipped(m, "ev", EventDetails(c.sc, c.report, ev));
        DrawMark(m, MarkOfEvent(ev), c.scale.X(ev.at), mid, 5);
        m.Close("g");
        return;
    }
    std::map<MarkKind, size_t> kinds;
    for (const size_t i : b.items) {
        kinds[MarkOfEvent(events[i])]++;
    }
    std::vector<std::string> tip{Period(b.from, b.to) + ": " + Plural(b.items.size(), "event", "events")};
    for (const auto &[kind, n] : kinds) {
        tip.push_back(fmt::format("  {} {}", n, MarkLabel(kind)));
    }
    for (size_t k = 0; k < b.items.size() && k < kHeadlinesShown; ++k) {
        tip.push_back(EventHeadline(c.sc, events[b.items[k]]));
    }
    if (b.items.size() > kHeadlinesShown) {
        tip.push_back(fmt::format("... and {} more", b.items.size() - kHeadlinesShown));
    }
    const double h =
        (kEventRowHeight - 4) * (0.35 + 0.65 * static_cast<double>(b.items.size()) / static_cast<double>(fullest));
    OpenDense(m, "ev dense", tip, b.items.size());
    m.Empty("rect", {{"class", "d-events"},
                     {"x", Num(b.x + 0.5)},
                     {"y", Num(mid - h / 2)},
                     {"width", Num(b.width - 1)},
                     {"height", Num(h)}});
    m.Close("g");
}

void EventRows(Markup &m, const Chart &c, double lanesBottom)
{
    std::vector<TimePoint> rows[kEventRows];
    for (size_t i = 0; i < c.sc.events.size(); ++i) {
        rows[static_cast<int>(RowOf(c.sc.events[i]))].push_back({c.sc.events[i].at, i});
    }
    m.Open("g", {{"class", "events"}});
    for (int r = 0; r < kEventRows; ++r) {
        const double mid = kEventsTop + kEventRowHeight * (r + 0.5);
        m.Element("text", {{"class", "row"}, {"x", Num(kPlotLeft - 6)}, {"y", Num(mid + 4)}},
                  EventRowLabel(static_cast<EventRow>(r)));
        m.Empty("path", {{"class", "evline"}, {"d", PathData().M(kPlotLeft, mid).H(kPlotRight).Str()}});
        const std::vector<Bin> bins = GatherBins(rows[r], c.scale, kBinPx);
        const size_t fullest = FullestBin(bins);
        for (const Bin &b : bins) {
            // The HA role and the library change every node at once: a rule across the lanes shows it.
            if (static_cast<EventRow>(r) == EventRow::Cluster) {
                m.Empty("path", {{"class", "rule"}, {"d", PathData().M(c.scale.X(b.from), mid).V(lanesBottom).Str()}});
            }
            EventBin(m, c, b, mid, fullest);
        }
    }
    m.Close("g");
}

// The periods the library was stopped, shaded over the lanes: nothing reached it then.
void LibraryStopped(Markup &m, const Chart &c, double top, double bottom)
{
    std::vector<Span> stopped;
    for (const Event &ev : c.sc.events) {
        // A stop while stopped, or a start while running, changes nothing; a restart leaves no gap.
        if (ev.kind == EventKind::LibraryStop || ev.kind == EventKind::LibraryStart) {
            MarkSpan(stopped, ev.kind == EventKind::LibraryStop, ev.at);
        }
    }
    DrawSpans(m, c, stopped, "stopped", "the library is stopped", top, bottom - top);
}

void LegendItem(Markup &m, const std::string &label, const std::string &swatch)
{
    m.Open("li")
        .Raw("<svg width=\"18\" height=\"16\" viewBox=\"0 0 18 16\" aria-hidden=\"true\">")
        .Raw(swatch)
        .Raw("</svg>");
    m.Text(label).Close("li");
}

void LegendMark(Markup &m, MarkKind kind)
{
    Markup swatch;
    DrawMark(swatch, kind, 9, 8, kind == MarkKind::TimerTick ? 4 : 5);
    LegendItem(m, MarkLabel(kind), swatch.Str());
}

void LegendBand(Markup &m, const char *cls, const std::string &label)
{
    LegendItem(m, label, "<rect class=\"" + std::string(cls) + "\" x=\"1\" y=\"3\" width=\"16\" height=\"10\"/>");
}

}  // namespace

std::string TimelineChart(const Scenario &sc, const Report &report, const RunHistory &history)
{
    const Chart c{sc, report, history, TimeScale{kPlotLeft, kPlotRight - kPlotLeft, report.time}};
    std::vector<NodeTrouble> trouble;
    for (size_t n = 0; n < sc.nodes.size() && n < report.agents.size(); ++n) {
        trouble.push_back(TroubleOf(c, n));
    }
    const LanePlan plan = PlanLanes(trouble);
    const double lanesTop = kEventsTop + kEventRows * kEventRowHeight + kGap;
    const double lanesBottom =
        lanesTop + static_cast<double>(plan.lanes.size()) * kLaneHeight + (plan.folded.empty() ? 0 : kBandHeight);
    const double height = lanesBottom + kBottomAxisHeight;

    Markup m;
    m.Open("svg", {{"xmlns", "http://www.w3.org/2000/svg"},
                   {"class", "chart"},
                   {"viewBox", "0 0 " + Num(kChartWidth) + " " + Num(height)},
                   {"width", Num(kChartWidth)},
                   {"height", Num(height)},
                   {"role", "img"},
                   {"aria-label", "timeline of the run: events, and a lane per node"}});
    m.Open("defs");
    MarkPatterns(m);
    m.Close("defs");
    Axis(m, c, kAxisHeight, lanesBottom);
    double top = lanesTop;
    for (const size_t n : plan.lanes) {
        DrawLane(m, c, n, top);
        top += kLaneHeight;
    }
    if (!plan.folded.empty()) {
        DrawFoldedBand(m, c, plan.folded, trouble, top);
    }
    LibraryStopped(m, c, kEventsTop, lanesBottom);
    EventRows(m, c, lanesBottom);
    m.Close("svg");
    return m.Take();
}

std::string TimelineLegend()
{
    Markup m;
    m.Open("div", {{"class", "legend"}});
    m.Element("h3", {}, "Requests to a node: upper row locations, lower row components");
    m.Open("ul");
    for (const MarkKind k :
         {MarkKind::Applied, MarkKind::Refused, MarkKind::Failed, MarkKind::NoReply, MarkKind::InFlight}) {
        LegendMark(m, k);
    }
    LegendItem(m, "call to completion", "<path class=\"lat\" d=\"M2 8H16M16 5v6\"/>");
    LegendItem(
        m, "crowded requests: a bar, taller for more, stacked by outcome",
        "<rect class=\"d-applied\" x=\"5\" y=\"6\" width=\"8\" height=\"9\"/><rect class=\"d-refused\" x=\"5\" y=\"1\" width=\"8\" height=\"5\"/>");
    m.Close("ul");
    m.Element("h3", {}, "A node's lane");
    m.Open("ul");
    LegendBand(m, "b-link", "link up (top band; white: down)");
    LegendBand(m, "b-down", "agent down (second band)");
    LegendBand(m, "b-fault", "the library holds the peer's fault flag");
    LegendMark(m, MarkKind::TimerTick);
    LegendItem(m, "converged from here on", "<path class=\"conv\" d=\"M9 1V15\"/>");
    LegendMark(m, MarkKind::Converged);
    LegendMark(m, MarkKind::NeverConverged);
    m.Close("ul");
    m.Element("h3", {}, "Events, above the lanes");
    m.Open("ul");
    for (const MarkKind k : {MarkKind::Config, MarkKind::LinkUp, MarkKind::LinkDown, MarkKind::Available,
                             MarkKind::NotAvailable, MarkKind::AgentDown, MarkKind::AgentUp, MarkKind::AgentScript,
                             MarkKind::HaRole, MarkKind::LibraryStop, MarkKind::LibraryStart}) {
        LegendMark(m, k);
    }
    LegendBand(m, "stopped", "library stopped");
    LegendBand(m, "d-events", "crowded events: a bar, taller for more");
    m.Close("ul");
    m.Close("div");
    return m.Take();
}

}  // namespace zsim
