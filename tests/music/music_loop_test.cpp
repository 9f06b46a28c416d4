#include "music_loop.h"

#include "mci_error.h"
#include "media_control.h"
#include "music_test_support.h"
#include "silent_media_backend.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

using Log = std::vector<std::string>;

const char* const kLoadTypeMismatch = "Unexpected error in procedure: Form_Load\r\nError #13: Type mismatch";
const char* const kTickTypeMismatch = "Unexpected error in procedure: tmrReplay_Timer\r\nError #13: Type mismatch";

// The handlers over a recording fake device, in a directory that holds a
// (content-free) track file.
class MusicLoopTest : public ::testing::Test {
protected:
    explicit MusicLoopTest(const char* appPathSuffix = "") : m_appPath(dir.path().string() + appPathSuffix) {
        testing::WriteBytes(dir.path() / testing::kTrackFileName, {});
    }

    Log TakeLog() { return std::exchange(device.log, {}); }
    const std::vector<RecordingMessageBox::Shown>& shown() const { return headless.messages.shown; }

    testing::TempDir dir;
    std::string m_appPath;
    testing::FakeDevice device;
    MediaControl media{std::make_unique<testing::FakeBackend>(device)};
    testing::HeadlessRuntime headless{QSize(320, 240), 1.0, &media, m_appPath};
    MusicLoop loop{headless.runtime};
};

TEST_F(MusicLoopTest, LoadOpensTheTrackBesideTheProgramPlaysItThenKeepsItsLength) {
    EXPECT_EQ(loop.sLength(), "");
    loop.Form_Load();
    EXPECT_EQ(TakeLog(), (Log{"open " + dir.path().string() + "/Until The Dub.mp3", "play", "length"}));
    EXPECT_EQ(loop.sLength(), " 2000");
    EXPECT_TRUE(shown().empty());
}

TEST_F(MusicLoopTest, RestartsOnlyWhenThePositionIsExactlyTheLength) {
    loop.Form_Load();
    TakeLog();
    for (const int64_t position : {0, 1999, 2000, 1}) {
        device.positionMs = position;
        loop.tmrReplay_Timer();
    }
    EXPECT_EQ(TakeLog(), (Log{"position", "position", "position", "play from 0", "position"}));
    EXPECT_EQ(loop.sLength(), " 2000");
    EXPECT_TRUE(shown().empty());
}

TEST_F(MusicLoopTest, AFailedOpenLeavesNoLengthNeverRestartsAndStillStopsAndCloses) {
    device.opens = false;
    loop.Form_Load();
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].prompt, kLoadTypeMismatch);
    EXPECT_EQ(loop.sLength(), "");
    loop.tmrReplay_Timer();
    ASSERT_EQ(shown().size(), 2u);
    EXPECT_EQ(shown()[1].prompt, kTickTypeMismatch);
    loop.Form_Unload(); // the refused stop and close report nothing
    EXPECT_EQ(shown().size(), 2u);
    EXPECT_EQ(TakeLog(), Log{"open " + dir.path().string() + "/Until The Dub.mp3"});
}

TEST_F(MusicLoopTest, UnloadStopsThenClosesTheTrack) {
    loop.Form_Load();
    TakeLog();
    loop.Form_Unload();
    EXPECT_EQ(TakeLog(), (Log{"stop", "close"}));
    EXPECT_TRUE(shown().empty());
}

TEST_F(MusicLoopTest, AFailedLengthQueryIsReportedAfterTheTrackWasStarted) {
    headless.runtime.monitor().FailOnUse(Service::MediaCommand, 3);
    loop.Form_Load();
    EXPECT_EQ(TakeLog(), (Log{"open " + dir.path().string() + "/Until The Dub.mp3", "play"}));
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].prompt, kLoadTypeMismatch);
    EXPECT_EQ(shown()[0].title, "Vantrel Credits");
    EXPECT_EQ(loop.sLength(), "");
    device.positionMs = 2000;
    loop.tmrReplay_Timer(); // an empty length never equals a position
    EXPECT_EQ(TakeLog(), Log{"position"});
}

class MusicLoopTrailingSeparatorTest : public MusicLoopTest {
protected:
    MusicLoopTrailingSeparatorTest() : MusicLoopTest("/") {}
};

TEST_F(MusicLoopTrailingSeparatorTest, JoinsTheTrackNameAsItIsGivingTwoSeparators) {
    loop.Form_Load();
    EXPECT_EQ(TakeLog().front(), "open " + dir.path().string() + "//Until The Dub.mp3");
    EXPECT_EQ(loop.sLength(), " 2000");
}

// A day of replay polls on the silent device: the track restarts on the
// first poll at or after each end, and nothing is ever reported.
TEST(MusicLoopSoak, LoopsForADayOfPollsOnTheSilentDevice) {
    constexpr int64_t kNsPerMs = 1'000'000;
    constexpr int64_t kDayMs = 24LL * 60 * 60 * 1000;
    const testing::TempDir dir;
    std::filesystem::copy_file(testing::FixtureTrack(), dir.path() / testing::kTrackFileName);
    ManualClock deviceClock;
    MediaControl media(std::make_unique<SilentMediaBackend>(deviceClock));
    testing::HeadlessRuntime headless(QSize(320, 240), 1.0, &media, dir.path().string());
    MusicLoop loop(headless.runtime);
    loop.Form_Load();
    const int64_t lengthMs = std::stoll(loop.sLength());
    int64_t restarts = 0;
    int64_t lastPositionMs = 0;
    for (int64_t nowMs = MusicLoop::kReplayPeriodMs; nowMs <= kDayMs; nowMs += MusicLoop::kReplayPeriodMs) {
        deviceClock.Set(nowMs * kNsPerMs);
        loop.tmrReplay_Timer();
        std::string reply(255, '\0');
        media.Send("status untilthedub position", reply.data(), 255);
        const int64_t positionMs = std::stoll(reply);
        restarts += positionMs < lastPositionMs ? 1 : 0;
        lastPositionMs = positionMs;
    }
    const int64_t ticksPerLoop = (lengthMs + MusicLoop::kReplayPeriodMs - 1) / MusicLoop::kReplayPeriodMs;
    EXPECT_EQ(restarts, kDayMs / MusicLoop::kReplayPeriodMs / ticksPerLoop);
    EXPECT_TRUE(headless.messages.shown.empty());
}

} // namespace
} // namespace vantrel
