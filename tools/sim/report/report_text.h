// Private to the text report: its parts.
#ifndef ZELM_SIM_REPORT_TEXT_H
#define ZELM_SIM_REPORT_TEXT_H

#include "report/report.h"
#include "report/report_paint.h"

namespace zsim {

void WriteAgents(const Painter &p, const Report &r);
void WriteCost(const Painter &p, const Report &r);
// The largest entry of a kind: "at 1.001 s: tick of ZelmCompSmooth: 12 tree steps, ...".
std::string LargestText(const KindCost &k);

}  // namespace zsim

#endif
