// Records a host can reach: stored records survive a refused copy, and flags set or cleared by the
// host never make the smooth timers stop while a peer is flagged, nor run on for good when none is.
//
// The bounded copy memcpy_s is interposed here, as in coverage_gaps_test.cpp: the test executable's
// definition takes the place of the platform's for libzelm.so, so that one copy of a given
// destination size can be refused the way the platform refuses one (non-zero, destination zero-filled).
#include <dlfcn.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "support/zelm_test.h"

namespace {

size_t g_failCopyOfSize = 0;

// Makes the next memcpy_s whose destination holds `destSize` bytes fail, once.
void FailNextCopyOfSize(size_t destSize)
{
    g_failCopyOfSize = destSize;
}

using MemcpySFn = int (*)(void *, size_t, const void *, size_t);

}  // namespace

extern "C" int memcpy_s(void *dest, size_t destsz, const void *src, size_t count)
{
    static const auto real = reinterpret_cast<MemcpySFn>(dlsym(RTLD_NEXT, "memcpy_s"));
    if (g_failCopyOfSize != 0 && destsz == g_failCopyOfSize) {
        g_failCopyOfSize = 0;
        if (dest != nullptr) {
            std::memset(dest, 0, destsz);
        }
        return 1;
    }
    return real(dest, destsz, src, count);
}

namespace {

ZelmCompCb *Comp()
{
    return static_cast<ZelmCompCb *>(ZELM_GetModCb(ZELM_MOD_COMP));
}

// The keys of a set's entries, in walk order.
std::vector<uint32_t> KeysOf(ZelSet *set)
{
    std::vector<uint32_t> keys;
    for (void *e = AXO_AVL3_First(ZEL_AVL_GetTree(set), &set->treeInfo); e != nullptr;
         e = AXO_AVL3_Next(reinterpret_cast<AXO_AVL3_NODE *>(static_cast<char *>(e) + set->treeInfo.nodeOffset),
                           &set->treeInfo)) {
        uint32_t key = 0;
        std::memcpy(&key, static_cast<char *>(e) + set->treeInfo.keyOffset, sizeof(key));
        keys.push_back(key);
    }
    return keys;
}

// Every key of the set is found where the walk met it, and the tree itself is sound.
void ExpectFindable(ZelSet *set, const std::vector<uint32_t> &keys)
{
    char why[128] = "";
    EXPECT_EQ(STANDIN_AVL3_Check(ZEL_AVL_GetTree(set), &set->treeInfo, why, sizeof(why)), 0) << why;
    EXPECT_EQ(KeysOf(set), keys);
    for (uint32_t key : keys) {
        EXPECT_NE(ZEL_SET_Find(set, &key, sizeof(key)), nullptr) << "key " << key;
    }
}

class PublishedRecordsTest : public ZelmTest {
protected:
    void SetUp() override
    {
        ZelmTest::SetUp();
        FailNextCopyOfSize(0);
    }
    void TearDown() override
    {
        FailNextCopyOfSize(0);
        ZelmTest::TearDown();
    }
};

// A refused copy zero-fills its destination; were that the stored record, its key would become 0
// while the record sits in its tree, out of order and no longer found under its own key.
TEST_F(PublishedRecordsTest, RefusedUpdateLeavesTheStoredRecordInItsPlace)
{
    for (uint32_t n : {1u, 2u, 3u}) {
        zt::Deliver(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, zt::CompCfg(5, n, 10 * n, "before"));
        zt::Deliver(ZELM_CLASS_COMP_NODE, ZELM_CFG_OP_ADD, zt::CompNodeCfg(10 * n, "before"));
    }
    const uint32_t locIndex = 5;
    auto *location = static_cast<ZelmCompLocation *>(ZEL_SET_Find(Comp()->locationTree, &locIndex, 4));
    ASSERT_NE(location, nullptr);
    uint32_t compInst = 2;
    auto *component = static_cast<ZelmComponent *>(ZEL_SET_Find(location->componentTree, &compInst, 4));
    ASSERT_NE(component, nullptr);
    component->state = ZELM_COMP_STATE_PUBLISHED;

    FailNextCopyOfSize(sizeof(ZelmCompInstCfg));
    zt::Deliver(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_MOD, zt::CompCfg(5, 2, 99, "after"));
    FailNextCopyOfSize(sizeof(ZelmCompNodeCfg));
    zt::Deliver(ZELM_CLASS_COMP_NODE, ZELM_CFG_OP_MOD, zt::CompNodeCfg(20, "after", 7));
    ASSERT_EQ(g_failCopyOfSize, 0u) << "no copy was refused";

    ExpectFindable(location->componentTree, {1, 2, 3});
    EXPECT_EQ(component->cfg.compInst, 2u);
    EXPECT_EQ(component->cfg.compType, 20u);
    EXPECT_STREQ(component->cfg.compInstName, "before");
    EXPECT_EQ(component->state, ZELM_COMP_STATE_PUBLISHED);

    ExpectFindable(Comp()->compNodeTree, {10, 20, 30});
    ZelmCompNodeCfg stored{};
    ASSERT_EQ(ZELM_COMP_GetCompNodeCfg(Comp(), 20, &stored), 0u);
    EXPECT_STREQ(stored.compTypeName, "before");
    EXPECT_EQ(stored.compClass, 1u);

    // A refused copy out leaves the caller's record as it was.
    ZelmCompNodeCfg out = zt::CompNodeCfg(77, "caller's");
    FailNextCopyOfSize(sizeof(ZelmCompNodeCfg));
    EXPECT_EQ(ZELM_COMP_GetCompNodeCfg(Comp(), 30, &out), 0xFFFFFFFFu);
    EXPECT_EQ(out.compType, 77u);
    EXPECT_STREQ(out.compTypeName, "caller's");
}

// ---- flagged peers ---------------------------------------------------------------------------

locationCb *Loc()
{
    return static_cast<locationCb *>(ZELM_GetModCb(ZELM_MOD_LOCATION));
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
    bool TimerRunning() const { return STANDIN_TimerFind(M().timerName)->running != 0; }
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
