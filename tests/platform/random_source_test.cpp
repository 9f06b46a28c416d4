#include "random_source.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(RandomSource, EveryFreshSourceDrawsTheSameSequence) {
    RandomSource first, second;
    for (int draw = 0; draw < 10000; ++draw) ASSERT_EQ(first.Next(), second.Next()) << "draw " << draw;
}

TEST(RandomSource, WholePeriodStaysInsideZeroToOneAndCoversBothEnds) {
    RandomSource source;
    float lowest = 1.0f, highest = 0.0f;
    for (int draw = 0; draw < (1 << 24); ++draw) {
        const float value = source.Next();
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
    }
    EXPECT_EQ(lowest, 0.0f);
    EXPECT_LT(highest, 1.0f);
    EXPECT_GT(highest, 0.9999f);
}

} // namespace
} // namespace vantrel
