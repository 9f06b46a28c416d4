#include "mp3_length.h"

#include "music_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace vantrel {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kMpeg1Kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr int kMpeg1RatesHz[] = {44100, 48000, 32000};

// An MPEG-1 Layer III frame (44.1 kHz unless told) whose audio data is zero.
Bytes Frame(uint8_t bitrateIndex, bool padding = false, uint8_t rateIndex = 0) {
    const size_t size = 144000 * kMpeg1Kbps[bitrateIndex] / kMpeg1RatesHz[rateIndex] + (padding ? 1 : 0);
    Bytes frame(size, 0);
    frame[0] = 0xFF;
    frame[1] = 0xFB;
    frame[2] = static_cast<uint8_t>(bitrateIndex << 4 | rateIndex << 2 | (padding ? 2 : 0));
    frame[3] = 0x44;
    return frame;
}

void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text)); }

Bytes Frames(int count, uint8_t bitrateIndex = 9) {
    Bytes stream;
    for (int i = 0; i < count; ++i) Append(stream, Frame(bitrateIndex));
    return stream;
}

TEST(Mp3Length, MeasuresOurTrackAndTestPhraseAsComposedPlusEncoderPadding) {
    // Composed as 2.0 s and 76.8 s; the encoder adds under three frames (78 ms).
    const auto phrase = MeasureMp3File(testing::FixtureTrack().string());
    ASSERT_TRUE(phrase);
    EXPECT_EQ(phrase->sampleRateHz, 44100);
    EXPECT_EQ(phrase->samples, phrase->audioFrames * 1152);
    EXPECT_GE(phrase->LengthMs(), 2000);
    EXPECT_LT(phrase->LengthMs(), 2078);
    const auto track = MeasureMp3File(std::string(VANTREL_ASSETS_DIR) + "/Until The Dub.mp3");
    ASSERT_TRUE(track);
    EXPECT_GE(track->LengthMs(), 76800);
    EXPECT_LT(track->LengthMs(), 76878);
}

TEST(Mp3Length, CountsEveryFrameOfAVariableBitrateStreamWithoutHeader) {
    Bytes stream;
    const uint8_t bitrates[] = {1, 5, 9, 14, 3};
    for (int i = 0; i < 100; ++i) Append(stream, Frame(bitrates[i % 5], i % 3 == 0));
    const auto measured = ScanMp3(stream);
    ASSERT_TRUE(measured);
    EXPECT_EQ(measured->audioFrames, 100);
    EXPECT_EQ(measured->LengthMs(), 100 * 1152 * 1000 / 44100);
}

TEST(Mp3Length, ATruncatedStreamMeasuresAsItsWholeFramesBeforeTheCut) {
    const Bytes stream = Frames(6);
    const size_t frameBytes = Frame(9).size();
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        const auto measured = ScanMp3(std::span(stream.data(), cut));
        const int64_t whole = static_cast<int64_t>(cut / frameBytes);
        EXPECT_EQ(measured ? measured->audioFrames : 0, whole) << cut; // none at all: no stream
    }
}

TEST(Mp3Length, SkipsTagsTagFramesJunkAndFramesOfAnotherStream) {
    Bytes stream = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 1, 0}; // 128-byte body and a footer
    stream.resize(stream.size() + 128 + 10, 0xFF);
    Bytes info = Frame(9);
    std::memcpy(info.data() + 4 + 32, "Info", 4);
    Append(stream, info);
    Append(stream, Frames(3));
    Append(stream, Text("junk \xFF\xFB\x90 between frames"));
    Append(stream, Frames(2));
    Append(stream, Frame(9, false, 1)); // 48 kHz: not this stream
    Append(stream, Frames(2));
    Append(stream, Text("TAG an ID3v1 tag at the end"));
    const auto measured = ScanMp3(stream);
    ASSERT_TRUE(measured);
    EXPECT_EQ(measured->audioFrames, 7);
}

TEST(Mp3Length, FindsNoAudioInWhatIsNotALayer3Stream) {
    Bytes strayHeader = Frame(9);
    strayHeader.resize(40); // a sync word whose frame is followed by no frame
    strayHeader.resize(2000, '.');
    Bytes layer2 = Frames(3);
    Bytes freeFormat = Frames(3);
    for (size_t at = 0; at < layer2.size(); at += Frame(9).size()) {
        layer2[at + 1] = 0xFD;
        freeFormat[at + 2] &= 0x0F;
    }
    const Bytes hugeTag = {'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F, 0xFF, 0xFB, 0x90, 0x44};
    for (const Bytes& bytes :
         {Bytes{}, Text("Until The Dub\n"), strayHeader, layer2, freeFormat, hugeTag, Bytes(4096, 0xFF)})
        EXPECT_FALSE(ScanMp3(bytes)) << bytes.size();
}

TEST(Mp3Length, StaysWithinBoundsOnGarbage) {
    std::mt19937 random(20240601);
    for (int round = 0; round < 2000; ++round) {
        Bytes bytes(random() % 3000);
        for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
        for (size_t at = 0; at + 4 < bytes.size(); at += 1 + random() % 400) {
            bytes[at] = 0xFF;
            bytes[at + 1] = 0xFB;
        }
        const auto measured = ScanMp3(bytes);
        if (measured) {
            EXPECT_LE(measured->audioFrames * 96, static_cast<int64_t>(bytes.size()));
        }
    }
}

} // namespace
} // namespace vantrel
