// Layout decisions of the timeline page, kept apart from the drawing so that they can be checked alone.
#include "timeline/timeline_layout.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace zsim {

namespace {

constexpr double kSlotPx = 12;       // between the marks of one instant
constexpr double kBreakPx = 26;      // the width of a folded stretch
constexpr double kSlotShare = 0.5;   // at most this share of the width goes to slots and breaks
constexpr Ms kFoldAtLeast = 1000;    // a stretch shorter than this never folds
constexpr double kFoldShare = 0.25;  // a stretch folds when it is at least this share of the run
constexpr Ms kFoldOverMedian = 4;    // and at least this many times the median stretch
constexpr Ms kShortestDrawn = 1000;  // the time the whole width stands for at the least

// A time as a tick labels it, with no more decimals than it needs: "20", "0.3", "60.001".
std::string ExactLabel(Ms t)
{
    return TickLabel(t, t % 1000 == 0 ? 1000 : t % 100 == 0 ? 100 : t % 10 == 0 ? 10 : 1);
}

}  // namespace

TimeScale::TimeScale(double left, double width, Ms end, std::vector<Instant> instants)
    : left_(left), width_(width), end_(end)
{
    // The axis' ends are stops without marks of their own.
    instants.push_back({0, 0});
    instants.push_back({end, 0});
    std::stable_sort(instants.begin(), instants.end(), [](const Instant &a, const Instant &b) { return a.at < b.at; });
    for (const Instant &i : instants) {
        if (i.at > end) {
            break;
        }
        const size_t slots = std::min(i.slots, kMaxSlots);
        if (!stops_.empty() && stops_.back().at == i.at) {
            stops_.back().slots = std::max(stops_.back().slots, slots);
        } else {
            stops_.push_back({i.at, slots, 0});
        }
    }
    // Room for the marks: each instant's own, and a slot between two instants that both have marks.
    std::vector<Ms> gaps;
    double nSlots = 0;
    for (size_t i = 0; i < stops_.size(); ++i) {
        nSlots += static_cast<double>(std::max<size_t>(stops_[i].slots, 1) - 1);
        if (i + 1 < stops_.size()) {
            nSlots += stops_[i].slots > 0 && stops_[i + 1].slots > 0 ? 1 : 0;
            gaps.push_back(stops_[i + 1].at - stops_[i].at);
        }
    }
    // A stretch next to an instant folds when it is long, a good part of the run, and far longer than the
    // stretches between the other instants are as a rule (their median).
    std::vector<Ms> sorted = gaps;
    std::sort(sorted.begin(), sorted.end());
    std::vector<bool> folded(gaps.size());
    Ms unfolded = end;
    for (size_t i = 0; i < gaps.size(); ++i) {
        const Ms d = gaps[i];
        const size_t at = static_cast<size_t>(std::lower_bound(sorted.begin(), sorted.end(), d) - sorted.begin());
        const size_t mid = sorted.size() < 2 ? 0 : (sorted.size() - 2) / 2;  // of the others, without this one
        const Ms others = sorted.size() < 2 ? 0 : sorted[mid < at ? mid : mid + 1];
        folded[i] = (stops_[i].slots > 0 || stops_[i + 1].slots > 0) && d >= kFoldAtLeast &&
                    static_cast<double>(d) >= kFoldShare * static_cast<double>(end) && d >= kFoldOverMedian * others;
        unfolded -= folded[i] ? d : 0;
    }
    const double nBreaks = static_cast<double>(std::count(folded.begin(), folded.end(), true));
    slotPx_ = kSlotPx;
    double breakPx = kBreakPx;
    const double structure = slotPx_ * nSlots + breakPx * nBreaks;
    const double budget = width * (unfolded > 0 ? kSlotShare : 1.0);
    if (structure > budget) {
        slotPx_ *= budget / structure;
        breakPx *= budget / structure;
    }
    // The rest of the run's time shares what slots and breaks leave; a run shorter than a second is not
    // stretched over the whole width.
    const double perMs = unfolded > 0 ? (width - slotPx_ * nSlots - breakPx * nBreaks) /
                                            static_cast<double>(std::max(unfolded, kShortestDrawn))
                                      : 0;
    double x = left;
    for (size_t i = 0; i < stops_.size(); ++i) {
        stops_[i].x = x;
        if (i + 1 == stops_.size()) {
            break;
        }
        const double last = LastSlot(i);
        const double between = stops_[i].slots > 0 && stops_[i + 1].slots > 0 ? slotPx_ : 0;
        const double gap = folded[i] ? breakPx : perMs * static_cast<double>(stops_[i + 1].at - stops_[i].at);
        x = last + between + gap;
        if (folded[i]) {
            breaks_.push_back({stops_[i].at, stops_[i + 1].at, last + between / 2, x - between / 2});
        }
    }
}

