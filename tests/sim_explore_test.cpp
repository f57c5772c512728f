// zelm-sim explore end to end: the same seed gives the same report whatever the number of workers, the
// built-in scenario's own drift is its baseline and every finding is shrunk to a small scenario with its page, a
// scenario that always converges gives a spread and nothing to reproduce, and a bad budget or option is refused
// with its place.
#include "support/sim_cli.h"

#include <algorithm>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using namespace simcli;

namespace {

class ExploreTest : public SimCliTest {
protected:
    // Explores with `args` into the folder `out` of the test's folder; the JSON report.
    Json Explore(const std::string &args, const std::string &out)
    {
        const fs::path json = dir_ / (out + ".json");
        const Result r = Run("explore -q --out " + (dir_ / out).string() + " --json " + json.string() + " " + args);
        EXPECT_EQ(r.code, 0) << r.err;
        return Json::parse(Slurp(json));
    }
};

TEST_F(ExploreTest, SameSeedGivesTheSameReportAndReproducersWhateverTheJobs)
{
    const Json one = Explore("--runs 60 --seed 3 --jobs 1 examples/rollout.yaml", "one");
    const Json two = Explore("--runs 60 --seed 3 --jobs 2 examples/rollout.yaml", "two");
    EXPECT_EQ(Replaced(one.dump(1), (dir_ / "one").string(), "DIR"),
              Replaced(two.dump(1), (dir_ / "two").string(), "DIR"));
    ASSERT_FALSE(fs::is_empty(dir_ / "one"));
    for (const auto &file : fs::directory_iterator(dir_ / "one")) {
        EXPECT_EQ(Replaced(Slurp(file.path()), (dir_ / "one").string(), "DIR"),
                  Replaced(Slurp(dir_ / "two" / file.path().filename()), (dir_ / "two").string(), "DIR"))
            << file.path();
    }
    // The seed is what decides: another one draws other faults.
    EXPECT_NE(Explore("--runs 60 --seed 4 examples/rollout.yaml", "other")["notConverged"], one["notConverged"]);
}

// The built-in scenario drifts without faults (the components left at a moved index): the baseline names that
// drift and its reproducer, the runs are measured against it, and every reproducer comes with its page and ends
// with its reason's drift, its nodes' links as the run had them.
TEST_F(ExploreTest, BuiltinIsMeasuredAgainstItsBaselineAndEveryReproducerHasItsPage)
{
    const fs::path json = dir_ / "r.json";
    const Result text = Run("explore --runs 20 --out " + (dir_ / "out").string() + " --json " + json.string());
    ASSERT_EQ(text.code, 0) << text.err;
    const Json r = Json::parse(Slurp(json));
    const Json &baseline = r["baseline"]["byReason"];
    ASSERT_EQ(baseline.size(), 1u) << r["baseline"].dump(1);
    EXPECT_EQ(baseline[0]["reasonCode"], "forgotten");
    EXPECT_EQ(baseline[0]["items"], 4);
    EXPECT_LE(baseline[0]["reproducer"]["events"], 10);
    const Json &found = r["notConverged"]["byReason"];
    EXPECT_TRUE(std::none_of(found.begin(), found.end(), [](const Json &f) { return f["reasonCode"] == "forgotten"; }))
        << found.dump(1);
    EXPECT_GT(r["converged"]["runs"], 0) << "runs that end as the baseline does converged";
    EXPECT_LE(r["converged"]["convergedAt"]["p50"], r["converged"]["convergedAt"]["p95"]);

    std::vector<Json> reproducers{baseline[0]};
    reproducers.insert(reproducers.end(), found.begin(), found.end());
    for (const Json &f : reproducers) {
        const std::string file = f["reproducer"]["file"];
        EXPECT_TRUE(f["reproducer"]["reproduced"]) << file;
        EXPECT_EQ(f["reproducer"]["page"], file.substr(0, file.size() - 4) + "html");
        EXPECT_EQ(Slurp(f["reproducer"]["page"].get<std::string>()).rfind("<!DOCTYPE html>", 0), 0u) << file;
        EXPECT_EQ(Run("-q --expect-converged " + file).code, 1) << file;
        const Json plain = Json::parse(Run("--json - " + file).out);
        const Json &drift = plain["drift"]["byReason"];
        EXPECT_TRUE(
            std::any_of(drift.begin(), drift.end(),
                        [&](const Json &d) { return d["kind"] == f["kind"] && d["reasonCode"] == f["reasonCode"]; }))
            << file << ": " << drift.dump(1);
        for (const Json &agent : plain["agents"]) {
            EXPECT_EQ(agent["link"], "up") << file << ": " << agent["node"];
        }
    }
    // The report opens with the baseline and ends with what to do next.
    const size_t base = text.out.find("BASELINE");
    const size_t next = text.out.find("NEXT");
    ASSERT_NE(base, std::string::npos) << text.out;
    EXPECT_NE(text.out.find("forgotten", base), std::string::npos);
    EXPECT_LT(base, text.out.find("CONVERGED"));
    ASSERT_NE(next, std::string::npos) << text.out;
    for (const std::string &command :
         {"zelm-sim " + (dir_ / "out").string(), std::string(".html"), std::string("zelm-sim explore --runs 20")}) {
        EXPECT_NE(text.out.find(command, next), std::string::npos) << command << "\n" << text.out;
    }
}

TEST_F(ExploreTest, ScenarioThatAlwaysConvergesGivesASpreadAndNoReproducer)
{
    // Late answers and link flaps delay the publications, and the smooth timers bring them all through.
    const fs::path file = Write("calm.yaml",
                                "nodes: [{name: a, slot: 1}]\ntimeline:\n"
                                "  - {at: 0, link: {node: a, up: true}}\n"
                                "  - {at: 0, config: [{class: compNode, compType: 1, compTypeName: t},\n"
                                "      {class: location, LocId: 1, LocName: l1, OsInst: a, imageName: x.service}]}\n"
                                "  - {at: 0, locationStatus: {node: a, service: l1, index: 1}}\n"
                                "  - {at: 1s, config: {class: component, locIndex: 1, compInst: 1, compType: 1}}\n"
                                "explore: {faults: [lag, linkFlap], maxFaults: 2}\n");
    const Json r = Explore("--runs 30 " + file.string(), "out");
    EXPECT_EQ(r["converged"]["runs"], 30);
    EXPECT_EQ(r["notConverged"]["runs"], 0);
    EXPECT_TRUE(fs::is_empty(dir_ / "out"));
    const Json &at = r["converged"]["convergedAt"];
    EXPECT_LE(at["min"], at["p50"]);
    EXPECT_LE(at["p50"], at["p95"]);
    EXPECT_LE(at["p95"], at["p99"]);
    EXPECT_LE(at["p99"], at["max"]);
    EXPECT_LT(at["min"], at["max"]) << "faults that delay convergence spread it";
    EXPECT_EQ(Run("explore -q --expect-converged --runs 5 " + file.string()).code, 0);
}

// A restart is drawn as the scenario's own stop and start: one that spans the delete at 5 s loses its
// withdrawal, one that ends before it loses nothing, and the reproducer runs as a plain scenario with the
// library running again at its end.
TEST_F(ExploreTest, RestartIsDrawnAsTheLibrarysStopAndStartWithReplay)
{
    const fs::path file =
        Write("restart.yaml", OneLocation(kNodeA,
                                          "  - {at: 5s, config: {class: component, opCode: delete, locIndex: 5, "
                                          "compInst: 1, compType: 1}}\n"
                                          "explore: {faults: [restart], maxFaults: 1, window: {from: 4s, to: "
                                          "4s}, longest: 2s}\n"));
    const Json r = Explore("--runs 20 " + file.string(), "out");
    EXPECT_GT(r["converged"]["runs"], 0) << "a restart over before the delete loses nothing";
    const Json &found = r["notConverged"]["byReason"];
    ASSERT_EQ(found.size(), 1u) << found.dump(1);
    EXPECT_EQ(found[0]["kind"], "extra");
    EXPECT_EQ(found[0]["reasonCode"], "delete-not-sent");
    EXPECT_EQ(found[0]["runs"], r["notConverged"]["runs"]);
    EXPECT_EQ(found[0]["reproducer"]["faults"], 1);
    const Json plain = Json::parse(Run("--json - " + found[0]["reproducer"]["file"].get<std::string>()).out);
    EXPECT_EQ(plain["library"], "running");
    EXPECT_EQ(plain["drift"]["byReason"][0]["reasonCode"], "delete-not-sent") << plain["drift"].dump(1);
}

// Shards that do not make one exploration, and shard options that cannot be followed: each is refused with
// one line that names what is wrong, and the merge writes nothing.
TEST_F(ExploreTest, ShardSetsThatDoNotMakeOneExplorationAreRefusedByName)
{
    const std::string scenario = Write("one.yaml", OneLocation(kNodeA, "")).string();
    auto shard = [&](const std::string &part, const std::string &seed, const std::string &name) {
        const Result r = Run("explore -q --runs 5 --seed " + seed + " --shard " + part + " --json " +
                             (dir_ / name).string() + " " + scenario);
        EXPECT_EQ(r.code, 0) << r.err;
    };
    shard("1/2", "1", "s1.json");
    shard("2/2", "1", "s2.json");
    shard("2/2", "2", "seed2.json");
    Write("cut.json", Slurp(dir_ / "s2.json").substr(0, 200));
    Write("report.json", Run("explore -q --runs 2 --json - " + scenario).out);
    const struct {
        std::string args;
        std::string named;  // what the message must name
    } cases[] = {
        {"--merge {d}/s1.json", "shard 2 of 2"},
        {"--merge {d}/s1.json {d}/s2.json {d}/s1.json", "s1.json"},
        {"--merge {d}/s1.json {d}/seed2.json", "seed2.json"},
        {"--merge {d}/s1.json {d}/cut.json", "cut.json"},
        {"--merge {d}/s1.json {d}/report.json", "report.json"},
        {"--merge {d}/s1.json {d}/s2.json --json {d}/s2.json", "s2.json"},
        {"--merge {d}/s1.json {d}/s2.json --seed 3", "--seed"},
        {"--shard 0/2 --json {d}/x.json " + scenario, "--shard"},
        {"--shard 3/2 --json {d}/x.json " + scenario, "--shard"},
        {"--shard 1-2 --json {d}/x.json " + scenario, "--shard"},
        {"--shard 1/2 " + scenario, "--json"},
    };
    for (const auto &c : cases) {
        const Result r = Run(Replaced("explore --out {d}/out " + c.args, "{d}", dir_.string()));
        EXPECT_EQ(r.code, 2) << c.args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << c.args << ": " << r.err;
        EXPECT_FALSE(fs::exists(dir_ / "out")) << c.args;
    }
    EXPECT_EQ(Run(Replaced("explore -q --merge {d}/s2.json {d}/s1.json --json {d}/merged.json", "{d}", dir_.string()))
                  .code,
              0);
    EXPECT_EQ(Json::parse(Slurp(dir_ / "merged.json"))["runs"], 5);
}

struct BadExplore {
    const char *name;
    std::string args;   // {file} is the scenario below
    const char *where;  // ":line:col" in the scenario, or "" for an option
};

const std::string kBudget =
    "nodes: [{name: a}, {name: b, slot: 1, agent: false}]\ntimeline: [{at: 0, link: {node: a, up: true}}]\nexplore:\n";

const BadExplore kBadExplores[] = {
    {"UnknownFaultKind", kBudget + "  faults: [down, crash]\n", ":4:18"},
    {"NoFaults", kBudget + "  maxFaults: 0\n", ":4:14"},
    {"TooManyFaults", kBudget + "  maxFaults: 65\n", ":4:14"},
    {"AgentlessNode", kBudget + "  agents: [b]\n", ":4:12"},
    {"WindowEndsBeforeItStarts", kBudget + "  window: {from: 5s, to: 1s}\n", ":4:26"},
    {"UnknownKey", kBudget + "  faultz: [down]\n", ":4:3"},
    {"NothingToDraw", "nodes: [{name: a, agent: false}]\ntimeline: []\nexplore: {faults: [down]}\n", ":3:10"},
    {"RunsOutOfRange", "--runs 0", ""},
    {"JobsOutOfRange", "--jobs 0", ""},
    {"NegativeSeed", "--seed -1", ""},
};

class ExploreBadTest : public ExploreTest, public ::testing::WithParamInterface<BadExplore> {};

TEST_P(ExploreBadTest, IsRefusedWithItsPlaceAndNothingRuns)
{
    const BadExplore &bad = GetParam();
    const bool scenario = bad.where[0] != '\0';
    const fs::path file = scenario ? Write("bad.yaml", bad.args) : SourceRoot() / "examples" / "basic.yaml";
    const Result r =
        Run("explore --out " + (dir_ / "out").string() + " " + (scenario ? "" : bad.args) + " " + file.string());
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    if (scenario) {
        EXPECT_EQ(r.err.rfind("zelm-sim: " + file.string() + bad.where + ": ", 0), 0u) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir_ / "out"));
}

INSTANTIATE_TEST_SUITE_P(Budgets, ExploreBadTest, ::testing::ValuesIn(kBadExplores),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
