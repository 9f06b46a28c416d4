#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vantrel {

// What an MPEG audio Layer III stream holds, counted frame by frame.
struct Mp3Stream {
    int64_t audioFrames = 0;
    int64_t samples = 0; // per channel
    int32_t sampleRateHz = 0;

    int64_t LengthMs() const { return sampleRateHz > 0 ? samples * 1000 / sampleRateHz : 0; }
};

// Measures a Layer III stream by walking its frame headers, so that a
// variable-bitrate file without a Xing/VBRI header is measured as exactly as
// a constant-bitrate one. Rules:
// - ID3v2 tags at the start are skipped; anything that is not a frame
//   (ID3v1 or APE tags, junk) is skipped by searching for the next frame.
// - A frame is taken as the stream's start only when the next frame's
//   header follows where it should (or the data ends there), so stray sync
//   bytes in junk are not taken for audio.
// - Every later frame must keep the first frame's MPEG version and sample
//   rate. Free-format and reserved header values are not frames.
// - A frame cut short by the end of the data does not count: a truncated
//   file measures as the whole frames before the cut.
// - A leading Xing/Info/VBRI tag frame holds no audio and does not count.
//   Encoder delay and padding are not subtracted.
// Gives nothing when not one audio frame is found. Never reads out of bounds.
std::optional<Mp3Stream> ScanMp3(std::span<const uint8_t> bytes);

// The largest track file the device reads (a 128 kbit/s track of several
// hours); larger files are refused rather than read.
inline constexpr size_t kMaxTrackFileBytes = 256u * 1024u * 1024u;

// Reads the file (see ReadRegularFile) and measures it; nothing when the
// file cannot be read or is not a Layer III stream.
std::optional<Mp3Stream> MeasureMp3File(const std::string& path);

} // namespace vantrel
