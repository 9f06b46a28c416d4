// The music loop's steps under the handlers' traps, over the silent device
// and real files, good and bad.

#include "failure_report.h"
#include "media_control.h"
#include "music_loop.h"
#include "short_name.h"
#include "test_support.h"
#include "tracing_backend.h"

#include <gtest/gtest.h>
#include <fstream>
#include <functional>
#include <set>
#include <sys/stat.h>

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;

const std::string kLoadFailed = "Unexpected error in procedure: Form_Load\r\nError #13: Type mismatch";
const std::string kPollFailed = "Unexpected error in procedure: tmrReplay_Timer\r\nError #13: Type mismatch";

// The loop as the scene runs it, with the program in appPath: each step
// under its handler's trap, over the silent device, which logs what
// happens to the track.
struct Music {
    explicit Music(std::string appPath) : headless(QSize(320, 240), 1.0, &media, std::move(appPath)) {}
    void Form_Load() { Trapped(headless.runtime, "Form_Load", [&] { loop.OpenAndPlay(); }); }
    void PollAt(int64_t ms) {
        headless.clock.Set(ms * 1'000'000);
        Trapped(headless.runtime, "tmrReplay_Timer", [&] { loop.ReplayAtEnd(); });
    }
    void Form_Unload() { Trapped(headless.runtime, "Form_Unload", [&] { loop.StopAndClose(); }); }
    Log Reports() const {
        Log prompts;
        for (const auto& shown : headless.messages.shown) prompts.push_back(shown.prompt);
        return prompts;
    }
    testing::HeadlessRuntime headless;
    Log log;
    MediaControl media{std::make_unique<testing::TracingBackend>(headless.clock, log)};
    MusicLoop loop{headless.runtime};
};

// The failed length query is a case of the program's failure walk.
TEST(MusicLoop, PlaysTheTrackBesideTheProgramAndRestartsItOnlyAtExactlyItsLength) {
    const testing::TempDir dir;
    fs::copy_file(testing::FixtureTrack(), dir.path / testing::kTrackFileName);
    Music music(dir.path.string() + "/"); // a trailing separator gives two, naming the same file
    music.Form_Load();
    EXPECT_EQ(music.loop.sLength(), " 2037");
    for (const int64_t ms : {0, 2036, 2037, 2038}) music.PollAt(ms); // replayed at 2037, so 1 ms in at 2038
    music.Form_Unload();
    EXPECT_EQ(music.log, (Log{"opened", "played", "played from 0", "stopped", "closed"}));
    EXPECT_TRUE(music.Reports().empty());
}

// Load, two polls and unload with an unplayable track beside the program:
// each reports, and nothing is written beside it.
TEST(MusicBadInput, EveryUnplayableTrackFailsTheLoadAndEveryPollCleanly) {
    const auto track = [](const fs::path& dir) { return dir / testing::kTrackFileName; };
    const std::pair<const char*, std::function<void(const fs::path&)>> cases[] = {
        {"missing", [](const fs::path&) {}},
        {"zero bytes", [&](const fs::path& dir) { std::ofstream(track(dir)); }},
        {"cut inside the first audio frame", [&](const fs::path& dir) { // past the ID3 tag (226 bytes) and the Info frame (418)
             fs::copy_file(testing::FixtureTrack(), track(dir));
             fs::resize_file(track(dir), 800);
         }},
        {"a directory", [&](const fs::path& dir) { fs::create_directory(track(dir)); }},
        {"a FIFO", [&](const fs::path& dir) { ::mkfifo(track(dir).c_str(), 0644); }},
        {"a symlink loop", [&](const fs::path& dir) { fs::create_symlink(track(dir), track(dir)); }},
    };
    for (const auto& [what, make] : cases) {
        const testing::TempDir dir;
        make(dir.path);
        const auto listing = [&] { return std::set<fs::path>(fs::recursive_directory_iterator(dir.path), {}); };
        const std::set<fs::path> before = listing();
        Music music(dir.path.string());
        music.Form_Load();
        music.PollAt(0);
        music.PollAt(500);
        music.Form_Unload();
        EXPECT_EQ(listing(), before) << what;
        EXPECT_EQ(music.Reports(), (Log{kLoadFailed, kPollFailed, kPollFailed})) << what;
        EXPECT_EQ(music.loop.sLength(), "") << what;
    }
}

// A short form of up to 254 characters is returned whole; one that does not
// fit the 255-character buffer gives nothing rather than a cut-off path.
TEST(ShortName, ReturnsAFittingShortFormWholeAndNothingThatDoesNotFit) {
    testing::HeadlessRuntime headless;
    const testing::TempDir dir;
    auto fileWithShortForm = [&](size_t shortLength, size_t blanks) {
        const std::string base = dir.path.string() + "/";
        const std::string path = base + std::string(blanks, ' ') + std::string(shortLength - base.size() - 3 * blanks, 'a');
        std::ofstream{path};
        return path;
    };
    const std::string fits = fileWithShortForm(254, 0);
    EXPECT_EQ(GetShortName(headless.runtime, fits), fits);
    EXPECT_EQ(GetShortName(headless.runtime, fileWithShortForm(255, 0)), "");
    EXPECT_EQ(GetShortName(headless.runtime, fileWithShortForm(255, 5)), ""); // 245 long, 255 short
    EXPECT_TRUE(headless.messages.shown.empty());
}

} // namespace
} // namespace vantrel
