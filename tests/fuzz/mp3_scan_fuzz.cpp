// Feeds arbitrary bytes, as a track file beside the program may hold, to the
// MP3 measure. It never reads outside them (the sanitizers see to that),
// and what it finds is a stream the bytes can hold: at least one frame, no
// more frames than the smallest frame fits into the bytes, each of one
// Layer III frame's samples, at one of MPEG's sample rates.

#include "fuzz_check.h"
#include "mp3_length.h"

#include <algorithm>
#include <array>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto stream = vantrel::ScanMp3(std::span<const uint8_t>(data, size));
    if (!stream) return 0;
    const std::string found = std::to_string(stream->audioFrames) + " frames, " + std::to_string(stream->samples) +
                              " samples at " + std::to_string(stream->sampleRateHz) + " Hz in " + std::to_string(size) +
                              " bytes";
    constexpr size_t kSmallestFrameBytes = 24; // 8 kbit/s at 24 kHz
    constexpr std::array kRatesHz{8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    FUZZ_CHECK(stream->audioFrames >= 1 && size_t(stream->audioFrames) <= size / kSmallestFrameBytes, found);
    FUZZ_CHECK(stream->samples == stream->audioFrames * 1152 || stream->samples == stream->audioFrames * 576, found);
    FUZZ_CHECK(std::ranges::count(kRatesHz, stream->sampleRateHz) == 1, found);
    return 0;
}
