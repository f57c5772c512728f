// The report as text for a terminal: agents and their holdings, drift with reasons, counts; colour on request.
#include <algorithm>
#include <cstdio>
#include <string>

#include "report.h"

namespace zsim {

namespace {

class Painter {
public:
    Painter(FILE *out, bool colour) : out_(out), colour_(colour) {}
    std::string Paint(const std::string &text, const char *code) const
    {
        return colour_ ? std::string("\033[") + code + "m" + text + "\033[0m" : text;
    }
    std::string Bold(const std::string &t) const { return Paint(t, "1"); }
    std::string State(const std::string &s) const
    {
        return s == "published" ? Paint(s, "32") : s == "failed" ? Paint(s, "31") : s == "stored" ? Paint(s, "33") : s;
    }
    std::string Kind(const std::string &k) const
    {
        return k == "missing" ? Paint(k, "31") : k == "extra" ? Paint(k, "33") : Paint(k, "35");
    }
    // Pads by the visible width, so that colour codes do not shift the columns.
    static std::string Pad(const std::string &visible, const std::string &shown, size_t width)
    {
        return shown + std::string(width > visible.size() ? width - visible.size() : 0, ' ');
    }
    void Line(const std::string &s) const { std::fprintf(out_, "%s\n", s.c_str()); }

private:
    FILE *out_;
    bool colour_;
};

std::string Plural(uint64_t n, const char *one, const char *many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

void Agents(const Painter &p, const Report &r)
{
    p.Line(p.Bold("AGENTS"));
    for (const AgentReport &a : r.agents) {
        char id[16];
        std::snprintf(id, sizeof id, "%#08x", a.osNodeId);
        std::string head = "  " + p.Bold(a.node) + "  osNodeId " + id + "  link " + (a.linkUp ? "up" : "down") + "  agent " +
                           (a.hasAgent ? (a.agentDown ? "down" : "up") : "none") + "  library: " + a.libNode +
                           (a.libFault ? ", fault" : "") + "  " + Plural(a.requests, "request", "requests") + ", " +
                           Plural(a.failures, "failure", "failures");
        p.Line(head);
        if (!a.hasAgent) {
            continue;
        }
        if (!r.fullHoldings || (a.locCount == 0 && a.compCount == 0)) {
            p.Line("    holds " + Plural(a.locCount, "location", "locations") + ", " +
                   Plural(a.compCount, "component", "components"));
            continue;
        }
        size_t wName = 4;
        size_t wKey = 3;
        for (const HeldLoc &l : a.locations) {
            wName = std::max(wName, l.name.size());
            wKey = std::max(wKey, std::to_string(l.locIndex).size());
            for (const HeldComp &c : l.comps) {
                wName = std::max(wName, c.name.size());
                wKey = std::max(wKey, std::to_string(c.compInst).size());
            }
        }
        for (const HeldLoc &l : a.locations) {
            const std::string key = std::to_string(l.locIndex);
            if (l.held) {
                p.Line("    location    " + Painter::Pad(key, key, wKey) + "  " + Painter::Pad(l.name, l.name, wName) +
                       "  " + std::string(10, ' ') + p.State(l.libState));
            } else {
                p.Line("    (location " + key + " not held here)");
            }
            for (const HeldComp &c : l.comps) {
                const std::string k = std::to_string(c.compInst);
                const std::string type = "type " + std::to_string(c.compType);
                p.Line("      component " + Painter::Pad(k, k, wKey) + "  " + Painter::Pad(c.name, c.name, wName) + "  " +
                       Painter::Pad(type, type, 10) + p.State(c.libState));
            }
        }
    }
}

void Drift(const Painter &p, const Report &r)
{
    p.Line("");
    if (r.driftTotal == 0) {
        p.Line(p.Bold("DRIFT") + "  none: every agent holds what the configuration says");
        return;
    }
    p.Line(p.Bold("DRIFT") + "  " + Plural(r.driftTotal, "item", "items") +
           (r.drift.size() < r.driftTotal ? " (first " + std::to_string(r.drift.size()) + " listed)" : ""));
    size_t wItem = 4, wNode = 4, wName = 4;
    auto itemOf = [](const DriftItem &d) {
        std::string item = d.what + " " + std::to_string(d.locIndex);
        if (d.compInst) {
            item += '/';
            item += std::to_string(*d.compInst);
        }
        return item;
    };
    for (const DriftItem &d : r.drift) {
        wItem = std::max(wItem, itemOf(d).size());
        wNode = std::max(wNode, d.node.size());
        wName = std::max(wName, d.name.size());
    }
    p.Line("  " + Painter::Pad("KIND", "KIND", 9) + Painter::Pad("ITEM", "ITEM", wItem + 2) +
           Painter::Pad("NODE", "NODE", wNode + 2) + Painter::Pad("NAME", "NAME", wName + 2) + "REASON");
    for (const DriftItem &d : r.drift) {
        const std::string item = itemOf(d);
        p.Line("  " + Painter::Pad(d.kind, p.Kind(d.kind), 9) + Painter::Pad(item, item, wItem + 2) +
               Painter::Pad(d.node, d.node, wNode + 2) + Painter::Pad(d.name, d.name, wName + 2) + d.reason);
        for (const std::string &diff : d.differences) {
            p.Line("           " + diff);
        }
    }
}

void Counts(const Painter &p, const Report &r)
{
    const Counters &c = r.counters;
    p.Line("");
    p.Line(p.Bold("COUNTS"));
    auto row = [&p](const char *label, uint64_t n, const std::string &detail) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "  %-15s %8llu", label, static_cast<unsigned long long>(n));
        p.Line(std::string(buf) + (detail.empty() ? "" : "   " + detail));
    };
    row("requests", c.locRequests + c.compRequests,
        "locations " + std::to_string(c.locRequests) + ", components " + std::to_string(c.compRequests));
    row("failures", c.refused + c.failedCompletions,
        "refused " + std::to_string(c.refused) + ", failed completions " + std::to_string(c.failedCompletions));
    row("retries", c.retries, "requests to a peer whose last publication failed");
    uint64_t ticks = 0;
    std::string detail;
    for (const auto &[name, n] : c.ticks) {
        ticks += n;
        detail += (detail.empty() ? "" : ", ") + name + " " + std::to_string(n);
    }
    row("timer ticks", ticks, detail);
    row("config atoms", c.atoms,
        "in " + Plural(c.configMessages, "message", "messages") + "; " + std::to_string(r.ignored.size()) + " ignored, " +
            std::to_string(r.rejected.size()) + " rejected, " + std::to_string(c.heldAtoms) + " held while stopped");
    for (size_t i = 0; i < r.ignored.size() && i < 20; ++i) {
        const AtomNote &n = r.ignored[i];
        p.Line("      ignored at " + FormatTime(n.at) + " s: " + ClassName(n.cls) + " " + n.key + ": " + n.reason);
    }
    for (size_t i = 0; i < r.rejected.size() && i < 20; ++i) {
        const AtomNote &n = r.rejected[i];
        p.Line("      rejected at " + FormatTime(n.at) + " s: " + ClassName(n.cls) + " " + n.key + ": " + n.reason);
    }
}

}  // namespace

