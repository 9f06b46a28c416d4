// Drives one media device with a short run of command texts, as the program
// does, and holds every answer to the device's contract.
//
// Input: one command per line ('\n'), at most kMaxCommands of them. Before
// each command the manual clock moves on, so that tracks play and reach
// their ends. The blanks around a line, which the device ignores, choose the
// circumstances of the call:
// - leading blanks choose how far the clock moves first (none: one timer
//   tick of 250 ms);
// - trailing blanks choose the reply buffer (none: the program's 255
//   characters; others: sizes 0, 1, 2, 4, 5 and 16, and a null buffer).
// Placeholders name the files of a private temporary directory, so that the
// committed inputs work on any machine: @TRACK@ (the program's track),
// @CUT@ (the track cut short mid-frame), @EMPTY@, @TEXT@, @FOLDER@ (a
// directory), @MISSING@ (absent) and @DIR@ (the directory itself), each
// replaced by its short path. The line @NULL@ sends a null command.
//
// The device opens files only inside that directory: any other path is
// refused as a file that cannot be played, so no input can make the fuzzer
// open a device node or anything else on the machine. The device itself
// only ever reads (open read-only, fstat, read).
//
// With VANTREL_FUZZ_TRACE set, every call and its result go to stderr (to
// read what a crashing input did).
//
// Checked on every call: nothing is written outside the reply buffer (guard
// bytes on both sides); a failing command leaves no reply text; a successful
// status reply is whole decimal digits NUL-terminated inside the buffer,
// which the program's normalisation reads as that number; a position never
// exceeds the length.

#include "clock.h"
#include "fuzz_check.h"
#include "mci_error.h"
#include "media_backend.h"
#include "media_command.h"
#include "media_control.h"
#include "short_path.h"
#include "silent_media_backend.h"
#include "status_reply.h"


#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel::fuzz {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kNsPerMs = 1'000'000;
constexpr size_t kMaxCommands = 64;

