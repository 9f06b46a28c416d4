#include "status_reply.h"

#include "runtime_error.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace vantrel {
namespace {

using namespace std::string_literals;

TEST(StatusReply, WritesNumbersWithSignPlaceAndWithoutLeadingZeros) {
    const std::pair<std::string, std::string> cases[] = {
        {"2000", " 2000"}, {"0", " 0"},       {"-5", "-5"},         {"-0", " 0"},        {"+7", " 7"},
        {" 12", " 12"},    {"\t12 \t", " 12"}, {"007", " 7"},        {"000", " 0"},       {"4.5", " 4.5"},
        {"007.50", " 7.5"}, {"-0.000", " 0"}, {".5", " 0.5"},       {"3.", " 3"},        {"-.25", "-0.25"},
    };
    for (const auto& [reply, expected] : cases) EXPECT_EQ(NormalizeStatusReply(reply), expected) << reply;
}

TEST(StatusReply, ReadsOnlyUpToTheFirstNul) {
    std::string buffer(255, '\0');
    buffer.replace(0, 4, "1234");
    buffer.replace(10, 3, "999"); // a stale tail after the NUL is not part of the reply
    EXPECT_EQ(NormalizeStatusReply(buffer), " 1234");
    EXPECT_EQ(NormalizeStatusReply("17\0x"s), " 17");
}

TEST(StatusReply, RefusesWhatIsNotAPlainDecimalNumberWithTypeMismatch) {
    const std::string cases[] = {"",   std::string(255, '\0'), "abc", "1x", "1 2", "1,000", "1e3", "-",
                                 "+",  ".",                    "  ",  "--1", "1.2.3", "0x10", "\0" "12"s, "12\n"};
    for (const std::string& reply : cases) {
        try {
            NormalizeStatusReply(reply);
            ADD_FAILURE() << "accepted: " << reply;
        } catch (const RuntimeError& failure) {
            EXPECT_EQ(failure.number(), errors::kTypeMismatch);
            EXPECT_EQ(failure.description(), "Type mismatch");
        }
    }
}

TEST(StatusReply, HandlesNumbersFarBeyondAnyMachineNumber) {
    const std::string huge = std::string(5000, '9') + "." + std::string(5000, '1');
    EXPECT_EQ(NormalizeStatusReply("-" + std::string(3000, '0') + huge + "000"), "-" + huge);
    EXPECT_EQ(NormalizeStatusReply(std::string(100000, '0')), " 0");
}

} // namespace
} // namespace vantrel
