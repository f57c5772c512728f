// Bounded copy and fill functions and the failure-injection table: what they copy, refuse and leave behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/bounds.h"
#include "zelm_standin.h"

namespace {

class BoundsTest : public ::testing::Test {
protected:
    void TearDown() override { STANDIN_Reset(); }
    void SetUp() override
    {
        STANDIN_Reset();
        std::memset(dest_, '#', sizeof(dest_));
    }
    bool DestIs(char c, size_t from, size_t to) const
    {
        for (size_t i = from; i < to; ++i) {
            if (dest_[i] != c) {
                return false;
            }
        }
        return true;
    }
    char dest_[16];
};

TEST_F(BoundsTest, MemcpyCopiesWhatFitsIncludingFromAnAdjacentBuffer)
{
    EXPECT_EQ(memcpy_s(dest_, 4, "abcd", 4), 0);
    EXPECT_EQ(memcpy_s(dest_ + 4, 4, dest_, 4), 0);
    EXPECT_EQ(std::memcmp(dest_, "abcdabcd", 8), 0);
    EXPECT_TRUE(DestIs('#', 8, sizeof(dest_)));
}

// A refused copy zero-fills the destination when its size is usable, and leaves it untouched when not.
TEST_F(BoundsTest, MemcpyRefusals)
{
    const struct {
        size_t at, destMax;
        const void *src;
        size_t count;
        size_t zeroTo;   // zeros in [at, zeroTo), '#' behind
        bool overlapping; // the source is the destination buffer's own start
    } cases[] = {
        {0, 8, "abcdefghi", 9, 8, false},
        {0, 8, nullptr, 4, 8, false},
        {0, ZELM_RSIZE_MAX + 1, "ab", 2, 0, false},
        {0, 8, "ab", ZELM_RSIZE_MAX + 1, 8, false},
        {2, 8, nullptr, 4, 10, true},
    };
    for (const auto &c : cases) {
        std::memset(dest_, '#', sizeof(dest_));
        const void *src = c.overlapping ? dest_ : c.src;
        EXPECT_NE(memcpy_s(dest_ + c.at, c.destMax, src, c.count), 0) << c.count;
        EXPECT_TRUE(DestIs('\0', c.at, c.zeroTo)) << c.count;
        EXPECT_TRUE(DestIs('#', c.zeroTo > c.at ? c.zeroTo : 0, sizeof(dest_))) << c.count;
    }
    EXPECT_NE(memcpy_s(nullptr, 8, "abcd", 4), 0);
}

TEST_F(BoundsTest, MemsetFillsUpToTheDestinationAndRefusesBeyondIt)
{
    EXPECT_EQ(memset_s(dest_, 8, 0, 8), 0);
    EXPECT_TRUE(DestIs('\0', 0, 8));
    EXPECT_NE(memset_s(dest_, 10, 'x', 12), 0);
    EXPECT_TRUE(DestIs('x', 0, 10));
    EXPECT_NE(memset_s(dest_, 4, 'y', ZELM_RSIZE_MAX + 1), 0);
    EXPECT_TRUE(DestIs('y', 0, 4));
    EXPECT_TRUE(DestIs('#', 10, sizeof(dest_)));
    EXPECT_NE(memset_s(dest_ + 10, ZELM_RSIZE_MAX + 1, 0, 4), 0);
    EXPECT_TRUE(DestIs('#', 10, sizeof(dest_)));
    EXPECT_NE(memset_s(nullptr, 8, 0, 8), 0);
}

TEST_F(BoundsTest, StrcpyCopiesAStringThatFitsWithItsTerminator)
{
    EXPECT_EQ(strcpy_s(dest_, 6, "hello"), 0);
    EXPECT_STREQ(dest_, "hello");
}

TEST_F(BoundsTest, StrcpyRefusals)
{
    EXPECT_NE(strcpy_s(dest_, 5, "hello"), 0) << "no room for the terminator";
    EXPECT_EQ(dest_[0], '\0');
    EXPECT_TRUE(DestIs('#', 1, sizeof(dest_)));
    dest_[0] = '#';
    EXPECT_NE(strcpy_s(dest_, 8, nullptr), 0);
    EXPECT_EQ(dest_[0], '\0');
    dest_[0] = '#';
    EXPECT_NE(strcpy_s(dest_, 0, "a"), 0);
    EXPECT_NE(strcpy_s(dest_, ZELM_RSIZE_MAX + 1, "a"), 0);
    EXPECT_TRUE(DestIs('#', 0, sizeof(dest_))) << "an unusable size leaves the destination untouched";
    EXPECT_NE(strcpy_s(nullptr, 8, "a"), 0);
    std::memcpy(dest_, "abc", 4);
    EXPECT_NE(strcpy_s(dest_ + 2, 8, dest_), 0) << "overlap";
    EXPECT_EQ(dest_[2], '\0');
}

// Armed failures are refusals: the n-th call once, or every call from the n-th on, counted by name.
TEST_F(BoundsTest, InjectedFailuresRefuseTheNthCallOnceOrFromThenOn)
{
    ASSERT_EQ(STANDIN_FailCall("memcpy_s", 2, 7), 0);
    EXPECT_EQ(memcpy_s(dest_, 4, "abcd", 4), 0);
    EXPECT_EQ(memcpy_s(dest_, 4, "abcd", 4), 7);
    EXPECT_TRUE(DestIs('\0', 0, 4));
    EXPECT_EQ(memcpy_s(dest_, 4, "abcd", 4), 0);
    EXPECT_EQ(STANDIN_CallCount("memcpy_s"), 3u);

    ASSERT_EQ(STANDIN_FailFrom("strcpy_s", 2, 0), 0);
    EXPECT_EQ(strcpy_s(dest_, 8, "a"), 0);
    EXPECT_NE(strcpy_s(dest_, 8, "b"), 0);
    EXPECT_NE(strcpy_s(dest_, 8, "c"), 0);
    STANDIN_FailClear("strcpy_s");
    EXPECT_EQ(strcpy_s(dest_, 8, "d"), 0);

    EXPECT_NE(STANDIN_FailCall("QOF_FreeMsg", 1, 1), 0) << "a release has no failure to report";
    EXPECT_NE(STANDIN_FailCall("no_such_function", 1, 1), 0);
    EXPECT_NE(STANDIN_FailFrom("memset_s", 0, 1), 0);
}

// The shim in this executable routes strdup, strndup and free through the stand-in.
TEST_F(BoundsTest, TextCopiesAreCountedUntilFreedAndCanFail)
{
    const size_t live = STANDIN_TextCopiesLive();
    char *a = strdup("text");
    char *b = strndup("unterminated", 4);
    EXPECT_STREQ(b, "unte");
    EXPECT_EQ(STANDIN_TextCopiesLive(), live + 2);
    free(a);
    EXPECT_EQ(STANDIN_TextCopiesLive(), live + 1);
    ASSERT_EQ(STANDIN_FailCall("strndup", 1, 0), 0);
    EXPECT_EQ(strndup("x", 1), nullptr);
    STANDIN_Reset();
    EXPECT_EQ(STANDIN_TextCopiesLive(), live + 1) << "a reset keeps what is still out there";
    free(b);
    EXPECT_EQ(STANDIN_TextCopiesLive(), live);
}

}  // namespace
