// The track plays over and over: with a two-second track beside a copy of
// the program, the sound it writes shows each play followed by the next one
// after a pause no longer than one replay poll.

#include "program_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace desktop {
namespace {

// Below this every sample of a 10 ms block counts as silent.
constexpr int kSilenceLevel = 64;
constexpr int kBlockFrames = kAudioRateHz / 100;
// The replay poll runs every 500 ms; the rest is the time a busy machine may
// add to a poll and to the output.
constexpr double kLongestPauseMs = 500.0 + 350.0;
// The test phrase itself pauses for a moment between its notes.
constexpr double kPauseWithinThePhraseMs = 200.0;

struct Pause {
    double startMs = 0;
    double lengthMs = 0;
};

// Silent stretches between the first and the last sound, in 10 ms blocks.
std::vector<Pause> PausesBetweenSounds(const std::vector<int>& levels) {
    std::vector<bool> silent;
    for (size_t block = 0; (block + 1) * kBlockFrames <= levels.size(); ++block) {
        const auto begin = levels.begin() + static_cast<long>(block * kBlockFrames);
        silent.push_back(*std::max_element(begin, begin + kBlockFrames) < kSilenceLevel);
    }
    std::vector<Pause> pauses;
    const auto firstSound = std::find(silent.begin(), silent.end(), false);
    if (firstSound == silent.end()) return pauses;
    for (auto block = firstSound; block != silent.end();) {
        const auto pauseStart = std::find(block, silent.end(), true);
        const auto pauseEnd = std::find(pauseStart, silent.end(), false);
        if (pauseEnd == silent.end()) break; // silence at the end: the program was ended there
        pauses.push_back(Pause{static_cast<double>(pauseStart - silent.begin()) * 10.0,
                               static_cast<double>(pauseEnd - pauseStart) * 10.0});
        block = pauseEnd;
    }
    return pauses;
}

TEST(TrackLoop, ShortTrackRestartsAfterEachEndWithinOnePoll) {
    Desktop desktop;
    ProgramCopy copy(ShortTrackPath());
    ProgramOptions options;
    options.binary = copy.binary();
    ProgramRun program(desktop, options);
    const auto window = program.WaitForMainWindow(Milliseconds(15000));
    ASSERT_TRUE(window.has_value()) << program.Stderr();

    // Long enough for the two-second track to be heard three times.
    const double wantSeconds = 8.0;
    const bool enough = WaitUntil(
        [&] {
            return static_cast<double>(program.AudioBytes()) / (kAudioRateHz * kAudioBytesPerFrame) >= wantSeconds;
        },
        Milliseconds(30000), Milliseconds(100));
    ASSERT_TRUE(program.CloseWindow(*window));
    const auto status = program.process().WaitFor(Milliseconds(10000));
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(status->exited && status->code == 0) << status->Describe();
    ASSERT_TRUE(enough) << "the sound output fell far behind real time";

    const std::vector<int> levels = ReadPcmLevels(program.audioPath());
    const std::vector<Pause> pauses = PausesBetweenSounds(levels);
    std::ostringstream seen;
    for (const Pause& pause : pauses) seen << pause.lengthMs << " ms at " << pause.startMs << " ms; ";

    // The restarts: pauses longer than the phrase's own.
    const auto restarts = std::count_if(pauses.begin(), pauses.end(),
                                        [](const Pause& pause) { return pause.lengthMs > kPauseWithinThePhraseMs; });
    EXPECT_GE(restarts, 2) << "the track did not start again after its end; pauses: " << seen.str();
    for (const Pause& pause : pauses)
        EXPECT_LE(pause.lengthMs, kLongestPauseMs) << "a pause of " << pause.lengthMs << " ms at " << pause.startMs
                                                   << " ms; pauses: " << seen.str();
}

} // namespace
} // namespace desktop
