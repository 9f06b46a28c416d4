#include "media_control.h"

#include "mci_error.h"
#include "mci_send_string.h"
#include "mp3_length.h"
#include "music_test_support.h"
#include "short_path.h"
#include "silent_media_backend.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel {
namespace {

using testing::FixtureTrack;

constexpr int64_t kNsPerMs = 1'000'000;

// The media device on the silent backend, driven by a hand-moved clock.
class MediaControlTest : public ::testing::Test {
protected:
    uint32_t Send(const std::string& command) { return media.Send(command, nullptr, 0); }

    std::string Ask(const std::string& command, uint32_t size = 255) {
        std::string reply(size, 'x');
        m_lastCode = media.Send(command, reply.data(), size);
        return reply.substr(0, reply.find('\0'));
    }

    void OpenFixture() {
        ASSERT_EQ(Send("open " + EncodeShortPath(FixtureTrack().string()) + " type mpegvideo alias untilthedub"),
                  mci::kSuccess);
    }

    void AdvanceMs(int64_t ms) { clock.Advance(ms * kNsPerMs); }

    ManualClock clock;
    MediaControl media{std::make_unique<SilentMediaBackend>(clock)};
    const int64_t fixtureLengthMs = MeasureMp3File(FixtureTrack().string())->LengthMs();
    uint32_t m_lastCode = 0;
};

TEST_F(MediaControlTest, PositionRunsToExactlyTheLengthAndStaysThereUntilPlayedFromTheStart) {
    OpenFixture();
    const std::string length = std::to_string(fixtureLengthMs);
    EXPECT_EQ(Ask("status untilthedub length"), length);
    EXPECT_EQ(Ask("status untilthedub position"), "0"); // opened, not yet playing
    Send("play untilthedub");
    AdvanceMs(fixtureLengthMs - 1);
    EXPECT_EQ(Ask("status untilthedub position"), std::to_string(fixtureLengthMs - 1));
    AdvanceMs(1);
    EXPECT_EQ(Ask("status untilthedub position"), length);
    AdvanceMs(60'000);
    Send("play untilthedub"); // playing on from the end stays at the end
    EXPECT_EQ(Ask("status untilthedub position"), length);
    EXPECT_EQ(Send("play untilthedub from 0"), mci::kSuccess);
    EXPECT_EQ(Ask("status untilthedub position"), "0");
    AdvanceMs(250);
    EXPECT_EQ(Ask("status untilthedub position"), "250");
}

TEST_F(MediaControlTest, StopHoldsThePositionAndPlayGoesOnFromThere) {
    OpenFixture();
    Send("play untilthedub");
    AdvanceMs(300);
    EXPECT_EQ(Send("stop untilthedub"), mci::kSuccess);
    AdvanceMs(1000);
    EXPECT_EQ(Ask("status untilthedub position"), "300");
    Send("play untilthedub");
    AdvanceMs(200);
    Send("play untilthedub"); // already playing: goes on undisturbed
    AdvanceMs(100);
    EXPECT_EQ(Ask("status untilthedub position"), "600");
}

TEST_F(MediaControlTest, KeepsOneTrackPerAliasAndForgetsItOnClose) {
    EXPECT_EQ(Send("play untilthedub"), mci::kInvalidDeviceName);
    OpenFixture();
    Send("play untilthedub");
    AdvanceMs(400);
    const std::string again = "open " + EncodeShortPath(FixtureTrack().string()) + " type mpegvideo alias untilthedub";
    EXPECT_EQ(Send(again), mci::kDuplicateAlias);
    EXPECT_EQ(Ask("status untilthedub position"), "400"); // the open track was not disturbed
    EXPECT_EQ(Send("close untilthedub"), mci::kSuccess);
    EXPECT_EQ(Ask("status untilthedub position"), "");
    EXPECT_EQ(m_lastCode, mci::kInvalidDeviceName);
    EXPECT_EQ(Send("close untilthedub"), mci::kInvalidDeviceName);
    EXPECT_EQ(Send(again), mci::kSuccess);
    EXPECT_EQ(Send("open /no/such/file.mp3 type mpegvideo alias untilthedub"), mci::kDuplicateAlias);
}

TEST_F(MediaControlTest, WritesAReplyOnlyWholeAndLeavesNoReplyTextOnFailure) {
    OpenFixture();
    const std::string length = std::to_string(fixtureLengthMs);
    const auto fits = static_cast<uint32_t>(length.size() + 1);
    EXPECT_EQ(Ask("status untilthedub length", fits), length);
    EXPECT_EQ(m_lastCode, mci::kSuccess);
    EXPECT_EQ(Ask("status untilthedub length", fits - 1), "");
    EXPECT_EQ(m_lastCode, mci::kParamOverflow);
    EXPECT_EQ(Ask("status untilthedub mode"), "");
    EXPECT_EQ(m_lastCode, mci::kUnrecognizedCommand);
    EXPECT_EQ(media.Send("status untilthedub length", nullptr, 255), mci::kParamOverflow);
    char untouched = 'x';
    EXPECT_EQ(media.Send("status untilthedub length", &untouched, 0), mci::kParamOverflow);
    EXPECT_EQ(untouched, 'x');
    EXPECT_EQ(media.Send(static_cast<const char*>(nullptr), nullptr, 0), mci::kMissingCommandString);
}

TEST_F(MediaControlTest, APlannedFailureCarriesNothingOutAndGivesNoReply) {
    testing::HeadlessRuntime headless(QSize(320, 240), 1.0, &media);
    OpenFixture();
    headless.runtime.monitor().FailOnUse(Service::MediaCommand, 2);
    EXPECT_EQ(mciSendStringA(headless.runtime, "play untilthedub", nullptr, 0, nullptr), mci::kSuccess);
    std::string reply(255, 'x');
    EXPECT_NE(mciSendStringA(headless.runtime, "play untilthedub from 0", reply.data(), 255, nullptr), 0u);
    EXPECT_EQ(reply[0], '\0');
    AdvanceMs(700);
    EXPECT_EQ(mciSendStringA(headless.runtime, "status untilthedub position", reply.data(), 255, nullptr), 0u);
    EXPECT_STREQ(reply.c_str(), "700"); // the refused restart did not happen
}

} // namespace
} // namespace vantrel
