#include "music_loop.h"

#include "mci_error.h"
#include "media_control.h"
#include "music_test_support.h"
#include "short_path.h"
#include "silent_media_backend.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using testing::FixtureTrack;
using testing::kTrackFileName;

constexpr size_t kCutInsideTheFirstAudioFrame = 800; // past the ID3 tag (226) and the Info frame (418)

std::set<fs::path> Listing(const fs::path& dir) {
    std::set<fs::path> paths;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) paths.insert(entry.path());
    return paths;
}

// Runs load, two polls and unload on the silent device with the program in
// `appDir`, and checks that nothing was written there. Returns the reports.
std::vector<std::string> RunLoop(const fs::path& appDir, std::string& sLength) {
    const std::set<fs::path> before = Listing(appDir);
    ManualClock deviceClock;
    MediaControl media(std::make_unique<SilentMediaBackend>(deviceClock));
    testing::HeadlessRuntime headless(QSize(320, 240), 1.0, &media, appDir.string());
    MusicLoop loop(headless.runtime);
    loop.Form_Load();
    loop.tmrReplay_Timer();
    deviceClock.Advance(500'000'000);
    loop.tmrReplay_Timer();
    loop.Form_Unload();
    sLength = loop.sLength();
    EXPECT_EQ(Listing(appDir), before);
    std::vector<std::string> prompts;
    for (const auto& shown : headless.messages.shown) prompts.push_back(shown.prompt);
    return prompts;
}

void ExpectCleanFailure(const fs::path& appDir, const char* what) {
    const std::string tick = "Unexpected error in procedure: tmrReplay_Timer\r\nError #13: Type mismatch";
    std::string sLength = "unset";
    EXPECT_EQ(RunLoop(appDir, sLength),
              (std::vector<std::string>{"Unexpected error in procedure: Form_Load\r\nError #13: Type mismatch", tick, tick}))
        << what;
    EXPECT_EQ(sLength, "") << what;
}

std::string FixtureLength() {
    const testing::TempDir dir;
    fs::copy_file(FixtureTrack(), dir.path() / kTrackFileName);
    std::string sLength;
    EXPECT_TRUE(RunLoop(dir.path(), sLength).empty());
    return sLength;
}

TEST(MusicBadInput, EveryUnplayableTrackFailsTheLoadCleanly) {
    const std::vector<char> fixture = testing::ReadBytes(FixtureTrack());
    const struct {
        const char* what;
        void (*make)(const fs::path& track, const std::vector<char>& fixture);
    } cases[] = {
        {"missing", [](const fs::path&, const std::vector<char>&) {}},
        {"zero bytes", [](const fs::path& t, const std::vector<char>&) { testing::WriteBytes(t, {}); }},
        {"cut inside the first audio frame",
         [](const fs::path& t, const std::vector<char>& f) {
             testing::WriteBytes(t, {f.begin(), f.begin() + kCutInsideTheFirstAudioFrame});
         }},
        {"a text file", [](const fs::path& t, const std::vector<char>&) { testing::WriteBytes(t, {'h', 'i', '\n'}); }},
        {"a directory", [](const fs::path& t, const std::vector<char>&) { fs::create_directory(t); }},
        {"a FIFO", [](const fs::path& t, const std::vector<char>&) { ASSERT_EQ(::mkfifo(t.c_str(), 0644), 0); }},
        {"a symlink loop", [](const fs::path& t, const std::vector<char>&) { fs::create_symlink(t, t); }},
        {"a dangling symlink",
         [](const fs::path& t, const std::vector<char>&) { fs::create_symlink(t.parent_path() / "gone", t); }},
    };
    for (const auto& badCase : cases) {
        const testing::TempDir dir;
        badCase.make(dir.path() / kTrackFileName, fixture);
        ExpectCleanFailure(dir.path(), badCase.what);
    }
}

// The short form of a path that long does not fit, so the open is refused
// rather than given a cut-off path.
TEST(MusicBadInput, ATrackInADirectoryPathOf300CharactersFailsTheLoadCleanly) {
    const testing::TempDir dir;
    fs::path appDir = dir.path();
    while (appDir.string().size() < 300) appDir /= std::string(std::min<size_t>(60, 299 - appDir.string().size()), 'd');
    ASSERT_EQ(appDir.string().size(), 300u);
    fs::create_directories(appDir);
    fs::copy_file(FixtureTrack(), appDir / kTrackFileName);
    ExpectCleanFailure(appDir, "300-character directory");
}

TEST(MusicBadInput, BlanksAndNonAsciiLettersInThePathAndATruncatedTrackStillPlay) {
    const std::string fullLength = FixtureLength();
    const testing::TempDir dir;
    const fs::path appDir = dir.path() / "Música Até Já" / "Ünïcødé dïr";
    fs::create_directories(appDir);
    fs::copy_file(FixtureTrack(), appDir / kTrackFileName);
    std::string sLength;
    EXPECT_TRUE(RunLoop(appDir, sLength).empty());
    EXPECT_EQ(sLength, fullLength);
    std::vector<char> half = testing::ReadBytes(FixtureTrack());
    half.resize(half.size() / 2);
    testing::WriteBytes(appDir / kTrackFileName, half);
    EXPECT_TRUE(RunLoop(appDir, sLength).empty());
    EXPECT_LT(std::stoll(sLength), std::stoll(fullLength));
    EXPECT_GT(std::stoll(sLength), 0);
}

// Opens the track as the media device would; the exit status says how far it got.
int OpenUnreadable(const fs::path& track) {
    ManualClock clock;
    MediaControl media(std::make_unique<SilentMediaBackend>(clock));
    if (GetShortPathNameA(track.c_str(), nullptr, 0) == 0) return 2; // not even seen
    const std::string open = "open " + EncodeShortPath(track.string()) + " type mpegvideo alias untilthedub";
    return media.Send(open, nullptr, 0) == mci::kInvalidFile ? 0 : 1;
}

// Root reads any file whatever its mode, so as root the open runs in a child
// that has given root up for the "nobody" user.
TEST(MusicBadInput, AnUnreadableTrackFailsTheOpen) {
    const testing::TempDir dir;
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    const fs::path track = dir.path() / kTrackFileName;
    fs::copy_file(FixtureTrack(), track);
    fs::permissions(track, fs::perms::none);
    if (::geteuid() != 0) {
        EXPECT_EQ(OpenUnreadable(track), 0);
        return;
    }
    constexpr uid_t kNobody = 65534;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 ? OpenUnreadable(track) : 3);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
} // namespace vantrel
