#include "short_name.h"

#include "music_test_support.h"
#include "short_path.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel {
namespace {

using testing::TempDir;

// A file in `dir` whose name makes the whole path's short form exactly
// `shortLength` characters; `blanks` of the name's characters are blanks,
// which the short form spells in three.
std::string FileWithShortFormOf(const TempDir& dir, size_t shortLength, size_t blanks = 0) {
    const std::string base = dir.path().string() + "/";
    std::string name(blanks, ' ');
    name += std::string(shortLength - base.size() - 3 * blanks, 'a');
    const std::string path = base + name;
    testing::WriteBytes(path, {});
    return path;
}

TEST(ShortPath, EncodingSurvivesEveryByteAndLeavesNoBlankOrControl) {
    std::string path;
    for (int byte = 1; byte < 256; ++byte) path += static_cast<char>(byte);
    const std::string encoded = EncodeShortPath(path);
    for (const char c : encoded) EXPECT_GT(static_cast<unsigned char>(c), 0x20);
    EXPECT_EQ(DecodeShortPath(encoded), path);
    EXPECT_EQ(EncodeShortPath("/Mùsica/Até Já%.mp3"), "/Mùsica/Até%20Já%25.mp3");
    EXPECT_EQ(DecodeShortPath("%2a%2A"), "**");
}

TEST(ShortPath, FillsTheBufferOnlyWhenTheShortFormFits) {
    const TempDir dir;
    const std::string path = FileWithShortFormOf(dir, 60, 2);
    std::string buffer(61, '#');
    EXPECT_EQ(GetShortPathNameA(path.c_str(), buffer.data(), 61), 60u);
    EXPECT_EQ(buffer.c_str(), EncodeShortPath(path));
    std::string small(60, '#');
    EXPECT_EQ(GetShortPathNameA(path.c_str(), small.data(), 60), 61u); // the size needed, NUL included
    EXPECT_EQ(small, std::string(60, '#'));
    EXPECT_EQ(GetShortPathNameA(path.c_str(), nullptr, 255), 61u);
    EXPECT_EQ(GetShortPathNameA((dir.path() / "missing.mp3").c_str(), buffer.data(), 61), 0u);
    EXPECT_EQ(GetShortPathNameA("", buffer.data(), 61), 0u);
    EXPECT_EQ(GetShortPathNameA(nullptr, buffer.data(), 61), 0u);
}

TEST(ShortName, ReturnsAFittingShortFormWholeAndNothingThatDoesNotFit) {
    testing::HeadlessRuntime headless;
    const TempDir dir;
    const std::string fits = FileWithShortFormOf(dir, 254);
    EXPECT_EQ(GetShortName(headless.runtime, fits), fits);
    EXPECT_EQ(GetShortName(headless.runtime, FileWithShortFormOf(dir, 255)), "");
    const std::string withBlanks = FileWithShortFormOf(dir, 255, 5); // 245 characters long, 255 short
    EXPECT_EQ(GetShortName(headless.runtime, withBlanks), "");
    const std::string caller = (dir.path() / "missing file.mp3").string();
    const std::string before = caller;
    EXPECT_EQ(GetShortName(headless.runtime, caller), "");
    EXPECT_EQ(caller, before);
    EXPECT_TRUE(headless.messages.shown.empty());
}

} // namespace
} // namespace vantrel
