// The INFRA adapter: what the library reads from the node-status service and the HA role, with and without it.
#include <cstring>

#include "support/zelm_test.h"

namespace {

using InfraStoppedTest = StandinTest;
using InfraTest = ZelmTest;

TEST_F(InfraStoppedTest, WithoutTheLibraryNothingIsPublishableOrReachable)
{
    const uint32_t node = STANDIN_KormAddOsNode(1, 2, 0, 1);
    ASSERT_NE(STANDIN_KormServerHandle(node), 0u);

    EXPECT_EQ(ZELM_INFRA_IsCanPublish(), 0u);
    for (uint32_t n : {0u, node, 0xFFFFFFu, 0xFFFFFFFFu}) {
        EXPECT_EQ(ZELM_INFRA_GetKorbServerHandle(n), 0u) << "node " << n;
    }
    EXPECT_EQ(ZELM_INFRA_GetThHandle(), 0u);
    EXPECT_EQ(ZELM_INFRA_GetMemHandle(), 0u);
    EXPECT_EQ(STANDIN_CallCount("KORM_FindKorbCb"), 0u);
    EXPECT_EQ(STANDIN_CallCount("MIRL_GetCompHaRole"), 0u);
}

TEST_F(InfraTest, ControlBlockIsTheServicesOwnRecord)
{
    KORM_LocalData *korm = STANDIN_KormLocalData();
    EXPECT_EQ(ZELM_GetModCb(ZELM_MOD_INFRA), korm);
    EXPECT_EQ(ZELM_INFRA_GetThHandle(), korm->thHandle);
    EXPECT_EQ(ZELM_INFRA_GetMemHandle(), korm->memHandle);

    const KORM_LocalData before = *korm;
    ZELM_INFRA_FInit(korm);
    ZELM_INFRA_FInit(nullptr);
    EXPECT_EQ(std::memcmp(&before, korm, sizeof(before)), 0);
    EXPECT_EQ(ZELM_GetModCb(ZELM_MOD_INFRA), korm);

    StopLibrary();
    EXPECT_EQ(std::memcmp(&before, STANDIN_KormLocalData(), sizeof(before)), 0) << "the stop leaves the record alone";
}

TEST_F(InfraTest, PublishingIsAllowedExactlyInRoleZero)
{
    EXPECT_EQ(ZELM_INFRA_IsCanPublish(), 1u);
    for (uint32_t role : {1u, 2u, 0xFFFFFFFFu}) {
        STANDIN_MirlSetHaRole(role);
        EXPECT_EQ(ZELM_INFRA_IsCanPublish(), 0u) << "role " << role;
    }
    STANDIN_MirlSetHaRole(0);
    EXPECT_EQ(ZELM_INFRA_IsCanPublish(), 1u);
}

TEST_F(InfraTest, ServerHandleIsTheAgentsOrZero)
{
    const uint32_t withAgent = STANDIN_KormAddOsNode(1, 3, 0, 1);
    const uint32_t withoutAgent = STANDIN_KormAddOsNode(1, 4, 0, 0);
    EXPECT_EQ(ZELM_INFRA_GetKorbServerHandle(withAgent), STANDIN_KormServerHandle(withAgent));
    EXPECT_NE(ZELM_INFRA_GetKorbServerHandle(withAgent), 0u);
    EXPECT_EQ(ZELM_INFRA_GetKorbServerHandle(withoutAgent), 0u);

    const uint64_t finds = STANDIN_CallCount("KORM_FindKorbCb");
    const uint64_t roles = STANDIN_CallCount("MIRL_GetCompHaRole");
    EXPECT_EQ(ZELM_INFRA_GetKorbServerHandle(0x00ABCDEFu), 0u);
    EXPECT_EQ(STANDIN_CallCount("KORM_FindKorbCb"), finds + 1);
    EXPECT_EQ(STANDIN_CallCount("MIRL_GetCompHaRole"), roles);
}

TEST_F(InfraTest, SubscriptionsPassTheServicesStatusThrough)
{
    ZELM_INFRA_DestroySubLocationStatus();
    EXPECT_EQ(STANDIN_KormLocationSubscribed(), 0);
    ZELM_INFRA_DestroySubOsNodeStatus();
    EXPECT_EQ(STANDIN_KormOsNodeSubscribed(), 0);

    ASSERT_EQ(STANDIN_FailCall("KORM_SubLocationStatus", 1, 9), 0);
    EXPECT_EQ(ZELM_INFRA_SubLocationStatus(ZELM_LINK_SubLocationStatus, ZELM_GetModCb(ZELM_MOD_LINK)), 9u);
    EXPECT_EQ(STANDIN_KormLocationSubscribed(), 0);
    EXPECT_EQ(ZELM_INFRA_SubLocationStatus(ZELM_LINK_SubLocationStatus, ZELM_GetModCb(ZELM_MOD_LINK)), 0u);
    EXPECT_NE(STANDIN_KormLocationSubscribed(), 0);

    ASSERT_EQ(STANDIN_FailCall("KORM_SubOsNodeStatusIntf", 1, 4), 0);
    EXPECT_EQ(ZELM_INFRA_SubOsNodeStatus(ZelmLocSubOsNodeLink, ZELM_GetModCb(ZELM_MOD_LOCATION)), 4u);
    EXPECT_EQ(ZELM_INFRA_SubOsNodeStatus(ZelmLocSubOsNodeLink, ZELM_GetModCb(ZELM_MOD_LOCATION)), 0u);
    EXPECT_NE(STANDIN_KormOsNodeSubscribed(), 0);
}

TEST_F(InfraTest, LocationStatusQueryIsForwardedUnchanged)
{
    const uint32_t node = STANDIN_KormAddOsNode(2, 1, 0, 1);
    STANDIN_KormRaiseLocationStatus(node, "svc-a", 12, 1);
    STANDIN_RunDue();

    uint32_t index = 0;
    uint32_t available = 0;
    uint32_t wantIndex = 1;
    uint32_t wantAvailable = 1;
    const uint32_t want = KORM_GetLocationStatus(STANDIN_KormLocalData(), node, "svc-a", &wantIndex, &wantAvailable);
    EXPECT_EQ(ZELM_INFRA_GetLoctionStatus(STANDIN_KormLocalData(), node, "svc-a", &index, &available), want);
    EXPECT_EQ(index, wantIndex);
    EXPECT_EQ(available, wantAvailable);
    EXPECT_EQ(want, 0u);
    EXPECT_EQ(index, 12u);
    EXPECT_NE(available, 0u);
}

}  // namespace
