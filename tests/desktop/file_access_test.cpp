// One run of a copy of the program with the two-second test phrase beside
// it as its track, traced with strace: the phrase plays aloud from start-up
// and over and over, each play following the last after a pause no longer
// than one replay poll; and the program writes no file but the sound output
// SDL is told to use, changes nothing on disk and looks for nothing of its
// own.

#include "desktop.h"

#include <regex>

namespace desktop {
namespace {

// Calls that change the file system whatever they return.
const std::regex kChanging("unlink|rmdir|rename|link|symlink|truncate|mknod|chmod|[lf]?chown|utimes?|futimesat|"
                           "l?setxattr|l?removexattr|creat|(unlink|rename|link|symlink|mknod|fchmod|fchown)at2?");

TEST(ShortTrack, LoopsWithinAPollAndTheProgramTouchesNoFileButItsSound) {
    Desktop desktop;
    TempDir dir, trace, home;
    const fs::path binary = dir / kProgram.filename().string();
    fs::copy_file(kProgram, binary);
    fs::copy_file(VANTREL_SHORT_TRACK, dir / kTrackName);
    // A home of its own, so that whatever is looked for there shows in the
    // trace, and nothing there is the tester's.
    Program program(desktop, {"strace", "-qq", "--seccomp-bpf", "-s", "4096", "-e", "trace=%file", "-ff", "-o",
                              trace / "log", "--", binary}, {{"HOME", home.path}});
    const xcb_window_t window = program.WaitForMainWindow();
    ASSERT_NE(window, 0u) << program.Stderr();
    // The phrase heard three times, with frames, ring draws and replay polls.
    EXPECT_TRUE(WaitUntil([&] { return program.AudioSeconds() >= 9.0; }, Ms(30000), Ms(100)));
    program.ExpectCleanExit([&] { program.Close(window); }, Ms(15000));

    // Silent stretches between sounds, in 10 ms blocks: none is longer than
    // the 500 ms replay poll and what a busy machine may add. A restart
    // cannot be told from the phrase's own short pauses by length: it comes
    // next to nothing or most of a poll after the phrase ends, as the mixer
    // has or has not finished it by the poll before. So the sound goes on
    // for longer than two plays of the 2037 ms track and a pause could last.
    // The first sound comes with the program, the output opened for it, and
    // loud.
    constexpr int kPhraseMs = 2037, kLongestPauseMs = 850;
    const std::vector<int> levels = program.AudioLevels();
    EXPECT_GT(std::ranges::max(levels), 2000);
    constexpr size_t kBlock = kAudioRate / 100;
    int firstSound = -1, lastSound = -1;
    for (size_t block = 0; (block + 1) * kBlock <= levels.size(); ++block) {
        if (*std::max_element(levels.begin() + block * kBlock, levels.begin() + (block + 1) * kBlock) < 64) continue;
        const int pauseMs = (int(block) - lastSound - 1) * 10;
        EXPECT_TRUE(lastSound >= 0 || pauseMs <= 1500) << "the track did not start with the program";
        EXPECT_TRUE(lastSound < 0 || pauseMs <= kLongestPauseMs) << pauseMs << " ms silent at " << block * 10 << " ms";
        if (firstSound < 0) firstSound = int(block);
        lastSound = int(block);
    }
    EXPECT_GT((lastSound - firstSound) * 10, 2 * kPhraseMs + kLongestPauseMs) << "the track did not play three times";

    // strace -ff writes one log a thread, so that no call is split by another's.
    static const std::regex callLine(R"(^(\w+)\((.*)\) += (.*)$)"), quoted(R"re("([^"]*)")re"),
        writing("O_(WRONLY|RDWR|CREAT|TRUNC|APPEND)"), ours("vantrel", std::regex::icase);
    bool soundWritten = false, trackRead = false;
    for (const auto& log : fs::directory_iterator(trace.path)) {
        std::istringstream lines(ReadFile(log.path()));
        std::smatch call;
        for (std::string line; std::getline(lines, line);) {
            if (!std::regex_match(line, call, callLine)) continue; // a signal
            const std::string name = call[1], arguments = call[2], result = call[3];
            std::vector<std::string> paths;
            for (std::sregex_iterator q(arguments.begin(), arguments.end(), quoted), end; q != end; ++q)
                paths.push_back((*q)[1]);
            const std::string path = paths.empty() ? "" : paths.front();
            // The null device is not a file: libraries' child processes point
            // their standard streams at it. Asking for a directory that is
            // already there creates nothing.
            const bool writes = name.starts_with("open") && std::regex_search(arguments, writing);
            EXPECT_FALSE(writes && path != program.audioPath() && path != "/dev/null") << line;
            EXPECT_FALSE(std::regex_match(name, kChanging) || (name.starts_with("mkdir") && result.find("EEXIST") == result.npos)) << line;
            // Nothing named after the program but the program itself: no
            // configuration or data of its own.
            EXPECT_TRUE(std::ranges::none_of(paths, [&](auto& p) { return std::regex_search(p, ours) && p != binary; }))
                << line;
            soundWritten |= writes && path == program.audioPath();
            trackRead |= path == dir / kTrackName && name.starts_with("open") && !result.starts_with("-1");
        }
    }
    EXPECT_TRUE(soundWritten) << "the trace does not show the sound output; is it complete?";
    EXPECT_TRUE(trackRead) << "the track beside the program was not read";
}

} // namespace
} // namespace desktop
