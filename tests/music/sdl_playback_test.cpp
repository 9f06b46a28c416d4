#include "music_loop.h"

#include "mci_error.h"
#include "media_control.h"
#include "music_test_support.h"
#include "sdl_mixer_backend.h"
#include "short_path.h"
#include "test_support.h"

#include <SDL.h>
#include <SDL_mixer.h>
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
        auto mixer = std::make_unique<SdlMixerBackend>(clock, [&](const std::string& reason) { failure = reason; });
        ASSERT_TRUE(mixer->outputOpen()) << "the dummy audio driver should always open: " << failure;
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

// No audio output is no failure: the track keeps its place on the clock as
// it would aloud, and sounds again from there once an output opens, whether
// the output went away while it played or was never there.
TEST(AudioBackend, WithoutAnOutputTheTrackKeepsItsPlaceOnTheClockAndSoundsAgainFromThere) {
    enum class Change { None, OutputRemoved, DriverBack };
    struct Step {
        int64_t advanceMs;
        Change change;
        int64_t positionMs;
        bool sounding;
    };
    struct Case {
        const char* name;
        const char* driver; // at start
        std::vector<Step> steps;
    };
    const std::vector<Case> cases{
        {"output lost while playing", "dummy",
         {{0, Change::None, 0, true},
          {300, Change::None, 300, true},
          {0, Change::OutputRemoved, 300, false},
          {400, Change::None, 700, false},  // no new attempt yet
          {1000, Change::None, 1700, true}}}, // a second after the loss
        {"no output at start", "no-such-driver",
         {{0, Change::None, 0, false},
          {1000, Change::None, 1000, false}, // the attempt fails
          {0, Change::DriverBack, 1000, false},
          {600, Change::None, 1600, false},
          {400, Change::None, 2000, true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::setenv("SDL_AUDIODRIVER", c.driver, 1);
        ManualClock clock;
        int silenceNotes = 0;
        MediaControl media(std::make_unique<SdlMixerBackend>(clock, [&](const std::string&) { ++silenceNotes; }));
        const std::string track = (fs::path(VANTREL_ASSETS_DIR) / testing::kTrackFileName).string();
        ASSERT_EQ(media.Send("open " + EncodeShortPath(track) + " type mpegvideo alias untilthedub", nullptr, 0),
                  mci::kSuccess);
        media.Send("play untilthedub", nullptr, 0);
        bool wasSounding = false;
        for (const Step& step : c.steps) {
            SCOPED_TRACE(::testing::Message() << "at " << step.positionMs << " ms");
            clock.Advance(step.advanceMs * 1'000'000);
            if (step.change == Change::DriverBack) ::setenv("SDL_AUDIODRIVER", "dummy", 1);
            if (step.change == Change::OutputRemoved) {
                SDL_Event removed{};
                removed.adevice.type = SDL_AUDIODEVICEREMOVED;
                ASSERT_EQ(SDL_PushEvent(&removed), 1) << SDL_GetError();
            }
            std::string position(255, '\0');
            ASSERT_EQ(media.Send("status untilthedub position", position.data(), 255), mci::kSuccess);
            EXPECT_EQ(std::stoll(position), step.positionMs);
            EXPECT_EQ(Mix_PlayingMusic() != 0, step.sounding);
            // Sounding again, the mixer starts at the clock's place (and has
            // played on a moment since, in real time).
            if (step.sounding && !wasSounding) {
                EXPECT_NEAR(Mix_GetMusicPosition(nullptr), step.positionMs / 1000.0 + 0.25, 0.25);
            }
            wasSounding = step.sounding;
        }
        EXPECT_EQ(silenceNotes, 1);
        media.Send("close untilthedub", nullptr, 0);
    }
}

} // namespace
} // namespace vantrel
