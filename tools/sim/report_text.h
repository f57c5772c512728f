// Private to the text report: its parts.
#ifndef ZELM_SIM_REPORT_TEXT_H
#define ZELM_SIM_REPORT_TEXT_H

#include "report.h"
#include "report_paint.h"

namespace zsim {

void WriteAgents(const Painter &p, const Report &r);

}  // namespace zsim

#endif
