// The LINK module: its registry of available locations and the location-link events it gives its subscribers.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/lorn.h"
#include "support/zelm_test.h"

namespace {

using Event = std::pair<uint32_t, uintptr_t>;
using Events = std::vector<Event>;

// Every subscriber call, across subscribers, as (subscriber, index, handle).
struct Delivery {
    int subscriber;
    uint32_t locIndex;
    uintptr_t chanHandle;
};
std::vector<Delivery> g_deliveries;

uint32_t FirstSubscriber(uint32_t locIndex, uintptr_t chanHandle, void *userData)
{
    static_cast<Events *>(userData)->emplace_back(locIndex, chanHandle);
    g_deliveries.push_back({1, locIndex, chanHandle});
    return 0;
}

uint32_t SecondSubscriber(uint32_t locIndex, uintptr_t chanHandle, void *userData)
{
    static_cast<Events *>(userData)->emplace_back(locIndex, chanHandle);
    g_deliveries.push_back({2, locIndex, chanHandle});
    return 0xFFFFFFFFu;  // ignored
}

std::string Fmt(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Fmt(const char *fmt, ...)
{
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof(buf), fmt, ap);
    va_end(ap);
    return buf;
}

uint32_t Hex(uintptr_t handle) { return static_cast<uint32_t>(handle); }

size_t SubscriberCount(ZelmLinkCb *cb)
{
    size_t n = 0;
    for (ZelmListHead *p = cb->subList.next; p != &cb->subList; p = p->next) {
        ++n;
    }
    return n;
}

std::vector<std::pair<uint32_t, std::string>> WalkKeys(ZelmLinkCb *cb)
{
    std::vector<std::pair<uint32_t, std::string>> keys;
    ZelSet *set = cb->linkLocTree;
    for (void *e = AXO_AVL3_First(ZEL_AVL_GetTree(set), &set->treeInfo); e != nullptr;
         e = AXO_AVL3_Next(&static_cast<ZelmLinkLoc *>(e)->node, &set->treeInfo)) {
        const auto *loc = static_cast<ZelmLinkLoc *>(e);
        keys.emplace_back(loc->key.osNodeId, loc->key.serviceName);
    }
    return keys;
}

// A started library with one OS node that has an agent, and a test subscriber on location links.
class LinkTest : public ZelmTest {
protected:
    void SetUp() override
    {
        ZelmTest::SetUp();
        g_deliveries.clear();
        node_ = STANDIN_KormAddOsNode(1, 1, 0, 1);
        handle_ = STANDIN_KormServerHandle(node_);
        ASSERT_NE(handle_, 0u);
        ASSERT_EQ(ZELM_LINK_SubLocationLink(FirstSubscriber, &events_), ZELM_OK);
        STANDIN_LogClear();
    }
    ZelmLinkCb *Cb() { return static_cast<ZelmLinkCb *>(ZELM_GetModCb(ZELM_MOD_LINK)); }
    void Report(uint32_t osNode, const char *name, uint32_t locIndex, bool available)
    {
        STANDIN_KormRaiseLocationStatus(osNode, name, locIndex, available ? 1 : 0);
        STANDIN_RunDue();
    }
    ZelmLinkLoc *Entry(uint32_t osNode, const char *name) { return ZelmLinkFindLocation(Cb(), osNode, name); }

