// Private to the timeline page: the chart's geometry and its parts, drawn into one SVG.
#ifndef ZELM_SIM_TIMELINE_CHART_H
#define ZELM_SIM_TIMELINE_CHART_H

#include <string>
#include <vector>

#include "report/report.h"
#include "run/history.h"
#include "scenario/scenario.h"
#include "timeline/markup.h"
#include "timeline/timeline_layout.h"

namespace zsim {

// Horizontal: node labels, then the plot over the time axis, then a column for each lane's outcome.
inline constexpr double kChartWidth = 1300;
inline constexpr double kLabelLeft = 8;
inline constexpr double kPlotLeft = 190;
inline constexpr double kPlotRight = 1070;
inline constexpr double kSideLeft = 1084;
// Marks closer than this are drawn as one density bar.
inline constexpr double kBinPx = 7;
inline constexpr double kMarkRadius = 4.5;
inline constexpr double kEventRowHeight = 18;
inline constexpr double kLaneHeight = 52;
inline constexpr double kBandHeight = 70;

struct Chart {
    const Scenario &sc;
    const Report &report;
    const RunHistory &history;
    TimeScale scale;
};

// A group with a tooltip: <g class=..><title>lines</title>, closed by the caller.
void OpenTipped(Markup &m, const std::string &cls, const std::vector<std::string> &tip);
// The group of a density bar, with the number of things it stands for in `data-count` (for programs that
// read the page).
void OpenDense(Markup &m, const std::string &cls, const std::vector<std::string> &tip, size_t count);

NodeTrouble TroubleOf(const Chart &c, size_t node);

// A request and the node it went to.
struct NodeRequest {
    const RequestRecord *r;
    size_t node;
};

// Requests in one row, `height` pixels from `top`: a mark each where they stand apart, a density bar where
// they crowd, its height after its count beside the row's fullest bar. `who` names where they went.
void DrawRequests(Markup &m, const Chart &c, const std::vector<NodeRequest> &reqs, const std::string &who, double top,
                  double height);
// The ticks of the smooth timers that sent these requests, centred on `mid`.
void DrawTicks(Markup &m, const Chart &c, const std::vector<NodeRequest> &reqs, double mid);
// Periods as bands from `top`, each with `what` and its period on hover.
void DrawSpans(Markup &m, const Chart &c, const std::vector<Span> &spans, const char *cls, const std::string &what,
               double top, double height);
// How many of `total` nodes are within one of their periods, over time, as an area up from the bottom.
void DrawShare(Markup &m, const Chart &c, const std::vector<Span> &spans, size_t total, const char *cls, double top,
               double height);

// One node's lane, `top` its upper edge.
void DrawLane(Markup &m, const Chart &c, size_t node, double top);
// The nodes without a lane of their own, together: links up and requests over time, and how many converged.
// `trouble` holds every node's, by index.
void DrawFoldedBand(Markup &m, const Chart &c, const std::vector<size_t> &nodes,
                    const std::vector<NodeTrouble> &trouble, double top);

// The SVG of a run: the events above, a lane per node, the folded nodes, the time axis.
std::string TimelineChart(const Scenario &sc, const Report &report, const RunHistory &history);
// The SVG that explains the chart's marks and bands.
std::string TimelineLegend();

}  // namespace zsim

#endif
