// The marks of the timeline page: one shape and one colour per kind of fact, so that each stays readable
// in grey and to colour-blind readers, drawn the same in the chart and in its legend.
#ifndef ZELM_SIM_TIMELINE_MARKS_H
#define ZELM_SIM_TIMELINE_MARKS_H

#include <string>

#include "run/history.h"
#include "timeline/markup.h"

namespace zsim {

enum class MarkKind {
    // A request's outcome.
    Applied,
    Refused,
    Failed,  // completed with a non-zero result, or the call failed
    NoReply,
    InFlight,
    // Timeline events.
    Config,
    LinkUp,
    LinkDown,
    Available,
    NotAvailable,
    AgentDown,
    AgentUp,
    AgentScript,  // refuse, fail, no reply, result, latency
    HaRole,
    LibraryStop,
    LibraryStart,
    // A node's run.
    TimerTick,
    Converged,
    NeverConverged,
    Cause,  // the event a node's drift follows from
};

MarkKind MarkOf(RequestOutcome outcome);
// What the legend calls it.
const char *MarkLabel(MarkKind kind);
// A count of marks of a kind: "1 configuration message", "3 configuration messages".
std::string MarkCount(MarkKind kind, size_t n);
// The style sheet class of a density bar of this kind of request.
const char *DensityClass(MarkKind kind);

// Draws the mark centred at (x, y), `r` pixels from its centre to its edge.
void DrawMark(Markup &m, MarkKind kind, double x, double y, double r);

// The style sheet and the fill patterns the marks and bands use.
const char *MarkStyles();
void MarkPatterns(Markup &m);

}  // namespace zsim

#endif
