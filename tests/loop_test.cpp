// The stand-in's event loop: step order, the Run calls, no step inside another, and the virtual clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zelm_standin.h"

namespace {

std::vector<std::string> g_ran;  // "name@time" per step run

void Record(void *name)
{
    std::string entry = static_cast<const char *>(name);
    g_ran.push_back(entry.append("@").append(std::to_string(STANDIN_Now())));
}

void PostMore(void *)
{
    Record(const_cast<char *>("poster"));
    STANDIN_Post(0, Record, const_cast<char *>("now"));
    STANDIN_Post(1, Record, const_cast<char *>("later"));
    EXPECT_EQ(STANDIN_RunUntilIdle(10), 0u) << "a step must not run another inside it";
}

class LoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        STANDIN_Reset();
        g_ran.clear();
    }
    void TearDown() override { STANDIN_Reset(); }
};

TEST_F(LoopTest, StepsRunInTimeThenPostingOrderAndTheClockOnlyMovesForward)
{
    STANDIN_Post(10, Record, const_cast<char *>("a"));
    STANDIN_Post(5, Record, const_cast<char *>("b"));
    STANDIN_Post(10, Record, const_cast<char *>("c"));
    STANDIN_Post(20, Record, const_cast<char *>("d"));
    EXPECT_EQ(STANDIN_PendingSteps(), 4u);
    EXPECT_EQ(STANDIN_NextStepTime(), 5u);
    EXPECT_EQ(STANDIN_RunUntil(15), 3u);
    EXPECT_EQ(STANDIN_Now(), 15u);
    EXPECT_EQ(STANDIN_RunUntil(20), 1u) << "a step due exactly at the limit runs";
    EXPECT_EQ(STANDIN_RunFor(100), 0u);
    EXPECT_EQ(STANDIN_RunUntil(10), 0u);
    EXPECT_EQ(STANDIN_Now(), 120u) << "the clock never goes back";
    EXPECT_EQ(g_ran, (std::vector<std::string>{"b@5", "a@10", "c@10", "d@20"}));
    EXPECT_EQ(STANDIN_NextStepTime(), UINT64_MAX);
}

TEST_F(LoopTest, RunDueRunsWhatStepsPostForNowButNeverOneInsideAnother)
{
    STANDIN_Post(0, PostMore, nullptr);
    EXPECT_EQ(STANDIN_RunDue(), 2u);
    EXPECT_EQ(g_ran, (std::vector<std::string>{"poster@0", "now@0"}));
    EXPECT_EQ(STANDIN_PendingSteps(), 1u);
    EXPECT_EQ(STANDIN_RunUntilIdle(1), 1u);
    EXPECT_EQ(STANDIN_PendingSteps(), 0u);
}

}  // namespace