void WriteText(const Report &r, FILE *out, bool colour)
{
    const Painter p(out, colour);
    p.Line(p.Bold("zelm-sim") + "  " + r.scenario + " (" + r.source + ")  report at " + FormatTime(r.time) + " s");
    p.Line("library " + std::string(r.libraryRunning ? "running" : "stopped") + ", HA role " + std::to_string(r.haRole) +
           (r.haRole == 0 ? " (publication allowed)" : " (publication forbidden)") + ", " + std::to_string(r.eventsDone) +
           " of " + std::to_string(r.events) + " events applied");
    p.Line("");
    Agents(p, r);
    Drift(p, r);
    Counts(p, r);
    p.Line("");
    if (r.converged) {
        std::string when = "converged at " + FormatTime(r.convergedAt) + " s";
        if (r.convergedAt >= r.lastEventAt && r.eventsDone > 0) {
            when += " (" + FormatTime(r.convergedAt - r.lastEventAt) + " s after the last event, at " +
                    FormatTime(r.lastEventAt) + " s)";
        }
        p.Line(p.Bold("CONVERGENCE") + "  " + p.Paint(when, "32"));
    } else {
        p.Line(p.Bold("CONVERGENCE") + "  " +
               p.Paint("not converged: " + Plural(r.driftTotal, "drift item remains", "drift items remain"), "31"));
    }
}

}  // namespace zsim
