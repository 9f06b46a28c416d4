// The music loop's steps under the handlers' traps, over the silent device
// and real files, good and bad.

#include "failure_report.h"
#include "media_control.h"
#include "music_loop.h"
#include "short_name.h"
#include "silent_media_backend.h"
#include "test_support.h"
#include "tracing_backend.h"

#include <gtest/gtest.h>
#include <functional>
#include <set>
#include <sys/stat.h>

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;

const std::string kLoadFailed = "Unexpected error in procedure: Form_Load\r\nError #13: Type mismatch";
const std::string kPollFailed = "Unexpected error in procedure: tmrReplay_Timer\r\nError #13: Type mismatch";

// The loop as the scene runs it: each step under its handler's trap.
struct Handlers {
    explicit Handlers(MediaControl* media, std::string appPath) : headless(QSize(320, 240), 1.0, media, std::move(appPath)) {}
    void Form_Load() { Trapped(headless.runtime, "Form_Load", [&] { loop.OpenAndPlay(); }); }
    void tmrReplay_Timer() { Trapped(headless.runtime, "tmrReplay_Timer", [&] { loop.ReplayAtEnd(); }); }
    void Form_Unload() { Trapped(headless.runtime, "Form_Unload", [&] { loop.StopAndClose(); }); }
    Log Reports() const {
        Log prompts;
        for (const auto& shown : headless.messages.shown) prompts.push_back(shown.prompt);
        return prompts;
    }
    testing::HeadlessRuntime headless;
    MusicLoop loop{headless.runtime};
};

struct MusicLoopTest : ::testing::Test {
    MusicLoopTest() { fs::copy_file(testing::FixtureTrack(), dir.path() / testing::kTrackFileName); }
    void PollAt(int64_t ms) {
        clock.Set(ms * 1'000'000);
        music.tmrReplay_Timer();
    }

    testing::TempDir dir;
    ManualClock clock;
    Log log;
    MediaControl media{std::make_unique<testing::TracingBackend>(clock, log)};
    Handlers music{&media, dir.path().string() + "/"}; // a trailing separator gives two, naming the same file
};

TEST_F(MusicLoopTest, PlaysTheTrackBesideTheProgramAndRestartsItOnlyAtExactlyItsLength) {
    music.Form_Load();
    EXPECT_EQ(music.loop.sLength(), " 2037");
    for (const int64_t ms : {0, 2036, 2037, 2038}) PollAt(ms); // replayed at 2037, so 1 ms in at 2038
    music.Form_Unload();
    EXPECT_EQ(log, (Log{"opened", "played", "played from 0", "stopped", "closed"}));
    EXPECT_TRUE(music.Reports().empty());
}

TEST_F(MusicLoopTest, AFailedLengthQueryLeavesNoLengthSoTheTrackNeverRestarts) {
    music.headless.runtime.monitor().FailOnUse(Service::MediaCommand, 3); // open, play, then the length
    music.Form_Load();
    PollAt(2037); // an empty length never equals a position
    EXPECT_EQ(music.loop.sLength(), "");
    EXPECT_EQ(log, (Log{"opened", "played"}));
    EXPECT_EQ(music.Reports(), Log{kLoadFailed});
}

std::set<fs::path> Listing(const fs::path& dir) {
    std::set<fs::path> paths;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) paths.insert(entry.path());
    return paths;
}

// Load, two polls and unload on the silent device with the program in
// `appDir`; nothing may be written there. Returns the reports.
Log RunLoop(const fs::path& appDir, std::string* sLength = nullptr) {
    const std::set<fs::path> before = Listing(appDir);
    ManualClock clock;
    MediaControl media(std::make_unique<SilentMediaBackend>(clock));
    Handlers music(&media, appDir.string());
    music.Form_Load();
    music.tmrReplay_Timer();
    clock.Advance(500'000'000);
    music.tmrReplay_Timer();
    music.Form_Unload();
    EXPECT_EQ(Listing(appDir), before);
    if (sLength != nullptr) *sLength = music.loop.sLength();
    return music.Reports();
}

TEST(MusicBadInput, EveryUnplayableTrackFailsTheLoadAndEveryPollCleanly) {
    // Each case puts its track file in place and says where the program is.
    const auto track = [](const fs::path& d) { return d / testing::kTrackFileName; };
    const std::vector<char> fixture = testing::ReadBytes(testing::FixtureTrack());
    const std::pair<const char*, std::function<fs::path(const fs::path&)>> cases[] = {
        {"missing", [](const fs::path& d) { return d; }},
        {"zero bytes", [&](const fs::path& d) { return testing::WriteBytes(track(d), {}), d; }},
        {"cut inside the first audio frame", // past the ID3 tag (226 bytes) and the Info frame (418)
         [&](const fs::path& d) { return testing::WriteBytes(track(d), {fixture.begin(), fixture.begin() + 800}), d; }},
        {"a directory", [&](const fs::path& d) { return fs::create_directory(track(d)), d; }},
        {"a FIFO", [&](const fs::path& d) { return ::mkfifo(track(d).c_str(), 0644), d; }},
        {"a symlink loop", [&](const fs::path& d) { return fs::create_symlink(track(d), track(d)), d; }},
    };
    for (const auto& [what, make] : cases) {
        const testing::TempDir dir;
        std::string sLength = "unset";
        EXPECT_EQ(RunLoop(make(dir.path()), &sLength), (Log{kLoadFailed, kPollFailed, kPollFailed})) << what;
        EXPECT_EQ(sLength, "") << what;
    }
}

// A short form of up to 254 characters is returned whole; one that does not
// fit the 255-character buffer gives nothing rather than a cut-off path.
TEST(ShortName, ReturnsAFittingShortFormWholeAndNothingThatDoesNotFit) {
    testing::HeadlessRuntime headless;
    const testing::TempDir dir;
    auto fileWithShortForm = [&](size_t shortLength, size_t blanks) {
        const std::string base = dir.path().string() + "/";
        const std::string path = base + std::string(blanks, ' ') + std::string(shortLength - base.size() - 3 * blanks, 'a');
        testing::WriteBytes(path, {});
        return path;
    };
    const std::string fits = fileWithShortForm(254, 0);
    EXPECT_EQ(GetShortName(headless.runtime, fits), fits);
    EXPECT_EQ(GetShortName(headless.runtime, fileWithShortForm(255, 0)), "");
    EXPECT_EQ(GetShortName(headless.runtime, fileWithShortForm(255, 5)), ""); // 245 long, 255 short
    EXPECT_EQ(GetShortName(headless.runtime, (dir.path() / "missing file.mp3").string()), "");
    EXPECT_TRUE(headless.messages.shown.empty());
}

} // namespace
} // namespace vantrel