    uint32_t node_ = 0;
    uintptr_t handle_ = 0;
    Events events_;
};

// ---- events ------------------------------------------------------------------------------------

TEST_F(LinkTest, RepeatedReportAnnouncesAgainWithoutWithdrawal)
{
    Report(node_, "loc-a", 5, true);
    Report(node_, "loc-a", 5, true);
    EXPECT_EQ(events_, (Events{{5, handle_}, {5, handle_}}));
}

TEST_F(LinkTest, IndexChangeWithdrawsOldIndexFirst)
{
    Report(node_, "loc-a", 5, true);
    Report(node_, "loc-a", 7, true);
    EXPECT_EQ(events_, (Events{{5, handle_}, {5, 0}, {7, handle_}}));
    ASSERT_NE(Entry(node_, "loc-a"), nullptr);
    EXPECT_EQ(Entry(node_, "loc-a")->locIndex, 7u);
}

TEST_F(LinkTest, NotAvailableForgetsTheLocationSilently)
{
    Report(node_, "loc-a", 5, true);
    Report(node_, "loc-a", 5, false);
    EXPECT_EQ(events_, (Events{{5, handle_}}));
    EXPECT_EQ(Entry(node_, "loc-a"), nullptr);
    EXPECT_TRUE(zt::HasLog("zelm link subs location loc-a status, the location is Not available.", LORN_LEVEL_INFO,
                           "ZELM_LINK_SubLocationStatus"));

    Report(node_, "loc-a", 7, true);
    EXPECT_EQ(events_, (Events{{5, handle_}, {7, handle_}})) << "no withdrawal of an index forgotten before";
}

TEST_F(LinkTest, FirstReportIsLoggedStepByStep)
{
    Report(node_, "loc-a", 5, true);
    const std::vector<std::string> expected = {
        Fmt("zelm link subs location loc-a status, svcHandle %#x, locindex 5.", Hex(handle_)),
        Fmt("zelm link Not find linkLoc, osNode %#x, location loc-a, locindex 5.", node_),
        Fmt("zelm link linkLoc, osNode %#x, location loc-a , chanHandle %#x, locindex 4294967295.", node_,
            Hex(handle_)),
        Fmt("zelm link publish locIndex 5 status, chan %#x.", Hex(handle_)),
        "zelm link subs location loc-a status, deal location link available finished.",
    };
    const char *funcs[] = {"ZELM_LINK_SubLocationStatus", "ZelmLinkLocationAvailable", "ZelmLinkLocationAvailable",
                           "ZelmLinkPubLocationLink", "ZELM_LINK_SubLocationStatus"};
    size_t at = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        at = zt::FindLog(expected[i], at);
        ASSERT_NE(at, SIZE_MAX) << "missing or out of order: " << expected[i];
        EXPECT_EQ(zt::PlainLog()[at].level, LORN_LEVEL_INFO) << expected[i];
        EXPECT_EQ(zt::PlainLog()[at].func, funcs[i]) << expected[i];
    }
    // A known entry is not "not found" again, and shows the index it announced before.
    STANDIN_LogClear();
    Report(node_, "loc-a", 6, true);
    EXPECT_EQ(zt::CountLog(Fmt("zelm link Not find linkLoc, osNode %#x, location loc-a, locindex 6.", node_)), 0u);
    EXPECT_EQ(zt::CountLog(Fmt("zelm link linkLoc, osNode %#x, location loc-a , chanHandle %#x, locindex 5.", node_,
                               Hex(handle_))),
              1u);
}

TEST_F(LinkTest, InvalidIndexIsLoggedAndAnnouncesNothing)
{
    Report(node_, "loc-a", ZELM_INVALID_LOC_INDEX, true);
    EXPECT_TRUE(events_.empty());
    EXPECT_TRUE(zt::HasLog("zelm link subs location loc-a status, the locIndex is invalid.", LORN_LEVEL_INFO,
                           "ZELM_LINK_SubLocationStatus"));
    EXPECT_EQ(Entry(node_, "loc-a"), nullptr);

    ZelmLinkPubLocationLink(Cb(), ZELM_INVALID_LOC_INDEX, handle_);
    EXPECT_TRUE(events_.empty());
    EXPECT_EQ(zt::CountLog(Fmt("zelm link publish locIndex 4294967295 status, chan %#x.", Hex(handle_))), 1u);
}

