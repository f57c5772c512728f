// The chart of a run as one SVG: the time axis, the events above the lanes, a lane per node (troubled ones
// first), the folded nodes, and the legend that explains its marks.
#include <fmt/format.h>

#include <algorithm>
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
constexpr double kBottomAxisHeight = 54;
constexpr int kMaxTicks = 14;
constexpr double kTickGapPx = 34;       // between the labels of two ticks
constexpr size_t kDetailsPerEvent = 4;  // lines of each event in a crowded mark's hover

void Axis(Markup &m, const Chart &c, double top, double bottom)
{
    m.Open("g", {{"class", "axis"}});
    for (const AxisTick &t : AxisLabels(c.scale, kMaxTicks, kTickGapPx)) {
        const double x = c.scale.X(t.at);
        m.Empty("path", {{"class", "grid"}, {"d", PathData().M(x, top).V(bottom).Str()}});
        m.Element("text", {{"x", Num(x)}, {"y", Num(top - 8)}}, t.label);
        m.Element("text", {{"x", Num(x)}, {"y", Num(bottom + 16)}}, t.label);
    }
    // A folded stretch: a break across the chart, with how long it lasted below it.
    for (const Break &b : c.scale.Breaks()) {
        const std::string length = CompactSeconds(b.to - b.from);
        OpenTipped(m, "break",
                   {fmt::format("{} folded: nothing happened from {} to {} but timer ticks", length, Seconds(b.from),
                                Seconds(b.to))});
        m.Empty("rect", {{"class", "fold"},
                         {"x", Num(b.x0)},
                         {"y", Num(top)},
                         {"width", Num(b.x1 - b.x0)},
                         {"height", Num(bottom - top)}});
        const double mid = (b.x0 + b.x1) / 2;
        for (const double y : {top, bottom}) {
            m.Empty("path", {{"class", "zigzag"},
                             {"d", PathData()
                                       .Poly({{mid - 6, y + 4}, {mid - 2, y - 4}}, false)
                                       .Poly({{mid + 2, y + 4}, {mid + 6, y - 4}}, false)
                                       .Str()}});
        }
        m.Element("text", {{"class", "breaklabel"}, {"x", Num(mid)}, {"y", Num(bottom + 30)}}, "+" + length);
        m.Close("g");
    }
    const double end = c.scale.X(c.scale.End());
    m.Empty("path", {{"class", "end"}, {"d", PathData().M(end, top).V(bottom + 4).Str()}});
    m.Element("text", {{"class", "endlabel"}, {"x", Num(end)}, {"y", Num(bottom + 44)}},
              "report at " + Seconds(c.report.time));
    m.Element("text", {{"class", "title"}, {"x", Num(kPlotLeft - 6)}, {"y", Num(bottom + 30)}}, "virtual time (s)");
    m.Close("g");
}

