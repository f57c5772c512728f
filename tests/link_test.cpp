// The LINK module: the order of the location-link events its subscribers hear, its subscriptions, hooks and log lines.
#include <cstring>
#include <string>
#include <vector>

#include "platform/lorn.h"
#include "support/zelm_test.h"

namespace {

// Every event a test subscriber heard, as "subscriber:index/handle".
std::vector<std::string> g_heard;

template <char Name>
uint32_t Subscriber(uint32_t locIndex, uintptr_t chanHandle, void *userData)
{
    g_heard.push_back(std::string(1, Name) + std::string(":") + std::to_string(locIndex) + std::string("/") +
                      std::to_string(chanHandle) + (userData != nullptr ? "" : "?"));
    return ZELM_ERR;  // ignored
}

class LinkTest : public ZelmTest {
protected:
    void SetUp() override
    {
        ZelmTest::SetUp();
        g_heard.clear();
        node_ = STANDIN_KormAddOsNode(1, 1, 0, 1);
        h_ = std::to_string(STANDIN_KormServerHandle(node_));
    }
    void Report(const std::string &name, uint32_t index, bool available = true, uint32_t node = 0)
    {
        STANDIN_KormRaiseLocationStatus(node != 0 ? node : node_, name.c_str(), index, available ? 1 : 0);
        STANDIN_RunDue();
    }
    uint32_t node_ = 0;
    std::string h_;  // the agent's server handle, as the events carry it
};

TEST_F(LinkTest, SubscribersHearEveryAnnouncementInOrderAndAMovedIndexWithdrawnFirst)
{
    int data = 0;
    ASSERT_EQ(ZELM_LINK_SubLocationLink(Subscriber<'a'>, &data), 0u);
    ASSERT_EQ(ZELM_LINK_SubLocationLink(Subscriber<'b'>, &data), 0u);
    Report("svc", 5);
    Report("svc", 5);
    Report("svc", 7);
    Report("svc", 7, false);  // forgotten silently: no withdrawal now or later
    Report("svc", 9);
    Report("svc", 0xFFFFFFFFu);
    Report("svc", 3, true, STANDIN_KormAddOsNode(1, 2, 0, 0));  // a node without agent
    EXPECT_EQ(g_heard, (std::vector<std::string>{"a:5/" + h_, "b:5/" + h_, "a:5/" + h_, "b:5/" + h_, "a:5/0", "b:5/0",
                                                 "a:7/" + h_, "b:7/" + h_, "a:9/" + h_, "b:9/" + h_}));
    const uint32_t nine = 9;
    EXPECT_NE(ZEL_SET_Find(zt::CompCb()->locationTree, &nine, 4), nullptr) << "the component module heard it too";
}

// What the node-status service or a key copy refuses is reported and announces nothing, and leaves
// the registry as it was; only a refused key copy of the lookup lets the insertion after it go on.
TEST_F(LinkTest, RefusedPlatformCallsAreReportedAndAnnounceNothing)
{
    ASSERT_EQ(ZELM_LINK_SubLocationLink(Subscriber<'a'>, this), 0u);
    const auto heard = [this](const std::string &name, uint32_t index, bool available = true) {
        const size_t before = g_heard.size();
        Report(name, index, available);
        return static_cast<uint32_t>(g_heard.size() - before);
    };
    const auto entry = [this](const char *name, uint32_t index) {
        return [this, name, index](size_t) {
            const ZelmLinkLoc *loc = ZelmLinkFindLocation(zt::LinkCb(), node_, name);
            const uint32_t held = loc == nullptr ? 0 : loc->locIndex;
            return held == index ? std::string() : name + std::string(" holds index ") + std::to_string(held);
        };
    };
    const char *available = "ZelmLinkLocationAvailable";
    zt::ExpectFaultTable(
        STANDIN_RPC_COMP,
        {
            {"KORM_FindKorbCb",
             1,
             [&] { return heard("svc", 5); },
             0,
             {"ZELM_LINK_SubLocationStatus"},
             0,
             [&](size_t from) { return zt::LinkCb()->svcHandle == 0 ? entry("svc", 0)(from) : "a server handle"; }},
            {"strcpy_s", 1, [&] { return heard("svc", 5); }, 1, {"ZelmLinkFindLocation"}, 0, entry("svc", 5)},
            {"strcpy_s", 2, [&] { return heard("new", 6); }, 0, {"ZelmLinkAddLocation", available}, 0, entry("new", 0)},
            {"strcpy_s",
             1,
             [&] { return heard("svc", 7); },
             0,
             {"ZelmLinkFindLocation", available},
             0,
             entry("svc", 5)},
            {"strcpy_s", 1, [&] { return heard("svc", 5, false); }, 0, {"ZelmLinkDelLocation"}, 0, entry("svc", 5)},
        });
}

TEST_F(LinkTest, SubscribingAFunctionAgainOnlyReplacesItsUserDataAndNeedsTheModuleStarted)
{
    int first = 0;
    int second = 0;
    ASSERT_EQ(ZELM_LINK_SubLocationLink(Subscriber<'a'>, &first), 0u);
    ASSERT_EQ(ZELM_LINK_SubLocationLink(Subscriber<'a'>, nullptr), 0u);
    ASSERT_EQ(ZELM_LINK_SubLocationLink(Subscriber<'a'>, &second), 0u);
    EXPECT_TRUE(zt::Logged(LORN_LEVEL_INFO, "ZELM_LINK_SubLocationLink", "exist"));
    Report("svc", 4);
    EXPECT_EQ(g_heard, (std::vector<std::string>{"a:4/" + h_}));
    Stop();
    EXPECT_EQ(ZELM_LINK_SubLocationLink(Subscriber<'b'>, &first), ZELM_ERR);
    EXPECT_TRUE(zt::Logged(LORN_LEVEL_ERROR, "ZELM_LINK_SubLocationLink", "linkCb"));
}

TEST_F(LinkTest, EntryHooksPrepareTheirEntryAndRefuseAnotherSize)
{
    ZelmLinkLoc link;
    std::memset(&link, 0x5A, sizeof(link));
    ASSERT_EQ(ZelmLinkLocationTreeInit(&link, sizeof(link)), 0u);
    EXPECT_EQ(link.locIndex, 0xFFFFFFFFu);
    EXPECT_EQ(link.chanHandle, 0u);
    EXPECT_EQ(link.key.osNodeId, 0u);
    EXPECT_EQ(ZelmLinkLocationTreeInit(&link, sizeof(link) - 4), ZELM_ERR);
    ZelmCompLocation comp{};
    EXPECT_EQ(ZelmCompLocationTreeInit(&comp, sizeof(comp) + 8), ZELM_ERR);
    ZelmCompLocationTreeFini(&comp, sizeof(comp) + 8);
    EXPECT_EQ(comp.componentTree, nullptr);
    for (const char *hook : {"ZelmLinkLocationTreeInit", "ZelmCompLocationTreeInit", "ZelmCompLocationTreeFini"}) {
        EXPECT_TRUE(zt::Logged(LORN_LEVEL_ERROR, hook)) << hook;
    }
}

TEST_F(LinkTest, LogLines)
{
    const std::string longName(64, 'n');
    const uint32_t I = LORN_LEVEL_INFO;
    const uint32_t E = LORN_LEVEL_ERROR;
    zt::ExpectLogTable({
        {[&] { Report("svc", 5); }, I, "ZELM_LINK_SubLocationStatus", "svcHandle 0x"},
        {[&] { Report("svc", 5); }, I, "ZELM_LINK_SubLocationStatus", "available finished."},
        {[&] { Report("new", 6); }, I, "ZelmLinkLocationAvailable", "Not find linkLoc, osNode 0x101"},
        {[&] { Report("new", 6); }, I, "ZelmLinkLocationAvailable", "chanHandle 0x"},
        {[&] { Report("new", 6); }, I, "ZelmLinkPubLocationLink", "publish locIndex 6 status"},
        {[&] { Report("new", 6, false); }, I, "ZELM_LINK_SubLocationStatus",
         "location new status, the location is Not"},
        {[&] { Report("new", 0xFFFFFFFFu); }, I, "ZELM_LINK_SubLocationStatus", "is invalid."},
        {[&] { Report("x", 2, true, 0x777); }, E, "ZELM_LINK_SubLocationStatus", "osNode 777 server"},
        {[&] { ZELM_LINK_SubLocationStatus(node_, "svc", 2, 1, nullptr); }, LORN_LEVEL_ERROR,
         "ZELM_LINK_SubLocationStatus", "get link mod error."},
        {[&] { Report(longName, 3); }, E, "ZelmLinkFindLocation", "too long."},
        {[&] { Report(longName, 3); }, E, "ZelmLinkAddLocation", "too long."},
        {[&] { Report(longName, 3, false); }, E, "ZelmLinkDelLocation", longName.c_str()},
        {[&] {
             (void)STANDIN_FailCall("STANDIN_HostMalloc", 1, 0);
             Report("short", 3);
         },
         E, "ZelmLinkLocationAvailable", "add failed, add link location error."},
    });
}

}  // namespace
