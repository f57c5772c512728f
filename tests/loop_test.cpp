// The stand-in's event loop: step order, the Run calls and the virtual clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/zelm_test.h"
#include "zelm_standin.h"

namespace {

// A tiny host that writes down which step ran when.
struct Trace {
    std::vector<std::string> ran;
    std::vector<uint64_t> at;
};
Trace g_trace;

struct Named {
    const char *name;
};

void Record(void *arg)
{
    g_trace.ran.emplace_back(static_cast<Named *>(arg)->name);
    g_trace.at.push_back(STANDIN_Now());
}

Named a{"a"}, b{"b"}, c{"c"}, d{"d"};

class LoopTest : public StandinTest {
protected:
    void SetUp() override
    {
        StandinTest::SetUp();
        g_trace = {};
    }
};

TEST_F(LoopTest, StepsRunInTimeThenPostingOrder)
{
    STANDIN_Post(10, Record, &a);
    STANDIN_Post(5, Record, &b);
    STANDIN_Post(10, Record, &c);
    STANDIN_Post(5, Record, &d);
    EXPECT_EQ(STANDIN_PendingSteps(), 4u);
    EXPECT_EQ(STANDIN_NextStepTime(), 5u);
    EXPECT_EQ(STANDIN_RunUntilIdle(100), 4u);
    EXPECT_EQ(g_trace.ran, (std::vector<std::string>{"b", "d", "a", "c"}));
    EXPECT_EQ(g_trace.at, (std::vector<uint64_t>{5, 5, 10, 10}));
    EXPECT_EQ(STANDIN_NextStepTime(), UINT64_MAX);
}

TEST_F(LoopTest, RunUntilRunsDueStepsAndMovesTheClockOnlyForward)
{
    STANDIN_Post(10, Record, &a);
    STANDIN_Post(20, Record, &b);
    EXPECT_EQ(STANDIN_RunUntil(15), 1u);
    EXPECT_EQ(STANDIN_Now(), 15u);
    EXPECT_EQ(STANDIN_RunUntil(20), 1u) << "a step due exactly at the limit runs";
    EXPECT_EQ(STANDIN_RunFor(100), 0u);
    EXPECT_EQ(STANDIN_Now(), 120u);
    EXPECT_EQ(g_trace.ran, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(STANDIN_RunUntil(10), 0u);
    EXPECT_EQ(STANDIN_Now(), 120u) << "the clock never goes back";
}

void PostNow(void *)
{
    g_trace.ran.emplace_back("poster");
    STANDIN_Post(0, Record, &a);
    STANDIN_Post(1, Record, &b);
}

TEST_F(LoopTest, RunDueRunsWhatStepsPostForNowButNotLater)
{
    STANDIN_Post(0, PostNow, nullptr);
    EXPECT_EQ(STANDIN_RunDue(), 2u);
    EXPECT_EQ(g_trace.ran, (std::vector<std::string>{"poster", "a"}));
    EXPECT_EQ(STANDIN_PendingSteps(), 1u);
}

void NestedRun(void *)
{
    g_trace.ran.emplace_back("outer");
    EXPECT_EQ(STANDIN_RunUntilIdle(10), 0u) << "a step must not run another inside it";
    EXPECT_EQ(STANDIN_RunFor(10), 0u);
}

TEST_F(LoopTest, StepsNeverRunInsideAnotherStep)
{
    STANDIN_Post(0, NestedRun, nullptr);
    STANDIN_Post(0, Record, &a);
    EXPECT_EQ(STANDIN_RunUntilIdle(10), 2u);
    EXPECT_EQ(g_trace.ran, (std::vector<std::string>{"outer", "a"}));
}

void Repost(void *)
{
    g_trace.ran.emplace_back("tick");
    STANDIN_Post(1, Repost, nullptr);
}

TEST_F(LoopTest, RunUntilIdleStopsAtItsBound)
{
    STANDIN_Post(1, Repost, nullptr);
    EXPECT_EQ(STANDIN_RunUntilIdle(7), 7u);
    EXPECT_EQ(g_trace.ran.size(), 7u);
    EXPECT_EQ(STANDIN_PendingSteps(), 1u);
}

} // namespace
