// zelm-sim: runs the library on the stand-in platform against a scenario and reports what every agent holds.
//
// Exit status: 0 when the run completed (or the scenario is valid, with --validate); 1 with
// --expect-converged when drift remains; 2 for unusable input: a scenario, an option or an output.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "explore/explore.h"
#include "report/outputs.h"
#include "report/run_scenario.h"
#include "run/progress.h"
#include "scenario/budget.h"
#include "scenario/scenario.h"
#include "scenario/scenario_schema.h"
#include "text/print.h"
#include "text/printable.h"
#include "text/units.h"
#include "timeline/timeline_page.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitDrift = 1;
constexpr int kExitUsage = 2;

struct Options {
    std::string scenario;
    std::string until;
    std::string json;
    std::string log;
    std::string trace;
    std::string html;
    std::string memoryLimit;
    std::string shard;               // explore --shard I/N
    std::vector<std::string> merge;  // explore --merge: the shard results
    bool quiet = false;
    bool expectConverged = false;
    bool printBuiltin = false;
    bool printSchema = false;
    bool validate = false;
};

// A run shows this many warnings of its scenario; --validate lists them all.
constexpr size_t kWarningsShown = 10;

// "4G", "512M", "1500000K" or bytes; 0 when malformed.
uint64_t ParseSize(const std::string &text)
{
    size_t used = 0;
    while (used < text.size() && used < 15 && std::isdigit(static_cast<unsigned char>(text[used])) != 0) {
        ++used;
    }
    const std::string unit = text.substr(used);
    const int shift = unit.empty()                 ? 0
                      : unit == "K" || unit == "k" ? 10
                      : unit == "M" || unit == "m" ? 20
                      : unit == "G" || unit == "g" ? 30
                      : unit == "T" || unit == "t" ? 40
                                                   : -1;
    if (used == 0 || shift < 0) {
        return 0;
    }
    const uint64_t n = std::strtoull(text.substr(0, used).c_str(), nullptr, 10);
    return n > (UINT64_MAX >> shift) ? 0 : n << shift;
}

zsim::ReadLimits Limits(const Options &o)
{
    zsim::ReadLimits limits;
    if (!o.memoryLimit.empty()) {
        limits.memoryBytes = ParseSize(o.memoryLimit);
        if (limits.memoryBytes == 0) {
            throw zsim::UsageError("--memory-limit " + zsim::Quoted(o.memoryLimit) +
                                   ": give a size such as 8G or 512M");
        }
    }
    return limits;
}

// The scenario, its warnings shown on stderr unless quiet (--validate lists them on stdout instead); with
// `text`, the text it was read from goes there.
zsim::Scenario Load(const Options &o, std::string *text = nullptr)
{
    const zsim::ReadLimits limits = Limits(o);
    if (text != nullptr && o.scenario.empty()) {
        *text = zsim::BuiltinScenarioText();
    }
    zsim::Scenario sc = o.scenario.empty() ? zsim::ParseScenario(zsim::BuiltinScenarioText(), "<built-in>", limits)
                                           : zsim::LoadScenario(o.scenario, limits, text);
    if (!o.quiet && !o.validate) {
        for (size_t i = 0; i < sc.warnings.size() && i < kWarningsShown; ++i) {
            zsim::Print(stderr, "zelm-sim: {}\n", zsim::Printable(sc.warnings[i]));
        }
        if (sc.warnings.size() > kWarningsShown) {
            zsim::Print(stderr, "zelm-sim: and {} more warnings (zelm-sim --validate lists them all)\n",
                        sc.warnings.size() - kWarningsShown);
        }
    }
    return sc;
}

int Validate(const Options &o, const zsim::Scenario &sc)
{
    if (o.quiet) {
        return kExitOk;
    }
    size_t atoms = 0;
    for (const zsim::Event &ev : sc.events) {
        atoms += ev.atoms.size();
    }
    zsim::Print(stdout, "{}: a valid scenario: {}, {}, {}{}\n", zsim::Printable(sc.source),
                zsim::Plural(sc.nodes.size(), "node", "nodes"), zsim::Plural(sc.events.size(), "event", "events"),
                zsim::Plural(atoms, "configuration atom", "configuration atoms"),
                sc.warnings.empty() ? "" : ", " + zsim::Plural(sc.warnings.size(), "warning:", "warnings:"));
    for (const std::string &warning : sc.warnings) {
        zsim::Print(stdout, "  {}\n", zsim::Printable(warning));
    }
    if (const auto lost = zsim::FlushStdout("summary")) {
        throw zsim::UsageError(*lost);
    }
    return kExitOk;
}

