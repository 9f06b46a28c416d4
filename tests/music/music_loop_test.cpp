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

// The loop as the scene runs it, with the program in appPath: each step at
// its time and under its handler's trap, over the silent device, which logs
// what happens to the track.
struct Music {
    explicit Music(std::string appPath) : headless(QSize(320, 240), 1.0, &media, std::move(appPath)) {}
    void Step(const char* handler, int64_t atMs, void (MusicLoop::*step)()) {
        headless.clock.Set(atMs * 1'000'000);
        Trapped(headless.runtime, handler, [&] { (loop.*step)(); });
    }
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

// Load, four polls and unload with the track beside the program, given with
// a trailing separator (which gives two, naming the same file). The good
// track plays and restarts only at exactly its length; every unplayable one
// fails the load and each poll cleanly. Nothing is written beside it. (The
// failed length query is a case of the program's failure walk.)
TEST(MusicLoop, PlaysTheTrackBesideTheProgramRestartsItAtItsLengthAndFailsCleanlyWithoutOne) {
    const auto track = [](const fs::path& dir) { return dir / testing::kTrackFileName; };
    const auto copy = [&](const fs::path& dir) { fs::copy_file(testing::FixtureTrack(), track(dir)); };
    const Log failed = {kLoadFailed, kPollFailed, kPollFailed, kPollFailed, kPollFailed};
    const Log refused = {"open failed"};
    // {case, what lies beside the program, what the device does with it, the reports}
    const std::tuple<const char*, std::function<void(const fs::path&)>, Log, Log> cases[] = {
        {"good", copy, {"opened", "played", "played from 0", "stopped", "closed"}, {}},
        {"missing", [](const fs::path&) {}, {}, failed},
        {"zero bytes", [&](const fs::path& dir) { std::ofstream(track(dir)); }, refused, failed},
        // past the ID3 tag (226 bytes) and the Info frame (418)
        {"cut inside the first audio frame", [&](const fs::path& dir) {
             copy(dir);
             fs::resize_file(track(dir), 800);
         }, refused, failed},
        {"a directory", [&](const fs::path& dir) { fs::create_directory(track(dir)); }, refused, failed},
        {"a FIFO", [&](const fs::path& dir) { ::mkfifo(track(dir).c_str(), 0644); }, refused, failed},
        {"a symlink loop", [&](const fs::path& dir) { fs::create_symlink(track(dir), track(dir)); }, {}, failed},
    };
    for (const auto& [what, make, steps, reports] : cases) {
        SCOPED_TRACE(what);
        const testing::TempDir dir;
        make(dir.path);
        const auto listing = [&] { return std::set<fs::path>(fs::recursive_directory_iterator(dir.path), {}); };
        const std::set<fs::path> before = listing();
        Music music(dir.path.string() + "/");
        music.Step("Form_Load", 0, &MusicLoop::OpenAndPlay);
        for (const int64_t ms : {0, 2036, 2037, 2038}) // replayed at 2037, so 1 ms in at 2038
            music.Step("tmrReplay_Timer", ms, &MusicLoop::ReplayAtEnd);
        music.Step("Form_Unload", 2038, &MusicLoop::StopAndClose);
        EXPECT_EQ(listing(), before);
        EXPECT_EQ(music.log, steps);
        EXPECT_EQ(music.Reports(), reports);
        EXPECT_EQ(music.loop.sLength(), reports.empty() ? " 2037" : "");
    }
}

// A short form of up to 254 characters is returned whole; one that does not
// fit the 255-character buffer gives nothing rather than a cut-off path.
TEST(ShortName, ReturnsAFittingShortFormWholeAndNothingThatDoesNotFit) {
    testing::HeadlessRuntime headless;
    const testing::TempDir dir;
    const std::string base = dir.path.string() + "/";
    // {the short form's length, blanks in the name (three characters each in the short form), whether it fits}
    for (const auto& [shortLength, blanks, fits] : {std::tuple{254u, 0u, true}, {255u, 0u, false}, {255u, 5u, false}}) {
        const std::string path = base + std::string(blanks, ' ') + std::string(shortLength - base.size() - 3 * blanks, 'a');
        std::ofstream{path};
        EXPECT_EQ(GetShortName(headless.runtime, path), fits ? path : "") << path.size() << " long";
    }
    EXPECT_TRUE(headless.messages.shown.empty());
}

} // namespace
} // namespace vantrel
