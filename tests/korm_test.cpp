// The stand-in's node-status service: nodes, agents, subscriptions and reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/zelm_test.h"
#include "zelm_standin.h"

namespace {

struct LinkReport {
    uint32_t osNodeId;
    uint32_t chassis, slot, cpu;
    uint32_t linkState;
    void *userData;
};
struct LocReport {
    uint32_t osNodeId;
    std::string service;
    uint32_t locIndex;
    uint32_t available;
    void *userData;
};
std::vector<LinkReport> g_links;
std::vector<LocReport> g_locs;

uint32_t OnLink(uint32_t osNodeId, const uint32_t *pos, uint32_t linkState, void *userData)
{
    g_links.push_back({osNodeId, pos[0], pos[1], pos[2], linkState, userData});
    return 0;
}

void OnLoc(uint32_t osNodeId, const char *service, uint32_t locIndex, uint32_t available, void *userData)
{
    g_locs.push_back({osNodeId, service, locIndex, available, userData});
}

class KormTest : public StandinTest {
protected:
    void SetUp() override
    {
        StandinTest::SetUp();
        g_links.clear();
        g_locs.clear();
        data_ = KORM_GetLocalData();
        ASSERT_NE(data_, nullptr);
    }
    KORM_LocalData *data_ = nullptr;
};

TEST_F(KormTest, OsNodeLinkReportReachesTheSubscriberWhenTheLoopRuns)
{
    const uint32_t id = STANDIN_KormAddOsNode(1, 3, 2, 1);
    int user = 0;
    ASSERT_EQ(KORM_SubOsNodeStatusIntf(data_, OnLink, &user), 0u);
    ASSERT_EQ(STANDIN_KormRaiseOsNodeLink(id, 1), 0);
    EXPECT_TRUE(g_links.empty());
    STANDIN_RunDue();
    ASSERT_EQ(g_links.size(), 1u);
    const LinkReport &r = g_links[0];
    EXPECT_EQ(r.osNodeId, 0x020103u);
    EXPECT_EQ((std::vector<uint32_t>{r.chassis, r.slot, r.cpu, r.linkState}), (std::vector<uint32_t>{1, 3, 2, 1}));
    EXPECT_EQ(r.userData, &user);
}

TEST_F(KormTest, LocationReportCarriesItsArgumentsAndIsRemembered)
{
    int user = 0;
    ASSERT_EQ(KORM_SubLocationStatus(data_, OnLoc, &user), 0u);
    STANDIN_KormRaiseLocationStatus(0x20103, "app.service", 7, 1);
    STANDIN_RunDue();
    ASSERT_EQ(g_locs.size(), 1u);
    const LocReport &r = g_locs[0];
    EXPECT_EQ(r.osNodeId, 0x20103u);
    EXPECT_EQ(r.service, "app.service");
    EXPECT_EQ((std::vector<uint32_t>{r.locIndex, r.available}), (std::vector<uint32_t>{7, 1}));
    EXPECT_EQ(r.userData, &user);
    uint32_t index = 0, available = 0;
    EXPECT_EQ(KORM_GetLocationStatus(data_, 0x20103, "app.service", &index, &available), 0u);
    EXPECT_EQ((std::vector<uint32_t>{index, available}), (std::vector<uint32_t>{7, 1}));
}

TEST_F(KormTest, OsNodeIdIsASumCutTo24Bits)
{
    EXPECT_EQ(STANDIN_OsNodeId(1, 256, 0), 0x200u) << "a slot above 255 carries into the chassis";
    EXPECT_EQ(STANDIN_OsNodeId(0, 1, 0x100), 1u);
}

TEST_F(KormTest, NodeAgentIsFoundOnlyForANodeWithAnAgent)
{
    const uint32_t withAgent = STANDIN_KormAddOsNode(1, 1, 0, 1);
    const uint32_t without = STANDIN_KormAddOsNode(1, 2, 0, 0);
    KORM_KorbCb *cb = KORM_FindKorbCb(withAgent, data_);
    ASSERT_NE(cb, nullptr);
    EXPECT_EQ(cb->serverHandle, STANDIN_KormServerHandle(withAgent));
    EXPECT_EQ(KORM_FindKorbCb(without, data_), nullptr);
    const uint32_t other = STANDIN_KormAddOsNode(1, 3, 0, 1);
    EXPECT_NE(STANDIN_KormServerHandle(other), cb->serverHandle) << "server handles are unique";
}

TEST_F(KormTest, NothingIsDeliveredAfterTheSubscriptionIsWithdrawn)
{
    const uint32_t id = STANDIN_KormAddOsNode(1, 1, 0, 1);
    ASSERT_EQ(KORM_SubOsNodeStatusIntf(data_, OnLink, nullptr), 0u);
    ASSERT_EQ(KORM_SubLocationStatus(data_, OnLoc, nullptr), 0u);
    STANDIN_KormRaiseOsNodeLink(id, 1);
    STANDIN_KormRaiseLocationStatus(id, "app.service", 1, 1);
    ASSERT_EQ(KORM_DestroySubOsNodeStatusIntf(data_), 0u);
    ASSERT_EQ(KORM_DestroySubLocationStatus(data_), 0u);
    EXPECT_EQ(STANDIN_KormOsNodeSubscribed(), 0);
    EXPECT_EQ(STANDIN_KormLocationSubscribed(), 0);
    STANDIN_RunUntilIdle(10);
    EXPECT_TRUE(g_links.empty());
    EXPECT_TRUE(g_locs.empty());
}

TEST_F(KormTest, NewSubscriptionReplacesTheOldOne)
{
    const uint32_t id = STANDIN_KormAddOsNode(1, 1, 0, 1);
    int first = 0, second = 0;
    KORM_SubOsNodeStatusIntf(data_, OnLink, &first);
    STANDIN_KormRaiseOsNodeLink(id, 0);
    KORM_SubOsNodeStatusIntf(data_, OnLink, &second);
    STANDIN_RunDue();
    ASSERT_EQ(g_links.size(), 1u);
    EXPECT_EQ(g_links[0].userData, &second);
    EXPECT_EQ(g_links[0].linkState, 0u);
}

} // namespace
