#include "conversions.h"
#include "runtime_error.h"

#include <gtest/gtest.h>
#include <limits>

namespace vantrel {
namespace {

int32_t ErrorOf(auto&& convert) {
    try {
        convert();
    } catch (const RuntimeError& error) {
        return error.number();
    }
    return 0;
}

TEST(Conversions, RoundHalfToEvenBothWays) {
    EXPECT_EQ(CInt(0.5), 0);
    EXPECT_EQ(CInt(-0.5), 0);
    EXPECT_EQ(CInt(1.5), 2);
    EXPECT_EQ(CInt(-1.5), -2);
    EXPECT_EQ(CInt(2.5), 2);
    EXPECT_EQ(CInt(7.5), 8);
    EXPECT_EQ(CInt(127.5), 128);
    EXPECT_EQ(CInt(2.5000001), 3);
    EXPECT_EQ(CLng(-2.5), -2);
    EXPECT_EQ(CLng(3.5), 4);
}

TEST(Conversions, SixteenBitLimitsJustInsideAndJustOutside) {
    EXPECT_EQ(CInt(32767.0), 32767);
    EXPECT_EQ(CInt(32767.49), 32767);
    EXPECT_EQ(CInt(-32768.0), -32768);
    EXPECT_EQ(CInt(-32768.5), -32768); // the tie goes to the even -32768
    EXPECT_EQ(ErrorOf([] { CInt(32767.5); }), errors::kOverflow);
    EXPECT_EQ(ErrorOf([] { CInt(-32768.51); }), errors::kOverflow);
    EXPECT_EQ(ErrorOf([] { CInt(std::numeric_limits<double>::quiet_NaN()); }), errors::kOverflow);
    EXPECT_EQ(ErrorOf([] { CInt(std::numeric_limits<double>::infinity()); }), errors::kOverflow);
}

TEST(Conversions, ThirtyTwoBitLimits) {
    EXPECT_EQ(CLng(2147483647.0), 2147483647);
    EXPECT_EQ(CLng(-2147483648.5), -2147483647 - 1);
    EXPECT_EQ(ErrorOf([] { CLng(2147483647.5); }), errors::kOverflow);
    EXPECT_EQ(ErrorOf([] { CLng(286650.0f * 1e6); }), errors::kOverflow);
}

TEST(Conversions, IntegerPartRoundsDown) {
    EXPECT_EQ(Int(9.5), 9);
    EXPECT_EQ(Int(9.999999), 9);
    EXPECT_EQ(Int(-0.5), -1);
    EXPECT_EQ(Int(-2.0), -2);
}

} // namespace
} // namespace vantrel
