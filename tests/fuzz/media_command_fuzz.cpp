// Drives one media device with a short run of command texts, as the program
// does, and holds every answer to the device's reply contract.
//
// Input: one command per line ('\n'), at most kMaxCommands of them. Before
// each command the manual clock moves on, so that tracks play and reach
// their ends. The blanks around a line, which the device ignores, choose the
// circumstances of the call:
// - leading blanks choose how far the clock moves first (none: one timer
//   tick of 250 ms);
// - trailing blanks choose the reply buffer (none: the program's 255
//   characters; others: sizes 0, 1, 2, 4, 5 and 16, and a null buffer).
// The placeholder @DIR@ stands for the short path of a private temporary
// directory, so that the committed inputs work on any machine. It holds
// "Until The Dub.mp3" (the program's track), "cut short.mp3" (the track cut
// short mid-frame), "empty.mp3", "notes.txt" and "folder.mp3" (a
// directory). The line @NULL@ sends a null command.
//
// The device opens files only inside that directory: any other path is
// refused as a file that cannot be played, so no input can make the fuzzer
// open a device node or anything else on the machine. The device itself
// only ever reads (open read-only, fstat, read).
//
// Checked on every call: nothing is written outside the reply buffer (guard
// bytes on both sides); a failing command, or one that answers nothing,
// leaves no reply text; a successful status query leaves a NUL-terminated
// reply inside the buffer that the program's normalisation reads back as
// the same whole number.

#include "fuzz_check.h"
#include "mci_error.h"
#include "media_command.h"
#include "media_control.h"
#include "short_path.h"
#include "silent_media_backend.h"
#include "status_reply.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vantrel::fuzz {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kNsPerMs = 1'000'000;
constexpr size_t kMaxCommands = 64;
// Indexed by the count of leading blanks, wrapping. The largest step times
// kMaxCommands stays far inside the clock's range.
constexpr int64_t kClockStepsMs[] = {250, 0, 1, 999, 5'000, 60'000, 86'400'000, 31'536'000'000};
// Indexed by the count of trailing blanks, wrapping: {null buffer, size}.
constexpr std::pair<bool, uint32_t> kReplyBuffers[] = {{false, 255}, {false, 0}, {false, 1},  {false, 2}, {false, 4},
                                                       {false, 5},   {false, 16}, {true, 255}, {true, 0}};
constexpr size_t kGuardBytes = 32;
constexpr char kGuardFill = '\xA5'; // neither a digit nor a NUL

// The private directory of files an input may open, made once per process
// and removed when it exits.
struct Sandbox {
    static const Sandbox& Get() {
        static const Sandbox* sandbox = new Sandbox(); // outlives every device; removed by atexit
        return *sandbox;
    }

    Sandbox() {
        std::string pattern = (fs::temp_directory_path() / "vantrel-fuzz-XXXXXX").string();
        FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr, "making the temporary directory " + pattern);
        dir = pattern;
        std::atexit([] { std::error_code ignored; fs::remove_all(Get().dir, ignored); });
        const fs::path track = fs::path(dir) / "Until The Dub.mp3", cut = fs::path(dir) / "cut short.mp3";
        fs::copy_file(VANTREL_FUZZ_TRACK, track);
        fs::copy_file(track, cut);
        fs::resize_file(cut, fs::file_size(track) / 3 + 7);
        std::ofstream(fs::path(dir) / "empty.mp3");
        std::ofstream(fs::path(dir) / "notes.txt") << "Not a track: plain text.\n";
        fs::create_directory(fs::path(dir) / "folder.mp3");
    }

    // The line with every @DIR@ replaced by the directory's short path.
    std::string Expand(std::string_view line) const {
        std::string text(line);
        const std::string shortDir = EncodeShortPath(dir);
        for (size_t at = text.find("@DIR@"); at != std::string::npos; at = text.find("@DIR@", at + shortDir.size()))
            text.replace(at, std::size("@DIR@") - 1, shortDir);
        return text;
    }

    std::string dir;
};

// The silent backend, confined to the sandbox: a path that does not lie in
// it, lexically (below it and never climbing out through ".."; nothing in
// it is a link), is a file that cannot be played.
struct SandboxedBackend final : MediaBackend {
    explicit SandboxedBackend(const Clock& clock) : inner(clock) {}
    std::unique_ptr<MediaTrack> Open(const std::string& path) override {
        const bool inside = path.starts_with(Sandbox::Get().dir + "/") && path.find("/..") == std::string::npos;
        return inside ? inner.Open(path) : nullptr;
    }
    SilentMediaBackend inner;
};

struct Session {
    void RunLine(std::string_view line, size_t index) {
        const size_t leading = std::min(line.find_first_not_of(" \t"), line.size());
        const size_t trailing = line.size() - 1 - line.find_last_not_of(" \t"); // all of a blank line
        clock.Advance(kClockStepsMs[leading % std::size(kClockStepsMs)] * kNsPerMs);
        const auto [null, size] = kReplyBuffers[trailing % std::size(kReplyBuffers)];
        const bool nullCommand = line == "@NULL@";
        const std::string text = Sandbox::Get().Expand(line);
        std::vector<char> storage(kGuardBytes + size + kGuardBytes, kGuardFill);
        char* const buffer = null ? nullptr : storage.data() + kGuardBytes;
        // Only the view carries a NUL inside the text.
        const uint32_t code = text.find('\0') != std::string::npos ? media.Send(std::string_view(text), buffer, size)
                              : media.Send(nullCommand ? nullptr : text.c_str(), buffer, size);
        const std::string context = "command " + std::to_string(index) + " \"" + text + "\", " + (null ? "null " : "") +
                                    "buffer of size " + std::to_string(size) + ", result " + std::to_string(code);
        for (size_t i = 0; i < kGuardBytes; ++i)
            FUZZ_CHECK(storage[i] == kGuardFill && storage[kGuardBytes + size + i] == kGuardFill,
                       "byte written outside the reply buffer: " + context);
        const bool hasRoom = buffer != nullptr && size > 0;
        const MediaVerb verb = nullCommand ? MediaVerb::Open : ParseMediaCommand(text).command.verb;
        if (code != mci::kSuccess || (verb != MediaVerb::StatusLength && verb != MediaVerb::StatusPosition)) {
            FUZZ_CHECK(!hasRoom || buffer[0] == '\0', "reply text from a failure or a command that has none: " + context);
            return;
        }
        FUZZ_CHECK(hasRoom && std::find(buffer, buffer + size, '\0') != buffer + size,
                   "status reply not NUL-terminated inside the buffer: " + context);
        // The program reads every reply through the normalisation; a whole
        // decimal comes back as itself behind a blank.
        const std::string reply(buffer);
        FUZZ_CHECK(!reply.empty() && NormalizeStatusReply(std::string_view(buffer, size)) == " " + reply,
                   "status reply \"" + reply + "\" does not read back as itself: " + context);
    }

    ManualClock clock;
    MediaControl media{std::make_unique<SandboxedBackend>(clock)};
};

} // namespace
} // namespace vantrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vantrel::fuzz::Session session;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    for (size_t index = 0; !input.empty() && index < vantrel::fuzz::kMaxCommands; ++index) {
        const size_t end = input.find('\n');
        session.RunLine(input.substr(0, end), index);
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    }
    return 0;
}
