// The timeline page of a run: one HTML file that shows it at a glance and opens offline in any browser.
#ifndef ZELM_SIM_TIMELINE_PAGE_H
#define ZELM_SIM_TIMELINE_PAGE_H

#include <string>

#include "report/report.h"
#include "run/history.h"
#include "scenario/scenario.h"

namespace zsim {

// The page: the run's summary, a legend, the chart (events above, a lane per node below, hover details on
// every mark) and the drift and counts as the text report has them. Everything is inline: no network, no
// script. `history` is the run's (RunOptions::history); without it the lanes show the report alone.
std::string TimelinePage(const Scenario &sc, const Report &report, const RunHistory &history);

}  // namespace zsim

#endif
