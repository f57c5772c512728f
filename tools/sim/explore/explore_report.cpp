// The exploration's report as text and as JSON (keys in a fixed order, nothing that varies with --jobs).
#include "explore/explore_report.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <iterator>

#include "report/report_paint.h"
#include "text/printable.h"
#include "text/units.h"

namespace zsim {

namespace {

using Json = nlohmann::ordered_json;

constexpr size_t kAgentsShown = 8;  // in the text report; the JSON report lists every one

std::string Joined(const std::vector<std::string> &items, const char *sep)
{
    std::string out;
    for (const std::string &s : items) {
        out += (out.empty() ? "" : sep) + Printable(s);
    }
    return out;
}

// "1. at 2.000 s: agent n2 down for 3.000 s; 2. ..."
std::string Faults(const std::vector<std::string> &faults)
{
    std::string out;
    for (size_t i = 0; i < faults.size(); ++i) {
        fmt::format_to(std::back_inserter(out), "{}{}. {}", i == 0 ? "" : "; ", i + 1, Printable(faults[i]));
    }
    return out.empty() ? "none" : out;
}

void Budget(const Painter &p, const ExploreReport &r)
{
    p.Line(fmt::format("{}  {} ({})  seed {}, {}", p.Bold("zelm-sim explore"), Printable(r.scenario),
                       Printable(r.source), r.seed, Plural(r.runs, "run", "runs")));
    std::vector<std::string> agents(r.agents.begin(), r.agents.begin() + static_cast<std::ptrdiff_t>(
                                                                             std::min(r.agents.size(), kAgentsShown)));
    if (r.agents.size() > kAgentsShown) {
        agents.push_back(fmt::format("and {} more", r.agents.size() - kAgentsShown));
    }
    p.Line(fmt::format("faults  1 to {} a run, of {}{}", r.maxFaults, Joined(r.kinds, ", "),
                       agents.empty() ? "" : ", on the agents of " + Joined(agents, ", ")));
    p.Line("        starting between " + Seconds(r.from) + " and " + Seconds(r.to) + ", lasting at most " +
           Seconds(r.longest));
}

void Converged(const Painter &p, const ExploreReport &r)
{
    p.Line("");
    std::string line = fmt::format("{}      {} of {} runs", p.Bold("CONVERGED"), r.converged, r.runs);
    if (r.spread) {
        const Spread &s = *r.spread;
        line += ", at (from the start of a run): min " + Seconds(s.min) + ", p50 " + Seconds(s.p50) + ", p95 " +
                Seconds(s.p95) + ", p99 " + Seconds(s.p99) + ", max " + Seconds(s.max);
    }
    p.Line(line);
}

void Reasons(const Painter &p, const ExploreReport &r)
{
    std::string head = fmt::format("{}  {} of {} runs", p.Bold("NOT CONVERGED"), r.notConverged, r.runs);
    if (r.reasons.empty()) {
        p.Line(head);
        return;
    }
    p.Line(head + ": drift remained at the end; by reason (a run may show several):");
    for (const ReasonFinding &f : r.reasons) {
        p.Line(PadLeft(fmt::format("{}", f.runs), 8) + "  " + Pad(KindName(f.key.kind), 9) +
               Pad(ReasonCode(f.key.reason), 26) + ReasonLabel(f.key.reason));
        p.Line(fmt::format("          first in run {}, faults: {}", f.firstRun, Faults(f.firstRunFaults)));
        if (f.reproducer) {
            const Reproducer &x = *f.reproducer;
            p.Line("          reproducer: " + Printable(x.file) + ", " + Plural(x.events, "event", "events") +
                   " with " + (x.faults == 0 ? std::string("no fault") : Plural(x.faults, "fault", "faults")) +
                   (x.reproduced ? "" : "; read back, it did NOT show the reason: a defect of zelm-sim"));
        }
    }
    if (!r.shrinking) {
        p.Line("          (give --out DIR for a minimal reproducer of each)");
    }
}

void Defects(const Painter &p, const ExploreReport &r)
{
    if (r.defects.empty()) {
        p.Line(p.Bold("DEFECTS") + "        none: no run crashed, hung or left memory allocated");
        return;
    }
    p.Line(p.Bold("DEFECTS") + "        runs that show a defect of the library or of zelm-sim:");
    for (const DefectFinding &d : r.defects) {
        p.Line(fmt::format("{}  {}, first in run {} ({}){}", PadLeft(fmt::format("{}", d.runs), 8),
                           DefectName(d.defect), d.firstRun, d.detail,
                           d.file.empty() ? "" : ", its scenario: " + Printable(d.file)));
        p.Line("          faults: " + Faults(d.firstRunFaults));
    }
}

Json Strings(const std::vector<std::string> &items)
{
    Json out = Json::array();
    for (const std::string &s : items) {
        out.push_back(Printable(s));
    }
    return out;
}

Json ReasonJson(const ReasonFinding &f)
{
    Json reproducer = nullptr;
    if (f.reproducer) {
        reproducer = {{"file", Printable(f.reproducer->file)},
                      {"events", f.reproducer->events},
                      {"faults", f.reproducer->faults},
                      {"reproduced", f.reproducer->reproduced}};
    }
    return {{"kind", KindName(f.key.kind)},
            {"reasonCode", ReasonCode(f.key.reason)},
            {"reason", ReasonLabel(f.key.reason)},
            {"runs", f.runs},
            {"firstRun", f.firstRun},
            {"firstRunFaults", Strings(f.firstRunFaults)},
            {"reproducer", reproducer}};
}

}  // namespace

const char *DefectName(Defect d)
{
    switch (d) {
    case Defect::Crashed:
        return "crashed";
    case Defect::Hung:
        return "hung";
    case Defect::Leaked:
        return "leaked";
    }
    return "?";
}

Spread SpreadOf(std::vector<Ms> &times)
{
    std::sort(times.begin(), times.end());
    auto rank = [&times](size_t percent) { return times[(percent * times.size() + 99) / 100 - 1]; };
    return Spread{times.front(), rank(50), rank(95), rank(99), times.back()};
}

void WriteExploreText(const ExploreReport &r, FILE *out, bool colour)
{
    const Painter p(out, colour);
    Budget(p, r);
    Converged(p, r);
    Reasons(p, r);
    Defects(p, r);
}

std::string ExploreJson(const ExploreReport &r)
{
    Json spread = nullptr;
    if (r.spread) {
        spread = {{"min", r.spread->min},
                  {"p50", r.spread->p50},
                  {"p95", r.spread->p95},
                  {"p99", r.spread->p99},
                  {"max", r.spread->max}};
    }
    Json reasons = Json::array();
    for (const ReasonFinding &f : r.reasons) {
        reasons.push_back(ReasonJson(f));
    }
    Json defects = Json::array();
    for (const DefectFinding &d : r.defects) {
        defects.push_back({{"defect", DefectName(d.defect)},
                           {"runs", d.runs},
                           {"firstRun", d.firstRun},
                           {"detail", d.detail},
                           {"firstRunFaults", Strings(d.firstRunFaults)},
                           {"file", d.file.empty() ? Json(nullptr) : Json(Printable(d.file))}});
    }
    const Json j = {{"schemaVersion", kExploreJsonSchemaVersion},
                    {"scenario", Printable(r.scenario)},
                    {"source", Printable(r.source)},
                    {"seed", r.seed},
                    {"runs", r.runs},
                    {"budget",
                     {{"agents", Strings(r.agents)},
                      {"faults", Strings(r.kinds)},
                      {"maxFaults", r.maxFaults},
                      {"window", {{"from", r.from}, {"to", r.to}}},
                      {"longest", r.longest}}},
                    {"converged", {{"runs", r.converged}, {"convergedAt", spread}}},
                    {"notConverged", {{"runs", r.notConverged}, {"byReason", reasons}}},
                    {"defects", defects}};
    return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace zsim
