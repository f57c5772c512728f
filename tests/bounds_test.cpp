// Bounded copy and fill functions and the failure-injection table: what they copy, refuse and leave behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/bounds.h"
#include "support/text_copies.h"
#include "zelm_standin.h"

namespace {

class BoundsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        STANDIN_Reset();
        Fill();
    }
    void TearDown() override { STANDIN_Reset(); }
    void Fill() { std::memset(d_, '#', sizeof(d_)); }
    // The destination buffer, a zero byte shown as '0'.
    std::string Dest() const
    {
        std::string s(d_, sizeof(d_));
        for (char &c : s) {
            c = (c == '\0') ? '0' : c;
        }
        return s;
    }
    char d_[16];
};

// A refused copy zero-fills the destination when its size is usable, and leaves it untouched when not.
TEST_F(BoundsTest, MemcpyCopiesWhatFitsAndRefusesTheRest)
{
    EXPECT_EQ(memcpy_s(d_, 4, "abcd", 4), 0);
    EXPECT_EQ(memcpy_s(d_ + 4, 4, d_, 4), 0);  // adjacent, not overlapping
    EXPECT_EQ(Dest(), "abcdabcd########");
    const struct {
        size_t at, max;
        const void *src;
        size_t count;
        const char *after;
    } refusals[] = {
        {0, 8, "abcdefghi", 9, "00000000########"},
        {0, 8, nullptr, 4, "00000000########"},
        {0, ZELM_RSIZE_MAX + 1, "ab", 2, "################"},
        {0, 8, "ab", ZELM_RSIZE_MAX + 1, "00000000########"},
        {2, 8, d_, 4, "##00000000######"},  // overlapping
    };
    for (const auto &r : refusals) {
        Fill();
        EXPECT_NE(memcpy_s(d_ + r.at, r.max, r.src, r.count), 0) << r.after;
        EXPECT_EQ(Dest(), r.after);
    }
    EXPECT_NE(memcpy_s(nullptr, 8, "abcd", 4), 0);
}

TEST_F(BoundsTest, MemsetFillsUpToTheDestinationAndStrcpyCopiesOnlyWhatFitsWithItsTerminator)
{
    EXPECT_EQ(memset_s(d_, 8, 0, 8), 0);
    EXPECT_NE(memset_s(d_, 10, 'x', 12), 0);
    EXPECT_NE(memset_s(d_, 4, 'y', ZELM_RSIZE_MAX + 1), 0);
    EXPECT_NE(memset_s(d_ + 10, ZELM_RSIZE_MAX + 1, 0, 4), 0);
    EXPECT_NE(memset_s(nullptr, 8, 0, 8), 0);
    EXPECT_EQ(Dest(), "yyyyxxxxxx######");

    EXPECT_EQ(strcpy_s(d_, 6, "hello"), 0);
    EXPECT_EQ(Dest(), "hello0xxxx######");
    EXPECT_NE(strcpy_s(d_, 5, "hello"), 0) << "no room for the terminator";
    EXPECT_EQ(Dest(), "0ello0xxxx######");
    EXPECT_NE(strcpy_s(d_ + 1, 8, nullptr), 0);
    EXPECT_NE(strcpy_s(d_ + 2, 8, d_ + 3), 0) << "overlapping";
    EXPECT_EQ(Dest(), "000lo0xxxx######");
    Fill();
    EXPECT_NE(strcpy_s(d_, 0, "a"), 0);
    EXPECT_NE(strcpy_s(d_, ZELM_RSIZE_MAX + 1, "a"), 0);
    EXPECT_NE(strcpy_s(nullptr, 8, "a"), 0);
    EXPECT_EQ(Dest(), "################") << "an unusable size leaves the destination untouched";
}

// Armed failures are refusals: the n-th call once, or every call from the n-th on, counted by name.
TEST_F(BoundsTest, InjectedFailuresRefuseTheNthCallOnceOrFromThenOn)
{
    ASSERT_EQ(STANDIN_FailCall("memcpy_s", 2, 7), 0);
    EXPECT_EQ(memcpy_s(d_, 4, "abcd", 4), 0);
    EXPECT_EQ(memcpy_s(d_, 4, "abcd", 4), 7);
    EXPECT_EQ(Dest().substr(0, 5), "0000#");
    EXPECT_EQ(memcpy_s(d_, 4, "abcd", 4), 0);
    EXPECT_EQ(STANDIN_CallCount("memcpy_s"), 3u);

    ASSERT_EQ(STANDIN_FailFrom("strcpy_s", 2, 0), 0);
    EXPECT_EQ(strcpy_s(d_, 8, "a"), 0);
    EXPECT_NE(strcpy_s(d_, 8, "b"), 0);
    EXPECT_NE(strcpy_s(d_, 8, "c"), 0);
    STANDIN_FailClear("strcpy_s");
    EXPECT_EQ(strcpy_s(d_, 8, "d"), 0);

    EXPECT_NE(STANDIN_FailCall("QOF_FreeMsg", 1, 1), 0) << "a release has no failure to report";
    EXPECT_NE(STANDIN_FailCall("no_such_function", 1, 1), 0);
    EXPECT_NE(STANDIN_FailFrom("memset_s", 0, 1), 0);
}

// The shim in this executable counts strdup and strndup copies until freed, and fails them through the stand-in.
TEST_F(BoundsTest, TextCopiesAreCountedUntilFreedAndCanFail)
{
    const size_t live = zt::TextCopiesLive();
    char *a = strdup("text");
    char *b = strndup("unterminated", 4);
    EXPECT_STREQ(b, "unte");
    EXPECT_EQ(zt::TextCopiesLive(), live + 2);
    free(a);
    EXPECT_EQ(zt::TextCopiesLive(), live + 1);
    ASSERT_EQ(STANDIN_FailCall("strndup", 1, 0), 0);
    EXPECT_EQ(strndup("x", 1), nullptr);
    STANDIN_Reset();
    EXPECT_EQ(zt::TextCopiesLive(), live + 1) << "a reset keeps what is still out there";
    free(b);
    EXPECT_EQ(zt::TextCopiesLive(), live);
}

}  // namespace
