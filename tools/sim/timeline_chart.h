// Private to the timeline page: the chart's geometry and its parts, drawn into one SVG.
#ifndef ZELM_SIM_TIMELINE_CHART_H
#define ZELM_SIM_TIMELINE_CHART_H

#include <string>
#include <vector>

#include "history.h"
#include "markup.h"
#include "report.h"
#include "scenario.h"
#include "timeline_layout.h"

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

NodeTrouble TroubleOf(const Chart &c, size_t node);

// One node's lane, `top` its upper edge.
void DrawLane(Markup &m, const Chart &c, size_t node, double top);
// The nodes without a lane of their own, together: links up and requests over time, and how many converged.
void DrawFoldedBand(Markup &m, const Chart &c, const std::vector<size_t> &nodes, double top);

// The SVG of a run: the events above, a lane per node, the folded nodes, the time axis.
std::string TimelineChart(const Scenario &sc, const Report &report, const RunHistory &history);
// The SVG that explains the chart's marks and bands.
std::string TimelineLegend();

}  // namespace zsim

#endif
