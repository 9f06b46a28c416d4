// One run of a copy of the program with the two-second test phrase beside
// it as its track, traced with strace: the phrase plays over and over, each
// play following the last after a pause no longer than one replay poll; and
// the program writes no file but the sound output SDL is told to use,
// changes nothing on disk and looks for nothing of its own.

#include "desktop.h"

#include <regex>

namespace desktop {
namespace {

struct Call {
    std::string line, name, arguments, result;
    std::vector<std::string> paths; // the quoted arguments
};

// Reads the logs `strace -ff -o` writes, one a thread, so that no call is
// split by another thread's.
std::vector<Call> ReadTrace(const fs::path& dir) {
    static const std::regex call(R"(^(\w+)\((.*)\) += (.*)$)"), quoted(R"re("([^"]*)")re");
    std::vector<Call> calls;
    for (const auto& log : fs::directory_iterator(dir)) {
        std::istringstream lines(ReadFile(log.path()));
        std::smatch parts;
        for (std::string line; std::getline(lines, line);) {
            if (!std::regex_match(line, parts, call)) continue; // a signal
            Call& c = calls.emplace_back(Call{line, parts[1], parts[2], parts[3], {}});
            for (std::sregex_iterator q(c.arguments.begin(), c.arguments.end(), quoted), end; q != end; ++q)
                c.paths.push_back((*q)[1]);
        }
    }
    return calls;
}

bool OpensForWriting(const Call& call) {
    static const std::regex writing("O_(WRONLY|RDWR|CREAT|TRUNC|APPEND)");
    return call.name == "creat" || (call.name.starts_with("open") && std::regex_search(call.arguments, writing));
}

// Calls that change the file system whatever they return; asking for a
// directory that is already there creates nothing.
bool ChangesFiles(const Call& call) {
    static const std::set<std::string> kChanging{
        "unlink", "unlinkat", "rmdir",  "rename", "renameat", "renameat2", "link",     "linkat",    "symlink",
        "symlinkat", "truncate", "mknod", "mknodat", "chmod", "fchmodat", "chown",   "lchown",    "fchownat",
        "utime",  "utimes",   "futimesat", "setxattr", "lsetxattr", "removexattr", "lremovexattr"};
    if (call.name.starts_with("mkdir")) return call.result.find("EEXIST") == std::string::npos;
    return kChanging.contains(call.name);
}

// Silent stretches between sounds, in 10 ms blocks: {start, length} in ms.
std::vector<std::pair<double, double>> Pauses(const std::vector<int>& levels) {
    constexpr size_t kBlock = kAudioRate / 100;
    std::vector<std::pair<double, double>> pauses;
    std::optional<size_t> lastSound;
    for (size_t block = 0; (block + 1) * kBlock <= levels.size(); ++block) {
        if (*std::max_element(levels.begin() + block * kBlock, levels.begin() + (block + 1) * kBlock) < 64) continue;
        if (lastSound && block > *lastSound + 1)
            pauses.emplace_back((*lastSound + 1) * 10.0, (block - *lastSound - 1) * 10.0);
        lastSound = block;
    }
    return pauses;
}

TEST(ShortTrack, LoopsWithinAPollAndTheProgramTouchesNoFileButItsSound) {
    Desktop desktop;
    TempDir dir("program"), traceDir("trace"), home("home");
    const fs::path binary = CopyProgram(dir, ShortTrackPath());
    // A home of its own, so that whatever is looked for there shows in the
    // trace, and nothing there is the tester's.
    Program program(desktop,
                    {"strace", "-qq", "--seccomp-bpf", "-s", "4096", "-e", "trace=%file", "-ff", "-o",
                     (traceDir / "trace").string(), "--", binary.string()},
                    {{"HOME", home.path.string()}});
    const auto window = program.WaitForMainWindow(Ms(30000));
    ASSERT_TRUE(window) << program.Stderr();
    // The phrase heard three times, with frames, ring draws and replay polls.
    const bool enough = WaitUntil([&] { return program.AudioSeconds() >= 8.0; }, Ms(30000), Ms(100));
    ASSERT_TRUE(program.Close(*window));
    const auto status = program.process().WaitFor(Ms(15000));
    ASSERT_TRUE(status) << "still running after its window was closed";
    EXPECT_TRUE(status->Clean()) << status->Describe();
    ASSERT_TRUE(enough) << "the sound output fell far behind real time";

    // The restarts are the pauses longer than the phrase's own (200 ms); none
    // longer than the 500 ms replay poll and what a busy machine may add.
    const auto pauses = Pauses(AudioLevels(program.audioPath()));
    std::ostringstream seen;
    for (const auto& [at, length] : pauses) seen << length << " ms at " << at << " ms; ";
    EXPECT_GE(std::count_if(pauses.begin(), pauses.end(), [](auto& pause) { return pause.second > 200.0; }), 2)
        << "the track did not start again after its end; pauses: " << seen.str();
    EXPECT_TRUE(std::all_of(pauses.begin(), pauses.end(), [](auto& pause) { return pause.second <= 850.0; }))
        << "a pause longer than a replay poll; pauses: " << seen.str();

    const std::vector<Call> calls = ReadTrace(traceDir.path);
    ASSERT_FALSE(calls.empty()) << "strace recorded nothing";
    bool soundWritten = false, trackRead = false;
    for (const Call& call : calls) {
        const std::string path = call.paths.empty() ? "" : call.paths.front();
        // The null device is not a file: libraries' child processes point
        // their standard streams at it.
        if (OpensForWriting(call)) {
            soundWritten |= path == program.audioPath().string();
            EXPECT_TRUE(path == program.audioPath().string() || path == "/dev/null") << "writes: " << call.line;
        }
        EXPECT_FALSE(ChangesFiles(call)) << call.line;
        trackRead |= path == (dir / kTrackName).string() && call.name.starts_with("open") && !call.result.empty() &&
                     !call.result.starts_with("-1");
        // Nothing named after the program but the program itself: no
        // configuration or data of its own.
        for (const std::string& named : call.paths)
            EXPECT_TRUE(!std::regex_search(named, std::regex("vantrel", std::regex::icase)) || named == binary)
                << call.line;
    }
    EXPECT_TRUE(soundWritten) << "the trace does not show the sound output written; is it complete?";
    EXPECT_TRUE(trackRead) << "the track beside the program was not read";
}

} // namespace
} // namespace desktop