std::optional<zsim::Ms> Until(const Options &o)
{
    if (o.until.empty()) {
        return std::nullopt;
    }
    const zsim::TimeValue t = zsim::ReadTime(o.until);
    if (t.error != zsim::TimeError::None) {
        throw zsim::UsageError(zsim::TimeProblem("--until", o.until, t.error));
    }
    return t.ms;
}

// The outputs asked for, in the order they are checked and opened.
std::vector<zsim::OutputRequest> Requests(const Options &o)
{
    using zsim::OutputKind;
    std::vector<zsim::OutputRequest> requests;
    for (zsim::OutputRequest r : {zsim::OutputRequest{"--json", "JSON report", o.json, OutputKind::Json},
                                  zsim::OutputRequest{"--log", "log", o.log, OutputKind::Log},
                                  zsim::OutputRequest{"--trace", "trace", o.trace, OutputKind::Trace},
                                  zsim::OutputRequest{"--html", "HTML page", o.html, OutputKind::Html}}) {
        if (!r.path.empty()) {
            requests.push_back(std::move(r));
        }
    }
    return requests;
}

// The outputs checked against each other and the scenario, and opened; the log and the trace go into `run`.
std::vector<std::unique_ptr<zsim::OutputFile>> OpenOutputs(const std::vector<zsim::OutputRequest> &requests,
                                                           const Options &o, bool text, zsim::RunOptions &run)
{
    zsim::CheckOutputs(requests, o.scenario, text);
    std::vector<std::unique_ptr<zsim::OutputFile>> files;
    for (const zsim::OutputRequest &s : requests) {
        files.push_back(std::make_unique<zsim::OutputFile>(s));
        switch (s.kind) {
        case zsim::OutputKind::Log:
            run.log = files.back()->get();
            break;
        case zsim::OutputKind::Trace:
            run.trace = files.back()->get();
            break;
        case zsim::OutputKind::Json:
        case zsim::OutputKind::Html:
        case zsim::OutputKind::Other:
            break;  // written once the run is over
        }
    }
    return files;
}

// Writes the reports and closes every output; what was lost, one line each.
std::string WriteReports(const zsim::Scenario &sc, const zsim::RunResult &run, bool text,
                         std::vector<std::unique_ptr<zsim::OutputFile>> &files)
{
    const zsim::Report &report = run.report;
    if (text) {
        zsim::WriteText(report, stdout, isatty(fileno(stdout)) != 0 && std::getenv("NO_COLOR") == nullptr);
    }
    std::string lost;
    for (const auto &f : files) {
        switch (f->Request().kind) {
        case zsim::OutputKind::Json:
            f->Write(zsim::ToJson(report));
            break;
        case zsim::OutputKind::Html:
            f->Write(zsim::TimelinePage(sc, report, run.history));
            break;
        case zsim::OutputKind::Log:
        case zsim::OutputKind::Trace:
        case zsim::OutputKind::Other:
            break;  // written while the run went
        }
        if (const auto err = f->Close()) {
            lost += "zelm-sim: " + *err + "\n";
        }
    }
    if (const auto err = zsim::FlushStdout("text report")) {
        lost += "zelm-sim: " + *err + "\n";
    }
    return lost;
}

