// zelm-sim end to end: the examples' JSON reports against their goldens, scenario errors, the command line,
// and the drift reasons the library's rules must explain.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The repository: this file lies in its tests/ folder.
fs::path SourceRoot() { return fs::path(__FILE__).parent_path().parent_path(); }

// The program: beside this test in the same build tree, unless ZELM_SIM names it.
fs::path SimBinary()
{
    if (const char *env = std::getenv("ZELM_SIM")) {
        return env;
    }
    return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "tools" / "sim" / "zelm-sim";
}

std::string Slurp(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

class SimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(SimBinary())) {
            GTEST_SKIP() << "zelm-sim is not built at " << SimBinary();
        }
        dir_ = fs::temp_directory_path() / ("zelm-sim-test-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Runs zelm-sim from the repository root, so that scenario paths in reports read "examples/...".
    Result Run(const std::string &args)
    {
        const fs::path out = dir_ / "stdout";
        const fs::path err = dir_ / "stderr";
        const std::string cmd = "cd " + Quote(SourceRoot()) + " && " + Quote(SimBinary()) + " " + args + " >" +
                                Quote(out) + " 2>" + Quote(err);
        const int status = std::system(cmd.c_str());
        Result r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = Slurp(out);
        r.err = Slurp(err);
        return r;
    }

    fs::path Write(const std::string &name, const std::string &text)
    {
        const fs::path p = dir_ / name;
        std::ofstream(p) << text;
        return p;
    }

    nlohmann::json JsonReport(const std::string &scenario, const std::string &more = "")
    {
        const fs::path json = dir_ / "report.json";
        const Result r = Run("--quiet --json " + Quote(json) + " " + more + " " + scenario);
        EXPECT_EQ(r.code, 0) << r.err;
        return nlohmann::json::parse(Slurp(json));
    }

    fs::path dir_;
};

// ---- goldens ---------------------------------------------------------------------------------------------

class SimGoldenTest : public SimTest, public ::testing::WithParamInterface<const char *> {};

TEST_P(SimGoldenTest, ReportMatchesItsGolden)
{
    const std::string name = GetParam();
    const std::string scenario = name == std::string("builtin") ? "" : "examples/" + name + ".yaml";
    const fs::path json = dir_ / "report.json";
    const Result r = Run("--quiet --json " + Quote(json) + " " + scenario);
    ASSERT_EQ(r.code, 0) << r.err;
    const fs::path golden = SourceRoot() / "tests" / "sim" / "golden" / (name + ".json");
    EXPECT_EQ(Slurp(json), Slurp(golden))
        << "the report of " << (scenario.empty() ? "the built-in scenario" : scenario) << " differs from " << golden
        << "; if the change is intended, regenerate the goldens with tools/sim/update-goldens.sh";
}

INSTANTIATE_TEST_SUITE_P(Examples, SimGoldenTest,
                         ::testing::Values("builtin", "basic", "agent-outage", "index-move", "ha-role", "logic-groups",
                                           "pitfalls", "restart", "large"),
                         [](const auto &info) {
                             std::string n = info.param;
                             n.erase(std::remove(n.begin(), n.end(), '-'), n.end());
                             return n;
                         });

// ---- drift reasons ---------------------------------------------------------------------------------------

const nlohmann::json *FindDrift(const nlohmann::json &report, const std::string &kind, const std::string &what,
                                uint32_t locIndex)
{
    for (const auto &item : report["drift"]["items"]) {
        if (item["kind"] == kind && item["what"] == what && item["locIndex"] == locIndex) {
            return &item;
        }
    }
    return nullptr;
}

TEST_F(SimTest, DriftNamesALocationConfiguredWhileTheHaRoleForbadePublication)
{
    const nlohmann::json r = JsonReport("examples/ha-role.yaml");
    const nlohmann::json *item = FindDrift(r, "missing", "location", 2);
    ASSERT_NE(item, nullptr) << r["drift"].dump(2);
    EXPECT_EQ((*item)["node"], "ctl-b");
    EXPECT_EQ((*item)["reason"], "configured while HA role 1 forbade publication; never republished");
    // The other node's link flapped after the role allowed publication: its location arrived.
    EXPECT_EQ(FindDrift(r, "missing", "location", 1), nullptr);
}

TEST_F(SimTest, DriftNamesAComponentWhoseTypeIsMissing)
{
    const nlohmann::json r = JsonReport("examples/pitfalls.yaml");
    const nlohmann::json *item = FindDrift(r, "missing", "component", 1);
    ASSERT_NE(item, nullptr) << r["drift"].dump(2);
    EXPECT_EQ((*item)["compInst"], 2);
    EXPECT_EQ((*item)["reason"], "component type 71 missing");
}

TEST_F(SimTest, DriftNamesALocationDeletedBeforeItsPublicationCompleted)
{
    const nlohmann::json r = JsonReport("examples/pitfalls.yaml");
    const nlohmann::json *item = FindDrift(r, "extra", "location", 2);
    ASSERT_NE(item, nullptr) << r["drift"].dump(2);
    EXPECT_EQ((*item)["node"], "a");
    EXPECT_EQ((*item)["reason"], "deleted before its publication completed: no withdrawal was sent");
}

