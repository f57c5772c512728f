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

// Horizontal: node labels, then the plot over the time axis, then a column for each lane's outcome and reason.
inline constexpr double kChartWidth = 1480;
inline constexpr double kLabelLeft = 8;
inline constexpr double kPlotLeft = 190;
inline constexpr double kPlotRight = 1070;
inline constexpr double kSideLeft = 1084;
inline constexpr size_t kSideChars = 60;  // of a line in the outcome column
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

// A tooltip lists at most this many things of a crowded mark, then says how many more there are.
inline constexpr size_t kTipItems = 20;

// A group with a tooltip: <g class=..><title>lines</title>, closed by the caller.
void OpenTipped(Markup &m, const std::string &cls, const std::vector<std::string> &tip);
// "... and 3 more" below the first kTipItems lines of a list of `total`.
void MoreLine(std::vector<std::string> &tip, size_t total);
// The group of a density bar, with the number of things it stands for in `data-count` (for programs that
// read the page).
void OpenDense(Markup &m, const std::string &cls, const std::vector<std::string> &tip, size_t count);

NodeTrouble TroubleOf(const Report &report, const RunHistory &history, size_t node);
// Which nodes get a lane of their own, and which fold into the band.
LanePlan PlanChart(const Scenario &sc, const Report &report, const RunHistory &history);

// A request and the node it went to.
struct NodeRequest {
    const RequestRecord *r;
    size_t node;
};

// The event some of a node's drift items follow from, marked on its lane at its time, in the row of the
// items' kind (locations or components).
struct CauseMark {
    bool component = false;
    Cause cause;
    std::vector<size_t> items;  // indexes into Report::drift
    std::string id;             // the mark's anchor, which the drift table links to
};
// The causes of a node's listed drift items, in time order.
std::vector<CauseMark> CausesOf(const Report &report, size_t node);
// The anchor of a node's lane.
std::string LaneId(size_t node);

// One row of a lane: the causes marked there, drawn first at their time, then the requests.
struct LaneRow {
    std::vector<const CauseMark *> causes;
    std::vector<NodeRequest> requests;
};
// The rows of a node's lane: locations, components.
std::vector<LaneRow> LaneRows(const RunHistory &history, size_t node, const std::vector<CauseMark> &causes);
// The instants a row draws at, with room for what it draws at each.
void AddRowInstants(const LaneRow &row, std::vector<Instant> &instants);

// A row's requests, `height` pixels from `top`: a mark each where they stand apart, a density bar where they
// crowd, its height after its count beside the row's fullest bar; its causes as marks of their own, linked to
// the drift table. `who` names where the requests went.
void DrawRow(Markup &m, const Chart &c, const LaneRow &row, const std::string &who, double top, double height);
// The ticks of the smooth timers over these requests, centred on `mid`: those that sent them, and with
// `flags` (the node's fault-flag periods) those that sent nothing while a flag was up.
void DrawTicks(Markup &m, const Chart &c, const std::vector<NodeRequest> &reqs, const std::vector<FaultSpan> &flags,
               double mid);
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
