// The report as text for a terminal: how the run went, the agents, the drift with reasons, the counts and
// the convergence; colour on request.
#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "report/report_text.h"
#include "text/units.h"

namespace zsim {

namespace {

std::string Kind(const Painter &p, DriftKind k)
{
    const char *name = KindName(k);
    return k == DriftKind::Missing ? p.Paint(name, "31")
           : k == DriftKind::Extra ? p.Paint(name, "33")
                                   : p.Paint(name, "35");
}

void Drift(const Painter &p, const Report &r)
{
    p.Line("");
    if (r.driftTotal == 0) {
        p.Line(p.Bold("DRIFT") + "  none: every agent holds what the configuration says");
        return;
    }
    p.Line(p.Bold("DRIFT") + "  " + Plural(r.driftTotal, "item", "items") +
           (r.drift.size() < r.driftTotal ? fmt::format(" (first {} listed)", r.drift.size()) : "") + ", by reason:");
    for (const ReasonCount &c : r.driftByReason) {
        p.Line(PadLeft(fmt::format("{}", c.items), 7) + "  " + Pad(KindName(c.kind), Kind(p, c.kind), 9) +
               ReasonLabel(c.reason) + " [" + ReasonCode(c.reason) + "]");
    }
    size_t wItem = 4, wNode = 4, wName = 4;
    for (const DriftItem &d : r.drift) {
        wItem = std::max(wItem, DriftEntry(d).size());
        wNode = std::max(wNode, d.node.size());
        wName = std::max(wName, d.name.size());
    }
    p.Line("");
    p.Line("  " + Pad("KIND", 9) + Pad("ITEM", wItem + 2) + Pad("NODE", wNode + 2) + Pad("NAME", wName + 2) + "REASON");
    for (const DriftItem &d : r.drift) {
        p.Line("  " + Pad(KindName(d.kind), Kind(p, d.kind), 9) + Pad(DriftEntry(d), wItem + 2) +
               Pad(d.node, wNode + 2) + Pad(d.name, wName + 2) + d.why.text);
        for (const Difference &diff : d.differences) {
            p.Line("           " + diff.field + ": held " + DifferenceText(diff, true) + ", configured " +
                   DifferenceText(diff, false));
        }
    }
}

void Row(const Painter &p, const char *label, uint64_t n, const std::string &detail)
{
    p.Line(fmt::format("  {:<15} {:>8}{}{}", label, n, detail.empty() ? "" : "   ", detail));
}

std::string Applied(const EventCount &c)
{
    return c.applied == c.total ? "all applied" : fmt::format("{} applied", c.applied);
}

void Events(const Painter &p, const Report &r)
{
    std::string detail = fmt::format("written in the timeline {} ({})", r.written.total, Applied(r.written));
    if (r.implied.total != 0) {
        fmt::format_to(std::back_inserter(detail), ", implied by downFor {} ({})", r.implied.total, Applied(r.implied));
    }
    if (r.generated.total != 0) {
        fmt::format_to(std::back_inserter(detail), ", generated {} ({})", r.generated.total, Applied(r.generated));
    }
    Row(p, "events", r.written.total + r.implied.total + r.generated.total, detail);
}

void AtomNotes(const Painter &p, const char *what, const std::vector<AtomNote> &notes)
{
    for (size_t i = 0; i < notes.size() && i < 20; ++i) {
        const AtomNote &n = notes[i];
        p.Line(std::string("      ") + what + " at " + Seconds(n.at) + ": " + ClassName(n.cls) + " " + n.key + ": " +
               n.reason);
    }
}

void Counts(const Painter &p, const Report &r)
{
    const Counters &c = r.counters;
    p.Line("");
    p.Line(p.Bold("COUNTS"));
    Events(p, r);
    Row(p, "requests", c.Requests(), fmt::format("locations {}, components {}", c.locRequests, c.compRequests));
    Row(p, "failures", c.Failures(), fmt::format("refused {}, failed completions {}", c.refused, c.failedCompletions));
    Row(p, "retries", c.retries, "requests to a peer whose last publication failed");
    uint64_t ticks = 0;
    std::string detail;
    for (const auto &[name, n] : c.ticks) {
        ticks += n;
        fmt::format_to(std::back_inserter(detail), "{}{} {}", detail.empty() ? "" : ", ", name, n);
    }
    Row(p, "timer ticks", ticks, detail);
    Row(p, "config atoms", c.atoms,
        fmt::format("in {}; {} ignored, {} rejected, {} held while stopped",
                    Plural(c.configMessages, "message", "messages"), r.ignored.size(), r.rejected.size(), c.heldAtoms));
    AtomNotes(p, "ignored", r.ignored);
    AtomNotes(p, "rejected", r.rejected);
}

}  // namespace

std::string RunEndText(const Report &r)
{
    const RunEnd &e = r.end;
    switch (e.reason) {
    case EndReason::Settled:
        return "the run settled: nothing pending (no call in flight, no timer started)";
    case EndReason::Until:
        return "the report time given was reached";
    case EndReason::SettleLimit:
        break;
    }
    std::string pending;
    for (const std::string &t : e.timersRunning) {
        pending += (pending.empty() ? "" : ", ") + t + " still started";
    }
    if (e.callsInFlight != 0) {
        pending += (pending.empty() ? "" : ", ") + Plural(e.callsInFlight, "call", "calls") + " in flight";
    }
    return "the settle time after the last event passed" + (pending.empty() ? std::string() : " with " + pending);
}

namespace {

void Convergence(const Painter &p, const Report &r)
{
    p.Line("");
    if (!r.converged) {
        p.Line(p.Bold("CONVERGENCE") + "  " +
               p.Paint("not converged: " + Plural(r.driftTotal, "drift item remains", "drift items remain"), "31"));
        return;
    }
    std::string when = "converged at " + Seconds(r.convergedAt);
    if (r.settledAfterLastEvent) {
        when += " (" + Seconds(*r.settledAfterLastEvent) + " after the last event, at " + Seconds(r.lastEventAt) + ")";
    }
    p.Line(p.Bold("CONVERGENCE") + "  " + p.Paint(when, "32"));
}

}  // namespace

void WriteText(const Report &r, FILE *out, bool colour)
{
    const Painter p(out, colour);
    p.Line(p.Bold("zelm-sim") + "  " + r.scenario + " (" + r.source + ")  report at " + Seconds(r.time) + ": " +
           RunEndText(r));
    p.Line(fmt::format("library {}, HA role {} ({})", r.libraryRunning ? "running" : "stopped", r.haRole,
                       r.haRole == 0 ? "publication allowed" : "publication forbidden"));
    for (const std::string &note : r.notes) {
        p.Line("note: " + note);
    }
    p.Line("");
    WriteAgents(p, r);
    Drift(p, r);
    Counts(p, r);
    WriteCost(p, r);
    Convergence(p, r);
}

void WriteCountsAndConvergence(const Report &r, FILE *out)
{
    const Painter p(out, false);
    Counts(p, r);
    Convergence(p, r);
}

std::string DifferenceText(const Difference &d, bool held)
{
    if (d.isText) {
        return "'" + (held ? d.heldText : d.configuredText) + "'";
    }
    const uint32_t v = held ? d.heldNumber : d.configuredNumber;
    return d.hex ? Hex(v) : fmt::format("{}", v);
}

std::string DriftEntry(const DriftItem &d)
{
    if (d.component) {
        return fmt::format("component {}/{}", *d.locIndex, d.compInst);
    }
    return d.locIndex ? fmt::format("location {} (index {})", d.LocId, *d.locIndex)
                      : fmt::format("location {} (no index)", d.LocId);
}

}  // namespace zsim
