// The explore command: the budget and the options checked, the runs, the findings, the reproducers.
#include "explore/explore.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

#include "explore/explore_report.h"
#include "explore/explore_reproducer.h"
#include "explore/explore_shrink.h"
#include "report/outputs.h"
#include "run/progress.h"
#include "scenario/budget.h"
#include "text/print.h"
#include "text/printable.h"

namespace zsim {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kExitOk = 0;
constexpr int kExitDrift = 1;
constexpr int kExitLost = 2;

double Since(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// What a run of the scenario with its most faults brings, for the memory estimate.
ScenarioSize RunSize(const Scenario &sc, uint32_t maxFaults)
{
    ScenarioSize size{.nodes = static_cast<double>(sc.nodes.size()), .events = 2.0 * maxFaults};
    for (const Event &ev : sc.events) {
        size += SizeOf(ev);
    }
    return size;
}

// Runs at a time: as asked, or one per core; either way as many as fit the memory limit together.
unsigned JobsFor(const ExploreOptions &o, const Scenario &sc, uint32_t maxFaults)
{
    const double perRun = RunBytes(RunSize(sc, maxFaults));
    const double fit = std::max(1.0, static_cast<double>(o.limits.memoryBytes) / perRun);
    if (o.jobs != 0) {
        if (o.jobs > fit) {
            throw UsageError(fmt::format("--jobs {}: {}, or lower --jobs", o.jobs,
                                         OverBudget(fmt::format("running this scenario {} times at once", o.jobs),
                                                    perRun * o.jobs, o.limits.memoryBytes)));
        }
        return o.jobs;
    }
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    return static_cast<unsigned>(std::min({fit, static_cast<double>(std::clamp<long>(cores, 1, kMaxJobs))}));
}

bool Inside(const std::string &path, const std::string &folder)
{
    std::error_code ec;
    return fs::weakly_canonical(fs::absolute(path, ec).parent_path(), ec) ==
           fs::weakly_canonical(fs::absolute(folder, ec), ec);
}

// The reproducers' folder: a new one, or an empty one, so that no file is ever overwritten.
void PrepareOut(const ExploreOptions &o)
{
    if (o.out.empty()) {
        return;
    }
    const std::string named = "--out " + Quoted(o.out, 100);
    if (!o.json.empty() && o.json != "-" && Inside(o.json, o.out)) {
        throw UsageError(named + ": give the JSON report (--json " + Quoted(o.json, 100) +
                         ") a place outside that folder");
    }
    struct stat st {};
    if (stat(o.out.c_str(), &st) == 0) {
        std::error_code ec;
        if (!S_ISDIR(st.st_mode)) {
            throw UsageError(named + ": that is not a folder");
        }
        if (!fs::is_empty(o.out, ec) || ec) {
            throw UsageError(
                named + ": the folder is not empty; give a new or an empty one (reproducers never overwrite a file)");
        }
        return;
    }
    if (mkdir(o.out.c_str(), 0777) != 0) {
        throw UsageError(named + ": cannot make the folder: " + std::strerror(errno));
    }
}

class Explorer {
public:
    Explorer(const Scenario &sc, const ExploreOptions &o, ExploreBudget budget, unsigned jobs);

    // The run without faults, then the runs: all of them, or the share of one shard.
    void RunAll(std::optional<ShardPart> shard);
    // A merge's runs, as the shards found them.
    void Adopt(const RunOutcome &baseline, Tally tally)
    {
        baseline_ = baseline;
        tally_ = std::move(tally);
        report_.baseline = BaselineOf(baseline_);
    }
    // The report of the runs so far: their findings told, and shrunk with --out.
    ExploreReport Finish();
    const RunOutcome &Baseline() const { return baseline_; }
    const Tally &Counted() const { return tally_; }
    std::vector<std::string> FaultsOf(size_t run) const;
    // Lines for files that could not be written.
    const std::string &Lost() const { return lost_; }
    // How long it took: wall-clock figures, which no report holds.
    const std::string &Timing() const { return timing_; }

private:
    Trial TrialOf(size_t run) const { return WithFaults(sc_, DrawSchedule(budget_, o_.seed, run)); }
    void Collect(size_t run, const RunOutcome &outcome);
    void Findings();
    // Shrinks `trial` to a reproducer of `key` named `name`, written with its page; `f` is for its header.
    Reproducer Reproduce(Trial trial, const ReasonFinding &f, bool baseline);
    void WriteDefectScenario(DefectFinding &d);
    std::string Write(const std::string &name, const std::string &text);
    void Tick(const std::function<std::string()> &line);

    const Scenario &sc_;
    const ExploreOptions &o_;
    ExploreBudget budget_;
    WorkerPool pool_;
    std::unique_ptr<Progress> progress_;
    ExploreReport report_;
    RunOutcome baseline_;  // the run without faults
    Tally tally_;
    Clock::time_point start_ = Clock::now();
    uint64_t runsStarted_ = 0;  // by the runs, before shrinking
    double runSeconds_ = 0;
    std::string lost_;
    std::string timing_;
};

std::vector<std::string> Explorer::FaultsOf(size_t run) const
{
    std::vector<std::string> out;
    for (const Fault &f : DrawSchedule(budget_, o_.seed, run)) {
        out.push_back(FaultText(sc_, f));
    }
    return out;
}

void Explorer::Tick(const std::function<std::string()> &line)
{
    if (progress_) {
        progress_->Update(line);
    }
}

void Explorer::Collect(size_t run, const RunOutcome &outcome)
{
    ++tally_.runs;
    auto note = [&](Defect d, const std::string &detail) {
        DefectFinding &f = tally_.defects.try_emplace(d, DefectFinding{d, 0, run, detail, {}, {}}).first->second;
        ++f.runs;
        if (run < f.firstRun) {
            f.firstRun = run;
            f.detail = detail;
        }
    };
    if (outcome.status == RunOutcome::Status::Crashed) {
        note(Defect::Crashed, outcome.signal != 0
                                  ? fmt::format("signal {} ({})", outcome.signal, strsignal(outcome.signal))
                                  : fmt::format("exit status {}", outcome.exitCode));
        return;
    }
    if (outcome.status == RunOutcome::Status::Hung) {
        note(Defect::Hung, "stopped after it ran far longer than the others");
        return;
    }
    if (outcome.leftBlocks != 0) {
        note(Defect::Leaked,
             fmt::format("{} host blocks left allocated after the library stopped", outcome.leftBlocks));
    }
    if (ConvergedLike(outcome, baseline_)) {
        ++tally_.converged;
        ++tally_.convergedAt[outcome.convergedAt];
        return;
    }
    ++tally_.notConverged;
    bool own = false;
    for (const ReasonKey key : outcome.Reasons()) {
        if (baseline_.Shows(key)) {
            continue;
        }
        own = true;
        ReasonFinding &f = tally_.reasons.try_emplace(key.Index(), ReasonFinding{key, 0, run, {}, {}}).first->second;
        ++f.runs;
        f.firstRun = std::min(f.firstRun, run);
    }
    if (!own) {
        std::optional<BaselineLike> &like = tally_.baselineLike;
        BaselineLike &b = like ? *like : like.emplace(BaselineLike{0, run, {}});
        ++b.runs;
        b.firstRun = std::min(b.firstRun, run);
    }
}

void Explorer::Findings()
{
    report_.converged = tally_.converged;
    report_.notConverged = tally_.notConverged;
    if (!tally_.convergedAt.empty()) {
        std::vector<Ms> times;
        for (const auto &[at, n] : tally_.convergedAt) {
            times.insert(times.end(), n, at);
        }
        report_.spread = SpreadOf(times);
    }
    for (auto [index, f] : tally_.reasons) {
        f.firstRunFaults = FaultsOf(f.firstRun);
        report_.reasons.push_back(f);
    }
    std::stable_sort(report_.reasons.begin(), report_.reasons.end(),
                     [](const ReasonFinding &a, const ReasonFinding &b) { return a.runs > b.runs; });
    for (auto [defect, found] : tally_.defects) {
        found.firstRunFaults = FaultsOf(found.firstRun);
        report_.defects.push_back(found);
    }
    if (tally_.baselineLike) {
        report_.baselineLike = tally_.baselineLike;
        report_.baselineLike->firstRunFaults = FaultsOf(report_.baselineLike->firstRun);
    }
}

std::string Explorer::Write(const std::string &name, const std::string &text)
{
    const std::string path = (fs::path(o_.out) / name).string();
    OutputFile file(OutputRequest{"--out", "reproducer", path});
    file.Write(text);
    if (const auto err = file.Close()) {
        lost_ += "zelm-sim: " + *err + "\n";
    }
    return path;
}

Reproducer Explorer::Reproduce(Trial trial, const ReasonFinding &f, bool baseline)
{
    const ReasonKey key = f.key;
    const std::string name = (baseline ? "baseline-" : "") + ReproducerName(key);
    Trial shrunk = Shrink(std::move(trial), key, pool_, [&] {
        Tick([&] { return fmt::format("explore: shrinking {}, {} runs so far", name, pool_.Started()); });
    });
    Reproducer x;
    const std::string text = ReproducerText(sc_, o_.seed, f, std::move(shrunk), x, name, baseline);
    x.file = Write(name + ".yaml", text);
    // Read back as any user would, and run once more as `zelm-sim --html` does: the file, not the shrinker's
    // copy, must show it, and its page goes beside it.
    std::string page;
    try {
        const Scenario back = ParseScenario(text, x.file, o_.limits);
        x.reproduced = pool_.RunWithPage(back, page).Shows(key);
    } catch (const ScenarioError &) {
        x.reproduced = false;
    }
    x.page = Write(name + ".html", page);
    return x;
}

void Explorer::WriteDefectScenario(DefectFinding &d)
{
    const std::string name = fmt::format("{}-run-{}.yaml", DefectName(d.defect), d.firstRun);
    d.file = Write(name, DefectText(sc_, o_.seed, d, TrialOf(d.firstRun)));
}

Explorer::Explorer(const Scenario &sc, const ExploreOptions &o, ExploreBudget budget, unsigned jobs)
    : sc_(sc), o_(o), budget_(std::move(budget)), pool_(jobs)
{
    if (!o.quiet && isatty(STDERR_FILENO) != 0) {
        progress_ = std::make_unique<Progress>(stderr);
    }
    report_.scenario = sc_.name;
    report_.source = sc_.source;
    report_.scenarioArg = o_.scenarioPath;
    report_.out = o_.out;
    report_.seed = o_.seed;
    report_.runs = o_.runs;
    for (const size_t n : budget_.agents) {
        report_.agents.push_back(sc_.nodes[n].name);
    }
    for (const FaultKind k : DrawableKinds(budget_)) {
        report_.kinds.push_back(FaultKindName(k));
    }
    report_.maxFaults = budget_.maxFaults;
    report_.from = budget_.from;
    report_.to = budget_.to;
    report_.longest = budget_.longest;
    report_.shrinking = !o_.out.empty();
}

void Explorer::RunAll(std::optional<ShardPart> shard)
{
    // The scenario without faults first: every run with faults is measured against it.
    pool_.Run(
        1, [this](size_t) { return WithFaults(sc_, {}).scenario; },
        [this](size_t, const RunOutcome &outcome) { baseline_ = outcome; });
    report_.baseline = BaselineOf(baseline_);
    const ShardPart share = shard.value_or(ShardPart{});
    const uint64_t count = share.Runs(o_.runs);
    pool_.Run(
        count, [&](size_t k) { return TrialOf(share.Run(k)).scenario; },
        [&](size_t k, const RunOutcome &outcome) {
            Collect(share.Run(k), outcome);
            Tick([&] {
                return fmt::format("explore: {} of {} runs, {} drift reasons", tally_.runs, count,
                                   tally_.reasons.size());
            });
        });
    runSeconds_ = Since(start_);
    runsStarted_ = pool_.Started();
    timing_ =
        fmt::format("zelm-sim: explore: {} runs in {:.1f} s, {} at a time", runsStarted_, runSeconds_, pool_.Jobs());
    if (progress_ && shard) {
        progress_->Finish();
    }
}

ExploreReport Explorer::Finish()
{
    Findings();
    const Clock::time_point shrinkStart = Clock::now();
    if (report_.shrinking) {
        for (BaselineReason &b : report_.baseline.reasons) {
            b.reproducer = Reproduce(WithFaults(sc_, {}), ReasonFinding{b.key, 0, 0, {}, {}}, true);
        }
        for (ReasonFinding &f : report_.reasons) {
            f.reproducer = Reproduce(TrialOf(f.firstRun), f, false);
        }
        for (DefectFinding &d : report_.defects) {
            WriteDefectScenario(d);
        }
    }
    if (progress_) {
        progress_->Finish();
    }
    timing_ = runsStarted_ == 0 ? fmt::format("zelm-sim: explore: merged {} runs", tally_.runs)
                                : fmt::format("zelm-sim: explore: {} runs in {:.1f} s, {} at a time", runsStarted_,
                                              runSeconds_, pool_.Jobs());
    if (report_.shrinking) {
        fmt::format_to(std::back_inserter(timing_), "; shrinking {} drift reasons: {} runs in {:.1f} s",
                       report_.reasons.size() + report_.baseline.reasons.size(), pool_.Started() - runsStarted_,
                       Since(shrinkStart));
    }
    return report_;
}

}  // namespace

namespace {

// Flushes standard output (`what` it holds), gives the timing line and says what was lost on the way; true
// when something was.
bool EndOutputs(const Explorer &explorer, const ExploreOptions &o, std::string lost, const char *what)
{
    if (const auto err = FlushStdout(what)) {
        lost += "zelm-sim: " + *err + "\n";
    }
    if (!o.quiet) {
        Print(stderr, "{}\n", explorer.Timing());
    }
    if (lost.empty()) {
        return false;
    }
    std::fputs(lost.c_str(), stderr);
    return true;
}

// Writes the report of the explorer's runs, shrunk with --out; the exit status.
int Report(Explorer &explorer, const ExploreOptions &o, std::unique_ptr<OutputFile> json, bool text)
{
    const ExploreReport report = explorer.Finish();
    if (text) {
        WriteExploreText(report, stdout, isatty(STDOUT_FILENO) != 0 && std::getenv("NO_COLOR") == nullptr);
    }
    std::string lost = explorer.Lost();
    if (json) {
        json->Write(ExploreJson(report));
        if (const auto err = json->Close()) {
            lost += "zelm-sim: " + *err + "\n";
        }
    }
    if (EndOutputs(explorer, o, std::move(lost), "text report")) {
        return kExitLost;
    }
    // A scenario that drifts by itself, or whose run without faults fails, is not converged either.
    const bool bad = report.notConverged > 0 || !report.defects.empty() || !report.baseline.converged;
    return o.expectConverged && bad ? kExitDrift : kExitOk;
}

// One shard: its share of the runs, and their tally written for the merge.
int RunShard(const Scenario &sc, const ExploreOptions &o, const ExploreBudget &budget, unsigned jobs)
{
    const ShardPart part = *o.shard;
    const std::string named = fmt::format("--shard {}/{}", part.index, part.count);
    if (o.json.empty()) {
        throw UsageError(named + ": give --json FILE for the shard's result, which --merge reads");
    }
    if (!o.out.empty() || o.expectConverged) {
        throw UsageError(named + ": give " + (o.out.empty() ? "--expect-converged" : "--out") +
                         " to --merge, which sees every shard's runs");
    }
    const OutputRequest request{"--json", "shard result", o.json};
    const bool text = !o.quiet && o.json != "-";
    CheckOutputs({request}, o.scenarioPath, text);
    OutputFile file(request);

    Explorer explorer(sc, o, budget, jobs);
    explorer.RunAll(part);
    Shard shard;
    shard.version = o.version;
    shard.part = part;
    shard.seed = o.seed;
    shard.runs = o.runs;
    shard.scenarioText = o.scenarioText;
    shard.source = sc.source;
    shard.given = o.scenarioPath;
    shard.baseline = explorer.Baseline();
    shard.tally = explorer.Counted();
    file.Write(ShardJson(shard, [&explorer](size_t run) { return explorer.FaultsOf(run); }));
    std::string lost;
    if (const auto err = file.Close()) {
        lost += "zelm-sim: " + *err + "\n";
    }
    if (text) {
        Print(stdout,
              "zelm-sim explore: shard {} of {}: {} of {} runs, written to {}; zelm-sim explore --merge "
              "with every shard's result gives the report\n",
              part.index, part.count, shard.tally.runs, o.runs, Printable(o.json));
    }
    if (EndOutputs(explorer, o, std::move(lost), "summary")) {
        return kExitLost;
    }
    return kExitOk;
}

}  // namespace

int Explore(const Scenario &sc, const ExploreOptions &o)
{
    // The reader refuses a budget that can draw nothing; the default one can always flip the HA role.
    const ExploreBudget budget = sc.explore ? *sc.explore : DefaultExploreBudget(sc);
    const unsigned jobs = JobsFor(o, sc, budget.maxFaults);
    if (o.shard) {
        return RunShard(sc, o, budget, jobs);
    }
    const bool text = !o.quiet && o.json != "-";
    std::vector<OutputRequest> requests;
    if (!o.json.empty()) {
        requests.push_back(OutputRequest{"--json", "JSON report", o.json});
    }
    CheckOutputs(requests, o.scenarioPath, text);
    PrepareOut(o);
    std::unique_ptr<OutputFile> json = requests.empty() ? nullptr : std::make_unique<OutputFile>(requests.front());

    Explorer explorer(sc, o, budget, jobs);
    explorer.RunAll(std::nullopt);
    return Report(explorer, o, std::move(json), text);
}

int ExploreMerge(const std::vector<std::string> &files, ExploreOptions o)
{
    const bool text = !o.quiet && o.json != "-";
    std::vector<OutputRequest> requests;
    if (!o.json.empty()) {
        requests.push_back(OutputRequest{"--json", "JSON report", o.json});
        for (const std::string &file : files) {
            std::error_code ec;
            if (o.json != "-" && fs::equivalent(o.json, file, ec)) {
                throw UsageError("--json " + Quoted(o.json, 100) +
                                 ": that is a shard result to merge; the JSON report would overwrite it");
            }
        }
    }
    CheckOutputs(requests, "", text);
    // A shard holds the scenario's text and a tally that grows with the distinct convergence times at most.
    const uint64_t maxBytes = o.limits.memoryBytes / 8;
    std::vector<Shard> shards;
    for (const std::string &file : files) {
        shards.push_back(ReadShard(file, maxBytes));
    }
    const Shard merged = MergeShards(shards, o.version);
    o.seed = merged.seed;
    o.runs = merged.runs;
    o.scenarioPath = merged.given;
    const Scenario sc = ParseScenario(merged.scenarioText, merged.source, o.limits);
    const ExploreBudget budget = sc.explore ? *sc.explore : DefaultExploreBudget(sc);
    const unsigned jobs = JobsFor(o, sc, budget.maxFaults);
    PrepareOut(o);
    std::unique_ptr<OutputFile> json = requests.empty() ? nullptr : std::make_unique<OutputFile>(requests.front());

    Explorer explorer(sc, o, budget, jobs);
    explorer.Adopt(merged.baseline, merged.tally);
    return Report(explorer, o, std::move(json), text);
}

}  // namespace zsim
