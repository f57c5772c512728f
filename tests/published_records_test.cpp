// Records a host can reach: stored records survive a refused copy, and flags set or cleared by the
// host never make the smooth timers stop while a peer is flagged, nor run on for good when none is.
#include <functional>
#include <string>
#include <vector>

#include "support/zelm_test.h"

namespace {

ZelmCompCb *Comp()
{
    return zt::CompCb();
}

// Every key of the set is found where the walk met it, and the tree itself is sound.
void ExpectFindable(ZelSet *set, const std::vector<uint32_t> &keys, const std::string &when)
{
    char why[128] = "";
    EXPECT_EQ(STANDIN_AVL3_Check(ZEL_AVL_GetTree(set), &set->treeInfo, why, sizeof(why)), 0) << why << when;
    EXPECT_EQ(zt::KeysOf(set), keys) << when;
    for (uint32_t key : keys) {
        EXPECT_NE(ZEL_SET_Find(set, &key, sizeof(key)), nullptr) << "key " << key << when;
    }
}

using PublishedRecordsTest = ZelmTest;

// A refused copy zero-fills its destination; were that a stored record, its key would become 0
// while the record sits in its tree, out of order and no longer found under its own key. Each
// bounded copy an update makes is refused in turn: the stored records keep their places, and each
// is either the old record or the new one, whole.
TEST_F(PublishedRecordsTest, RefusedCopyLeavesEveryStoredRecordInItsPlace)
{
    for (uint32_t n : {1u, 2u, 3u}) {
        zt::Comp(ZELM_CFG_OP_ADD, zt::CompCfg(5, n, 10 * n, "before"));
        zt::Type(ZELM_CFG_OP_ADD, zt::CompNodeCfg(10 * n, "before"));
    }
    const uint32_t locIndex = 5;
    auto *location = static_cast<ZelmCompLocation *>(ZEL_SET_Find(Comp()->locationTree, &locIndex, 4));
    ASSERT_NE(location, nullptr);
    const std::function<void()> updates[] = {
        [] { zt::Comp(ZELM_CFG_OP_MOD, zt::CompCfg(5, 2, 99, "after")); },
        [] { zt::Type(ZELM_CFG_OP_MOD, zt::CompNodeCfg(20, "after", 7)); },
    };
    int refusals = 0;
    for (const auto &update : updates) {
        for (uint64_t nth = 1;; ++nth) {
            const uint64_t before = STANDIN_CallCount("memcpy_s");
            ASSERT_EQ(STANDIN_FailCall("memcpy_s", nth, 0), 0);
            update();
            const bool refused = STANDIN_CallCount("memcpy_s") - before >= nth;
            STANDIN_FailClear("memcpy_s");
            const std::string when = " (copy " + std::to_string(nth) + " refused)";
            ExpectFindable(location->componentTree, {1, 2, 3}, when);
            ExpectFindable(Comp()->compNodeTree, {10, 20, 30}, when);
            uint32_t compInst = 2;
            const auto *component = static_cast<ZelmComponent *>(ZEL_SET_Find(location->componentTree, &compInst, 4));
            ASSERT_NE(component, nullptr);
            const std::string name = component->cfg.compInstName;
            EXPECT_TRUE((name == "before" && component->cfg.compType == 20) ||
                        (name == "after" && component->cfg.compType == 99))
                << name << " of type " << component->cfg.compType << when;
            ZelmCompNodeCfg stored{};
            ASSERT_EQ(ZELM_COMP_GetCompNodeCfg(Comp(), 20, &stored), 0u);
            const std::string typeName = stored.compTypeName;
            EXPECT_TRUE((typeName == "before" && stored.compClass == 1) ||
                        (typeName == "after" && stored.compClass == 7))
                << typeName << " of class " << stored.compClass << when;
            if (!refused) {
                break;
            }
            ++refusals;
        }
    }
    EXPECT_GE(refusals, 2) << "each update copies its record at least once";

    // A refused copy out leaves the caller's record as it was.
    ZelmCompNodeCfg out = zt::CompNodeCfg(77, "caller's");
    ASSERT_EQ(STANDIN_FailCall("memcpy_s", 1, 0), 0);
    EXPECT_EQ(ZELM_COMP_GetCompNodeCfg(Comp(), 30, &out), 0xFFFFFFFFu);
    STANDIN_FailClear("memcpy_s");
    EXPECT_EQ(out.compType, 77u);
    EXPECT_STREQ(out.compTypeName, "caller's");
}

// ---- flagged peers ---------------------------------------------------------------------------

locationCb *Loc()
{
    return zt::LocCb();
}

// The peers of one module (OS nodes, comp locations), driven through the module's exported operations.
struct PeerModule {
    const char *name;
    const char *timerName;
    uint32_t *(*flagOf)(uint32_t key);  // adds the peer when absent; its publishFault field
    void (*fail)(uint32_t key);
    void (*succeed)(uint32_t key);
    void (*remove)(uint32_t key);
    void (*tick)();
};

const PeerModule kOsNodes = {
    "os_nodes",
    "ZelmLocSmooth",
    [](uint32_t key) { return &ZelmLocTryAddOsNode(Loc(), key)->publishFault; },
    [](uint32_t key) { ZelmLocationPublishFaultAccess(Loc(), ZelmLocTryAddOsNode(Loc(), key)); },
    [](uint32_t key) { ZelmLocationPublishFaultSloved(Loc(), ZelmLocTryAddOsNode(Loc(), key)); },
    [](uint32_t key) { ZelmLocTryDestroyOsnode(Loc(), key); },
    [] { ZelmLocSmoothTimerCbk(nullptr, nullptr, Loc()); },
};

const PeerModule kCompLocations = {
    "comp_locations",
    "ZelmCompSmooth",
    [](uint32_t key) { return &ZelmCompTryAddLocation(Comp(), key)->publishFault; },
    [](uint32_t key) { ZelmCompPublishFaultAccess(Comp(), ZelmCompTryAddLocation(Comp(), key)); },
    [](uint32_t key) { ZelmCompPublishFaultSloved(Comp(), ZelmCompTryAddLocation(Comp(), key)); },
    [](uint32_t key) { ZelmCompTryDestroyLocation(Comp(), key); },
    [] { ZelmCompSmoothTimerCbk(nullptr, nullptr, Comp()); },
};

class FlaggedPeersTest : public ZelmTest, public ::testing::WithParamInterface<const PeerModule *> {
protected:
    const PeerModule &M() const { return *GetParam(); }
    bool TimerRunning() const { return zt::TimerRunning(M().timerName); }
};

constexpr uint32_t kA = 1;
constexpr uint32_t kB = 2;

TEST_P(FlaggedPeersTest, FlagSetByTheHostKeepsTheTimerRunningAfterAnotherPeersSuccess)
{
    *M().flagOf(kA) = 1;
    M().fail(kB);
    ASSERT_TRUE(TimerRunning());
    M().succeed(kB);
    EXPECT_TRUE(TimerRunning()) << "peer A is still flagged";
    M().tick();
    M().succeed(kB);
    EXPECT_TRUE(TimerRunning()) << "peer A is still flagged after a tick";
    M().succeed(kA);
    EXPECT_FALSE(TimerRunning());
}

// Each step leaves exactly peer B flagged by the library, whatever the host did before; B's
// success must then stop the timer.
TEST_P(FlaggedPeersTest, FlagsTheHostChangedOrThatLeftWithTheirPeerStopNoLaterSuccess)
{
    const auto bFailsThenSucceeds = [this](const char *after) {
        M().fail(kB);
        ASSERT_TRUE(TimerRunning()) << after;
        M().succeed(kB);
        EXPECT_FALSE(TimerRunning()) << after;
    };
    bFailsThenSucceeds("nothing");

    *M().flagOf(kA) = 1;
    M().succeed(kA);  // a flag the library never counted is cleared
    bFailsThenSucceeds("a flag set by the host and cleared by a success");

    M().fail(kA);
    *M().flagOf(kA) = 0;
    M().tick();
    bFailsThenSucceeds("a flag cleared by the host, then a tick");

    M().fail(kA);
    M().remove(kA);
    bFailsThenSucceeds("a flagged peer removed");
}

INSTANTIATE_TEST_SUITE_P(BothModules, FlaggedPeersTest, ::testing::Values(&kOsNodes, &kCompLocations),
                         [](const ::testing::TestParamInfo<const PeerModule *> &info) { return info.param->name; });

}  // namespace
