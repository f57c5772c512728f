// Scenarios for the allocation-failure sweep: host-level stories that together reach every allocation of the library.
//
// A scenario drives a started (or partly started) library through the stand-in
// and asserts nothing itself: it runs again and again with one allocation or
// text copy failing, and must go through whatever the library does then. Its
// texts carry a tag naming their field ("LN-" LocName, "IM-" imageName,
// "LX-" LocExtName, "TN-" compTypeName, "FN-" compFileName, "EX-"
// compExtName, "CI-" compInstName), so that a copy tells which field it is.
#ifndef ZELM_TESTS_SUPPORT_SWEEP_SCENARIOS_H
#define ZELM_TESTS_SUPPORT_SWEEP_SCENARIOS_H

#include <vector>

namespace zt {

struct SweepScenario {
    const char *name;
    void (*body)();    // runs after ZELM_Init; the caller fails pending calls and stops the library
    bool copiesTexts;  // whether the library copies texts in it
};

const std::vector<SweepScenario> &SweepScenarios();

}  // namespace zt

#endif
