// Where things go on the timeline page: virtual time to pixels (room for each instant, idle stretches folded),
// the axis ticks, which nodes get a lane of their own, and which marks lie too close together to be drawn one
// by one.
#ifndef ZELM_SIM_TIMELINE_LAYOUT_H
#define ZELM_SIM_TIMELINE_LAYOUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "run/history.h"
#include "scenario/scenario.h"

namespace zsim {

// An instant with marks: `slots` of them side by side in the row that has the most at that time.
struct Instant {
    Ms at = 0;
    size_t slots = 1;  // 0: a time the axis must show, without marks
};

// A stretch of the run in which nothing was drawn (no event, no request), folded into a break of fixed width.
struct Break {
    Ms from = 0;
    Ms to = 0;
    double x0 = 0;
    double x1 = 0;
};

// The shared time axis from 0 to `end`. Each instant with marks has room for them side by side, a slot each in
// their order, so that things of one millisecond stand apart and in order; the time between instants is drawn
// in proportion, but a long idle stretch folds into a break, so that a run's settling takes little width.
class TimeScale {
public:
    TimeScale() = default;
    // In proportion throughout: time 0 at `left`, `end` at `left + width`.
    TimeScale(double left, double width, Ms end) : TimeScale(left, width, end, {}) {}
    // Room for these instants (in any order; an instant given twice keeps its most slots).
    TimeScale(double left, double width, Ms end, std::vector<Instant> instants);

    // Where a time is drawn: an instant's first slot, or in proportion between instants. Times after `end`
    // are drawn where `end` is.
    double X(Ms t) const { return X(t, 0); }
    // The `slot`-th mark of an instant (slots beyond its room share its last one).
    double X(Ms t, size_t slot) const;
    // Where what happens at `t` ends: an instant's last slot; for any other time, X(t).
    double After(Ms t) const;
    double Left() const { return left_; }
    double Right() const { return left_ + width_; }
    Ms End() const { return end_; }
    double SlotPx() const { return slotPx_; }
    // The folded stretches, in time order.
    const std::vector<Break> &Breaks() const { return breaks_; }

private:
    struct Stop {
        Ms at = 0;
        size_t slots = 0;
        double x = 0;  // its first slot
    };
    // The last stop at or before t.
    size_t StopOf(Ms t) const;
    // Where the last mark of a stop goes.
    double LastSlot(size_t stop) const;

    double left_ = 0;
    double width_ = 1;
    Ms end_ = 0;
    double slotPx_ = 0;
    std::vector<Stop> stops_;  // 0, the instants, `end`; in time order
    std::vector<Break> breaks_;
};

// An instant gets room for at most this many marks in a row; more crowd into a bar.
inline constexpr size_t kMaxSlots = 16;

// Something to draw at a time: `item` indexes the caller's list, `slot` its place among the things of one row
// at that time.
struct TimePoint {
    Ms at = 0;
    size_t item = 0;
    size_t slot = 0;
};

// The points of one row, in time order, each given its slot: its place among those of its time.
std::vector<TimePoint> Slotted(const std::vector<Ms> &times);
// The same for a row that draws the things at `before` (times in order) first at each of their times.
std::vector<TimePoint> SlottedAfter(const std::vector<Ms> &times, const std::vector<Ms> &before);
// Adds the instants of one row (its times, in order) to `instants`.
void AddInstants(const std::vector<Ms> &times, std::vector<Instant> &instants);

// Labelled ticks of an axis: round times where they fit, and the end of each break.
struct AxisTick {
    Ms at = 0;
    std::string label;
};
// At most about `maxTicks` ticks, none closer than `minPx` to the one before it.
std::vector<AxisTick> AxisLabels(const TimeScale &scale, int maxTicks, double minPx);

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

// Points whose marks would overlap. A bin with one point is drawn as its mark at `x`; with more, as one mark
// of their density, from `x` for `width` pixels.
struct Bin {
    double x = 0;
    double width = 0;
    Ms from = 0;
    Ms to = 0;
    std::vector<size_t> items;
};

// Groups points (in time order, slots in order) into bins: a bin takes the points less than `binPx` right of
// its first one, so that points that stand apart stay single.
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
