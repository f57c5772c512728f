// Bounded copy and fill functions: what they copy, and what they refuse and leave behind.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/bounds.h"
#include "support/zelm_test.h"

namespace {

class BoundsTest : public StandinTest {
protected:
    void SetUp() override
    {
        StandinTest::SetUp();
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

TEST_F(BoundsTest, MemcpyCopiesWhatFits)
{
    EXPECT_EQ(memcpy_s(dest_, 8, "abcdefgh", 8), 0);
    EXPECT_EQ(std::memcmp(dest_, "abcdefgh", 8), 0);
    EXPECT_TRUE(DestIs('#', 8, sizeof(dest_)));
    EXPECT_EQ(memcpy_s(dest_, 8, "zz", 0), 0);
    EXPECT_EQ(dest_[0], 'a');
}

TEST_F(BoundsTest, MemcpyRefusesMoreThanTheDestinationAndZeroFillsIt)
{
    EXPECT_NE(memcpy_s(dest_, 8, "abcdefghi", 9), 0);
    EXPECT_TRUE(DestIs('\0', 0, 8));
    EXPECT_TRUE(DestIs('#', 8, sizeof(dest_)));
}

TEST_F(BoundsTest, MemcpyRefusesANullSourceAndZeroFills)
{
    EXPECT_NE(memcpy_s(dest_, 8, nullptr, 4), 0);
    EXPECT_TRUE(DestIs('\0', 0, 8));
    EXPECT_NE(memcpy_s(nullptr, 8, "abcd", 4), 0);
}

TEST_F(BoundsTest, MemcpyRefusesOverlapAndSizesAboveTheLimit)
{
    std::memcpy(dest_, "0123456789", 10);
    EXPECT_NE(memcpy_s(dest_ + 2, 8, dest_, 4), 0);
    EXPECT_TRUE(DestIs('\0', 2, 10));
    std::memset(dest_, '#', sizeof(dest_));
    EXPECT_NE(memcpy_s(dest_, ZELM_RSIZE_MAX + 1, "ab", 2), 0);
    EXPECT_TRUE(DestIs('#', 0, sizeof(dest_))); // the destination's size is not usable: untouched
    EXPECT_NE(memcpy_s(dest_, 8, "ab", ZELM_RSIZE_MAX + 1), 0);
    EXPECT_TRUE(DestIs('\0', 0, 8));
}

TEST_F(BoundsTest, MemcpyAllowsAdjacentBuffers)
{
    std::memcpy(dest_, "abcd", 4);
    EXPECT_EQ(memcpy_s(dest_ + 4, 4, dest_, 4), 0);
    EXPECT_EQ(std::memcmp(dest_, "abcdabcd", 8), 0);
}

TEST_F(BoundsTest, MemsetFillsAndRefusesBeyondTheDestinationAfterFillingIt)
{
    EXPECT_EQ(memset_s(dest_, 8, 0, 8), 0);
    EXPECT_TRUE(DestIs('\0', 0, 8));
    EXPECT_TRUE(DestIs('#', 8, sizeof(dest_)));
    EXPECT_NE(memset_s(dest_, 10, 'x', 12), 0);
    EXPECT_TRUE(DestIs('x', 0, 10));
    EXPECT_TRUE(DestIs('#', 10, sizeof(dest_)));
}

TEST_F(BoundsTest, MemsetRefusesNullAndUnusableSizes)
{
    EXPECT_NE(memset_s(nullptr, 8, 0, 8), 0);
    EXPECT_NE(memset_s(dest_, ZELM_RSIZE_MAX + 1, 0, 4), 0);
    EXPECT_TRUE(DestIs('#', 0, sizeof(dest_)));
    EXPECT_NE(memset_s(dest_, 4, 'y', ZELM_RSIZE_MAX + 1), 0);
    EXPECT_TRUE(DestIs('y', 0, 4));
    EXPECT_TRUE(DestIs('#', 4, sizeof(dest_)));
}

TEST_F(BoundsTest, StrcpyCopiesAStringThatFitsWithItsTerminator)
{
    EXPECT_EQ(strcpy_s(dest_, 6, "hello"), 0);
    EXPECT_STREQ(dest_, "hello");
    EXPECT_EQ(strcpy_s(dest_, 1, ""), 0);
    EXPECT_STREQ(dest_, "");
}

TEST_F(BoundsTest, StrcpyRefusesAStringWithoutRoomForItsTerminator)
{
    EXPECT_NE(strcpy_s(dest_, 5, "hello"), 0);
    EXPECT_EQ(dest_[0], '\0');
    EXPECT_TRUE(DestIs('#', 1, sizeof(dest_)));
}

TEST_F(BoundsTest, StrcpyRefusesNullsZeroSizeAndOverlap)
{
    EXPECT_NE(strcpy_s(dest_, 8, nullptr), 0);
    EXPECT_EQ(dest_[0], '\0');
    std::memset(dest_, '#', sizeof(dest_));
    EXPECT_NE(strcpy_s(dest_, 0, "a"), 0);
    EXPECT_NE(strcpy_s(dest_, ZELM_RSIZE_MAX + 1, "a"), 0);
    EXPECT_TRUE(DestIs('#', 0, sizeof(dest_)));
    EXPECT_NE(strcpy_s(nullptr, 8, "a"), 0);
    std::memcpy(dest_, "abc", 4);
    EXPECT_NE(strcpy_s(dest_ + 2, 8, dest_), 0);
    EXPECT_EQ(dest_[2], '\0');
}

}  // namespace
