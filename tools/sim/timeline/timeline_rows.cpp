// Rows of a lane or of the folded band: requests as marks or density bars, the timer ticks that sent them,
// periods as bands, and how many of a group of nodes are within a period over time.
#include <fmt/format.h>

#include <cmath>
#include <map>
#include <set>

#include "text/units.h"
#include "timeline/timeline_chart.h"
#include "timeline/timeline_events.h"
#include "timeline/timeline_marks.h"

namespace zsim {

namespace {

// The outcomes in the order a density bar stacks them, troubles on top.
constexpr MarkKind kStackOrder[] = {MarkKind::Applied, MarkKind::InFlight, MarkKind::NoReply, MarkKind::Failed,
                                    MarkKind::Refused};

std::string OutcomeText(const RequestRecord &r)
{
    const std::string done = r.doneAt ? " at " + Seconds(*r.doneAt) : "";
    switch (r.outcome) {
    case RequestOutcome::Applied:
        return "applied" + done;
    case RequestOutcome::Refused:
        return fmt::format("refused, status {}", r.code);
    case RequestOutcome::Rejected:
        return fmt::format("failed completion: result {}{}", r.code, done);
    case RequestOutcome::NoReply:
        return "completed without a reply" + done;
    case RequestOutcome::Failed:
        return "the call failed" + done + " (the agent went down, or the library stopped)";
    case RequestOutcome::InFlight:
        break;
    }
    return "in flight at the end of the run";
}

std::vector<std::string> RequestTip(const Chart &c, const NodeRequest &q)
{
    const RequestRecord &r = *q.r;
    const std::string what = r.component ? fmt::format("components at index {}", r.locIndex) : "locations";
    std::vector<std::string> lines{fmt::format("{} request #{} to {}: {}, {}, {}", Seconds(r.at), r.callId,
                                               c.sc.nodes[q.node].name, what, RequestOpName(r.opType),
                                               Plural(r.entries, "entry", "entries")),
                                   OutcomeText(r)};
    if (!r.timer.empty()) {
        lines.push_back("sent by a " + r.timer + " tick");
    } else if (r.event < c.sc.events.size()) {
        lines.push_back("after " + EventHeadline(c.sc, c.sc.events[r.event]));
    }
    return lines;
}

}  // namespace

void OpenTipped(Markup &m, const std::string &cls, const std::vector<std::string> &tip)
{
    m.Open("g", {{"class", cls}}).Open("title").Lines(tip).Close("title");
}

void OpenDense(Markup &m, const std::string &cls, const std::vector<std::string> &tip, size_t count)
{
    m.Open("g", {{"class", cls}, {"data-count", fmt::format("{}", count)}}).Open("title").Lines(tip).Close("title");
}

// Requests in one row: a mark each where they stand apart, a density bar where they crowd, its height
// after its count beside the row's fullest bin.
void DrawRequests(Markup &m, const Chart &c, const std::vector<NodeRequest> &reqs, const std::string &who, double top,
                  double height)
{
    std::vector<TimePoint> points;
    for (size_t i = 0; i < reqs.size(); ++i) {
        points.push_back({reqs[i].r->at, i});
    }
    const std::vector<Bin> bins = GatherBins(points, c.scale, kBinPx);
    const size_t fullest = FullestBin(bins);
    const double mid = top + height / 2;
    for (const Bin &b : bins) {
        if (b.items.size() == 1) {
            const NodeRequest &q = reqs[b.items.front()];
            const double x = c.scale.X(q.r->at);
            OpenTipped(m, "req", RequestTip(c, q));
            if (q.r->doneAt && c.scale.X(*q.r->doneAt) - x >= kMarkRadius) {
                const double done = c.scale.X(*q.r->doneAt);
                m.Empty("path",
                        {{"class", "lat"}, {"d", PathData().M(x, mid).H(done).M(done, mid - 3).V(mid + 3).Str()}});
            }
            DrawMark(m, MarkOf(q.r->outcome), x, mid, kMarkRadius);
            m.Close("g");
            continue;
        }
        std::map<MarkKind, size_t> counts;
        for (const size_t i : b.items) {
            counts[MarkOf(reqs[i].r->outcome)]++;
        }
        std::vector<std::string> tip{Period(b.from, b.to) + ": " + Plural(b.items.size(), "request", "requests") +
                                     " to " + who};
        for (const MarkKind k : kStackOrder) {
            if (counts[k] != 0) {
                tip.push_back(fmt::format("  {} {}", counts[k], MarkLabel(k)));
            }
        }
        OpenDense(m, "req dense", tip, b.items.size());
        const double total = height * (0.3 + 0.7 * static_cast<double>(b.items.size()) / static_cast<double>(fullest));
        double y = top + height;
        for (const MarkKind k : kStackOrder) {
            const double h = total * static_cast<double>(counts[k]) / static_cast<double>(b.items.size());
            if (h > 0) {
                y -= h;
                m.Empty("rect", {{"class", DensityClass(k)},
                                 {"x", Num(b.x + 0.5)},
                                 {"y", Num(y)},
                                 {"width", Num(b.width - 1)},
                                 {"height", Num(h)}});
            }
        }
        m.Close("g");
    }
}

// The ticks of the smooth timers that sent these requests, pointing down at them.
void DrawTicks(Markup &m, const Chart &c, const std::vector<NodeRequest> &reqs, double mid)
{
    std::map<std::pair<Ms, std::string>, size_t> ticks;  // (time, timer) -> requests it sent
    for (const NodeRequest &q : reqs) {
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
        tip += (b.items.size() == 1 ? " tick" : " ticks") +
               (b.from == b.to ? " at " + Seconds(b.from) : ", " + Period(b.from, b.to));
        OpenTipped(m, "tick", {tip + ": republished " + Plural(sent, "request", "requests") + " here"});
        DrawMark(m, MarkKind::TimerTick, b.items.size() == 1 ? c.scale.X(first.first) : b.x + b.width / 2, mid, 3.5);
        m.Close("g");
    }
}

// Periods as bands from `top`, `height` high, each with its period on hover.
void DrawSpans(Markup &m, const Chart &c, const std::vector<Span> &spans, const char *cls, const std::string &what,
               double top, double height)
{
    for (const PixelRange &p : SpanPixels(spans, c.scale)) {
        OpenTipped(m, "span", {what + ", " + Period(p.from, p.to)});
        m.Empty("rect", {{"class", cls},
                         {"x", Num(p.x0)},
                         {"y", Num(top)},
                         {"width", Num(p.x1 - p.x0)},
                         {"height", Num(height)}});
        m.Close("g");
    }
}

// How many of `total` nodes are within one of their periods, over time, as an area from the bottom.
void DrawShare(Markup &m, const Chart &c, const std::vector<Span> &spans, size_t total, const char *cls, double top,
               double height)
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

}  // namespace zsim
