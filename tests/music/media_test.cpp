// The media device under the music loop: its command texts, its replies,
// the MP3 measure, the short path and the normalisation of status replies.

#include "mci_error.h"
#include "media_command.h"
#include "media_control.h"
#include "mp3_length.h"
#include "output_stall_watch.h"
#include "sdl_mixer_backend.h"
#include "short_path.h"
#include "silent_media_backend.h"
#include "status_reply.h"
#include "test_support.h"
#include "track_file.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <array>
#include <gtest/gtest.h>
#include <cstring>
#include <fstream>

namespace vantrel {
namespace {

using namespace std::string_literals;
using namespace mci;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

std::string OpenCommand(const fs::path& track) {
    return "open " + EncodeShortPath(track.string()) + " type mpegvideo alias untilthedub";
}

// The plainly written commands, and the refusal of an unknown status item,
// are the device script's below.
TEST(MediaCommand, AcceptsTheSevenCommandsAndRefusesEverythingElse) {
    std::string every; // every byte but NUL survives a path's short form and the command's parse
    for (int byte = 1; byte < 256; ++byte) every += static_cast<char>(byte);
    const auto openOf = [](const std::string& path) { return "open " + path + " type mpegvideo alias untilthedub"; };
    struct Case { std::string text; uint32_t error; std::string path = ""; };
    const Case cases[] = {
        {"OPEN /m/a.mp3 Type MPEGVideo ALIAS UntilTheDub", kSuccess, "/m/a.mp3"}, {"  play \t untilthedub  ", kSuccess},
        {"Status UNTILTHEDUB Position", kSuccess}, {OpenCommand(every), kSuccess, every},
        {openOf("/Opt/My%20Dir/%25x%2a%2A.MP3"), kSuccess, "/Opt/My Dir/%x**.MP3"},
        {openOf(""), kUnrecognizedCommand}, // no path: one word short
        {"open /a type mpegvideo alias other", kUnrecognizedCommand}, {"play untilthedubx", kUnrecognizedCommand},
        {"play untilthedub from 00", kUnrecognizedCommand}, {openOf("/a%2"), kInvalidFile},
        {openOf("/a%00b"), kInvalidFile}, {openOf("/etc/x\0.mp3"s), kInvalidFile}, // the NUL would open /etc/x
        {" \t ", kMissingCommandString},
    };
    for (const Case& c : cases) {
        const ParsedMediaCommand parsed = ParseMediaCommand(c.text);
        EXPECT_EQ(parsed.error, c.error) << c.text;
        EXPECT_EQ(parsed.command.path, c.path) << c.text;
    }
}

// The device on the silent backend, driven by a hand-moved clock, keeps one
// track per alias; its position runs to exactly the length and stays there
// until it is played from the start. A reply is written whole, with its NUL,
// inside the caller's buffer, or not at all: nothing lands past the buffer,
// and a failing command or one that answers nothing leaves empty text.
TEST(MediaControl, OneTrackWhosePositionRunsToItsLengthAndRepliesInsideTheirBuffers) {
    ManualClock clock;
    MediaControl media(std::make_unique<SilentMediaBackend>(clock));
    const std::string open = OpenCommand(testing::FixtureTrack()), length = "status untilthedub length",
                      position = "status untilthedub position";
    // {ms the clock moves first, command, buffer size, result, reply}; the fixture is 2037 ms long
    const std::tuple<int64_t, std::string, uint32_t, uint32_t, const char*> script[] = {
        {0, "play untilthedub", 16, kInvalidDeviceName, ""}, {0, open, 16, kSuccess, ""},
        {0, open, 16, kDuplicateAlias, ""}, {0, length, 5, kSuccess, "2037"}, // the reply just fits
        {0, length, 4, kParamOverflow, ""}, {0, length, 0, kParamOverflow, nullptr},
        {0, "play untilthedub", 16, kSuccess, ""},
        {300, "stop untilthedub", 16, kSuccess, ""}, {1000, position, 16, kSuccess, "300"}, // a stop holds it
        {0, "play untilthedub", 16, kSuccess, ""}, {1736, position, 16, kSuccess, "2036"},
        {1, position, 16, kSuccess, "2037"}, {60'000, "play untilthedub", 16, kSuccess, ""}, // on from the end
        {0, position, 16, kSuccess, "2037"}, {0, "play untilthedub from 0", 16, kSuccess, ""},
        {250, position, 16, kSuccess, "250"}, {0, "status untilthedub mode", 16, kUnrecognizedCommand, ""},
        {0, "close untilthedub", 16, kSuccess, ""}, {0, position, 16, kInvalidDeviceName, ""},
    };
    for (const auto& [advanceMs, command, size, result, reply] : script) {
        SCOPED_TRACE(::testing::Message() << command << ", a buffer of " << size);
        clock.Advance(advanceMs * 1'000'000);
        constexpr size_t kGuard = 8;
        std::string buffer(size + kGuard, '#');
        EXPECT_EQ(media.Send(command, buffer.data(), size), result);
        EXPECT_EQ(buffer.substr(size), std::string(kGuard, '#')) << "written past the buffer";
        if (reply) {
            EXPECT_STREQ(buffer.c_str(), reply);
        }
    }
    ASSERT_EQ(media.Send(open, nullptr, 0), kSuccess);
    EXPECT_EQ(media.Send(length, nullptr, 255), kParamOverflow);
    EXPECT_EQ(media.Send(static_cast<const char*>(nullptr), nullptr, 0), kMissingCommandString);
}

// No audio output is no failure: the track keeps its place on the clock as
// it would aloud, and sounds again from there once an output opens, whether
// the output went away while it played (and SDL said so, or it just stopped
// asking for sound) or was never there. Each change is told once, with its
// reason. Without SDL's libraries it plays silently for good.
TEST(AudioBackend, WithoutAnOutputTheTrackKeepsItsPlaceOnTheClockAndSoundsAgainFromThere) {
    // A step: how far the clock moves, what happens then ('-' the output is
    // removed, '=' it stalls, '+' a driver is there again), the position and
    // whether the music sounds.
    struct Step { int64_t advanceMs; char change; int64_t positionMs; bool sounding; };
    // {case, SDL's audio driver at start, the mixer's library, the steps, what is told}
    const std::tuple<const char*, const char*, const char*, std::vector<Step>, std::vector<std::string>> cases[] = {
        // lost: no new attempt 400 ms after the loss; sounding again a second after it
        {"output lost while playing", "dummy", SdlLibrary::kMixerLibrary,
         {{0, ' ', 0, true}, {300, ' ', 300, true}, {0, '-', 300, false}, {400, ' ', 700, false}, {1000, ' ', 1700, true}},
         {"silent (the audio device went away)", "sounding on dummy"}},
        // stalled: given up after a second without a request and opened
        // again at once; the output opened again is watched as the first was
        {"output stalled while playing, twice", "dummy", SdlLibrary::kMixerLibrary,
         {{0, '=', 0, true}, {999, ' ', 999, true}, {1, ' ', 1000, true}, {0, '=', 1000, true}, {1000, ' ', 2000, true}},
         {"silent (the audio device stopped playing)", "sounding on dummy", "silent (the audio device stopped playing)",
          "sounding on dummy"}},
        // none at start: the attempt a second in fails, the one a second after it opens
        {"no output at start", "no-such-driver", SdlLibrary::kMixerLibrary,
         {{0, ' ', 0, false}, {1000, ' ', 1000, false}, {0, '+', 1000, false}, {600, ' ', 1600, false}, {400, ' ', 2000, true}},
         {"silent (SDL audio)", "sounding on dummy"}},
        // no SDL: told once, never looked for again
        {"no SDL libraries", "dummy", "libno-such-mixer.so.0", {{0, ' ', 0, false}, {1500, ' ', 1500, false}},
         {"silent (cannot load SDL)"}},
    };
    for (const auto& [name, driverAtStart, library, steps, told] : cases) {
        SCOPED_TRACE(name);
        ::setenv("SDL_AUDIODRIVER", driverAtStart, 1);
        SdlLibrary sdl(library);
        ManualClock clock;
        std::vector<std::string> notices;
        OutputNotices heard;
        heard.silent = [&](const auto& why) { notices.push_back("silent (" + why.substr(0, why.find(':')) + ")"); };
        heard.sounding = [&](const std::string& driver) { notices.push_back("sounding on " + driver); };
        MediaControl media(std::make_unique<SdlMixerBackend>(clock, heard, sdl));
        ASSERT_EQ(media.Send(OpenCommand(fs::path(VANTREL_ASSETS_DIR) / testing::kTrackFileName), nullptr, 0),
                  kSuccess);
        media.Send("play untilthedub", nullptr, 0);
        for (const Step& step : steps) {
            SCOPED_TRACE(::testing::Message() << "at " << step.positionMs << " ms");
            clock.Advance(step.advanceMs * 1'000'000);
            if (step.change == '+') ::setenv("SDL_AUDIODRIVER", "dummy", 1);
            // A stall stops SDL's audio thread from asking the mixer for sound, as a
            // stream whose server has gone does: the mixer's one open device is paused.
            for (SDL_AudioDeviceID device = 1; step.change == '=' && device <= 16; ++device)
                if (SDL_GetAudioDeviceStatus(device) == SDL_AUDIO_PLAYING) SDL_PauseAudioDevice(device, 1);
            SDL_Event removed{.type = SDL_AUDIODEVICEREMOVED};
            ASSERT_TRUE(step.change != '-' || SDL_PushEvent(&removed) == 1) << SDL_GetError();
            const size_t noticesBefore = notices.size();
            std::string position(16, '\0');
            EXPECT_EQ(media.Send("status untilthedub position", position.data(), 16), kSuccess);
            EXPECT_EQ(std::stoll(position), step.positionMs);
            EXPECT_EQ(Mix_PlayingMusic() != 0, step.sounding);
            // Sounding again, the mixer starts at the clock's place (and has
            // played on a moment since, in real time).
            if (notices.size() > noticesBefore && notices.back().starts_with("sounding")) {
                EXPECT_NEAR(Mix_GetMusicPosition(nullptr), step.positionMs / 1000.0 + 0.25, 0.25);
            }
        }
        EXPECT_EQ(notices, told);
    }
}

// The watch judges by looks alone: a count that moved at a look restarts the
// second, however long the looks before it saw nothing.
TEST(OutputStallWatch, GivesUpOnlyAfterASecondWithoutARequest) {
    // A look: when (ms after the restart at count 5), the count, the verdict.
    struct Look { int64_t atMs; uint64_t requests; bool stalled; };
    const std::pair<const char*, std::vector<Look>> cases[] = {
        {"still, then moving", {{999, 5, false}, {1000, 5, true}, {1500, 5, true}, {1600, 6, false}, {1700, 6, false}}},
        {"moved once", {{900, 6, false}, {1000, 6, false}, {1899, 6, false}, {1900, 6, true}}},
        {"count restarted lower", {{400, 0, false}, {1399, 0, false}, {1400, 0, true}}},
    };
    for (const auto& [name, looks] : cases) {
        SCOPED_TRACE(name);
        OutputStallWatch watch;
        watch.Restart(5, 0);
        for (const Look& look : looks)
            EXPECT_EQ(watch.Stalled(look.requests, look.atMs * 1'000'000), look.stalled) << "at " << look.atMs << " ms";
    }
}

// An MPEG-1 Layer III frame (44.1 kHz unless told) whose audio data is zero.
Bytes Frame(uint8_t bitrateIndex, bool padding = false, uint8_t rateIndex = 0) {
    constexpr int kKbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    constexpr int kRatesHz[] = {44100, 48000, 32000};
    Bytes frame = {0xFF, 0xFB, static_cast<uint8_t>(bitrateIndex << 4 | rateIndex << 2 | (padding ? 2 : 0)), 0x44};
    frame.resize(144000 * kKbps[bitrateIndex] / kRatesHz[rateIndex] + (padding ? 1 : 0), 0);
    return frame;
}

Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text)); }

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A track file is read whole, byte for byte, at sizes around the size of
// one read, and one larger than allowed is refused.
TEST(TrackFile, ReadsEveryByteAtSizesAroundOneReadAndRefusesOneTooLarge) {
    const testing::TempDir directory;
    constexpr size_t kLimit = 200'000;
    // {file size, whether it is read}
    for (const auto& [size, read] : {std::pair{size_t{0}, true}, {1, true}, {65'535, true}, {65'536, true},
                                     {65'537, true}, {kLimit, true}, {kLimit + 1, false}}) {
        Bytes bytes(size);
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
        const auto path = directory.path / "track.mp3";
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
        EXPECT_TRUE(ReadRegularFile(path.string(), kLimit) == (read ? std::optional(bytes) : std::nullopt)) << size;
    }
}

// Frames of varying bitrate all count, and only whole ones. Tags (the ID3
// one holding what looks like frames), a tag frame, junk and a frame of
// another stream are no audio; what is not a Layer III stream has none, and
// the scan stays in bounds.
TEST(Mp3Length, CountsTheWholeFramesOfOneStreamAndNothingElse) {
    const auto framesIn = [](const Bytes& bytes) { return ScanMp3(bytes) ? ScanMp3(bytes)->audioFrames : 0; };
    Bytes vbr;
    for (int i = 0; i < 100; ++i) vbr = Join({vbr, Frame(std::array{1, 5, 9, 14, 3}[i % 5], i % 3 == 0)});
    EXPECT_EQ(ScanMp3(vbr)->LengthMs(), 100 * 1152 * 1000 / 44100);
    const Bytes six = Join({Frame(9), Frame(9), Frame(9), Frame(9), Frame(9), Frame(9)});
    for (size_t cut = 0; cut <= six.size(); ++cut)
        EXPECT_EQ(framesIn(Bytes(six.begin(), six.begin() + cut)), int64_t(cut / Frame(9).size())) << cut;
    // A 208-byte body and a footer.
    const Bytes id3 = Join({{'I', 'D', '3', 4, 0, 0x10, 0, 0, 1, 80}, Frame(1), Frame(1), Bytes(10, 0xFF)});
    Bytes info = Frame(9), stray = Frame(9), layer2 = Frame(9), freeFormat = Frame(9);
    std::memcpy(info.data() + 4 + 32, "Info", 4);
    stray.resize(40);
    stray.resize(2000, '.'); // a sync word whose frame no frame follows
    layer2[1] = 0xFD;
    freeFormat[2] &= 0x0F;
    const std::pair<Bytes, int64_t> cases[] = {
        {Join({id3, info, Frame(9), Frame(9), Frame(9), Text("junk \xFF\xFB\x90 between"), Frame(9), Frame(9), Frame(9, false, 1),
               Frame(9), Frame(9), Text("TAG an ID3v1 tag at the end")}), 7},
        {{}, 0}, {Text("Until The Dub\n"), 0}, {stray, 0}, {layer2, 0}, {freeFormat, 0}, {Bytes(4096, 0xFF), 0},
        {{'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F, 0xFF, 0xFB, 0x90, 0x44}, 0}, // a tag as long as can be
    };
    for (const auto& [bytes, frames] : cases) EXPECT_EQ(framesIn(bytes), frames) << bytes.size();
}

TEST(StatusReply, NormalisesPlainDecimalsAndRefusesEverythingElse) {
    const std::string huge = std::string(5000, '9') + "." + std::string(5000, '1');
    const std::pair<std::string, std::string> numbers[] = {
        {"2000", " 2000"}, {"0", " 0"},   {"-5", "-5"},     {"-0", " 0"},   {"+7", " 7"},  {"\t12 \t", " 12"},
        {"000", " 0"},     {"007.50", " 7.5"}, {"-0.000", " 0"}, {".5", " 0.5"}, {"3.", " 3"}, {"-.25", "-0.25"},
        {"17\0x"s, " 17"}, {"1234\0\0\0\0\0\0999"s, " 1234"}, // a stale tail after the NUL is no part of it
        {"-" + std::string(3000, '0') + huge + "000", "-" + huge},
    };
    for (const auto& [reply, expected] : numbers) EXPECT_EQ(NormalizeStatusReply(reply), expected) << reply;
    for (const std::string& reply : {""s, "abc"s, "1x"s, "1 2"s, "1,000"s, "1e3"s, "-"s, "."s, "--1"s, "1.2.3"s,
                                     "\0"s "12"s, "12\n"s})
        EXPECT_THROW(NormalizeStatusReply(reply), RuntimeError) << reply;
}

} // namespace
} // namespace vantrel