// The events of a bin of one row: `row` holds the row's events (indexes into the timeline), `points` their places.
void EventBin(Markup &m, const Chart &c, const std::vector<size_t> &row, const std::vector<TimePoint> &points,
              const Bin &b, double mid, size_t fullest)
{
    const std::vector<Event> &events = c.sc.events;
    if (b.items.size() == 1) {
        const TimePoint &p = points[b.items.front()];
        const Event &ev = events[row[p.item]];
        OpenTipped(m, "ev", EventDetails(c.sc, c.report, ev));
        DrawMark(m, MarkOfEvent(ev), c.scale.X(ev.at, p.slot), mid, 5);
        m.Close("g");
        return;
    }
    std::map<MarkKind, size_t> kinds;
    for (const size_t k : b.items) {
        kinds[MarkOfEvent(events[row[k]])]++;
    }
    std::vector<std::string> tip{Period(b.from, b.to) + ": " + Plural(b.items.size(), "event", "events")};
    for (const auto &[kind, n] : kinds) {
        tip.push_back("  " + MarkCount(kind, n));
    }
    for (size_t k = 0; k < b.items.size() && k < kTipItems; ++k) {
        const std::vector<std::string> details = EventDetails(c.sc, c.report, events[row[b.items[k]]]);
        for (size_t line = 0; line < details.size() && line < kDetailsPerEvent; ++line) {
            tip.push_back("  " + details[line]);
        }
        if (details.size() > kDetailsPerEvent) {
            tip.push_back("    ...");
        }
    }
    MoreLine(tip, b.items.size());
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

// The times of the events in each row, in time order.
std::vector<std::vector<Ms>> EventTimes(const Scenario &sc)
{
    std::vector<std::vector<Ms>> rows(kEventRows);
    for (const Event &ev : sc.events) {
        rows[static_cast<size_t>(RowOf(ev))].push_back(ev.at);
    }
    return rows;
}

void EventRows(Markup &m, const Chart &c, double lanesBottom)
{
    const std::vector<std::vector<Ms>> times = EventTimes(c.sc);
    std::vector<std::vector<size_t>> indexes(kEventRows);
    for (size_t i = 0; i < c.sc.events.size(); ++i) {
        indexes[static_cast<size_t>(RowOf(c.sc.events[i]))].push_back(i);
    }
    m.Open("g", {{"class", "events"}});
    for (size_t r = 0; r < kEventRows; ++r) {
        const double mid = kEventsTop + kEventRowHeight * (static_cast<double>(r) + 0.5);
        m.Element("text", {{"class", "row"}, {"x", Num(kPlotLeft - 6)}, {"y", Num(mid + 4)}},
                  EventRowLabel(static_cast<EventRow>(r)));
        m.Empty("path", {{"class", "evline"}, {"d", PathData().M(kPlotLeft, mid).H(kPlotRight).Str()}});
        const std::vector<TimePoint> points = Slotted(times[r]);
        const std::vector<Bin> bins = GatherBins(points, c.scale, kBinPx);
        const size_t fullest = FullestBin(bins);
        for (const Bin &b : bins) {
            // The HA role and the library change every node at once: a rule across the lanes shows it.
            if (static_cast<EventRow>(r) == EventRow::Cluster) {
                const TimePoint &p = points[b.items.front()];
                m.Empty("path",
                        {{"class", "rule"}, {"d", PathData().M(c.scale.X(p.at, p.slot), mid).V(lanesBottom).Str()}});
            }
            EventBin(m, c, indexes[r], points, b, mid, fullest);
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

// The time axis with room for everything the chart draws at each instant: events in their rows, and in each
// lane's rows the causes and the requests.
TimeScale ChartScale(const Scenario &sc, const Report &report, const RunHistory &history, const LanePlan &plan)
{
    std::vector<Instant> instants;
    for (const std::vector<Ms> &row : EventTimes(sc)) {
        AddInstants(row, instants);
    }
    for (const size_t n : plan.lanes) {
        const std::vector<CauseMark> causes = CausesOf(report, n);
        for (const LaneRow &row : LaneRows(history, n, causes)) {
            AddRowInstants(row, instants);
        }
    }
    std::vector<Ms> folded;
    for (const size_t n : plan.folded) {
        if (n < history.nodes.size()) {
            for (const RequestRecord &r : history.nodes[n].requests) {
                folded.push_back(r.at);
            }
        }
    }
    std::sort(folded.begin(), folded.end());
    AddInstants(folded, instants);
    return TimeScale(kPlotLeft, kPlotRight - kPlotLeft, report.time, std::move(instants));
}

}  // namespace

std::string TimelineChart(const Scenario &sc, const Report &report, const RunHistory &history)
{
    std::vector<NodeTrouble> trouble;
    for (size_t n = 0; n < sc.nodes.size() && n < report.agents.size(); ++n) {
        trouble.push_back(TroubleOf(report, history, n));
    }
    const LanePlan plan = PlanLanes(trouble);
    const Chart c{sc, report, history, ChartScale(sc, report, history, plan)};
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
    LegendMark(m, MarkKind::Cause);
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
    LegendBand(m, "fold", "a stretch in which nothing happened, folded (its length below the axis)");
    m.Close("ul");
    m.Close("div");
    return m.Take();
}

}  // namespace zsim