TEST_F(LinkTest, NodeWithoutAgentIsRefusedAndAKnownEntryKeepsItsHandle)
{
    const uint32_t bare = STANDIN_KormAddOsNode(1, 2, 0, 0);
    Report(bare, "loc-b", 3, true);
    EXPECT_TRUE(events_.empty());
    EXPECT_EQ(Cb()->svcHandle, 0u);
    EXPECT_TRUE(zt::HasLog(Fmt("zelm link subs location loc-b status failed, get osNode %x server hdl error.", bare),
                           LORN_LEVEL_ERROR, "ZELM_LINK_SubLocationStatus"));
    EXPECT_EQ(Entry(bare, "loc-b"), nullptr);

    Report(node_, "loc-a", 5, true);
    STANDIN_KormAddOsNode(1, 1, 0, 0);  // the agent goes away
    Report(node_, "loc-a", 6, true);
    EXPECT_EQ(events_, (Events{{5, handle_}}));
    EXPECT_EQ(Cb()->svcHandle, 0u);
    ZelmLinkLoc *entry = Entry(node_, "loc-a");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->chanHandle, handle_);
    EXPECT_EQ(entry->locIndex, 5u);
}

TEST_F(LinkTest, SameIndexOnTwoNodesOrNamesIsTwoLocations)
{
    const uint32_t other = STANDIN_KormAddOsNode(2, 1, 0, 1);
    const uintptr_t otherHandle = STANDIN_KormServerHandle(other);
    Report(node_, "loc-a", 5, true);
    Report(other, "loc-a", 5, true);
    Report(node_, "loc-z", 5, true);
    EXPECT_EQ(events_, (Events{{5, handle_}, {5, otherHandle}, {5, handle_}}));
    EXPECT_EQ(ZEL_SET_Count(Cb()->linkLocTree), 3u);

    Report(other, "loc-a", 5, false);  // the others stay
    EXPECT_EQ(ZEL_SET_Count(Cb()->linkLocTree), 2u);
    EXPECT_NE(Entry(node_, "loc-a"), nullptr);
}

TEST_F(LinkTest, RefusedNameIsReportedAndAnnouncesNothing)
{
    const std::string longName(64, 'n');
    Report(node_, longName.c_str(), 5, true);
    EXPECT_TRUE(events_.empty());
    EXPECT_TRUE(zt::HasLog(Fmt("zelm link osNode %u service %s add failed, add link location error.", node_,
                               longName.c_str()),
                           LORN_LEVEL_ERROR, "ZelmLinkLocationAvailable"));
    EXPECT_EQ(ZEL_SET_Count(Cb()->linkLocTree), 0u);
}

TEST_F(LinkTest, MissingControlBlockOrNameIsRefused)
{
    ZELM_LINK_SubLocationStatus(node_, "loc-a", 5, 1, nullptr);
    EXPECT_TRUE(zt::HasLog("zelm link subs location loc-a status failed, get link mod error.", LORN_LEVEL_ERROR,
                           "ZELM_LINK_SubLocationStatus"));

    ZELM_LINK_SubLocationStatus(node_, nullptr, 5, 1, Cb());
    EXPECT_TRUE(events_.empty());
    EXPECT_TRUE(zt::HasLog("zelm link, find loc, service name (null) too long.", LORN_LEVEL_ERROR,
                           "ZelmLinkFindLocation"));
    EXPECT_TRUE(zt::HasLog("zelm link, add loc, service name (null) too long.", LORN_LEVEL_ERROR,
                           "ZelmLinkAddLocation"));
    ZelmLinkDelLocation(Cb(), node_, nullptr);
    EXPECT_TRUE(zt::HasLog("zelm link, del loc, service name (null) too long.", LORN_LEVEL_ERROR,
                           "ZelmLinkDelLocation"));
    EXPECT_EQ(ZEL_SET_Count(Cb()->linkLocTree), 0u);
}

// ---- subscriptions -----------------------------------------------------------------------------

TEST_F(LinkTest, SubscribersAreCalledInSubscriptionOrder)
{
    Events second;
    ASSERT_EQ(ZELM_LINK_SubLocationLink(SecondSubscriber, &second), ZELM_OK);
    Report(node_, "loc-a", 5, true);
    Report(node_, "loc-a", 8, true);

    ASSERT_EQ(g_deliveries.size(), 6u);
    const int order[] = {1, 2, 1, 2, 1, 2};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(g_deliveries[i].subscriber, order[i]) << "delivery " << i;
    }
    EXPECT_EQ(second, (Events{{5, handle_}, {5, 0}, {8, handle_}}));
}

