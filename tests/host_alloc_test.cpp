// The host allocator: its counters, its injected failures and what a reset keeps.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/zelm_test.h"
#include "zelm_standin.h"

namespace {

class HostAllocTest : public StandinTest {
protected:
    void TearDown() override
    {
        for (void *p : blocks_) {
            STANDIN_HostFree(p);
        }
        EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u);
        EXPECT_EQ(STANDIN_HostLiveBytes(), 0u);
        StandinTest::TearDown();
    }
    void *Alloc(size_t size)
    {
        void *p = STANDIN_HostMalloc(size);
        if (p != nullptr) {
            blocks_.push_back(p);
        }
        return p;
    }
    std::vector<void *> blocks_;
};

TEST_F(HostAllocTest, CountsLiveBlocksBytesAndPeak)
{
    void *a = STANDIN_HostMalloc(100);
    void *b = STANDIN_HostMalloc(28);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(STANDIN_HostLiveBlocks(), 2u);
    EXPECT_EQ(STANDIN_HostLiveBytes(), 128u);
    STANDIN_HostFree(a);
    EXPECT_EQ(STANDIN_HostLiveBytes(), 28u);
    EXPECT_EQ(STANDIN_HostPeakBytes(), 128u);
    EXPECT_EQ(STANDIN_HostAllocCount(), 2u);
    STANDIN_HostFree(b);
    STANDIN_HostFree(nullptr);
    EXPECT_EQ(STANDIN_HostAllocCount(), 2u);
}

TEST_F(HostAllocTest, FailNthFailsOneAttemptAndFailFromEveryLaterOne)
{
    EXPECT_NE(Alloc(8), nullptr);
    STANDIN_HostFailNth(1);
    STANDIN_HostFailNth(0); // cancelled
    STANDIN_HostFailNth(3);
    EXPECT_NE(Alloc(8), nullptr);
    EXPECT_NE(Alloc(8), nullptr);
    EXPECT_EQ(Alloc(8), nullptr);
    EXPECT_NE(Alloc(8), nullptr);
    EXPECT_EQ(STANDIN_HostAllocCount(), 5u); // the failed attempt counts
    EXPECT_EQ(STANDIN_HostLiveBlocks(), 4u);

    STANDIN_HostFailFrom(2);
    EXPECT_NE(Alloc(8), nullptr);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Alloc(8), nullptr);
    }
    STANDIN_HostFailFrom(0);
    EXPECT_NE(Alloc(8), nullptr);
}

TEST_F(HostAllocTest, ResetClearsCountsAndFailuresButKeepsLiveBlocks)
{
    ASSERT_NE(Alloc(40), nullptr);
    void *gone = STANDIN_HostMalloc(60);
    STANDIN_HostFree(gone);
    STANDIN_HostFailFrom(1);
    STANDIN_HostResetCounters();
    EXPECT_EQ(STANDIN_HostAllocCount(), 0u);
    EXPECT_EQ(STANDIN_HostLiveBlocks(), 1u);
    EXPECT_EQ(STANDIN_HostLiveBytes(), 40u);
    EXPECT_EQ(STANDIN_HostPeakBytes(), 40u);
    EXPECT_NE(Alloc(8), nullptr);

    STANDIN_HostFailNth(1);
    STANDIN_Reset();
    EXPECT_EQ(STANDIN_HostAllocCount(), 0u);
    EXPECT_EQ(STANDIN_HostLiveBlocks(), 2u);
    EXPECT_NE(Alloc(8), nullptr);
}

}  // namespace
