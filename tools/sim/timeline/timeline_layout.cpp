// Layout decisions of the timeline page, kept apart from the drawing so that they can be checked alone.
#include "timeline/timeline_layout.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace zsim {

double TimeScale::X(Ms t) const
{
    if (end == 0) {
        return left;
    }
    return left + width * static_cast<double>(std::min(t, end)) / static_cast<double>(end);
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
    const size_t lastBin = static_cast<size_t>(std::max(0.0, std::ceil(scale.width / binPx) - 1));
    std::vector<Bin> bins;
    size_t current = SIZE_MAX;
    for (const TimePoint &p : points) {
        const double offset = scale.X(p.at) - scale.left;
        const size_t b = std::min(lastBin, static_cast<size_t>(std::max(0.0, offset) / binPx));
        if (bins.empty() || b != current) {
            current = b;
            const double x = scale.left + static_cast<double>(b) * binPx;
            bins.push_back({x, std::min(binPx, scale.left + scale.width - x), p.at, p.at, {}});
        }
        bins.back().to = p.at;
        bins.back().items.push_back(p.item);
    }
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
        const Ms to = std::max(s.from, s.to.value_or(scale.end));
        const double x0 = std::min(scale.X(s.from), scale.left + scale.width - 1);
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