double TimeScale::LastSlot(size_t stop) const
{
    return stops_[stop].x + slotPx_ * static_cast<double>(std::max<size_t>(stops_[stop].slots, 1) - 1);
}

size_t TimeScale::StopOf(Ms t) const
{
    const auto it = std::upper_bound(stops_.begin(), stops_.end(), t, [](Ms v, const Stop &s) { return v < s.at; });
    return static_cast<size_t>(it - stops_.begin()) - 1;
}

double TimeScale::X(Ms t, size_t slot) const
{
    t = std::min(t, end_);
    const size_t i = StopOf(t);
    const Stop &s = stops_[i];
    if (s.at == t) {
        return std::min(s.x + slotPx_ * static_cast<double>(slot), LastSlot(i));
    }
    const double from = LastSlot(i);
    const Stop &next = stops_[i + 1];
    return from + (next.x - from) * static_cast<double>(t - s.at) / static_cast<double>(next.at - s.at);
}

double TimeScale::After(Ms t) const
{
    return X(t, kMaxSlots);
}

std::vector<TimePoint> Slotted(const std::vector<Ms> &times)
{
    std::vector<TimePoint> points;
    points.reserve(times.size());
    for (size_t i = 0; i < times.size(); ++i) {
        const size_t slot = i > 0 && times[i] == times[i - 1] ? points.back().slot + 1 : 0;
        points.push_back({times[i], i, slot});
    }
    return points;
}

std::vector<TimePoint> SlottedAfter(const std::vector<Ms> &times, const std::vector<Ms> &before)
{
    std::vector<TimePoint> points = Slotted(times);
    size_t j = 0;
    for (TimePoint &p : points) {
        while (j < before.size() && before[j] < p.at) {
            ++j;
        }
        for (size_t k = j; k < before.size() && before[k] == p.at; ++k) {
            ++p.slot;
        }
    }
    return points;
}

void AddInstants(const std::vector<Ms> &times, std::vector<Instant> &instants)
{
    for (size_t i = 0; i < times.size();) {
        size_t n = 1;
        while (i + n < times.size() && times[i + n] == times[i]) {
            ++n;
        }
        instants.push_back({times[i], n});
        i += n;
    }
}

std::vector<AxisTick> AxisLabels(const TimeScale &scale, int maxTicks, double minPx)
{
    const std::vector<Break> &breaks = scale.Breaks();
    Ms unfolded = scale.End();
    for (const Break &b : breaks) {
        unfolded -= b.to - b.from;
    }
    const std::vector<Ms> round = AxisTicks(unfolded, maxTicks);
    const Ms step = round.size() > 1 ? round[1] : 1000;
    std::vector<AxisTick> candidates;
    // Round times within each stretch that is drawn in proportion, and the time where each break ends.
    Ms from = 0;
    for (size_t b = 0; b <= breaks.size(); ++b) {
        const Ms to = b < breaks.size() ? breaks[b].from : scale.End();
        for (Ms t = (from + step - 1) / step * step; t <= to; t += step) {
            candidates.push_back({t, t == 0 ? "0" : TickLabel(t, step)});
        }
        if (b < breaks.size()) {
            from = breaks[b].to;
            candidates.push_back({from, ExactLabel(from)});
        }
    }
    std::vector<AxisTick> out;
    double last = 0;
    for (AxisTick &t : candidates) {
        const double x = scale.X(t.at);
        if (out.empty() || x - last >= minPx) {
            last = x;
            out.push_back(std::move(t));
        }
    }
    return out;
}

