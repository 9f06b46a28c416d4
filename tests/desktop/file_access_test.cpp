// What the program touches beyond the screen and the speakers: traced with
// strace, it writes no file but the sound output SDL is told to use, changes
// nothing on disk and looks for no configuration of its own; and whatever is
// put on its command line, it comes up the same.

#include "program_run.h"
#include "screen_checks.h"
#include "startup_watch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

namespace desktop {
namespace {

struct TracedCall {
    std::string line; // as strace wrote it, a split call joined again
    std::string name;
    std::string arguments;
    std::string result;
    std::vector<std::string> paths; // the quoted arguments
};

// Reads an `strace -f -o` log, joining calls that other threads interrupted
// ("<unfinished ...>" and "<... name resumed>").
std::vector<TracedCall> ReadTrace(const std::filesystem::path& path) {
    std::istringstream lines(ReadFile(path));
    std::map<std::string, std::string> unfinished;
    std::vector<TracedCall> calls;
    for (std::string line; std::getline(lines, line);) {
        const size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        const std::string pid = line.substr(0, space);
        std::string call = line.substr(line.find_first_not_of(' ', space));
        if (call.starts_with("+++") || call.starts_with("---")) continue;
        constexpr std::string_view kUnfinished = " <unfinished ...>";
        if (call.ends_with(kUnfinished)) {
            unfinished[pid] = call.substr(0, call.size() - kUnfinished.size());
            continue;
        }
        if (call.starts_with("<... ")) {
            const size_t resumed = call.find("resumed>");
            if (resumed == std::string::npos) continue;
            call = unfinished[pid] + call.substr(resumed + std::string_view("resumed>").size());
            unfinished.erase(pid);
        }
        TracedCall traced;
        traced.line = call;
        const size_t open = call.find('(');
        const size_t close = call.rfind(") = ");
        if (open == std::string::npos) continue;
        traced.name = call.substr(0, open);
        traced.arguments = call.substr(open + 1, (close == std::string::npos ? call.size() : close) - open - 1);
        if (close != std::string::npos) traced.result = call.substr(close + 4);
        for (size_t quote = traced.arguments.find('"'); quote != std::string::npos;) {
            const size_t end = traced.arguments.find('"', quote + 1);
            if (end == std::string::npos) break;
            traced.paths.push_back(traced.arguments.substr(quote + 1, end - quote - 1));
            quote = traced.arguments.find('"', end + 1);
        }
        calls.push_back(std::move(traced));
    }
    return calls;
}

bool OpensForWriting(const TracedCall& call) {
    if (call.name == "creat") return true;
    if (call.name != "open" && call.name != "openat" && call.name != "openat2") return false;
    for (const char* flag : {"O_WRONLY", "O_RDWR", "O_CREAT", "O_TRUNC", "O_APPEND"})
        if (call.arguments.find(flag) != std::string::npos) return true;
    return false;
}

// Calls that change the file system whatever they return.
bool ChangesFiles(const TracedCall& call) {
    static const std::set<std::string> kChanging{
        "unlink",  "unlinkat", "rmdir",   "rename",   "renameat", "renameat2", "link",     "linkat",
        "symlink", "symlinkat", "truncate", "mknod",   "mknodat",  "chmod",     "fchmodat", "chown",
        "lchown",  "fchownat", "utime",   "utimes",   "futimesat", "setxattr", "lsetxattr", "removexattr",
        "lremovexattr"};
    if (kChanging.contains(call.name)) return true;
    // Asking for a directory that is already there creates nothing.
    if (call.name == "mkdir" || call.name == "mkdirat") return call.result.find("EEXIST") == std::string::npos;
    return false;
}

std::string Lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool Succeeded(const TracedCall& call) { return !call.result.empty() && !call.result.starts_with("-1"); }

TEST(FileAccess, WritesOnlyItsSoundAndReadsNoConfigurationOfItsOwn) {
    Desktop desktop;
    ProgramCopy copy(ShortTrackPath());
    TempDir traceDir("trace");
    TempDir home("home");
    const auto tracePath = traceDir / "trace.txt";
    ProgramOptions options;
    options.binary = copy.binary();
    options.wrapper = {"strace", "-f", "-qq", "--seccomp-bpf", "-s", "4096", "-e", "trace=%file",
                       "-o",     tracePath.string(), "--"};
    // A home of its own, so that whatever is looked for there shows in the
    // trace, and nothing there is the tester's.
    options.extraEnvironment = {{"HOME", home.path().string()}};
    ProgramRun program(desktop, options);

    const auto window = program.WaitForMainWindow(Milliseconds(30000));
    ASSERT_TRUE(window.has_value()) << program.Stderr();
    SleepFor(Milliseconds(3000)); // frames, ring draws, replay polls and a restart of the track
    ASSERT_TRUE(program.CloseWindow(*window));
    const auto status = program.process().WaitFor(Milliseconds(15000));
    ASSERT_TRUE(status.has_value()) << "still running after its window was closed";
    EXPECT_TRUE(status->exited && status->code == 0) << status->Describe();

    const std::vector<TracedCall> calls = ReadTrace(tracePath);
    ASSERT_FALSE(calls.empty()) << "strace recorded nothing";
    const std::string binary = copy.binary().string();
    const std::string track = (copy.dir() / kTrackFileName).string();
    const std::string sound = program.audioPath().string();

    bool soundOpened = false, trackRead = false;
    std::set<std::string> configurationRead;
    for (const TracedCall& call : calls) {
        SCOPED_TRACE(call.line);
        const std::string path = call.paths.empty() ? std::string() : call.paths.front();
        if (OpensForWriting(call)) {
            // The null device is not a file; child processes of libraries
            // point their standard streams at it.
            if (path == sound) {
                soundOpened = true;
            } else {
                EXPECT_EQ(path, "/dev/null") << "opened for writing";
            }
        }
        EXPECT_FALSE(ChangesFiles(call)) << "changes the file system";
        if (path == track && call.name.starts_with("open") && Succeeded(call)) trackRead = true;

        // Nothing named after the program but the program itself.
        for (const std::string& named : call.paths) {
            if (Lowercase(named).find("vantrel") != std::string::npos) {
                EXPECT_EQ(named, binary) << "looks for something of its own";
            }
        }

        const bool configPlace = path.starts_with("/etc/") || path.starts_with(home.path().string()) ||
                                 path.starts_with("/usr/share/") || path.find("/xdg/") != std::string::npos;
        if (configPlace && call.name.starts_with("open") && Succeeded(call)) configurationRead.insert(path);
    }
    EXPECT_TRUE(soundOpened) << "the trace does not show the sound output being written; is it complete?";
    EXPECT_TRUE(trackRead) << "the track beside the program was not read";

    // Qt, fontconfig and the C library read their own configuration; shown
    // for whoever reviews a failure.
    std::set<std::string> places;
    for (const std::string& path : configurationRead) {
        size_t end = 0;
        for (int depth = 0; depth < 3 && end != std::string::npos; ++depth) end = path.find('/', end + 1);
        places.insert(path.substr(0, end));
    }
    std::ostringstream summary;
    for (const std::string& place : places) summary << place << ' ';
    RecordProperty("configuration_read_under", summary.str());
}

// What a person sees of the window, without the changing picture. (Where it
// is exactly is left out: the fit onto the work area is checked on its own,
// and a pixel either way is not what arguments would change.)
struct WindowLook {
    std::string title;
    std::vector<std::string> types;
    std::optional<std::vector<uint32_t>> motif;
    std::vector<std::string> states;
    bool operator==(const WindowLook&) const = default;
};

void PrintTo(const WindowLook& look, std::ostream* out) {
    *out << '"' << look.title << "\" types";
    for (const std::string& type : look.types) *out << ' ' << type;
    *out << " motif";
    if (look.motif)
        for (uint32_t value : *look.motif) *out << ' ' << value;
    *out << " states";
    for (const std::string& state : look.states) *out << ' ' << state;
}

WindowLook LookOf(XConnection& x, xcb_window_t window) {
    auto states = x.AtomListProperty(window, "_NET_WM_STATE");
    std::sort(states.begin(), states.end());
    return WindowLook{x.Title(window), x.AtomListProperty(window, "_NET_WM_WINDOW_TYPE"),
                      x.Property32(window, "_MOTIF_WM_HINTS"), states};
}

// Within a couple of pixels on every side.
bool NearlyAt(const Rect& a, const Rect& b) {
    return std::abs(a.x - b.x) <= 2 && std::abs(a.y - b.y) <= 2 && std::abs(a.width - b.width) <= 4 &&
           std::abs(a.height - b.height) <= 4;
}

TEST(CommandLine, ArgumentsChangeNothing) {
    Desktop desktop;
    XConnection& x = desktop.x();

    WindowLook plain;
    Rect plainClient;
    std::string plainStdout;
    {
        ProgramRun program(desktop);
        const auto window = program.WaitForMainWindow(Milliseconds(15000));
        ASSERT_TRUE(window.has_value()) << program.Stderr();
        plain = LookOf(x, *window);
        plainClient = x.RootGeometry(*window).value_or(Rect{});
        ASSERT_TRUE(program.CloseWindow(*window));
        const auto status = program.process().WaitFor(Milliseconds(10000));
        ASSERT_TRUE(status.has_value());
        plainStdout = program.Stdout();
    }
    ASSERT_TRUE(WaitUntil([&] { return x.ClientList().empty(); }, Milliseconds(5000)));

    // Options Qt would take for its own (another platform), one that asks for
    // help, and a stray word.
    StartupWatch watch(desktop.display());
    ProgramOptions options;
    options.arguments = {"--help", "-platform", "offscreen", "foo"};
    ProgramRun program(desktop, options);
    const StartupTimeline timeline = watch.Follow(program.process().pid(), program.process().startedAt(), true,
                                                  Milliseconds(20000), std::chrono::microseconds(1000));
    const auto window = program.WaitForMainWindow(Milliseconds(15000));
    ASSERT_TRUE(window.has_value()) << "no window on the X display; stderr:\n" << program.Stderr();
    EXPECT_EQ(LookOf(x, *window), plain);
    const Rect client = x.RootGeometry(*window).value_or(Rect{});
    EXPECT_TRUE(NearlyAt(client, plainClient)) << client.Describe() << " against " << plainClient.Describe();
    EXPECT_TRUE(timeline.firstFrameMs.has_value()) << "no rings";
    EXPECT_TRUE(timeline.firstInkMs.has_value()) << "no text";
    EXPECT_EQ(program.Stdout(), plainStdout);
    EXPECT_TRUE(program.process().Running()) << program.process().status()->Describe();

    const Image image = x.Capture(client);
    EXPECT_GE(MirrorMatch(image, true, NearWhite(image, 6)).match, 0.9);
    const StrayPixels stray = FindStrayPixels(image, 6);
    EXPECT_EQ(stray.count, 0u) << stray.Describe();
}

} // namespace
} // namespace desktop