TEST_F(LinkTest, SubscribingAFunctionAgainOnlyReplacesItsUserData)
{
    const size_t before = SubscriberCount(Cb());
    Events replacement;
    EXPECT_EQ(ZELM_LINK_SubLocationLink(FirstSubscriber, &replacement), ZELM_OK);
    EXPECT_TRUE(zt::HasLog("[ZELM] sub location link exist.", LORN_LEVEL_INFO, "ZELM_LINK_SubLocationLink"));
    EXPECT_EQ(SubscriberCount(Cb()), before);

    Report(node_, "loc-a", 5, true);
    EXPECT_TRUE(events_.empty());
    EXPECT_EQ(replacement, (Events{{5, handle_}}));
}

TEST_F(StandinTest, LinkSubscriptionNeedsARunningLinkModule)
{
    EXPECT_EQ(ZELM_LINK_SubLocationLink(FirstSubscriber, nullptr), ZELM_ERR);
    EXPECT_TRUE(zt::HasLog("[ZELM] get linkCb failed.", LORN_LEVEL_ERROR, "ZELM_LINK_SubLocationLink"));
}

// ---- registry ----------------------------------------------------------------------------------

TEST_F(LinkTest, NamesUpToSixtyThreeCharactersFit)
{
    const std::string fits(63, 'f');
    const std::string tooLong(64, 't');
    ZelmLinkLoc *entry = ZelmLinkAddLocation(Cb(), node_, fits.c_str());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(ZelmLinkFindLocation(Cb(), node_, fits.c_str()), entry);
    EXPECT_EQ(STANDIN_LogCount(), 0u);

    EXPECT_EQ(ZelmLinkAddLocation(Cb(), node_, tooLong.c_str()), nullptr);
    EXPECT_TRUE(zt::HasLog("zelm link, add loc, service name " + tooLong + " too long.", LORN_LEVEL_ERROR,
                           "ZelmLinkAddLocation"));
    EXPECT_EQ(ZelmLinkFindLocation(Cb(), node_, tooLong.c_str()), nullptr);
    EXPECT_TRUE(zt::HasLog("zelm link, find loc, service name " + tooLong + " too long.", LORN_LEVEL_ERROR,
                           "ZelmLinkFindLocation"));
    ZelmLinkDelLocation(Cb(), node_, tooLong.c_str());
    EXPECT_TRUE(zt::HasLog("zelm link, del loc, service name " + tooLong + " too long.", LORN_LEVEL_ERROR,
                           "ZelmLinkDelLocation"));
    EXPECT_EQ(ZEL_SET_Count(Cb()->linkLocTree), 1u);
}

TEST_F(LinkTest, EntriesAreOrderedByNodeThenName)
{
    ASSERT_NE(ZelmLinkAddLocation(Cb(), 5, "beta"), nullptr);
    ASSERT_NE(ZelmLinkAddLocation(Cb(), 5, "alpha"), nullptr);
    ASSERT_NE(ZelmLinkAddLocation(Cb(), 3, "zeta"), nullptr);
    ASSERT_NE(ZelmLinkAddLocation(Cb(), 3, "alpha"), nullptr);
    using Keys = std::vector<std::pair<uint32_t, std::string>>;
    EXPECT_EQ(WalkKeys(Cb()), (Keys{{3, "alpha"}, {3, "zeta"}, {5, "alpha"}, {5, "beta"}}));
}

