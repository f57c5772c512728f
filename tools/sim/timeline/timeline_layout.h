// Where things go on the timeline page: virtual time to pixels, the axis ticks, which nodes get a lane of
// their own, and which marks lie too close together to be drawn one by one.
#ifndef ZELM_SIM_TIMELINE_LAYOUT_H
#define ZELM_SIM_TIMELINE_LAYOUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "run/history.h"
#include "scenario/scenario.h"

namespace zsim {

// The shared time axis: time 0 at `left`, time `end` at `left + width`.
struct TimeScale {
    double left = 0;
    double width = 1;
    Ms end = 0;
    // Times after `end` are drawn at its edge; with `end` 0 everything is at `left`.
    double X(Ms t) const;
};

// Times for labelled ticks from 0 to `end`: a step of 1, 2 or 5 times a power of ten milliseconds, the
// smallest that gives at most `maxTicks` ticks.
std::vector<Ms> AxisTicks(Ms end, int maxTicks);
// A tick's label in seconds, with as many decimals as the step between ticks needs: "2.5", "10".
std::string TickLabel(Ms t, Ms step);

// How a run went for one node, as far as choosing its place on the page goes.
struct NodeTrouble {
    size_t driftItems = 0;
    bool converged = false;
    uint64_t failures = 0;
    size_t faultSpans = 0;
    size_t outages = 0;  // periods its agent was down
};

// A node with nothing to look at: converged, no failed request, no fault flag, no outage.
bool IsQuiet(const NodeTrouble &t);

// Every node gets a lane while the cluster has at most this many nodes.
inline constexpr size_t kAllLanesUpTo = 12;
// A larger cluster shows at most this many lanes; the nodes left over share one summary band.
inline constexpr size_t kMaxLanes = 40;

struct LanePlan {
    std::vector<size_t> lanes;   // nodes (indexes), most troubled first, scenario order among equals
    std::vector<size_t> folded;  // nodes in the summary band, scenario order
};

// Troubled nodes first; in a cluster larger than kAllLanesUpTo, quiet nodes and those beyond kMaxLanes
// fold into the summary band.
LanePlan PlanLanes(const std::vector<NodeTrouble> &nodes);

// Something to draw at a time: `item` indexes the caller's list.
struct TimePoint {
    Ms at = 0;
    size_t item = 0;
};

// Points that fall into one bin of the axis. A bin with one point is drawn as its mark at `x`; with more,
// as one mark of their density over the bin, from `x` for `width` pixels.
struct Bin {
    double x = 0;
    double width = 0;
    Ms from = 0;
    Ms to = 0;
    std::vector<size_t> items;
};

// Groups points (in time order) into bins `binPx` pixels wide; bins without points are left out. Every bin
// lies within the axis.
std::vector<Bin> GatherBins(const std::vector<TimePoint> &points, const TimeScale &scale, double binPx);
// The most points one of the bins holds, at least 1: density marks are drawn in proportion to it.
size_t FullestBin(const std::vector<Bin> &bins);

// Periods as pixel ranges on the axis: an open period lasts to the axis' end, each range is at least one
// pixel wide, and ranges less than a pixel apart are merged (a peer flagged and cleared at every tick of a
// long run is one band, not thousands).
struct PixelRange {
    double x0 = 0;
    double x1 = 0;
    Ms from = 0;
    Ms to = 0;
};
std::vector<PixelRange> SpanPixels(std::vector<Span> spans, const TimeScale &scale);

}  // namespace zsim

#endif
