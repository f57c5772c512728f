// libFuzzer target: an input is a sequence of entries into the library on the stand-in, checked against the model.
//
// Each input starts from a reset stand-in with a small cluster and a started
// library. Its operations are the steps of the model-based test with fields of
// any value (tests/support), and odd entries: failures injected at any failure
// point, messages of many atoms with raw records of any class and length,
// agents that answer late or by script, clock jumps, stops and starts,
// callbacks without their data, starts of a running library.
//
// Three inputs in four follow the model from the first entry to the last:
// every step, and every odd entry the model covers (those that change
// nothing), is checked by the same tail as in the model test; an entry the
// model does not cover, and a report for a node nobody declared, is skipped
// and the input goes on. The fourth runs every entry and follows no model. In
// every input the trees must stay sound throughout, and the end (pending calls
// failed, library stopped) must leave nothing behind. A broken rule, or any
// disagreement with the model, aborts with its description, which libFuzzer
// records as a crash. With ZELM_FUZZ_STATS set, the target tells at exit how
// many steps of the inputs it ran the model checked.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/lib_world.h"

namespace {

constexpr uint32_t kMaxOps = 200;
const std::vector<zt::NodeDecl> kCluster = {{1, 1, 0, true}, {1, 2, 0, true}, {1, 3, 0, false}, {2, 1, 1, true}};

[[noreturn]] void Broken(const std::string &rule)
{
    std::fprintf(stderr, "broken: %s\n", rule.c_str());
    std::abort();
}

class Input {
public:
    Input(const uint8_t *data, size_t size) : in_(data, size) {}
    bool More() { return in_.remaining_bytes() > 0; }
    uint32_t Pick(uint32_t max) { return in_.ConsumeIntegralInRange<uint32_t>(0, max); }
    // Small values most of the time, any value now and then.
    uint32_t Word() { return Pick(3) == 0 ? Pick(UINT32_MAX) : Pick(7); }
    std::string Text(size_t max)
    {
        std::string s = in_.ConsumeBytesAsString(Pick(static_cast<uint32_t>(max)));
        for (char &c : s) {
            c = (c == '\0') ? 'x' : c;
        }
        return s;
    }
    template <size_t N>
    void Fill(char (&field)[N])
    {
        zt::SetText(field, Pick(3) == 0 ? Text(N) : (Pick(1) != 0 ? "app.service" : "t"));
    }
    std::vector<uint8_t> Bytes(size_t max) { return in_.ConsumeBytes<uint8_t>(Pick(static_cast<uint32_t>(max))); }

private:
    FuzzedDataProvider in_;
};

// A node of the cluster (one with an agent when asked), or now and then any OS node identifier.
uint32_t NodeOf(Input &in, bool withAgent = false, bool any = true)
{
    const zt::NodeDecl &n = withAgent ? kCluster[in.Pick(1) * 3] : kCluster[in.Pick(3)];
    return (!any || in.Pick(7) != 0) ? STANDIN_OsNodeId(n.chassis, n.slot, n.cpu) : in.Pick(0xFFFFFF);
}

// A step of the model with fields of any value.
zt::Step ModelStep(Input &in)
{
    zt::Step s;
    s.kind = static_cast<zt::StepKind>(in.Pick(static_cast<uint32_t>(zt::StepKind::HaRole)));
    s.opCode = static_cast<uint16_t>(in.Pick(3) == 0 ? in.Word() : in.Pick(2));
    switch (s.kind) {
    case zt::StepKind::Location:
        s.loc.LocId = in.Word();
        s.loc.OsInst = NodeOf(in) | (in.Pick(3) == 0 ? in.Word() << 24 : 0);
        for (uint32_t *field : {&s.loc.LocType, &s.loc.LocGrp, &s.loc.Lrid, &s.loc.LocParam1, &s.loc.LocParam6}) {
            *field = in.Word();
        }
        in.Fill(s.loc.LocName);
        in.Fill(s.loc.imageName);
        in.Fill(s.loc.LocExtName);
        break;
    case zt::StepKind::Group:
        s.grp = {in.Word(), in.Word(), in.Word(), in.Word(), in.Word(), in.Word()};
        break;
    case zt::StepKind::CompNode:
        s.compNode.compType = in.Pick(1) != 0 ? in.Word() : 207;
        s.compNode.compClass = in.Word();
        in.Fill(s.compNode.compTypeName);
        in.Fill(s.compNode.compFileName);
        in.Fill(s.compNode.compExtName);
        break;
    case zt::StepKind::Component:
        s.comp.locIndex = in.Word();
        s.comp.compInst = in.Word();
        s.comp.compType = in.Pick(1) != 0 ? in.Word() : 3;
        s.comp.cfgStatus = static_cast<int32_t>(in.Pick(1) != 0 ? 0x80000000u | in.Word() : in.Word());
        s.comp.attr1 = in.Word();
        s.comp.attr9 = in.Word();
        in.Fill(s.comp.compInstName);
        break;
    case zt::StepKind::OsNodeLink:
    case zt::StepKind::LocationStatus:
    case zt::StepKind::Agent:
        s.node = NodeOf(in, s.kind == zt::StepKind::Agent, s.kind == zt::StepKind::LocationStatus);
        s.on = in.Pick(3) != 0;
        s.service = in.Pick(3) == 0 ? in.Text(80) : std::string(1, static_cast<char>('a' + in.Pick(2)));
        s.index = in.Pick(7) == 0 ? 0xFFFFFFFFu : in.Word();
        s.mode = static_cast<zt::AgentMode>(in.Pick(4));
        s.value = in.Pick(1) + 1 + (in.Pick(3) == 0 ? in.Word() : 0);
        break;
    case zt::StepKind::HaRole:
        s.value = in.Pick(1) != 0 ? 0 : in.Word();
        break;
    default:
        break;
    }
    return s;
}

// One odd entry, decoded whole. Those the model covers, which change nothing, always run; the
// others only when `modelFollowed` is false. True when what ran is covered by the model.
bool OddEntry(Input &in, bool modelFollowed)
{
    static const std::vector<std::string> points = zt::InjectablePoints();
    static const uint32_t kClasses[] = {ZELM_CLASS_LOCATION, ZELM_CLASS_LOGIC_LOC_GRP, ZELM_CLASS_COMPONENT,
                                        ZELM_CLASS_COMP_NODE};
    switch (in.Pick(6)) {
    case 0: {
        const char *point = points[in.Pick(static_cast<uint32_t>(points.size() - 1))].c_str();
        const uint64_t nth = in.Pick(15) + 1;
        const bool once = in.Pick(1) != 0;
        const uint32_t status = in.Word();
        if (!modelFollowed) {
            (void)(once ? STANDIN_FailCall(point, nth, status) : STANDIN_FailFrom(point, nth, status));
        }
        return false;
    }
    case 1: {  // a message of several atoms, of any class, with raw records of any length
        STANDIN_Msg *msg = STANDIN_MsgNew();
        STANDIN_MsgSetClass(msg, kClasses[in.Pick(3)]);
        for (uint32_t n = in.Pick(5); n > 0; --n) {
            const std::vector<uint8_t> record = in.Bytes(200);
            STANDIN_MsgAddAtom(msg, in.Pick(4) != 0 ? kClasses[in.Pick(3)] : in.Word(),
                               static_cast<uint16_t>(in.Pick(3)), static_cast<uint16_t>(in.Word()), record.data(),
                               static_cast<uint32_t>(record.size()));
        }
        if (modelFollowed) {
            STANDIN_MsgFree(msg);
        } else {
            (void)STANDIN_MsgDeliverNow(msg, nullptr);
        }
        return false;
    }
    case 2: {  // an agent that answers late, or by a script that runs out
        STANDIN_AgentScript script{in.Pick(2), in.Word(), in.Pick(2), in.Word(), in.Pick(2), in.Pick(12000), in.Word()};
        const QOF_ConnHandle agent = STANDIN_KormServerHandle(NodeOf(in, true, false));
        if (!modelFollowed) {
            (void)STANDIN_AgentSetScript(agent, &script);
        }
        return false;
    }
    case 3: {
        const uint32_t duration = in.Pick(20000);
        if (!modelFollowed) {
            STANDIN_RunFor(duration);
        }
        return false;
    }
    case 4: {
        const uint32_t errNo = in.Word();
        const bool stop = in.Pick(1) != 0;
        if (!modelFollowed) {
            STANDIN_RpcFailPending(errNo);
            if (stop) {
                ZELM_FInit();
            }
            (void)ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree);
        }
        return false;
    }
    case 5: {  // callbacks without their data
        const uint32_t position[3] = {in.Word(), in.Word(), in.Word()};
        ZelmLocPublishLocationInstCbk(QOF_RpcResult{0, 1}, nullptr, nullptr, zt::LocCb());
        ZelmCompPublishComponentCbk(QOF_RpcResult{0, 1}, nullptr, nullptr, zt::CompCb());
        (void)ZelmLocSmoothTimerCbk(nullptr, nullptr, nullptr);
        (void)ZelmCompSmoothTimerCbk(nullptr, nullptr, nullptr);
        (void)ZelmLocSubOsNodeLink(in.Word(), position, in.Word(), nullptr);
        (void)ZelmCompSubLocationLink(in.Word(), in.Word(), nullptr);
        ZELM_LINK_SubLocationStatus(in.Word(), "svc", in.Word(), 1, nullptr);
        return true;
    }
    default:  // a start of the running library, with a hook missing or not
        (void)ZELM_Init(STANDIN_HostMalloc, in.Pick(1) != 0 ? STANDIN_HostFree : nullptr);
        return true;
    }
}

