// The stand-in's node-status service and HA role: nodes, agents, subscriptions and reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/mirl.h"
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

TEST_F(KormTest, LocalDataCarriesNonZeroHandles)
{
    EXPECT_NE(data_->thHandle, 0u);
    EXPECT_NE(data_->memHandle, 0u);
    EXPECT_EQ(data_, STANDIN_KormLocalData());
}

TEST_F(KormTest, OsNodeLinkReportReachesTheSubscriberWhenTheLoopRuns)
{
    const uint32_t id = STANDIN_KormAddOsNode(1, 3, 2, 1);
    int user = 0;
    ASSERT_EQ(KORM_SubOsNodeStatusIntf(data_, OnLink, &user), 0u);
    ASSERT_EQ(STANDIN_KormRaiseOsNodeLink(id, 1), 0);
    EXPECT_TRUE(g_links.empty());
    STANDIN_RunDue();
    ASSERT_EQ(g_links.size(), 1u);
    EXPECT_EQ(g_links[0].osNodeId, (2u << 16) + (1u << 8) + 3u);
    EXPECT_EQ(g_links[0].chassis, 1u);
    EXPECT_EQ(g_links[0].slot, 3u);
    EXPECT_EQ(g_links[0].cpu, 2u);
    EXPECT_EQ(g_links[0].linkState, 1u);
    EXPECT_EQ(g_links[0].userData, &user);
}

TEST_F(KormTest, LocationReportCarriesItsArgumentsAndIsRemembered)
{
    int user = 0;
    ASSERT_EQ(KORM_SubLocationStatus(data_, OnLoc, &user), 0u);
    STANDIN_KormRaiseLocationStatus(0x20103, "app.service", 7, 1);
    STANDIN_RunDue();
    ASSERT_EQ(g_locs.size(), 1u);
    EXPECT_EQ(g_locs[0].osNodeId, 0x20103u);
    EXPECT_EQ(g_locs[0].service, "app.service");
    EXPECT_EQ(g_locs[0].locIndex, 7u);
    EXPECT_EQ(g_locs[0].available, 1u);
    EXPECT_EQ(g_locs[0].userData, &user);
    uint32_t index = 0, available = 0;
    EXPECT_EQ(KORM_GetLocationStatus(data_, 0x20103, "app.service", &index, &available), 0u);
    EXPECT_EQ(index, 7u);
    EXPECT_EQ(available, 1u);
}

} // namespace