int Run(const Options &o)
{
    const zsim::Scenario sc = Load(o);
    if (o.validate) {
        return Validate(o, sc);
    }
    zsim::RunOptions run;
    run.until = Until(o);
    // The page draws every request of the run: its history is kept, and must fit in memory beside the run.
    run.history = !o.html.empty();
    if (run.history) {
        if (const auto refusal = zsim::HistoryOverBudget(sc, run.until, Limits(o).memoryBytes)) {
            throw zsim::UsageError(zsim::Printable(sc.source) + ": with --html, " + *refusal);
        }
    }
    const std::vector<zsim::OutputRequest> requests = Requests(o);
    // The text report goes to standard output unless another output takes it.
    const bool text =
        !o.quiet && std::ranges::none_of(requests, [](const zsim::OutputRequest &r) { return r.path == "-"; });
    std::vector<std::unique_ptr<zsim::OutputFile>> files = OpenOutputs(requests, o, text, run);
    zsim::Progress progress(stderr);
    if (!o.quiet) {
        run.progress = [&progress](const zsim::SimState &s, zsim::Ms now) { progress.Update(s, now); };
    }
    const zsim::RunResult result = zsim::RunScenario(sc, run);
    progress.Finish();
    const std::string lost = WriteReports(sc, result, text, files);
    if (result.leftBlocks != 0) {
        zsim::Print(stderr, "zelm-sim: warning: {} host blocks still allocated after the library stopped\n",
                    result.leftBlocks);
    }
    if (!lost.empty()) {
        std::fputs(lost.c_str(), stderr);
        return kExitUsage;
    }
    return o.expectConverged && !result.report.converged ? kExitDrift : kExitOk;
}

// Decimal digits of an unsigned 64-bit number: no sign (which the conversion would wrap), nothing beyond 2^64 - 1.
CLI::Validator Unsigned64()
{
    return CLI::Validator(
        [](const std::string &s) {
            errno = 0;
            const bool digits = !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
            return digits && (std::strtoull(s.c_str(), nullptr, 10), errno == 0) ? std::string()
                                                                                 : "give a number from 0 to 2^64 - 1";
        },
        "");
}

// A range check that leaves the option's placeholder ("N") alone in --help; the text says the range.
template <typename T>
CLI::Validator InRange(T min, T max)
{
    return CLI::Range(min, max).description("");
}

int Explore(const Options &o, zsim::ExploreOptions x)
{
    x.scenarioPath = o.scenario;
    x.json = o.json;
    x.quiet = o.quiet;
    x.expectConverged = o.expectConverged;
    x.limits = Limits(o);
    x.version = ZELM_SIM_VERSION;
    if (!o.merge.empty()) {
        return zsim::ExploreMerge(o.merge, x);
    }
    if (!o.shard.empty()) {
        x.shard = zsim::ParseShardPart(o.shard);
    }
    const zsim::Scenario sc = Load(o, x.shard ? &x.scenarioText : nullptr);
    return zsim::Explore(sc, x);
}

CLI::App *AddExplore(CLI::App &app, Options &o, zsim::ExploreOptions &x)
{
    CLI::App *cmd = app.add_subcommand("explore",
                                       "Run the scenario under many fault schedules drawn from a seed; report how "
                                       "often and how fast it converged, why it did not, and shrink each drift "
                                       "reason to a minimal scenario");
    CLI::Option *scenario = cmd->add_option("SCENARIO", o.scenario,
                                            "Scenario file (YAML); '-' reads standard input; none: the built-in "
                                            "scenario")
                                ->type_name("FILE");
    CLI::Option *runs = cmd->add_option("--runs", x.runs, "Runs, each with its own faults (default 200; 1 to 1000000)")
                            ->type_name("N")
                            ->check(InRange(uint64_t{1}, zsim::kMaxRuns));
    CLI::Option *seed =
        cmd->add_option("--seed", x.seed, "Seed of the fault schedules (default 1): the same seed, the same report")
            ->type_name("N")
            ->check(Unsigned64());
    CLI::Option *shard = cmd->add_option("--shard", o.shard,
                                         "Run only shard I of N (the runs i with i mod N + 1 = I) and write its "
                                         "result to the --json FILE, for --merge")
                             ->type_name("I/N");
    cmd->add_option("--merge", o.merge,
                    "Merge the results of every shard of one exploration into its report (and, with --out, its "
                    "reproducers); the scenario, runs and seed come from the shards")
        ->type_name("SHARD.json")
        ->expected(1, -1)
        ->excludes(scenario)
        ->excludes(runs)
        ->excludes(seed)
        ->excludes(shard);
    cmd->add_option("--jobs", x.jobs,
                    "Runs at a time, each in a process of its own (default: one per core; at most 256)")
        ->type_name("N")
        ->check(InRange(1u, zsim::kMaxJobs));
    cmd->add_option("--out", x.out,
                    "Write a minimal reproducer of each drift reason, with its page, into DIR (a new or empty folder)")
        ->type_name("DIR");
    cmd->add_option("--json", o.json, "Write the report as JSON to FILE ('-' for stdout, instead of the text report)")
        ->type_name("FILE");
    cmd->add_option("--memory-limit", o.memoryLimit,
                    "Refuse scenarios whose runs would together need more memory than SIZE (default 4G)")
        ->type_name("SIZE");
    cmd->add_flag("-q,--quiet", o.quiet, "No text report, no progress display and no timing");
    cmd->add_flag("--expect-converged", o.expectConverged,
                  "Exit with 1 when the run without faults or a run did not converge, or a run showed a defect");
    return cmd;
}