// How many entries of the inputs run so far the model checked.
struct Stats {
    uint64_t inputs = 0;
    uint64_t followed = 0;  // inputs that followed the model
    uint64_t entries = 0;   // entries of those inputs
    uint64_t checked = 0;   // of those, checked against the model
};
Stats g_stats;

void PrintStats()
{
    const double perInput = g_stats.followed != 0 ? static_cast<double>(g_stats.checked) / g_stats.followed : 0.0;
    std::fprintf(stderr, "model: %llu of %llu inputs followed it; %llu of their %llu entries checked, %.1f per input\n",
                 static_cast<unsigned long long>(g_stats.followed), static_cast<unsigned long long>(g_stats.inputs),
                 static_cast<unsigned long long>(g_stats.checked), static_cast<unsigned long long>(g_stats.entries),
                 perInput);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool kStats = std::getenv("ZELM_FUZZ_STATS") != nullptr && std::atexit(PrintStats) == 0;
    Input in(data, size);
    const bool follow = in.Pick(3) != 0;
    if (kStats && size == 0) {
        return 0;  // libFuzzer's own first call; no input of the corpus
    }
    ++g_stats.inputs;
    g_stats.followed += follow ? 1 : 0;
    zt::World world;
    zt::LibModel model;
    if (!world.Begin(model, kCluster)) {
        Broken("the library did not start");
    }
    for (uint32_t op = 0; op < kMaxOps && in.More(); ++op) {
        bool covered = false;
        if (in.Pick(7) != 0) {
            const zt::Step step = ModelStep(in);
            const std::string trouble = zt::RunStep(step);
            // A report for a node nobody declared, or a script for an agent nobody has, reaches nothing.
            const bool reachedNothing = (step.kind == zt::StepKind::OsNodeLink || step.kind == zt::StepKind::Agent);
            if (follow && !trouble.empty() && !reachedNothing) {
                Broken("the library took a step otherwise than the model: " + trouble);
            }
            if (follow && trouble.empty()) {
                model.Apply(step);
                covered = true;
            }
        } else {
            covered = OddEntry(in, follow) && follow;
        }
        g_stats.entries += follow ? 1 : 0;
        if (covered) {
            const std::string mismatch = world.Mismatch(model);
            if (!mismatch.empty()) {
                Broken(mismatch);
            }
            ++g_stats.checked;
        }
        std::string problems;
        (void)zt::LibrarySnapshot({}, &problems);
        if (!problems.empty()) {
            Broken("malformed sets:\n" + problems);
        }
    }
    STANDIN_FailClear(nullptr);
    const std::string left = world.End();
    if (!left.empty()) {
        Broken("left behind after ZELM_FInit: " + left);
    }
    return 0;
}