// Indexed by the count of leading blanks, wrapping. The largest step times
// kMaxCommands stays far inside the clock's range.
constexpr int64_t kClockStepsMs[] = {250, 0, 1, 999, 5'000, 60'000, 86'400'000, 31'536'000'000};

struct ReplyBuffer {
    bool null = false;
    uint32_t size = 0;
};

// Indexed by the count of trailing blanks, wrapping.
constexpr ReplyBuffer kReplyBuffers[] = {{false, 255}, {false, 0}, {false, 1}, {false, 2},  {false, 4},
                                         {false, 5},   {false, 16}, {true, 255}, {true, 0}};

constexpr size_t kGuardBytes = 32;
constexpr char kGuardFill = '\xA5'; // neither a digit nor a NUL

std::string ReadWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteWholeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The private directory of files an input may open, made once per process
// and removed when it exits.
class Sandbox {
public:
    static const Sandbox& Get() {
        static const Sandbox* sandbox = new Sandbox(); // outlives every device; removed by atexit
        return *sandbox;
    }

    // The line with every placeholder replaced by its short path.
    std::string Expand(std::string_view line) const {
        std::string text(line);
        for (const auto& [placeholder, shortPath] : m_placeholders) {
            for (size_t at = text.find(placeholder); at != std::string::npos;
                 at = text.find(placeholder, at + shortPath.size()))
                text.replace(at, placeholder.size(), shortPath);
        }
        return text;
    }

    // Whether the path lies in the directory, lexically: absolute, below it,
    // and never climbing out through "..". Nothing in it is a link.
    bool Contains(std::string_view path) const {
        if (path != m_dir && !path.starts_with(m_dir + "/")) return false;
        for (size_t at = 0; at <= path.size();) {
            const size_t end = std::min(path.find('/', at), path.size());
            if (path.substr(at, end - at) == "..") return false;
            at = end + 1;
        }
        return true;
    }

private:
    Sandbox() {
        std::string pattern = (fs::temp_directory_path() / "vantrel-fuzz-XXXXXX").string();
        FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr, "making the temporary directory " + pattern);
        m_dir = pattern;
        std::atexit([] { Get().Remove(); });

        const char* fixture = std::getenv("VANTREL_FUZZ_TRACK");
        const std::string track = ReadWholeFile(fixture != nullptr ? fixture : VANTREL_FUZZ_TRACK);
        FUZZ_CHECK(!track.empty(), "reading the track fixture (set VANTREL_FUZZ_TRACK to its path)");
        const fs::path dir(m_dir);
        WriteWholeFile(dir / "Until The Dub.mp3", track);
        WriteWholeFile(dir / "cut short.mp3", std::string_view(track).substr(0, track.size() / 3 + 7));
        WriteWholeFile(dir / "empty.mp3", "");
        WriteWholeFile(dir / "notes.txt", "Not a track: plain text.\n");
        fs::create_directory(dir / "folder.mp3");

        AddPlaceholder("@TRACK@", dir / "Until The Dub.mp3");
        AddPlaceholder("@CUT@", dir / "cut short.mp3");
        AddPlaceholder("@EMPTY@", dir / "empty.mp3");
        AddPlaceholder("@TEXT@", dir / "notes.txt");
        AddPlaceholder("@FOLDER@", dir / "folder.mp3");
        AddPlaceholder("@MISSING@", dir / "missing.mp3");
        AddPlaceholder("@DIR@", dir);
    }

    void AddPlaceholder(std::string placeholder, const fs::path& path) {
        m_placeholders.emplace_back(std::move(placeholder), EncodeShortPath(path.string()));
    }

    void Remove() const {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    std::string m_dir;
    std::vector<std::pair<std::string, std::string>> m_placeholders;
};

// The silent backend, confined to the sandbox: a path outside it is a file
// that cannot be played.
class SandboxedBackend final : public MediaBackend {
public:
    explicit SandboxedBackend(const Clock& clock) : m_inner(clock) {}

    std::unique_ptr<MediaTrack> Open(const std::string& path) override {
        if (!Sandbox::Get().Contains(path)) return nullptr;
        return m_inner.Open(path);
    }

private:
    SilentMediaBackend m_inner;
};

size_t LeadingBlanks(std::string_view line) {
    size_t count = 0;
    while (count < line.size() && (line[count] == ' ' || line[count] == '\t')) ++count;
    return count;
}

size_t TrailingBlanks(std::string_view line) {
    size_t count = 0;
    while (count < line.size() && (line[line.size() - 1 - count] == ' ' || line[line.size() - 1 - count] == '\t'))
        ++count;
    return count;
}

bool IsStatus(MediaVerb verb) { return verb == MediaVerb::StatusLength || verb == MediaVerb::StatusPosition; }

// A whole number in decimal as the device writes it: digits only, no
// leading zero but in "0" itself.
std::optional<int64_t> DecimalValue(std::string_view text) {
    if (text.empty() || (text.size() > 1 && text[0] == '0')) return std::nullopt;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

class Session {
public:
    void Run(std::string_view input) {
        size_t index = 0;
        while (!input.empty() && index < kMaxCommands) {
            const size_t end = input.find('\n');
            RunLine(input.substr(0, end), index++);
            input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
        }
    }

private:
    void RunLine(std::string_view line, size_t index) {
        const size_t leading = LeadingBlanks(line);
        m_clock.Advance(kClockStepsMs[leading % std::size(kClockStepsMs)] * kNsPerMs);
        const ReplyBuffer choice = kReplyBuffers[TrailingBlanks(line) % std::size(kReplyBuffers)];

        const bool nullCommand = line == "@NULL@";
        const std::string text = Sandbox::Get().Expand(line);
        std::vector<char> storage(kGuardBytes + choice.size + kGuardBytes, kGuardFill);
        char* const buffer = choice.null ? nullptr : storage.data() + kGuardBytes;

        uint32_t code = 0;
        if (nullCommand)
            code = m_media.Send(static_cast<const char*>(nullptr), buffer, choice.size);
        else if (text.find('\0') != std::string::npos)
            code = m_media.Send(std::string_view(text), buffer, choice.size); // only the view carries a NUL inside the text
        else
            code = m_media.Send(text.c_str(), buffer, choice.size);

        const auto context = [&] {
            return "command " + std::to_string(index) + " \"" + text + "\", " +
                   (choice.null ? "null buffer" : "buffer") + " of size " + std::to_string(choice.size) + ", result " +
                   std::to_string(code) + ", clock " + std::to_string(m_clock.NowNs() / kNsPerMs) + " ms";
        };

        // Nothing outside the given size, on either side.
        for (size_t i = 0; i < kGuardBytes; ++i) {
            FUZZ_CHECK(storage[i] == kGuardFill, "byte written before the reply buffer: " + context());
            FUZZ_CHECK(storage[kGuardBytes + choice.size + i] == kGuardFill,
                       "byte written past the reply buffer: " + context());
        }
        const bool hasRoom = buffer != nullptr && choice.size > 0;
        if (code != mci::kSuccess) FUZZ_CHECK(!hasRoom || buffer[0] == '\0', "reply text left by a failure: " + context());

        const ParsedMediaCommand parsed =
            nullCommand ? ParsedMediaCommand{MediaCommand{}, mci::kMissingCommandString} : ParseMediaCommand(text);
        std::string reply;
        if (code == mci::kSuccess && !parsed.error && IsStatus(parsed.command.verb)) {
            FUZZ_CHECK(hasRoom, "status succeeded without a buffer: " + context());
            const char* const begin = buffer;
            const char* const nul = std::find(begin, begin + choice.size, '\0');
            FUZZ_CHECK(nul != begin + choice.size, "status reply not NUL-terminated inside the buffer: " + context());
            reply.assign(begin, nul);
            const std::optional<int64_t> value = DecimalValue(reply);
            FUZZ_CHECK(value.has_value(), "status reply \"" + reply + "\" is not a whole decimal: " + context());
            // The program reads every reply through the normalisation; a
            // whole decimal comes back as itself behind a blank.
            FUZZ_CHECK(NormalizeStatusReply(std::string_view(begin, choice.size)) == " " + reply,
                       "status reply \"" + reply + "\" normalised otherwise: " + context());
            if (parsed.command.verb == MediaVerb::StatusPosition) {
                const std::optional<int64_t> length = AskLength();
                FUZZ_CHECK(length && *value <= *length, "position past the length: " + context());
            }
        } else if (code == mci::kSuccess) {
            FUZZ_CHECK(!hasRoom || buffer[0] == '\0', "reply text from a command that has none: " + context());
        }

        if (m_trace) std::fprintf(stderr, "%s, reply \"%s\"\n", context().c_str(), reply.c_str());
    }

    // The device's own answer to a length query, with room to spare. Asking
    // changes nothing on the device.
    std::optional<int64_t> AskLength() {
        char reply[32];
        if (m_media.Send("status untilthedub length", reply, sizeof reply) != mci::kSuccess) return std::nullopt;
        return DecimalValue(reply);
    }

    const bool m_trace = std::getenv("VANTREL_FUZZ_TRACE") != nullptr;
    ManualClock m_clock;
    MediaControl m_media{std::make_unique<SandboxedBackend>(m_clock)};
};

} // namespace
} // namespace vantrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vantrel::fuzz::Session session;
    session.Run(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