void AddOptions(CLI::App &app, Options &o)
{
    app.add_option("SCENARIO", o.scenario, "Scenario file (YAML); '-' reads standard input")->type_name("FILE");
    app.add_option("--until", o.until,
                   "Report at this virtual time (250ms, 30s, 2m; at most 24h) instead of when the run settles")
        ->type_name("TIME");
    app.add_option("--json", o.json, "Write the report as JSON to FILE ('-' for stdout, instead of the text report)")
        ->type_name("FILE");
    app.add_option("--log", o.log, "Write the library's log to FILE (plain format, virtual timestamps)")
        ->type_name("FILE");
    app.add_option("--trace", o.trace,
                   "Write every RPC call and completion, timer call and configuration reply to FILE")
        ->type_name("FILE");
    app.add_option("--html", o.html,
                   "Write the run as one self-contained HTML page to FILE: a timeline with a lane per node")
        ->type_name("FILE");
    app.add_option("--memory-limit", o.memoryLimit,
                   "Refuse scenarios estimated to need more memory than SIZE (512M, 8G; default 4G)")
        ->type_name("SIZE");
    app.add_flag("-q,--quiet", o.quiet, "No text report and no progress display");
    app.add_flag("--expect-converged", o.expectConverged, "Exit with 1 when drift remains at the end");
    app.add_flag("--validate", o.validate,
                 "Read and check the scenario, run nothing: exit 0 when it is valid, 2 when not");
    app.add_flag("--print-builtin", o.printBuiltin, "Print the built-in scenario's YAML and exit");
    app.add_flag("--print-schema", o.printSchema,
                 "Print the JSON Schema of scenario files (for editors that validate and complete YAML) and exit");
}

}  // namespace

int main(int argc, char **argv)
{
    Options o;
    CLI::App
        app{"zelm-sim: runs libzelm on the stand-in platform against a scenario (a cluster, its configuration,\n"
            "a timeline of events and faults) in virtual time, and reports what every node agent holds and where\n"
            "that differs from the configuration. Without SCENARIO it runs the built-in scenario.\n"
            "Exit status: 0 run completed, 1 drift remains (with --expect-converged), 2 unusable input.",
            "zelm-sim"};
    app.set_version_flag("--version", std::string("zelm-sim ") + ZELM_SIM_VERSION);
    AddOptions(app, o);
    zsim::ExploreOptions explore;
    const CLI::App *exploreCmd = AddExplore(app, o, explore);
    app.failure_message(
        [](const CLI::App *, const CLI::Error &e) { return std::string("zelm-sim: ") + e.what() + " (see --help)\n"; });
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        const int rc = app.exit(e);
        return rc == 0 ? kExitOk : kExitUsage;
    }
    try {
        if (o.printBuiltin || o.printSchema) {
            std::fputs(o.printBuiltin ? zsim::BuiltinScenarioText() : zsim::ScenarioSchemaText(), stdout);
            if (const auto lost = zsim::FlushStdout(o.printBuiltin ? "built-in scenario" : "schema")) {
                throw zsim::UsageError(*lost);
            }
            return kExitOk;
        }
        return exploreCmd->parsed() ? Explore(o, explore) : Run(o);
    } catch (const zsim::ScenarioError &e) {
        zsim::Print(stderr, "zelm-sim: {}\n", zsim::Printable(e.what()));
    } catch (const zsim::UsageError &e) {
        zsim::Print(stderr, "zelm-sim: {}\n", zsim::Printable(e.what()));
    } catch (const std::bad_alloc &) {
        std::fputs(
            "zelm-sim: out of memory: the estimate of what this scenario needs fell short; "
            "lower --memory-limit to what this machine has\n",
            stderr);
    }
    return kExitUsage;
}
