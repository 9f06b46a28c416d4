#include "media_command.h"

#include "mci_error.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace vantrel {
namespace {

TEST(MediaCommand, AcceptsTheSevenCommandsWithAnyKeywordCaseAndBlankRuns) {
    const std::pair<std::string, MediaVerb> cases[] = {
        {"open /m/a.mp3 type mpegvideo alias untilthedub", MediaVerb::Open},
        {"OPEN /m/a.mp3 Type MPEGVideo ALIAS UntilTheDub", MediaVerb::Open},
        {"play untilthedub", MediaVerb::Play},
        {"  play \t untilthedub  ", MediaVerb::Play},
        {"play untilthedub from 0", MediaVerb::PlayFromStart},
        {"status untilthedub length", MediaVerb::StatusLength},
        {"Status UNTILTHEDUB Position", MediaVerb::StatusPosition},
        {"stop untilthedub", MediaVerb::Stop},
        {"close untilthedub", MediaVerb::Close},
    };
    for (const auto& [text, verb] : cases) {
        const ParsedMediaCommand parsed = ParseMediaCommand(text);
        EXPECT_EQ(parsed.error, mci::kSuccess) << text;
        EXPECT_EQ(parsed.command.verb, verb) << text;
        EXPECT_EQ(parsed.command.alias, "untilthedub") << text;
    }
}

TEST(MediaCommand, DecodesTheShortPathAndKeepsItsCase) {
    const ParsedMediaCommand parsed = ParseMediaCommand("open /Opt/My%20Dir/%25x%09y.MP3 type mpegvideo alias untilthedub");
    ASSERT_EQ(parsed.error, mci::kSuccess);
    EXPECT_EQ(parsed.command.path, "/Opt/My Dir/%x\ty.MP3");
}

TEST(MediaCommand, RefusesEverythingElse) {
    const std::string cases[] = {
        "open  type mpegvideo alias untilthedub", // no path: one word short
        "open a b type mpegvideo alias untilthedub",
        "open /a type waveaudio alias untilthedub",
        "open /a type mpegvideo alias other",
        "open /a alias untilthedub type mpegvideo",
        "open /a type mpegvideo alias untilthedub wait",
        "play untilthedub from 1",
        "play untilthedub from 00",
        "play untilthedub from",
        "play untilthedub to 0",
        "play other",
        "play",
        "status untilthedub",
        "status untilthedub mode",
        "status untilthedub length position",
        "stop untilthedub now",
        "close untilthedub all",
        "close all",
        "seek untilthedub to start",
        "pause untilthedub",
        "play\nuntilthedub",
        "play untilthedubx",
    };
    for (const std::string& text : cases) EXPECT_NE(ParseMediaCommand(text).error, mci::kSuccess) << text;
}

TEST(MediaCommand, RefusesMalformedEscapesAndEmptyTexts) {
    for (const char* path : {"/a%2", "/a%", "/a%zz", "/a%00b"}) {
        const std::string text = std::string("open ") + path + " type mpegvideo alias untilthedub";
        EXPECT_EQ(ParseMediaCommand(text).error, mci::kInvalidFile) << text;
    }
    using namespace std::string_literals;
    const std::string rawNul = "open /etc/x\0.mp3 type mpegvideo alias untilthedub"s; // would open /etc/x
    EXPECT_EQ(ParseMediaCommand(rawNul).error, mci::kInvalidFile);
    EXPECT_EQ(ParseMediaCommand("").error, mci::kMissingCommandString);
    EXPECT_EQ(ParseMediaCommand(" \t ").error, mci::kMissingCommandString);
}

} // namespace
} // namespace vantrel