// One node with one published location holding one published component, then `more` events.
std::string OneLocation(const std::string &nodes, const std::string &more)
{
    return "nodes:\n" + nodes +
           "timeline:\n"
           "  - {at: 0, link: {node: a, up: true}}\n"
           "  - {at: 0, config: [{class: compNode, compType: 1, compTypeName: t},\n"
           "                     {class: logicGroup, locIndex: 5, logicId: 100},\n"
           "                     {class: location, LocId: 5, LocName: l5, OsInst: a, imageName: x.service}]}\n"
           "  - {at: 0, locationStatus: {node: a, service: l5, index: 5}}\n"
           "  - {at: 1s, config: {class: component, locIndex: 5, compInst: 1, compType: 1, compInstName: c1}}\n" +
           more;
}

const char kNodeA[] = "  - {name: a, slot: 1}\n";

TEST_F(SimTest, DriftNamesAWithdrawalTheAgentRefused)
{
    const fs::path file = Write("s.yaml", "until: 20s\n" + OneLocation(kNodeA,
                                                             "  - {at: 2s, agent: {node: a, refuse: 5}}\n"
                                                             "  - {at: 3s, config: {class: component, opCode: delete, "
                                                             "locIndex: 5, compInst: 1, compType: 1}}\n"));
    const nlohmann::json r = JsonReport(Quote(file));
    const nlohmann::json *item = FindDrift(r, "extra", "component", 5);
    ASSERT_NE(item, nullptr) << r["drift"].dump(2);
    EXPECT_EQ((*item)["reason"], "its withdrawal was refused (status 1) and is never sent again");
    EXPECT_EQ(r["drift"]["total"], 1);
}

TEST_F(SimTest, DriftListsTheFieldsOfALocationUpdatedWhileTheHaRoleForbidsPublication)
{
    const fs::path file = Write("s.yaml", OneLocation(kNodeA, "  - {at: 2s, haRole: 1}\n"
                                                              "  - {at: 3s, config: {class: logicGroup, opCode: update, "
                                                              "locIndex: 5, logicId: 101}}\n"));
    const nlohmann::json r = JsonReport(Quote(file));
    const nlohmann::json *item = FindDrift(r, "stale", "location", 5);
    ASSERT_NE(item, nullptr) << r["drift"].dump(2);
    EXPECT_EQ((*item)["reason"], "HA role 1 forbids publication");
    EXPECT_EQ((*item)["differences"], nlohmann::json::array({"logicId: held 100, configured 101"}));
}

TEST_F(SimTest, DriftNamesComponentsLeftBehindWhenTheirIndexIsAnnouncedByAnotherNode)
{
    const fs::path file = Write("s.yaml", OneLocation(std::string(kNodeA) + "  - {name: b, slot: 2}\n",
                                                      "  - {at: 2s, locationStatus: {node: b, service: l5, index: 5}}\n"));
    const nlohmann::json r = JsonReport(Quote(file));
    const nlohmann::json *item = FindDrift(r, "extra", "component", 5);
    ASSERT_NE(item, nullptr) << r["drift"].dump(2);
    EXPECT_EQ((*item)["node"], "a");
    EXPECT_EQ((*item)["reason"], "location index 5 is now announced by b: this agent is never told to drop it");
    // b received the component with the smoothing that followed the announcement.
    EXPECT_EQ(r["agents"][1]["componentCount"], 1);
}

TEST_F(SimTest, RelativeTimesCountFromTheEventBefore)
{
    const fs::path file = Write("s.yaml", "nodes: [{name: a}]\n"
                                          "timeline:\n"
                                          "  - {at: 1s, haRole: 1}\n"
                                          "  - {at: +2s, haRole: 0}\n"
                                          "  - {at: +500ms, haRole: 2}\n");
    const nlohmann::json r = JsonReport(Quote(file));
    EXPECT_EQ(r["events"]["lastAt"], 3500);
    EXPECT_EQ(r["haRole"], 2);
}

TEST_F(SimTest, ReportAtAGivenTimeShowsTheDriftOfThatMoment)
{
    // At 4 s the components of the two moved locations have no announced index yet.
    const nlohmann::json r = JsonReport("examples/index-move.yaml", "--until 4s");
    EXPECT_EQ(r["time"], 4000);
    EXPECT_EQ(r["drift"]["total"], 3);
    EXPECT_FALSE(r["converged"]);
}

// ---- command line ----------------------------------------------------------------------------------------

TEST_F(SimTest, ExpectConvergedExitsWithOneOnlyWhenDriftRemains)
{
    EXPECT_EQ(Run("--quiet --expect-converged examples/basic.yaml").code, 0);
    EXPECT_EQ(Run("--quiet --expect-converged examples/pitfalls.yaml").code, 1);
    EXPECT_EQ(Run("--quiet examples/pitfalls.yaml").code, 0);
}

