#include "music_loop.h"

#include "audio_backend.h"
#include "mci_error.h"
#include "media_control.h"
#include "music_test_support.h"
#include "sdl_mixer_backend.h"
#include "short_path.h"
#include "silent_media_backend.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Generous: the phrase lasts about two seconds.
constexpr auto kPatience = 60s;
constexpr auto kPollPause = 20ms;

// Passes everything to the real backend, counting the restarts from the start.
class RestartCounter final : public MediaBackend {
public:
    RestartCounter(std::unique_ptr<MediaBackend> inner, int& restarts) : m_inner(std::move(inner)), m_restarts(restarts) {}

    std::unique_ptr<MediaTrack> Open(const std::string& path) override {
        std::unique_ptr<MediaTrack> track = m_inner->Open(path);
        return track ? std::make_unique<Counted>(std::move(track), m_restarts) : nullptr;
    }

private:
    class Counted final : public MediaTrack {
    public:
        Counted(std::unique_ptr<MediaTrack> track, int& restarts) : m_track(std::move(track)), m_restarts(restarts) {}
        void Play(int64_t fromMs) override {
            m_restarts += fromMs == 0 ? 1 : 0;
            m_track->Play(fromMs);
        }
        void Resume() override { m_track->Resume(); }
        void Stop() override { m_track->Stop(); }
        int64_t PositionMs() override { return m_track->PositionMs(); }
        int64_t LengthMs() const override { return m_track->LengthMs(); }

    private:
        std::unique_ptr<MediaTrack> m_track;
        int& m_restarts;
    };

    std::unique_ptr<MediaBackend> m_inner;
    int& m_restarts;
};

class SdlPlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The test decodes for real but must never sound, however it is started.
        ::setenv("SDL_AUDIODRIVER", "dummy", 1);
        std::string failure;
        std::unique_ptr<SdlMixerBackend> mixer = SdlMixerBackend::Create(clock, failure);
        ASSERT_TRUE(mixer) << "the dummy audio driver should always open: " << failure;
        media = std::make_unique<MediaControl>(std::make_unique<RestartCounter>(std::move(mixer), restarts));
        fs::copy_file(testing::FixtureTrack(), dir.path() / testing::kTrackFileName);
        headless = std::make_unique<testing::HeadlessRuntime>(QSize(320, 240), 1.0, media.get(), dir.path().string());
    }

    int64_t PositionMs() {
        std::string reply(255, '\0');
        return media->Send("status untilthedub position", reply.data(), 255) == 0 ? std::stoll(reply) : -1;
    }

    SteadyClock clock;
    int restarts = 0;
    testing::TempDir dir;
    std::unique_ptr<MediaControl> media;
    std::unique_ptr<testing::HeadlessRuntime> headless;
};

TEST_F(SdlPlaybackTest, ThePhrasePlaysToItsEndAndTheNextPollRestartsIt) {
    MusicLoop loop(headless->runtime);
    loop.Form_Load();
    ASSERT_TRUE(headless->messages.shown.empty());
    const int64_t lengthMs = std::stoll(loop.sLength());
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    int64_t position = PositionMs();
    while (position != lengthMs && std::chrono::steady_clock::now() < deadline) {
        ASSERT_GE(position, 0);
        ASSERT_LT(position, lengthMs);
        loop.tmrReplay_Timer(); // before the end, polls restart nothing
        std::this_thread::sleep_for(kPollPause);
        position = PositionMs();
    }
    ASSERT_EQ(position, lengthMs) << "the phrase did not reach its end in time";
    EXPECT_EQ(restarts, 0);
    std::this_thread::sleep_for(kPollPause);
    EXPECT_EQ(PositionMs(), lengthMs); // the end holds until the next play
    loop.tmrReplay_Timer();
    EXPECT_EQ(restarts, 1);
    EXPECT_LT(PositionMs(), lengthMs);
    for (int poll = 0; poll < 5; ++poll) {
        std::this_thread::sleep_for(kPollPause);
        loop.tmrReplay_Timer();
    }
    EXPECT_EQ(restarts, 1);
    EXPECT_LT(PositionMs(), lengthMs);
    loop.Form_Unload();
    EXPECT_TRUE(headless->messages.shown.empty());
}

TEST_F(SdlPlaybackTest, TheMixerRefusesWhatIsNotATrack) {
    testing::WriteBytes(dir.path() / "text.mp3", {'n', 'o', '\n'});
    fs::create_directory(dir.path() / "dir.mp3");
    EXPECT_EQ(media->Send("open " + (dir.path() / "text.mp3").string() + " type mpegvideo alias untilthedub", nullptr, 0),
              mci::kInvalidFile);
    EXPECT_EQ(media->Send("open " + (dir.path() / "dir.mp3").string() + " type mpegvideo alias untilthedub", nullptr, 0),
              mci::kInvalidFile);
}

// No audio output is no failure: the track plays on the clock as it would aloud.
TEST(AudioBackend, WithoutAnAudioOutputTheTrackPlaysSilentlyOnTheClock) {
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    ManualClock clock;
    std::unique_ptr<MediaBackend> backend = OpenAudioBackend(clock);
    ASSERT_NE(dynamic_cast<SilentMediaBackend*>(backend.get()), nullptr);
    MediaControl media(std::move(backend));
    const std::string open = "open " + EncodeShortPath(testing::FixtureTrack().string()) + " type mpegvideo alias untilthedub";
    ASSERT_EQ(media.Send(open, nullptr, 0), mci::kSuccess);
    media.Send("play untilthedub", nullptr, 0);
    std::string length(255, '\0');
    std::string position(255, '\0');
    media.Send("status untilthedub length", length.data(), 255);
    clock.Advance(std::stoll(length) * 1'000'000);
    media.Send("status untilthedub position", position.data(), 255);
    EXPECT_STREQ(position.c_str(), length.c_str());
}

} // namespace
} // namespace vantrel
