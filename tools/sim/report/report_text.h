// Private to the text report: its parts.
#ifndef ZELM_SIM_REPORT_TEXT_H
#define ZELM_SIM_REPORT_TEXT_H

#include "report/report.h"
#include "report/report_paint.h"

namespace zsim {

void WriteAgents(const Painter &p, const Report &r);

}  // namespace zsim

#endif
