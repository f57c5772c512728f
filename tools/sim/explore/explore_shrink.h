// Shrinking a run that shows a drift reason to a small scenario that still shows it.
#ifndef ZELM_SIM_EXPLORE_SHRINK_H
#define ZELM_SIM_EXPLORE_SHRINK_H

#include <functional>

#include "explore/explore_pool.h"
#include "explore/explore_schedule.h"

namespace zsim {

// Removes events, nodes no event names and atoms of configuration messages one at a time, then narrows
// times (each event towards the one before it) and latencies. Then, so that the result reads as a story, it
// puts back the link and location-status events of the nodes it kept and spreads the events to whole seconds
// in their order. It keeps each change under which a run still shows `reason`. The candidates run on `pool` a
// batch at a time and the first that holds is taken, so the result is the same whatever the pool's width.
// `tick` is called after each run.
Trial Shrink(Trial trial, ReasonKey reason, WorkerPool &pool, const std::function<void()> &tick);

}  // namespace zsim

#endif
