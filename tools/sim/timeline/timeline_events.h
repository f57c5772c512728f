// The timeline's events as the page shows them: which row and mark each takes, and what it says on hover.
#ifndef ZELM_SIM_TIMELINE_EVENTS_H
#define ZELM_SIM_TIMELINE_EVENTS_H

#include <string>
#include <vector>

#include "report/report.h"
#include "scenario/scenario.h"
#include "timeline/timeline_marks.h"

namespace zsim {

// The rows above the lanes, top to bottom.
enum class EventRow { Config, Status, Agent, Cluster };
inline constexpr size_t kEventRows = 4;
const char *EventRowLabel(EventRow row);

EventRow RowOf(const Event &ev);
MarkKind MarkOfEvent(const Event &ev);

// One line: "3.000 s configuration message, 2 atoms", "0.000 s link n1 up".
std::string EventHeadline(const Scenario &sc, const Event &ev);
// The headline and the particulars: a configuration message's atoms (and those the library ignored or
// rejected), a report's node, service and index.
std::vector<std::string> EventDetails(const Scenario &sc, const Report &r, const Event &ev);

}  // namespace zsim

#endif