std::vector<Ms> AxisTicks(Ms end, int maxTicks)
{
    Ms step = 1;
    for (Ms decade = 1;; decade *= 10) {
        bool found = false;
        for (const Ms m : {Ms{1}, Ms{2}, Ms{5}}) {
            step = m * decade;
            if (end / step + 1 <= static_cast<Ms>(std::max(maxTicks, 2))) {
                found = true;
                break;
            }
        }
        if (found) {
            break;
        }
    }
    std::vector<Ms> ticks;
    for (Ms t = 0; t <= end; t += step) {
        ticks.push_back(t);
    }
    return ticks;
}

std::string TickLabel(Ms t, Ms step)
{
    const int decimals = step % 1000 == 0 ? 0 : step % 100 == 0 ? 1 : step % 10 == 0 ? 2 : 3;
    return fmt::format("{:.{}f}", static_cast<double>(t) / 1000, decimals);
}

bool IsQuiet(const NodeTrouble &t)
{
    return t.converged && t.driftItems == 0 && t.failures == 0 && t.faultSpans == 0 && t.outages == 0;
}

LanePlan PlanLanes(const std::vector<NodeTrouble> &nodes)
{
    std::vector<size_t> order(nodes.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    const auto severity = [&nodes](size_t i) {
        const NodeTrouble &t = nodes[i];
        return std::make_tuple(!t.converged, t.driftItems, t.failures, t.faultSpans, t.outages);
    };
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return severity(a) > severity(b); });
    LanePlan plan;
    const bool fold = nodes.size() > kAllLanesUpTo;
    for (const size_t n : order) {
        const bool shown = !fold || (!IsQuiet(nodes[n]) && plan.lanes.size() < kMaxLanes);
        (shown ? plan.lanes : plan.folded).push_back(n);
    }
    std::sort(plan.folded.begin(), plan.folded.end());
    return plan;
}

std::vector<Bin> GatherBins(const std::vector<TimePoint> &points, const TimeScale &scale, double binPx)
{
    std::vector<Bin> bins;
    double first = 0;
    double last = 0;
    const auto close = [&] {
        if (!bins.empty()) {
            bins.back().x = first - binPx / 2;
            bins.back().width = last - first + binPx;
        }
    };
    for (const TimePoint &p : points) {
        const double x = scale.X(p.at, p.slot);
        if (bins.empty() || x >= first + binPx) {
            close();
            first = x;
            bins.push_back({0, 0, p.at, p.at, {}});
        }
        last = x;
        bins.back().to = p.at;
        bins.back().items.push_back(p.item);
    }
    close();
    return bins;
}

size_t FullestBin(const std::vector<Bin> &bins)
{
    size_t fullest = 1;
    for (const Bin &b : bins) {
        fullest = std::max(fullest, b.items.size());
    }
    return fullest;
}

std::vector<PixelRange> SpanPixels(std::vector<Span> spans, const TimeScale &scale)
{
    std::sort(spans.begin(), spans.end(), [](const Span &a, const Span &b) { return a.from < b.from; });
    std::vector<PixelRange> ranges;
    for (const Span &s : spans) {
        const Ms to = std::max(s.from, s.to.value_or(scale.End()));
        const double x0 = std::min(scale.X(s.from), scale.Right() - 1);
        const double x1 = std::max(scale.X(to), x0 + 1);
        if (!ranges.empty() && x0 <= ranges.back().x1 + 1) {
            ranges.back().x1 = std::max(ranges.back().x1, x1);
            ranges.back().to = std::max(ranges.back().to, to);
        } else {
            ranges.push_back({x0, x1, s.from, to});
        }
    }
    return ranges;
}

}  // namespace zsim
