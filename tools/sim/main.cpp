// zelm-sim: runs the library on the stand-in platform against a scenario and reports what every agent holds.
//
// Exit status: 0 when the run completed; 1 with --expect-converged when drift remains; 2 for unusable input.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <unistd.h>

#include "progress.h"
#include "report.h"
#include "runner.h"
#include "scenario.h"
#include "zelm_standin.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitDrift = 1;
constexpr int kExitUsage = 2;

struct FileCloser {
    void operator()(FILE *f) const
    {
        if (f != nullptr && f != stdout) {
            std::fclose(f);
        }
    }
};
using File = std::unique_ptr<FILE, FileCloser>;

File OpenOut(const std::string &path, const char *what)
{
    if (path.empty()) {
        return nullptr;
    }
    if (path == "-") {
        return File(stdout);
    }
    FILE *f = std::fopen(path.c_str(), "w");
    if (f == nullptr) {
        throw zsim::ScenarioError(path, zsim::Mark{}, std::string("cannot write the ") + what + " file");
    }
    return File(f);
}

struct Options {
    std::string scenario;
    std::string until;
    std::string json;
    std::string log;
    std::string trace;
    bool quiet = false;
    bool expectConverged = false;
    bool printBuiltin = false;
};

int Run(const Options &o)
{
    const zsim::Scenario sc = o.scenario.empty() ? zsim::ParseScenario(zsim::BuiltinScenarioText(), "<built-in>")
                                                 : zsim::LoadScenario(o.scenario);
    zsim::RunOptions run;
    if (!o.until.empty()) {
        run.until = zsim::ParseDuration(o.until);
        if (!run.until) {
            throw zsim::ScenarioError("--until", zsim::Mark{}, "'" + o.until + "' is not a time such as 30s or 1500");
        }
    }
    const File json = OpenOut(o.json, "JSON report");
    const File log = OpenOut(o.log, "log");
    const File trace = OpenOut(o.trace, "trace");
    run.log = log.get();
    run.trace = trace.get();
    zsim::Progress progress(stderr);
    if (!o.quiet) {
        run.progress = [&progress](const zsim::SimState &s, zsim::Ms now) { progress.Update(s, now); };
    }

    zsim::Simulation sim(sc, run);
    sim.Run();
    progress.Finish(sim.State(), STANDIN_Now());
    const zsim::Report report = zsim::BuildReport(sim.State(), STANDIN_Now());
    if (!o.quiet && o.json != "-") {
        const bool colour = isatty(fileno(stdout)) != 0 && std::getenv("NO_COLOR") == nullptr;
        zsim::WriteText(report, stdout, colour);
    }
    if (json) {
        const std::string text = zsim::ToJson(report);
        std::fwrite(text.data(), 1, text.size(), json.get());
        std::fflush(json.get());
    }
    const size_t left = sim.Shutdown();
    if (left != 0) {
        std::fprintf(stderr, "zelm-sim: warning: %zu host blocks still allocated after the library stopped\n", left);
    }
    return o.expectConverged && !report.converged ? kExitDrift : kExitOk;
}

}  // namespace

int main(int argc, char **argv)
{
    Options o;
    CLI::App app{"zelm-sim: runs libzelm on the stand-in platform against a scenario (a cluster, its configuration,\n"
                 "a timeline of events and faults) in virtual time, and reports what every node agent holds and where\n"
                 "that differs from the configuration. Without SCENARIO it runs the built-in scenario.\n"
                 "Exit status: 0 run completed, 1 drift remains (with --expect-converged), 2 unusable input.",
                 "zelm-sim"};
    app.set_version_flag("--version", std::string("zelm-sim ") + ZELM_SIM_VERSION);
    app.add_option("SCENARIO", o.scenario, "Scenario file (YAML)");
    app.add_option("--until", o.until, "Report at this virtual time (250, 250ms, 30s, 2m) instead of when the run settles");
    app.add_option("--json", o.json, "Write the report as JSON to FILE ('-' for stdout, instead of the text report)");
    app.add_option("--log", o.log, "Write the library's log to FILE (plain format, virtual timestamps)");
    app.add_option("--trace", o.trace, "Write every RPC call and completion, timer call and configuration reply to FILE");
    app.add_flag("-q,--quiet", o.quiet, "No text report and no progress display");
    app.add_flag("--expect-converged", o.expectConverged, "Exit with 1 when drift remains at the end");
    app.add_flag("--print-builtin", o.printBuiltin, "Print the built-in scenario's YAML and exit");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        const int rc = app.exit(e);
        return rc == 0 ? kExitOk : kExitUsage;
    }
    if (o.printBuiltin) {
        std::fputs(zsim::BuiltinScenarioText(), stdout);
        return kExitOk;
    }
    try {
        return Run(o);
    } catch (const zsim::ScenarioError &e) {
        std::fprintf(stderr, "zelm-sim: %s\n", e.what());
        return kExitUsage;
    }
}
