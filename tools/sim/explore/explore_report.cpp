// The exploration's report as text and as JSON (keys in a fixed order, nothing that varies with --jobs).
#include "explore/explore_report.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <string_view>

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

std::string ReproducerLine(const Reproducer &x)
{
    return "          reproducer: " + Printable(x.file) + " (its page: " + Printable(x.page) + "), " +
           Plural(x.events, "event", "events") + " with " +
           (x.faults == 0 ? std::string("no fault") : Plural(x.faults, "fault", "faults")) +
           (x.reproduced ? "" : "; read back, it did NOT show the reason: a defect of zelm-sim");
}

std::string ReasonLine(size_t count, ReasonKey key)
{
    return PadLeft(fmt::format("{}", count), 8) + "  " + Pad(KindName(key.kind), 9) + Pad(ReasonCode(key.reason), 26) +
           ReasonLabel(key.reason);
}

void BaselineSection(const Painter &p, const ExploreReport &r)
{
    p.Line("");
    const Baseline &b = r.baseline;
    const std::string head = p.Bold("BASELINE") + "       the scenario without faults ";
    if (b.status != RunOutcome::Status::Completed) {
        p.Line(head + b.detail + ": the runs with faults are measured against no drift");
        return;
    }
    if (b.converged) {
        p.Line(head + "converged at " + Seconds(b.convergedAt) + "; the runs with faults are measured against it");
        return;
    }
    size_t items = 0;
    for (const BaselineReason &x : b.reasons) {
        items += x.items;
    }
    p.Line(head + "did not converge: " + Plural(items, "drift item", "drift items") +
           " by reason; a run with faults converged when it ended holding what this one holds:");
    for (const BaselineReason &x : b.reasons) {
        p.Line(ReasonLine(x.items, x.key));
        if (x.reproducer) {
            p.Line(ReproducerLine(*x.reproducer));
        }
    }
}

void Converged(const Painter &p, const ExploreReport &r)
{
    std::string line = fmt::format("{}      {} of {} runs", p.Bold("CONVERGED"), r.converged, r.runs);
    if (!r.baseline.converged && r.baseline.status == RunOutcome::Status::Completed) {
        line += " (as the baseline ended)";
    }
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
    if (r.reasons.empty() && !r.baselineLike) {
        p.Line(head);
        return;
    }
    p.Line(head + ": drift remained at the end; by reason the baseline does not have (a run may show several):");
    for (const ReasonFinding &f : r.reasons) {
        p.Line(ReasonLine(f.runs, f.key));
        p.Line(fmt::format("          first in run {}, faults: {}", f.firstRun, Faults(f.firstRunFaults)));
        if (f.reproducer) {
            p.Line(ReproducerLine(*f.reproducer));
        }
    }
    if (r.baselineLike) {
        const BaselineLike &b = *r.baselineLike;
        p.Line(PadLeft(fmt::format("{}", b.runs), 8) +
               "  ended holding other entries than the baseline, with drift of its reasons only");
        p.Line(fmt::format("          first in run {}, faults: {}", b.firstRun, Faults(b.firstRunFaults)));
    }
    if (!r.shrinking && !r.reasons.empty()) {
        p.Line("          (give --out DIR for a minimal reproducer of each)");
    }
}

// A word for a shell: quoted when it holds anything but letters, digits and . _ / - + = , :
std::string ShellWord(const std::string &word)
{
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
               std::string_view("._/-+=,:").find(c) != std::string_view::npos;
    });
    if (plain) {
        return word;
    }
    std::string out = "'";
    for (const char c : word) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// What to do with the findings: run a reproducer, open its page, explore again.