TEST_F(LinkTest, EntryInitRefusesAForeignSize)
{
    ZelmLinkLoc loc;
    std::memset(&loc, 0x77, sizeof(loc));
    EXPECT_EQ(ZelmLinkLocationTreeInit(&loc, 10), ZELM_ERR);
    EXPECT_TRUE(zt::HasLog(Fmt("zelm link, location init, len dismatch, 10 != %zu", sizeof(ZelmLinkLoc)),
                           LORN_LEVEL_ERROR, "ZelmLinkLocationTreeInit"));

    EXPECT_EQ(ZelmLinkLocationTreeInit(&loc, sizeof(loc)), ZELM_OK);
    EXPECT_EQ(loc.locIndex, ZELM_INVALID_LOC_INDEX);
    EXPECT_EQ(loc.chanHandle, 0u);
    EXPECT_EQ(loc.key.osNodeId, 0u);
    EXPECT_EQ(loc.key.serviceName[0], '\0');
}

TEST(LinkKeyTest, KeysCompareByNodeThenName)
{
    const auto cmp = [](uint32_t n1, const char *s1, uint32_t n2, const char *s2) {
        ZelmLinkLocKey a{};
        ZelmLinkLocKey b{};
        a.osNodeId = n1;
        b.osNodeId = n2;
        std::snprintf(a.serviceName, sizeof(a.serviceName), "%s", s1);
        std::snprintf(b.serviceName, sizeof(b.serviceName), "%s", s2);
        return ZELM_LINK_LocKey_Compare(&a, &b);
    };
    EXPECT_EQ(cmp(1, "b", 2, "a"), -1);
    EXPECT_EQ(cmp(10, "x", 3, "x"), 7);
    EXPECT_EQ(cmp(0, "a", 0xFFFFFFFFu, "a"), -1) << "far-apart nodes by value";
    EXPECT_EQ(cmp(0xFFFFFFFFu, "a", 0, "a"), 1);
    EXPECT_LT(cmp(5, "abc", 5, "abd"), 0);
    EXPECT_GT(cmp(5, "b", 5, "abc"), 0);
    EXPECT_EQ(cmp(5, "same", 5, "same"), 0);
}

// ---- a LINK module of its own: start, stop, and reports without subscribers ---------------------

TEST_F(LinkTest, ReportsWithoutSubscribersAreStillRecordedAndLogged)
{
    auto *own = static_cast<ZelmLinkCb *>(ZELM_LINK_Init());
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(SubscriberCount(own), 0u);
    ZELM_LINK_SubLocationStatus(node_, "loc-a", 4, 1, own);
    ZelmLinkLoc *entry = ZelmLinkFindLocation(own, node_, "loc-a");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->locIndex, 4u);
    EXPECT_EQ(entry->chanHandle, handle_);
    EXPECT_EQ(own->svcHandle, handle_);
    EXPECT_EQ(zt::CountLog(Fmt("zelm link publish locIndex 4 status, chan %#x.", Hex(handle_))), 1u);
    EXPECT_TRUE(events_.empty()) << "the library's own LINK module saw nothing";
    ZELM_LINK_FInit(own);
}

// Subscriber nodes are released too: the fixture's stop checks that no block is left.
TEST_F(LinkTest, StopReleasesEveryEntryAndTheControlBlock)
{
    const size_t blocks = STANDIN_HostLiveBlocks();
    auto *own = static_cast<ZelmLinkCb *>(ZELM_LINK_Init());
    ASSERT_NE(own, nullptr);
    EXPECT_TRUE(zt::HasLog("[ZELM]init link ok.", LORN_LEVEL_INFO, "ZELM_LINK_Init"));
    for (uint32_t n = 1; n <= 3; ++n) {
        ASSERT_NE(ZelmLinkAddLocation(own, n, "loc"), nullptr);
    }
    STANDIN_LogClear();

    ZELM_LINK_FInit(own);
    EXPECT_EQ(STANDIN_HostLiveBlocks(), blocks);
    EXPECT_EQ(zt::CountLog("[ZELM]finit link ok."), 1u);
    EXPECT_TRUE(zt::HasLog("[ZELM]finit link ok.", LORN_LEVEL_INFO, "ZELM_LINK_FInit"));

    STANDIN_LogClear();
    ZELM_LINK_FInit(nullptr);
    EXPECT_EQ(STANDIN_LogCount(), 0u);
}

}  // namespace
