// zelm-sim end to end: the examples' JSON reports against their goldens, drift reasons, reports that explain
// themselves, and input of every kind that must end in exit status 2 with its place named and no file lost.
#include "support/sim_cli.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace simcli;

namespace {

using SimTest = SimCliTest;

// ---- goldens ---------------------------------------------------------------------------------------------

class SimGoldenTest : public SimTest, public ::testing::WithParamInterface<std::string> {};

// The built-in scenario, every example and every golden: an example without its golden fails, and so
// does a golden whose example is gone.
std::vector<std::string> GoldenNames()
{
    std::set<std::string> names = {"builtin"};
    for (const auto &[folder, extension] : {std::pair<fs::path, std::string>{SourceRoot() / "examples", ".yaml"},
                                            {SourceRoot() / "tests" / "sim" / "golden", ".json"}}) {
        for (const fs::directory_entry &entry : fs::directory_iterator(folder)) {
            if (entry.is_regular_file() && entry.path().extension() == extension) {
                names.insert(entry.path().stem().string());
            }
        }
    }
    return {names.begin(), names.end()};
}

TEST_P(SimGoldenTest, ReportMatchesItsGolden)
{
    const std::string name = GetParam();
    const std::string scenario = name == "builtin" ? "" : "examples/" + name + ".yaml";
    const fs::path json = dir_ / "report.json";
    const Result r = Run("--quiet --json " + Quote(json) + " " + scenario);
    ASSERT_EQ(r.code, 0) << r.err;
    const fs::path golden = SourceRoot() / "tests" / "sim" / "golden" / (name + ".json");
    ASSERT_TRUE(fs::exists(golden)) << golden << " is missing: make it with tools/sim/update-goldens.sh";
    EXPECT_EQ(Slurp(json), Slurp(golden))
        << "the report of " << (scenario.empty() ? "the built-in scenario" : scenario) << " differs from " << golden
        << "; if the change is intended, regenerate the goldens with tools/sim/update-goldens.sh";
}

INSTANTIATE_TEST_SUITE_P(Examples, SimGoldenTest, ::testing::ValuesIn(GoldenNames()), [](const auto &info) {
    std::string n = info.param;
    n.erase(std::remove(n.begin(), n.end(), '-'), n.end());
    return n;
});

// ---- drift reasons ---------------------------------------------------------------------------------------

struct DriftCase {
    const char *name;
    std::string scenario;  // a path from the repository root, or a scenario's text
    const char *kind;
    const char *what;
    uint32_t key;       // LocId of a location, locIndex of a component
    uint32_t compInst;  // components
    const char *node;
    const char *reasonCode;
};

const DriftCase kDriftCases[] = {
    {"LocationHeldBackByTheHaRole", "examples/ha-role.yaml", "missing", "location", 2, 0, "ctl-b",
     "held-back-by-ha-role"},
    {"ComponentOfAMissingType", "examples/pitfalls.yaml", "missing", "component", 1, 2, "a", "type-missing"},
    {"LocationDeletedInFlight", "examples/pitfalls.yaml", "extra", "location", 2, 0, "a", "deleted-before-published"},
    {"LocationMovedToAnotherNode", "examples/pitfalls.yaml", "extra", "location", 3, 0, "a", "moved"},
    {"ComponentsLeftAtAMovedIndex", "", "extra", "component", 6, 601, "n3", "forgotten"},
    {"WithdrawalRefused",
     "until: 20s\n" +
         OneLocation(kNodeA,
                     "  - {at: 2s, agent: {node: a, refuse: 5}}\n"
                     "  - {at: 3s, config: {class: component, opCode: delete, locIndex: 5, compInst: 1}}\n"),
     "extra", "component", 5, 1, "a", "withdrawal-lost"},
    {"IndexAnnouncedByAnotherNode",
     OneLocation(std::string(kNodeA) + "  - {name: b, slot: 2}\n",
                 "  - {at: 2s, locationStatus: {node: b, service: l5, index: 5}}\n"),
     "extra", "component", 5, 1, "a", "announced-elsewhere"},
    {"AgentDownForGood",
     "settle: 20s\n" + OneLocation(kNodeA,
                                   "  - {at: 2s, agent: {node: a, down: true}}\n"
                                   "  - {at: 3s, config: {class: component, locIndex: 5, compInst: 2, compType: 1}}\n"),
     "missing", "component", 5, 2, "a", "retrying"},
};

class SimDriftTest : public SimTest, public ::testing::WithParamInterface<DriftCase> {};

TEST_P(SimDriftTest, ItemCarriesTheReasonTheLibrarysRulesGive)
{
    const DriftCase &c = GetParam();
    const bool file = c.scenario.empty() || c.scenario.rfind("examples/", 0) == 0;
    const Json r = JsonReport(file ? c.scenario : Quote(Write("s.yaml", c.scenario)));
    const auto &items = r["drift"]["items"];
    const auto it = std::find_if(items.begin(), items.end(), [&](const Json &item) {
        const bool component = std::string(c.what) == "component";
        return item["kind"] == c.kind && item["what"] == c.what &&
               (component ? item["locIndex"] == c.key && item["compInst"] == c.compInst : item["LocId"] == c.key);
    });
    ASSERT_NE(it, items.end()) << r["drift"].dump(2);
    EXPECT_EQ((*it)["node"], c.node);
    EXPECT_EQ((*it)["reasonCode"], c.reasonCode) << (*it)["reason"];
}

INSTANTIATE_TEST_SUITE_P(Reasons, SimDriftTest, ::testing::ValuesIn(kDriftCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(SimTest, StaleEntriesListTheirFieldsAsHeldAndConfigured)
{
    const fs::path file = Write("s.yaml", OneLocation(kNodeA,
                                                      "  - {at: 2s, haRole: 1}\n"
                                                      "  - {at: 3s, config: {class: logicGroup, opCode: update, "
                                                      "locIndex: 5, logicId: 101}}\n"));
    const Json r = JsonReport(Quote(file));
    ASSERT_EQ(r["drift"]["total"], 1) << r["drift"].dump(2);
    const Json &item = r["drift"]["items"][0];
    EXPECT_EQ(item["kind"], "stale");
    EXPECT_EQ(item["reasonCode"], "ha-role-forbids");
    EXPECT_EQ(item["differences"], Json::parse(R"([{"field": "logicId", "held": 100, "configured": 101}])"));
}

// ---- reports that explain themselves ----------------------------------------------------------------------

TEST_F(SimTest, ReportSaysPerNodeWhenItConvergedAndWhyTheRunEnded)
{
    const Json r = JsonReport("");
    EXPECT_EQ(r["end"]["reason"], "settled");
    // n2's agent was down from 2 s to 12 s; the smooth timer's retry at 13 s delivered what it missed.
    EXPECT_EQ(r["agents"][1]["convergedAt"], 13001);
    EXPECT_EQ(r["agents"][2]["convergedAt"], nullptr);
    EXPECT_EQ(r["agents"][2]["driftItems"], 4);
    EXPECT_EQ(r["events"]["written"]["total"], 18);
    EXPECT_EQ(r["events"]["implied"]["total"], 1);
    // batch-6 is announced under index 16: its location and its components there go together.
    const Json &batch = r["agents"][2]["locations"][1];
    EXPECT_EQ(batch["LocId"], 6);
    EXPECT_EQ(batch["locIndex"], 16);
    EXPECT_EQ(batch["components"].size(), 4u);
    EXPECT_EQ(r["agents"][2]["otherIndexes"][0]["locIndex"], 6);

    EXPECT_EQ(JsonReport("examples/index-move.yaml", "--until 4s")["end"]["reason"], "until");
    const Json down = JsonReport(Quote(
        Write("down.yaml",
              "settle: 20s\n" +
                  OneLocation(kNodeA,
                              "  - {at: 2s, agent: {node: a, down: true}}\n"
                              "  - {at: 3s, config: {class: component, locIndex: 5, compInst: 2, compType: 1}}\n"))));
    EXPECT_EQ(down["end"]["reason"], "settleLimit");
    EXPECT_EQ(down["end"]["timersRunning"], Json::parse(R"(["ZelmCompSmooth"])"));
}

TEST_F(SimTest, LargeClustersFoldAlikeNodesAndCountDriftByReason)
{
    const fs::path file =
        Write("big.yaml",
              "report: {holdings: summary}\nsettle: 10s\n"
              "generate: {nodes: 6, locationsPerNode: 2, componentTypes: 1, componentsPerLocation: 2}\n"
              "timeline:\n  - {at: 0, agent: {node: node-2, down: true}}\n");
    const Result text = Run(Quote(file));
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_NE(text.out.find("4 more nodes like node-1"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("node-3 "), std::string::npos) << text.out;
    const Json r = JsonReport(Quote(file));
    ASSERT_EQ(r["drift"]["byReason"].size(), 1u) << r["drift"].dump(2);
    EXPECT_EQ(r["drift"]["byReason"][0]["reasonCode"], "retrying");
    EXPECT_EQ(r["drift"]["byReason"][0]["items"], 6);
}

TEST_F(SimTest, TextsThatAreNotUtf8StayReadableAndTheJsonValid)
{
    const fs::path file = Write("bad\xff.yaml",
                                "nodes: [{name: \"n\\xff\"}, {name: \"\xfe\xfe\", slot: 1}]\n"
                                "timeline:\n"
                                "  - {at: 0, link: {node: \"\xfe\xfe\", up: true}}\n"
                                "  - {at: 0, config: {class: location, LocId: 1, LocName: \"\xc3\x28\", OsInst: 1, "
                                "imageName: x.service}}\n");
    const fs::path json = dir_ / "r.json";
    const Result r = Run("--json " + Quote(json) + " " + Quote(file));
    ASSERT_EQ(r.code, 0) << r.err;
    const Json j = Json::parse(Slurp(json));  // throws on bytes that are not UTF-8
    EXPECT_EQ(j["notes"].size(), 1u);
    EXPECT_EQ(j["agents"][1]["locations"][0]["LocId"], 1);
    // Every node identifier reads alike, 0 too.
    EXPECT_NE(r.out.find(" 0x000000 "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\xfe'), std::string::npos);
}

TEST_F(SimTest, ASecondStopOrStartChangesNothingAndTheTraceSaysSo)
{
    const fs::path trace = dir_ / "run.trace";
    const fs::path file =
        Write("s.yaml",
              "nodes: [{name: a}]\ntimeline:\n  - {at: 0, library: stop}\n  - {at: 1, library: stop}\n"
              "  - {at: 2, library: start}\n  - {at: 3, library: start}\n");
    ASSERT_EQ(Run("--quiet --trace " + Quote(trace) + " " + Quote(file)).code, 0);
    const std::string t = Slurp(trace);
    // The library started twice (at 0 and at 2 ms) and replayed once.
    EXPECT_EQ(Count(t, "HOST  ZELM_Init"), 2u) << t;
    EXPECT_EQ(Count(t, "replaying"), 1u) << t;
}

// ---- command line ----------------------------------------------------------------------------------------

TEST_F(SimTest, ExitStatusSaysWhetherTheRunConvergedOnlyWhenAsked)
{
    EXPECT_EQ(Run("--quiet --expect-converged examples/basic.yaml").code, 0);
    EXPECT_EQ(Run("--quiet --expect-converged examples/pitfalls.yaml").code, 1);
    EXPECT_EQ(Run("--quiet examples/pitfalls.yaml").code, 0);
    EXPECT_EQ(Run("--quiet --expect-converged - < examples/basic.yaml").code, 0);
    EXPECT_EQ(Run("--version").code, 0);
}

TEST_F(SimTest, HelpNamesWhatEachOptionTakes)
{
    const std::pair<const char *, const char *> placeholders[] = {
        {"--help", "SCENARIO FILE"},       {"--help", "--until TIME"},      {"--help", "--html FILE"},
        {"--help", "--memory-limit SIZE"}, {"explore --help", "--out DIR"}, {"explore --help", "--runs N"},
        {"explore --help", "--seed N"},    {"explore --help", "--jobs N"},
    };
    for (const auto &[args, shown] : placeholders) {
        const Result help = Run(args);
        EXPECT_EQ(help.code, 0);
        EXPECT_NE(help.out.find(shown), std::string::npos) << help.out;
        EXPECT_EQ(help.out.find("TEXT"), std::string::npos) << help.out;
    }
}

TEST_F(SimTest, ValidateReadsTheScenarioAndRunsNothing)
{
    const fs::path json = dir_ / "r.json";
    EXPECT_EQ(Run("--validate --json " + Quote(json) + " examples/large.yaml").code, 0);
    EXPECT_FALSE(fs::exists(json));
    // A scenario beyond the memory limit is refused with the smallest round limit that allows it: the
    // expansion of `generate`, and the reading of a small file under a limit below what any reading takes.
    const fs::path big = Write("big.yaml",
                               "generate: {nodes: 10, locationsPerNode: 100, componentTypes: 1, "
                               "componentsPerLocation: 20}\n");
    for (const auto &[scenario, limit] : {std::pair<std::string, const char *>{Quote(big), "16M"},
                                          std::pair<std::string, const char *>{"examples/basic.yaml", "1M"}}) {
        const Result refused = Run("--validate --memory-limit " + std::string(limit) + " " + scenario);
        EXPECT_EQ(refused.code, 2);
        const size_t at = refused.err.find("--memory-limit ");
        ASSERT_NE(at, std::string::npos) << refused.err;
        const std::string raise = refused.err.substr(at + 15, refused.err.find_first_of(" \n", at + 15) - at - 15);
        EXPECT_EQ(Run("--validate --memory-limit " + raise + " " + scenario).code, 0) << raise;
        const unsigned long less = std::stoul(raise) - 1;
        if (less > 0) {
            EXPECT_EQ(Run("--validate --memory-limit " + std::to_string(less) + raise.back() + " " + scenario).code, 2)
                << raise << " is not the smallest limit that allows " << scenario;
        }
    }
}

namespace {

// Whether a line of a log or trace file has this virtual time ("" for any) and kind, and holds every fragment.
bool HasLine(const std::string &text, const std::string &time, const std::string &kind,
             std::initializer_list<const char *> fragments)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string stamp;
        std::string lineKind;
        words >> stamp >> lineKind;
        bool holds = (time.empty() || stamp == time) && lineKind == kind;
        for (const char *fragment : fragments) {
            holds = holds && line.find(fragment) != std::string::npos;
        }
        if (holds) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST_F(SimTest, LogAndTraceFilesShowTheLibraryAndThePlatformInVirtualTime)
{
    const fs::path log = dir_ / "lib.log";
    const fs::path trace = dir_ / "run.trace";
    ASSERT_EQ(Run("--quiet --log " + Quote(log) + " --trace " + Quote(trace) + " examples/agent-outage.yaml").code, 0);
    const std::string l = Slurp(log);
    EXPECT_TRUE(HasLine(l, "000000.000", "INFO", {"ZELM_COMP_Init", "init ok"})) << l.substr(0, 400);
    const std::string t = Slurp(trace);
    EXPECT_TRUE(HasLine(t, "000005.000", "CALL", {"#5 ", "rack-2", "KorbLocSubscribe", "[20]", "refused", "status 2"}));
    EXPECT_TRUE(HasLine(t, "000010.000", "TIMER", {"ZelmLocSmooth", "tick"}));
    EXPECT_TRUE(HasLine(t, "", "DONE", {"#1 ", "rack-1", "success 1", "result 0", "applied"}));
}

struct BadCall {
    const char *name;
    const char *args;  // shell text; {dir} is the test's folder, which holds mine.yaml
};

const BadCall kBadCalls[] = {
    {"MissingFile", "{dir}/none.yaml"},
    {"Directory", "{dir}"},
    {"Device", "/dev/zero"},
    {"UntilTooLate", "--until 25h {dir}/mine.yaml"},
    {"UntilNotATime", "--until soon {dir}/mine.yaml"},
    {"MemoryLimitNotASize", "--memory-limit lots {dir}/mine.yaml"},
    {"UnknownOption", "--no-such-option"},
    {"JsonToAFullDisk", "-q --json /dev/full {dir}/mine.yaml"},
    {"LogToAFullDisk", "-q --log /dev/full {dir}/mine.yaml"},
    {"TraceToAFullDisk", "-q --trace /dev/full {dir}/mine.yaml"},
    {"PageToAFullDisk", "-q --html /dev/full {dir}/mine.yaml"},
    {"PageHistoryOverTheMemoryLimit", "-q --html {dir}/page.html --memory-limit 20M {dir}/mine.yaml"},
    {"ReportToAFullDisk", "{dir}/mine.yaml > /dev/full"},
    {"LogOverTheScenario", "--log {dir}/mine.yaml"},
    {"JsonOverTheScenario", "{dir}/mine.yaml --json {dir}/mine.yaml"},
    {"TwoOutputsInOneFile", "{dir}/mine.yaml --json {dir}/out --trace {dir}/out"},
    {"TwoOutputsToStdout", "{dir}/mine.yaml --json - --log -"},
    {"JsonIntoTheTextReport", "{dir}/mine.yaml --json {dir}/out.txt > {dir}/out.txt"},
};

void PrintTo(const BadCall &bad, std::ostream *os)
{
    *os << bad.name;
}

class SimBadCallTest : public SimTest, public ::testing::WithParamInterface<BadCall> {};

TEST_P(SimBadCallTest, ExitsWithTwoAndLosesNoFile)
{
    const std::string scenario = Slurp(SourceRoot() / "examples" / "basic.yaml");
    Write("mine.yaml", scenario);
    const Result r = Run(Replaced(GetParam().args, "{dir}", dir_.string()));
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(Slurp(dir_ / "mine.yaml"), scenario);
}

INSTANTIATE_TEST_SUITE_P(CommandLines, SimBadCallTest, ::testing::ValuesIn(kBadCalls),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- unusable scenarios -----------------------------------------------------------------------------------

struct BadScenario {
    const char *name;
    std::string yaml;
    const char *where;      // ":line:col", or "" where the whole file is at fault
    const char *args = "";  // more options
    const char *says = "";  // what else the message must name: where the parser stopped, a suggestion, ...
};

const std::string kNode = "nodes: [{name: n1}]\n";
const std::string kEventAt0 = kNode + "timeline:\n  - {at: 0, ";

const BadScenario kBadScenarios[] = {
    {"UnknownField", kNode + "timeline:\n  - at: 0\n    config: {class: location, LocId: 1, LocNam: x}\n", ":4:41"},
    {"WrongType", kEventAt0 + "config: {class: location, LocId: abc}}\n", ":3:46"},
    {"TextLongerThanItsField",
     kEventAt0 + "config: {class: location, LocId: 1, LocName: " + std::string(32, 'x') + "}}\n", ":3:58"},
    // A name that is not known: a likely typo gets its correction, anything else the names there are.
    {"UnknownNode", kEventAt0 + "link: {node: n9, up: true}}\n", ":3:26", "", "'n1'"},
    {"UnknownNodeFarFromAnyName",
     "nodes: [{name: alpha}, {name: bravo, slot: 1}, {name: charlie, slot: 2}]\ntimeline:\n"
     "  - {at: 0, link: {node: f, up: true}}\n",
     ":3:26", "", "alpha, bravo, charlie"},
    {"UnknownNodeOfMany", "generate: {nodes: 30}\ntimeline:\n  - {at: 0, link: {node: zzz, up: true}}\n", ":3:26", "",
     "20 more"},
    {"MisspeltClass", kEventAt0 + "config: {class: locaton, LocId: 1}}\n", ":3:29", "", "'location'"},
    {"MisspeltOperation", kEventAt0 + "config: {class: location, LocId: 1, opCode: updte}}\n", ":3:57", "", "'update'"},
    {"MisspeltFaultKind", kEventAt0 + "haRole: 1}\nexplore: {faults: [lagg]}\n", ":4:20", "", "'lag'"},
    {"MisspeltHoldings", kNode + "report: {holdings: sumary}\ntimeline: []\n", ":2:20", "", "'summary'"},
    {"AgentFaultOnANodeWithoutAgent",
     "nodes: [{name: n1, agent: false}]\ntimeline:\n  - {at: 0, agent: {node: n1, refuse: 3}}\n", ":3:27"},
    {"NotATime", kNode + "timeline:\n  - {at: 5 seconds, haRole: 1}\n", ":3:10"},
    {"TimeTooLarge", kNode + "timeline:\n  - {at: 25h, haRole: 1}\n", ":3:10"},
    {"TimeNotWholeMilliseconds", kNode + "timeline:\n  - {at: 1.5ms, haRole: 1}\n", ":3:10"},
    {"RelativeTimePastTheEnd", kNode + "timeline:\n  - {at: 23h, haRole: 1}\n  - {at: +2h, haRole: 0}\n", ":4:10"},
    {"NumberTooLarge", "nodes: [{name: n1, slot: 4294967296}]\ntimeline: []\n", ":1:26"},
    {"NegativeNumber", "nodes: [{name: n1, slot: -1}]\ntimeline: []\n", ":1:26"},
    {"BooleanSpelledYes", kEventAt0 + "link: {node: n1, up: yes}}\n", ":3:34"},
    {"ExplicitTag", "nodes: [{name: n1, slot: !!str 5}]\ntimeline: []\n", ":1:26"},
    {"MergeKey", "nodes:\n  - &n {name: n1}\n  - {<<: *n, slot: 2}\ntimeline: []\n", ":3:6"},
    {"TwoDocuments", kNode + "timeline: []\n---\nnodes: []\n", ":3:1"},
    {"TabIndent", "nodes:\n\t- {name: n1}\ntimeline: []\n", ":2:1"},
    // A syntax error is placed where the bracket or quote left open began, and says where the parser stopped.
    {"BracketNeverClosed", "nodes: [{name: n1}\ntimeline: []\n", ":1:8", "", "2:1"},
    {"BraceNeverClosedAtTheEndOfALine",
     kNode + "timeline:\n  - {at: 0, link: {node: n1, up: true}\n  - {at: 1s, link: {node: n1, up: false}}\n", ":3:5",
     "", "4:3"},
    {"BraceClosedByABracket", "nodes: [{name: n1}, {name: n2]\ntimeline: []\n", ":1:21", "", "1:30"},
    {"QuoteNeverClosed", "nodes:\n  - {name: \"n1}\n  - {name: n2}\ntimeline: []\n", ":2:12"},
    {"LoneComma", ",\n" + kNode, ":1:1"},
    {"DeepNesting", kNode + "timeline: " + std::string(3000, '['), ":2:1"},
    {"Empty", "", ""},
    {"NodeNameWithAControlCharacter", "nodes: [{name: \"a\\tb\"}]\ntimeline: []\n", ":1:16"},
    {"NodeNameOf100000Characters", "nodes: [{name: " + std::string(100000, 'x') + "}]\ntimeline: []\n", ":1:16"},
    {"ServiceNameTheLibraryRefuses",
     kEventAt0 + "locationStatus: {node: n1, service: " + std::string(64, 's') + ", index: 1}}\n", ":3:49"},
    {"RefusalStatusZero", kEventAt0 + "agent: {node: n1, refuse: 1, refuseStatus: 0}}\n", ":3:56"},
    {"FailureResultZero", kEventAt0 + "agent: {node: n1, fail: 1, failResult: 0}}\n", ":3:52"},
    {"LatencyZero", kEventAt0 + "agent: {node: n1, latency: 0}}\n", ":3:40"},
    {"UnknownLibraryAction", kEventAt0 + "library: pause}\n", ":3:22", "", "restart"},
    {"MisspeltLibraryAction", kEventAt0 + "library: restrat}\n", ":3:22", "", "'restart'"},
    {"KeyGivenTwice", "nodes: [{name: n1, name: n2}]\ntimeline: []\n", ":1:20"},
    {"GenerateComponentsPerLocationOverflow",
     "generate: {nodes: 1, locationsPerNode: 1, componentTypes: 1, componentsPerLocation: 4294967295}\n", ":1:85"},
    {"GenerateTypesBeyondMemory", "generate: {nodes: 1, componentTypes: 100000000}\n", ":1:11"},
    {"GenerateComponentsBeyondMemory",
     "generate: {nodes: 100, locationsPerNode: 1000, componentTypes: 1, componentsPerLocation: 100}\n", ":1:11"},
    // Each event names one list of 1000 atoms: a small file that would expand to 25,000 atoms.
    {"AliasesBeyondMemory",
     kNode + "timeline:\n  - {at: 0, config: &c [" +
         [] {
             std::string atoms;
             for (int i = 1; i <= 1000; ++i) {
                 atoms += "{class: component, locIndex: 1, compInst: " + std::to_string(i) + "},";
             }
             return atoms;
         }() +
         "]}\n" +
         [] {
             std::string more;
             for (int i = 0; i < 24; ++i) {
                 more += "  - {at: 0, config: *c}\n";
             }
             return more;
         }(),
     ":20:5", "--memory-limit 20M"},
};

void PrintTo(const BadScenario &bad, std::ostream *os)
{
    *os << bad.name;
}

class SimErrorTest : public SimTest, public ::testing::WithParamInterface<BadScenario> {};

TEST_P(SimErrorTest, IsReportedWithItsPlaceAndNothingRuns)
{
    const BadScenario &bad = GetParam();
    const fs::path file = Write("bad.yaml", bad.yaml);
    const fs::path json = dir_ / "report.json";
    const Result r = Run(std::string(bad.args) + " --json " + Quote(json) + " " + Quote(file));
    EXPECT_EQ(r.code, 2);
    const std::string prefix = "zelm-sim: " + file.string() + bad.where + ": ";
    EXPECT_EQ(r.err.substr(0, prefix.size()), prefix) << r.err;
    // One line, short enough to read whatever the input held.
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_LT(r.err.size(), 400u) << r.err;
    EXPECT_NE(r.err.find(bad.says), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_FALSE(fs::exists(json)) << "a report was written for unusable input";
}

INSTANTIATE_TEST_SUITE_P(Scenarios, SimErrorTest, ::testing::ValuesIn(kBadScenarios),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- warnings ---------------------------------------------------------------------------------------------

struct Warned {
    const char *name;
    std::string yaml;
    size_t warnings;    // how many --validate lists
    const char *where;  // ":line:col" of the first
};

const Warned kWarnedScenarios[] = {
    {"TimeWithoutItsUnit", kEventAt0 + "agent: {node: n1, downFor: 2}}\n", 1, ":3:40"},
    {"RelativeTimeWithoutItsUnit", kEventAt0 + "haRole: 1}\n  - {at: +500, haRole: 0}\n", 1, ":4:10"},
    {"EventsOutOfTimeOrder", kNode + "timeline:\n  - {at: 2s, haRole: 1}\n  - {at: 1s, haRole: 0}\n", 1, ":4:10"},
    {"TimesInOrderWithUnits", kEventAt0 + "haRole: 1}\n  - {at: 1s, agent: {node: n1, downFor: 2s}}\n", 0, ""},
    {"ManyWarnings",
     kNode + "settle: 60\ntimeline:\n" +
         [] {
             std::string events;
             for (int i = 12; i > 0; --i) {
                 events += "  - {at: " + std::to_string(i) + "s, haRole: 1}\n";
             }
             return events;
         }(),
     12, ":2:9"},
};

void PrintTo(const Warned &w, std::ostream *os)
{
    *os << w.name;
}

class SimWarningTest : public SimTest, public ::testing::WithParamInterface<Warned> {};

TEST_P(SimWarningTest, RunsWithOneLineEachOnStderrNoneWhenQuietAndAllListedByValidate)
{
    const Warned &w = GetParam();
    const fs::path file = Write("w.yaml", w.yaml);
    const Result run = Run(Quote(file));
    EXPECT_EQ(run.code, 0) << run.err;
    // A run shows the first ten, and how many more there are.
    EXPECT_EQ(static_cast<size_t>(std::count(run.err.begin(), run.err.end(), '\n')),
              std::min<size_t>(w.warnings, 10) + (w.warnings > 10 ? 1 : 0))
        << run.err;
    EXPECT_EQ(run.err.rfind("zelm-sim: " + file.string() + w.where, 0), w.warnings == 0 ? std::string::npos : 0)
        << run.err;
    const Result quiet = Run("-q " + Quote(file));
    EXPECT_EQ(quiet.code, 0);
    EXPECT_EQ(quiet.err, "");
    const Result validate = Run("--validate " + Quote(file));
    EXPECT_EQ(validate.code, 0);
    EXPECT_EQ(static_cast<size_t>(std::count(validate.out.begin(), validate.out.end(), '\n')), 1 + w.warnings)
        << validate.out;
    EXPECT_EQ(validate.err, "");
}

INSTANTIATE_TEST_SUITE_P(Scenarios, SimWarningTest, ::testing::ValuesIn(kWarnedScenarios),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
