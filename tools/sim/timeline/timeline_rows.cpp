// Rows of a lane or of the folded band: requests as marks or density bars, the causes of drift, the timer
// ticks, periods as bands, and how many of a group of nodes are within a period over time.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "text/units.h"
#include "timeline/timeline_chart.h"
#include "timeline/timeline_events.h"
#include "timeline/timeline_marks.h"

namespace zsim {

namespace {

// A crowded bar of at most this many requests lists them on hover.
constexpr size_t kRequestsListed = 5;

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

// "0.400 s request #9 to n1: components at index 1, add, 3 entries"
std::string RequestHeadline(const Chart &c, const NodeRequest &q)
{
    const RequestRecord &r = *q.r;
    const std::string what = r.component ? fmt::format("components at index {}", r.locIndex) : "locations";
    return fmt::format("{} request #{} to {}: {}, {}, {}", Seconds(r.at), r.callId, c.sc.nodes[q.node].name, what,
                       RequestOpName(r.opType), Plural(r.entries, "entry", "entries"));
}

// What a request followed from: a timer's tick, an event, or one atom of a configuration message.
std::string RequestCause(const Chart &c, const RequestRecord &r)
{
    if (!r.timer.empty()) {
        return "sent by a " + r.timer + " tick";
    }
    if (r.event >= c.sc.events.size()) {
        return "";
    }
    const Event &ev = c.sc.events[r.event];
    if (r.atom < ev.atoms.size()) {
        const AtomRef a = ev.atoms.At(r.atom);
        return fmt::format("after atom {} of {}: {} {} {}", r.atom + 1, EventHeadline(c.sc, ev), ClassName(a.cls),
                           AtomKey(a), AtomOpName(a.opCode));
    }
    return "after " + EventHeadline(c.sc, ev);
}

std::vector<std::string> RequestTip(const Chart &c, const NodeRequest &q)
{
    std::vector<std::string> lines{RequestHeadline(c, q), OutcomeText(*q.r)};
    if (std::string cause = RequestCause(c, *q.r); !cause.empty()) {
        lines.push_back(std::move(cause));
    }
    return lines;
}

void DrawRequest(Markup &m, const Chart &c, const NodeRequest &q, const TimePoint &point, double mid)
{
    const double x = c.scale.X(q.r->at, point.slot);
    OpenTipped(m, "req", RequestTip(c, q));
    if (q.r->doneAt && c.scale.X(*q.r->doneAt) - c.scale.After(q.r->at) >= kMarkRadius) {
        const double done = c.scale.X(*q.r->doneAt);
        m.Empty("path", {{"class", "lat"}, {"d", PathData().M(x, mid).H(done).M(done, mid - 3).V(mid + 3).Str()}});
    }
    DrawMark(m, MarkOf(q.r->outcome), x, mid, kMarkRadius);
    m.Close("g");
}

void DrawCause(Markup &m, const Chart &c, const CauseMark &cause, double x, double mid)
{
    std::vector<std::string> tip{Seconds(cause.cause.at) + ": " + cause.cause.what,
                                 Plural(cause.items.size(),
                                        "drift item follows from it:", "drift items follow from it:")};
    for (size_t k = 0; k < cause.items.size() && k < kTipItems; ++k) {
        const DriftItem &d = c.report.drift[cause.items[k]];
        tip.push_back(fmt::format("  {} {} {} [{}]: {}", KindName(d.kind), DriftEntry(d), d.name,
                                  ReasonCode(d.why.reason), d.why.text));
    }
    MoreLine(tip, cause.items.size());
    m.Open("g", {{"class", "cause"}, {"id", cause.id}, {"data-at", fmt::format("{}", cause.cause.at)}});
    m.Open("title").Lines(tip).Close("title");
    m.Open("a", {{"href", fmt::format("#drift-{}", cause.items.front())}});
    DrawMark(m, MarkKind::Cause, x, mid, kMarkRadius + 0.5);
    m.Close("a").Close("g");
}

// The periods of one kind of fault flag, merged, in time order.
std::vector<Span> FlagPeriods(const std::vector<FaultSpan> &flags, bool component)
{
    std::vector<Span> spans;
    for (const FaultSpan &f : flags) {
        if (f.component == component) {
            spans.push_back(f.span);
        }
    }
    std::sort(spans.begin(), spans.end(), [](const Span &a, const Span &b) { return a.from < b.from; });
    std::vector<Span> merged;
    for (const Span &s : spans) {
        if (!merged.empty() && (!merged.back().to || s.from <= *merged.back().to)) {
            if (merged.back().to) {
                merged.back().to = s.to ? std::max(*merged.back().to, *s.to) : s.to;
            }
            continue;
        }
        merged.push_back(s);
    }
    return merged;
}

bool Within(const std::vector<Span> &merged, Ms t)
{
    const auto it = std::upper_bound(merged.begin(), merged.end(), t, [](Ms v, const Span &s) { return v < s.from; });
    return it != merged.begin() && (!std::prev(it)->to || t < *std::prev(it)->to);
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

void MoreLine(std::vector<std::string> &tip, size_t total)
{
    if (total > kTipItems) {
        tip.push_back(fmt::format("  ... and {} more", total - kTipItems));
    }
}

std::vector<CauseMark> CausesOf(const Report &report, size_t node)
{
    std::vector<CauseMark> out;
    if (node >= report.agents.size()) {
        return out;
    }
    const std::string &name = report.agents[node].node;
    std::map<std::tuple<Ms, bool, std::string>, size_t> index;
    for (size_t i = 0; i < report.drift.size(); ++i) {
        const DriftItem &d = report.drift[i];
        if (d.node != name || !d.why.cause) {
            continue;
        }
        const auto key = std::make_tuple(d.why.cause->at, d.component, d.why.cause->what);
        const auto [it, added] = index.try_emplace(key, out.size());
        if (added) {
            out.push_back({d.component, *d.why.cause, {}, ""});
        }
        out[it->second].items.push_back(i);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const CauseMark &a, const CauseMark &b) { return a.cause.at < b.cause.at; });
    for (size_t k = 0; k < out.size(); ++k) {
        out[k].id = fmt::format("cause-{}-{}", node, k);
    }
    return out;
}

std::vector<LaneRow> LaneRows(const RunHistory &history, size_t node, const std::vector<CauseMark> &causes)
{
    std::vector<LaneRow> rows(2);
    for (const CauseMark &cm : causes) {
        rows[cm.component ? 1 : 0].causes.push_back(&cm);
    }
    if (node < history.nodes.size()) {
        for (const RequestRecord &r : history.nodes[node].requests) {
            rows[r.component ? 1 : 0].requests.push_back({&r, node});
        }
    }
    return rows;
}

namespace {

std::vector<Ms> CauseTimes(const LaneRow &row)
{
    std::vector<Ms> times;
    for (const CauseMark *cm : row.causes) {
        times.push_back(cm->cause.at);
    }
    return times;
}

std::vector<Ms> RequestTimes(const LaneRow &row)
{
    std::vector<Ms> times;
    times.reserve(row.requests.size());
    for (const NodeRequest &q : row.requests) {
        times.push_back(q.r->at);
    }
    return times;
}

}  // namespace

void AddRowInstants(const LaneRow &row, std::vector<Instant> &instants)
{
    const std::vector<Ms> causes = CauseTimes(row);
    const std::vector<Ms> requests = RequestTimes(row);
    std::vector<Ms> all;
    std::merge(causes.begin(), causes.end(), requests.begin(), requests.end(), std::back_inserter(all));
    AddInstants(all, instants);
}

void DrawRow(Markup &m, const Chart &c, const LaneRow &row, const std::string &who, double top, double height)
{
    const std::vector<Ms> causeTimes = CauseTimes(row);
    const std::vector<TimePoint> points = SlottedAfter(RequestTimes(row), causeTimes);
    const std::vector<Bin> bins = GatherBins(points, c.scale, kBinPx);
    const size_t fullest = FullestBin(bins);
    const double mid = top + height / 2;
    const std::vector<NodeRequest> &reqs = row.requests;
    for (const Bin &b : bins) {
        if (b.items.size() == 1) {
            DrawRequest(m, c, reqs[b.items.front()], points[b.items.front()], mid);
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
        // A few requests are listed; a bar of many, which long runs of large clusters draw by the thousand, is
        // counted only, so that the page stays small.
        for (size_t k = 0; b.items.size() <= kRequestsListed && k < b.items.size(); ++k) {
            const NodeRequest &q = reqs[b.items[k]];
            tip.push_back("  " + RequestHeadline(c, q) + ": " + OutcomeText(*q.r));
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
    const std::vector<TimePoint> causeSlots = Slotted(causeTimes);
    for (size_t k = 0; k < row.causes.size(); ++k) {
        DrawCause(m, c, *row.causes[k], c.scale.X(causeTimes[k], causeSlots[k].slot), mid);
    }
}

// The ticks of the smooth timers over these requests, pointing down at them.
void DrawTicks(Markup &m, const Chart &c, const std::vector<NodeRequest> &reqs, const std::vector<FaultSpan> &flags,
               double mid)
{
    std::map<std::pair<Ms, std::string>, size_t> ticks;  // (time, timer) -> requests it sent here
    for (const NodeRequest &q : reqs) {
        if (!q.r->timer.empty()) {
            ticks[{q.r->at, q.r->timer}]++;
        }
    }
    // A tick that sent nothing here still shows where a fault flag of this node was up: the library looked.
    const std::vector<Span> flagged[2] = {FlagPeriods(flags, false), FlagPeriods(flags, true)};
    for (const TickRecord &t : c.history.ticks) {
        if (Within(flagged[t.component ? 1 : 0], t.at)) {
            ticks.try_emplace({t.at, t.timer}, 0);
        }
    }
    std::vector<std::pair<std::pair<Ms, std::string>, size_t>> list(ticks.begin(), ticks.end());
    std::vector<Ms> times;
    for (const auto &tick : list) {
        times.push_back(tick.first.first);
    }
    const std::vector<TimePoint> points = Slotted(times);
    for (const Bin &b : GatherBins(points, c.scale, kBinPx)) {
        size_t sent = 0;
        std::set<std::string> timers;
        for (const size_t i : b.items) {
            sent += list[i].second;
            timers.insert(list[i].first.second);
        }
        std::string tip;
        for (const std::string &t : timers) {
            tip += (tip.empty() ? "" : " and ") + t;
        }
        tip += (b.items.size() == 1 ? " tick" : fmt::format(" ticks ({})", b.items.size())) +
               (b.from == b.to ? " at " + Seconds(b.from) : ", " + Period(b.from, b.to));
        tip += sent == 0 ? ": republished nothing here, while a fault flag of this node was up"
                         : ": republished " + Plural(sent, "request", "requests") + " here";
        const TimePoint &first = points[b.items.front()];
        OpenTipped(m, "tick", {tip});
        DrawMark(m, MarkKind::TimerTick, b.items.size() == 1 ? c.scale.X(first.at, first.slot) : b.x + b.width / 2, mid,
                 3.5);
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
