// Fault sweep: every call that can fail, failed in turn, once and from then on, through whole stories.
//
// Each story runs once to count the calls of every failure-injection point
// (host allocations, text copies, bounded functions, platform services), then
// once more for every k and point with the k-th call failing once, and with
// every call failing from the k-th on. After each run the library is stopped
// the way a host must stop it: nothing may be left. A failed allocation or
// copy must moreover have been reported: either the start failed, or the run
// logged at error level a line that the clean run did not, and at most one
// configuration atom more than in the clean run was answered with 0xFFFFFFFF,
// as its code and info item. Between them the stories call every point.
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/lorn.h"
#include "support/lib_world.h"
#include "support/zelm_test.h"

namespace {

using zt::AgentMode;
using zt::Step;
using zt::StepKind;

const std::vector<zt::NodeDecl> kCluster = {{1, 1, 0, true}, {1, 2, 0, true}};
const uint32_t kNode1 = STANDIN_OsNodeId(1, 1, 0);
const uint32_t kNode2 = STANDIN_OsNodeId(1, 2, 0);

Step Config(const ZelmLocInstCfg &c, uint16_t op = 0)
{
    return {.kind = StepKind::Location, .opCode = op, .loc = c};
}
Step Config(const ZelmLogicLocGrpCfg &c, uint16_t op = 0)
{
    return {.kind = StepKind::Group, .opCode = op, .grp = c};
}
Step Config(const ZelmCompNodeCfg &c, uint16_t op = 0)
{
    return {.kind = StepKind::CompNode, .opCode = op, .compNode = c};
}
Step Config(const ZelmCompInstCfg &c, uint16_t op = 0)
{
    return {.kind = StepKind::Component, .opCode = op, .comp = c};
}
Step Event(StepKind kind, uint32_t node = 0, bool on = true, const char *service = "", uint32_t index = 0)
{
    return {.kind = kind, .node = node, .on = on, .service = service, .index = index};
}
Step AgentOf(uint32_t node, AgentMode mode)
{
    return {.kind = StepKind::Agent, .node = node, .mode = mode, .value = 5};
}

// A text that fills its whole field, without a NUL, so that the copy goes through strndup.
ZelmLocInstCfg Unterminated(ZelmLocInstCfg c)
{
    zt::SetText(c.LocExtName, std::string(sizeof(c.LocExtName), 'x'));
    return c;
}
ZelmCompNodeCfg Unterminated(ZelmCompNodeCfg c)
{
    zt::SetText(c.compExtName, std::string(sizeof(c.compExtName), 'x'));
    return c;
}

// Locations: OS nodes linked up and down, logic groups, locations created, updated and deleted, a
// filtered one, a failed publication retried by the smooth timer.
std::vector<Step> LocationStory()
{
    const Step settle = Event(StepKind::Settle);
    return {Event(StepKind::OsNodeLink, kNode1),
            Config(zt::GrpCfg(10, 100)),
            Config(zt::LocCfg(10, kNode1, "a")),
            Config(zt::LocCfg(11, kNode1, "b")),
            Config(zt::LocCfg(12, kNode2, "c")),
            settle,
            Config(Unterminated(zt::LocCfg(10, kNode1, "a")), 1),
            settle,
            AgentOf(kNode1, AgentMode::Fail),
            Config(zt::LocCfg(13, kNode1, "d")),
            settle,
            AgentOf(kNode1, AgentMode::Accept),
            Event(StepKind::Tick),
            Event(StepKind::OsNodeLink, kNode2),
            settle,
            Event(StepKind::OsNodeLink, kNode1, false),
            Event(StepKind::OsNodeLink, kNode1),
            settle,
            Config(zt::GrpCfg(10, 101), 1),
            Config(zt::GrpCfg(10, 101), 2),
            settle,
            Config(zt::LocCfg(11, kNode1, "b"), 2),
            Config(zt::LocCfg(14, kNode1, "e", "app.bin")),
            Config(zt::LocCfg(12, kNode2, "c"), 2),
            settle};
}

// Components: compNodes, location-status reports, components with and without a link, an index
// that moves, a location deleted with its components, compNode update and delete.
std::vector<Step> ComponentStory()
{
    const Step settle = Event(StepKind::Settle);
    return {Event(StepKind::OsNodeLink, kNode1), Config(zt::CompNodeCfg(5)),
            Event(StepKind::LocationStatus, kNode1, true, "svcA", 20), Config(zt::CompCfg(20, 1, 5)),
            Config(zt::CompCfg(20, 2, 3)), Config(zt::CompCfg(21, 1, 5)), Config(zt::CompCfg(21, 2, 6)), settle,
            Event(StepKind::LocationStatus, kNode1, true, "svcB", 21), settle,
            Config(Unterminated(zt::CompNodeCfg(5)), 1), settle, AgentOf(kNode1, AgentMode::Fail),
            Config(zt::CompCfg(20, 3, 5)), settle, AgentOf(kNode1, AgentMode::Accept), Event(StepKind::Tick),
            Event(StepKind::LocationStatus, kNode1, true, "svcA", 22), settle, Config(zt::CompCfg(22, 1, 5)),
            Config(zt::CompCfg(21, 1, 5), 1), Config(zt::CompCfg(21, 1, 5), 2), Config(zt::CompCfg(21, 3, 5)),
            Config(zt::CompCfg(22, 2, 5, "x", 1)), settle,
            // A published location of index 21 deleted: its components go first, in one request.
            Config(zt::LocCfg(21, kNode1)), settle, Config(zt::LocCfg(21, kNode1), 2), settle,
            Config(zt::CompNodeCfg(5), 2), Event(StepKind::LocationStatus, kNode1, false, "svcB", 21), settle};
}

// The host's own calls after the steps: a message without atoms, an atom whose record cannot be
// read (the one atom that fails in the clean run), and a location-status query through the adapter.
void HostCalls()
{
    STANDIN_Msg *empty = STANDIN_MsgNew();
    STANDIN_MsgSetClass(empty, ZELM_CLASS_LOCATION);
    (void)STANDIN_MsgDeliverNow(empty, nullptr);
    (void)STANDIN_FailCall("QOF_GetRecData", 1, 0);
    const ZelmCompInstCfg comp = zt::CompCfg(20, 4, 5);
    (void)zt::DeliverAtom(ZELM_CLASS_COMPONENT, 0, &comp, sizeof(comp));
    uint32_t index = 0;
    uint32_t available = 0;
    (void)ZELM_INFRA_GetLoctionStatus(STANDIN_KormLocalData(), kNode1, "svcA", &index, &available);
}

struct Story {
    const char *name;
    std::vector<Step> steps;
    void (*host)() = nullptr;
    size_t failedAtoms = 0;  // atoms the clean run answers with 0xFFFFFFFF
};

void PrintTo(const Story &story, std::ostream *os)
{
    *os << story.name;
}

enum class Mode { Clean, Once, From };

struct Outcome {
    bool started = false;
    std::string left;                                           // what the stop left behind
    std::multiset<std::pair<std::string, std::string>> errors;  // (function, body) logged at error level
    size_t failedAtoms = 0;
    std::string badReply;         // why a reply was malformed, "" when none was
    std::vector<uint64_t> calls;  // per failure point, in STANDIN_FailPoint order
    std::string log;              // every line, for the failure message
};

// A failure of these is memory the library could not have: it must be reported.
bool MustBeReported(const std::string &point)
{
    return point == "STANDIN_HostMalloc" || point == "strdup" || point == "strndup";
}

Outcome RunStory(const Story &story, const std::string &point, Mode mode, uint64_t k)
{
    zt::World world;
    Outcome run;
    run.started = world.Begin(kCluster, [&] {
        if (mode == Mode::Once) {
            EXPECT_EQ(STANDIN_FailCall(point.c_str(), k, 0), 0);
        } else if (mode == Mode::From) {
            EXPECT_EQ(STANDIN_FailFrom(point.c_str(), k, 0), 0);
        }
    });
    for (const Step &step : story.steps) {
        (void)zt::RunStep(step);  // a start that failed early has no handlers: the step is lost
    }
    if (story.host != nullptr) {
        story.host();
    }
    for (const std::string &p : zt::InjectablePoints()) {
        run.calls.push_back(STANDIN_CallCount(p.c_str()));
    }
    run.left = world.End();
    for (const zt::LogLine &line : zt::Log()) {
        run.log += "  " + line.func + ": " + line.body + "\n";
        if (line.level == LORN_LEVEL_ERROR) {
            run.errors.emplace(line.func, line.body);
        }
    }
    for (size_t i = 0; i < STANDIN_ReplyCount(); ++i) {
        const STANDIN_Reply *reply = STANDIN_ReplyGet(i);
        size_t failed = 0;
        for (size_t j = 0; j < reply->opInfoNum; ++j) {
            failed += reply->opInfos[j].code != 0 ? 1 : 0;
            if (reply->opInfos[j].code != 0 && reply->opInfos[j].code != 0xFFFFFFFFu) {
                run.badReply = "an atom answered neither 0 nor 0xFFFFFFFF";
            }
        }
        // Only a message without atoms is answered with a return code.
        if ((reply->hasRetCode != 0) != (reply->opInfoNum == 0) || reply->infoItemNum != failed) {
            run.badReply =
                std::string("reply ") + std::to_string(i) + " has a return code or an info item too many or few";
        }
        for (size_t j = 0; j < reply->infoItemNum; ++j) {
            run.badReply = reply->infoItems[j] != 0xFFFFFFFFu ? "an info item is not 0xFFFFFFFF" : run.badReply;
        }
        run.failedAtoms += failed;
    }
    return run;
}

bool NewErrorLine(const Outcome &run, const Outcome &clean)
{
    for (const auto &line : run.errors) {
        if (clean.errors.count(line) == 0) {
            return true;
        }
    }
    return false;
}

class FaultSweepTest : public ::testing::TestWithParam<Story> {
protected:
    void TearDown() override { STANDIN_Reset(); }
};

TEST_P(FaultSweepTest, EveryFailureLeavesNothingBehindAndEveryMissingResourceIsReported)
{
    const Story &story = GetParam();
    const Outcome clean = RunStory(story, "", Mode::Clean, 0);
    ASSERT_TRUE(clean.started);
    ASSERT_EQ(clean.left, "");
    ASSERT_EQ(clean.badReply, "");
    ASSERT_EQ(clean.failedAtoms, story.failedAtoms);

    const std::vector<std::string> points = zt::InjectablePoints();
    uint64_t runs = 0;
    for (size_t p = 0; p < points.size(); ++p) {
        for (uint64_t k = 1; k <= clean.calls[p] && !HasFailure(); ++k) {
            for (const Mode mode : {Mode::Once, Mode::From}) {
                const Outcome run = RunStory(story, points[p], mode, k);
                ++runs;
                const std::string what =
                    points[p] + (mode == Mode::Once ? " failing at call " : " failing from call ") + std::to_string(k);
                EXPECT_EQ(run.left, "") << what << ": left behind after ZELM_FInit\n" << run.log;
                if (mode == Mode::Once && MustBeReported(points[p]) && run.started) {
                    EXPECT_TRUE(NewErrorLine(run, clean)) << what << ": not reported at error level\n" << run.log;
                    EXPECT_EQ(run.badReply, "") << what;
                    EXPECT_LE(run.failedAtoms, clean.failedAtoms + 1) << what;
                }
            }
        }
    }
    std::printf("[sweep] %s: %zu failure points, %llu runs\n", story.name, points.size(),
                static_cast<unsigned long long>(runs));
}

std::vector<Story> Stories()
{
    return {Story{"StartAndStop", {}}, Story{"Locations", LocationStory()}, Story{"Components", ComponentStory()},
            Story{"HostCalls",
                  {Event(StepKind::OsNodeLink, kNode1), Event(StepKind::LocationStatus, kNode1, true, "svcA", 20)},
                  HostCalls,
                  1}};
}

INSTANTIATE_TEST_SUITE_P(Stories, FaultSweepTest, ::testing::ValuesIn(Stories()),
                         [](const auto &info) { return std::string(info.param.name); });

// A point that no story calls is never failed by the sweep.
TEST(FaultSweepStoriesTest, EveryFailurePointIsCalledBySomeStory)
{
    const std::vector<std::string> points = zt::InjectablePoints();
    std::vector<uint64_t> calls(points.size(), 0);
    for (const Story &story : Stories()) {
        const Outcome clean = RunStory(story, "", Mode::Clean, 0);
        for (size_t p = 0; p < points.size(); ++p) {
            calls[p] += clean.calls[p];
        }
    }
    for (size_t p = 0; p < points.size(); ++p) {
        EXPECT_NE(calls[p], 0u) << points[p];
    }
    STANDIN_Reset();
}

}  // namespace