void Next(const Painter &p, const ExploreReport &r)
{
    p.Line("");
    const Reproducer *x = nullptr;
    for (const ReasonFinding &f : r.reasons) {
        x = x != nullptr ? x : f.reproducer ? &*f.reproducer : nullptr;
    }
    for (const BaselineReason &b : r.baseline.reasons) {
        x = x != nullptr ? x : b.reproducer ? &*b.reproducer : nullptr;
    }
    const std::string scenario = r.scenarioArg.empty() ? "" : " " + Printable(ShellWord(r.scenarioArg));
    std::vector<std::pair<std::string, std::string>> lines;
    if (x != nullptr) {
        lines.push_back(
            {"zelm-sim " + Printable(ShellWord(x->file)), "a reproducer's report: each drift item and why"});
        lines.push_back({Printable(x->page), "its timeline page, in any browser"});
    }
    const std::string again = fmt::format("zelm-sim explore{} --runs {} --seed {}", scenario, r.runs, r.seed);
    if (r.out.empty()) {
        lines.push_back({again + " --out findings", "again, with a minimal reproducer and a page for each reason"});
    } else {
        lines.push_back({again + " --out " + Printable(ShellWord(r.out + "-again")), "this exploration again"});
    }
    lines.push_back(
        {fmt::format("zelm-sim explore{} --runs {} --seed {}", scenario, r.runs, r.seed + 1), "other faults"});
    size_t width = 0;
    for (const auto &[command, what] : lines) {
        width = std::max(width, command.size());
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        p.Line((i == 0 ? p.Bold("NEXT") + "           " : std::string(15, ' ')) + Pad(lines[i].first, width + 3) +
               lines[i].second);
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

Json ReproducerJson(const std::optional<Reproducer> &x)
{
    if (!x) {
        return nullptr;
    }
    return {{"file", Printable(x->file)},
            {"page", Printable(x->page)},
            {"events", x->events},
            {"faults", x->faults},
            {"reproduced", x->reproduced}};
}

Json BaselineJson(const Baseline &b)
{
    Json reasons = Json::array();
    for (const BaselineReason &x : b.reasons) {
        reasons.push_back({{"kind", KindName(x.key.kind)},
                           {"reasonCode", ReasonCode(x.key.reason)},
                           {"reason", ReasonLabel(x.key.reason)},
                           {"items", x.items},
                           {"reproducer", ReproducerJson(x.reproducer)}});
    }
    const bool completed = b.status == RunOutcome::Status::Completed;
    return {{"completed", completed},
            {"detail", b.detail},
            {"converged", completed && b.converged},
            {"convergedAt", completed && b.converged ? Json(b.convergedAt) : Json(nullptr)},
            {"byReason", reasons}};
}

Json ReasonJson(const ReasonFinding &f)
{
    const Json reproducer = ReproducerJson(f.reproducer);
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

Baseline BaselineOf(const RunOutcome &outcome)
{
    Baseline b;
    b.status = outcome.status;
    if (outcome.status == RunOutcome::Status::Crashed) {
        b.detail = outcome.signal != 0
                       ? fmt::format("crashed (signal {}, {})", outcome.signal, strsignal(outcome.signal))
                       : fmt::format("crashed (exit status {})", outcome.exitCode);
        return b;
    }
    if (outcome.status == RunOutcome::Status::Hung) {
        b.detail = "hung";
        return b;
    }
    b.converged = outcome.converged;
    b.convergedAt = outcome.convergedAt;
    for (const ReasonKey key : outcome.Reasons()) {
        b.reasons.push_back({key, outcome.items[key.Index()], std::nullopt});
    }
    std::stable_sort(b.reasons.begin(), b.reasons.end(),
                     [](const BaselineReason &x, const BaselineReason &y) { return x.items > y.items; });
    return b;
}

bool ConvergedLike(const RunOutcome &run, const RunOutcome &baseline)
{
    return run.status == RunOutcome::Status::Completed &&
           (run.converged || (baseline.status == RunOutcome::Status::Completed && run.holdings == baseline.holdings));
}

void WriteExploreText(const ExploreReport &r, FILE *out, bool colour)
{
    const Painter p(out, colour);
    Budget(p, r);
    BaselineSection(p, r);
    Converged(p, r);
    Reasons(p, r);
    Defects(p, r);
    Next(p, r);
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
                    {"baseline", BaselineJson(r.baseline)},
                    {"converged", {{"runs", r.converged}, {"convergedAt", spread}}},
                    {"notConverged",
                     {{"runs", r.notConverged},
                      {"byReason", reasons},
                      {"baselineReasonsOnly", r.baselineLike
                                                  ? Json{{"runs", r.baselineLike->runs},
                                                         {"firstRun", r.baselineLike->firstRun},
                                                         {"firstRunFaults", Strings(r.baselineLike->firstRunFaults)}}
                                                  : Json(nullptr)}}},
                    {"defects", defects}};
    return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace zsim