TEST_F(SimTest, HelpAndVersionExitWithZero)
{
    const Result help = Run("--help");
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("--expect-converged"), std::string::npos);
    const Result version = Run("--version");
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out.rfind("zelm-sim ", 0), 0u) << version.out;
}

TEST_F(SimTest, TextReportListsAgentsDriftAndConvergence)
{
    const Result r = Run("examples/ha-role.yaml");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("AGENTS"), std::string::npos);
    EXPECT_NE(r.out.find("never republished"), std::string::npos);
    EXPECT_NE(r.out.find("not converged: 1 drift item remains"), std::string::npos);
    EXPECT_EQ(r.out.find("\033["), std::string::npos) << "colour written to a file";
}

TEST_F(SimTest, LogAndTraceFilesShowTheLibraryAndThePlatformInVirtualTime)
{
    const fs::path log = dir_ / "lib.log";
    const fs::path trace = dir_ / "run.trace";
    ASSERT_EQ(Run("--quiet --log " + Quote(log) + " --trace " + Quote(trace) + " examples/agent-outage.yaml").code, 0);
    const std::string l = Slurp(log);
    EXPECT_NE(l.find("000000.000 INFO  ZELM_COMP_Init: [ZELM] comp init ok."), std::string::npos) << l.substr(0, 400);
    const std::string t = Slurp(trace);
    EXPECT_NE(t.find("000005.000 CALL  #5 rack-2 KorbLocSubscribe add, 1 entry [20]: refused, status 2"),
              std::string::npos);
    EXPECT_NE(t.find("000010.000 TIMER ZelmLocSmooth tick"), std::string::npos);
    EXPECT_NE(t.find("DONE  #1 rack-1 done: success 1 errno 0, result 0 (applied)"), std::string::npos);
    EXPECT_NE(t.find("CFG   reply to 3 atoms: compNode compType 30 add seq 1 code 0"), std::string::npos);
}

// ---- unusable input ---------------------------------------------------------------------------------------

struct BadScenario {
    const char *name;
    const char *yaml;
    const char *where;    // ":line:col"
    const char *message;
};

const BadScenario kBadScenarios[] = {
    {"UnknownField",
     "nodes: [{name: n1}]\n"
     "timeline:\n"
     "  - at: 0\n"
     "    config: {class: location, LocId: 1, LocNam: x}\n",
     ":4:41", "unknown field 'LocNam' in a location atom; did you mean 'LocName'?"},
    {"WrongType",
     "nodes: [{name: n1}]\n"
     "timeline:\n"
     "  - {at: 0, config: {class: location, LocId: abc}}\n",
     ":3:46", "LocId must be an unsigned 32-bit number, not 'abc'"},
    {"TextLongerThanItsField",
     "nodes: [{name: n1}]\n"
     "timeline:\n"
     "  - {at: 0, config: {class: location, LocId: 1, LocName: abcdefghijklmnopqrstuvwxyz0123456789}}\n",
     ":3:58", "LocName 'abcdefghijklmnopqrstuvwxyz0123456789' is 36 characters long; its field holds at most 31"},
    {"UnknownNode",
     "nodes: [{name: n1}]\n"
     "timeline:\n"
     "  - {at: 0, link: {node: n9, up: true}}\n",
     ":3:26", "unknown node 'n9'; did you mean 'n1'?"},
    {"AgentFaultOnANodeWithoutAgent",
     "nodes: [{name: n1, agent: false}]\n"
     "timeline:\n"
     "  - {at: 0, agent: {node: n1, refuse: 3}}\n",
     ":3:27", "node 'n1' has no agent"},
    {"BadTime",
     "nodes: [{name: n1}]\n"
     "timeline:\n"
     "  - {at: 5 seconds, haRole: 1}\n",
     ":3:10", "at must be a time such as 250, 250ms, 5s or 1.5m, not '5 seconds'"},
    {"BrokenYaml",
     "nodes: [{name: n1}\n"
     "timeline: []\n",
     ":2:1", "end of sequence flow not found"},
};

void PrintTo(const BadScenario &bad, std::ostream *os) { *os << bad.name; }

class SimErrorTest : public SimTest, public ::testing::WithParamInterface<BadScenario> {};

TEST_P(SimErrorTest, IsReportedWithItsPlaceAndNothingRuns)
{
    const BadScenario &bad = GetParam();
    const fs::path file = Write("bad.yaml", bad.yaml);
    const fs::path json = dir_ / "report.json";
    const Result r = Run("--json " + Quote(json) + " " + Quote(file));
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "zelm-sim: " + file.string() + bad.where + ": " + bad.message + "\n");
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_FALSE(fs::exists(json)) << "a report was written for unusable input";
}

INSTANTIATE_TEST_SUITE_P(Scenarios, SimErrorTest, ::testing::ValuesIn(kBadScenarios),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(SimTest, UnusableCommandLineExitsWithTwo)
{
    EXPECT_EQ(Run("no-such-file.yaml").code, 2);
    EXPECT_EQ(Run("--until soon examples/basic.yaml").code, 2);
    EXPECT_EQ(Run("--no-such-option").code, 2);
}

}  // namespace
