#include "mp3_length.h"

#include "track_file.h"

#include <array>
#include <cstring>

namespace vantrel {
namespace {

constexpr size_t kHeaderBytes = 4;
constexpr size_t kId3HeaderBytes = 10;
constexpr size_t kId3FooterBytes = 10;
constexpr uint8_t kId3FooterFlag = 0x10;

enum class MpegVersion : uint8_t { Mpeg25 = 0, Reserved = 1, Mpeg2 = 2, Mpeg1 = 3 };
constexpr uint8_t kLayer3 = 1;

constexpr std::array<int32_t, 15> kMpeg1Kbps = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr std::array<int32_t, 15> kMpeg2Kbps = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
constexpr std::array<int32_t, 3> kMpeg1RatesHz = {44100, 48000, 32000};

struct FrameHeader {
    MpegVersion version = MpegVersion::Reserved;
    int32_t sampleRateHz = 0;
    int32_t samplesPerFrame = 0;
    size_t frameBytes = 0;
    size_t sideInfoBytes = 0;

    bool SameStreamAs(const FrameHeader& other) const {
        return version == other.version && sampleRateHz == other.sampleRateHz;
    }
};

int32_t SampleRateHz(MpegVersion version, uint8_t index) {
    const int32_t mpeg1 = kMpeg1RatesHz[index];
    if (version == MpegVersion::Mpeg1) return mpeg1;
    return version == MpegVersion::Mpeg2 ? mpeg1 / 2 : mpeg1 / 4;
}

size_t SideInfoBytes(MpegVersion version, bool mono) {
    if (version == MpegVersion::Mpeg1) return mono ? 17 : 32;
    return mono ? 9 : 17;
}

std::optional<FrameHeader> ReadHeader(std::span<const uint8_t> bytes, size_t at) {
    if (at >= bytes.size() || bytes.size() - at < kHeaderBytes) return std::nullopt;
    const uint8_t* h = bytes.data() + at;
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return std::nullopt;
    const auto version = static_cast<MpegVersion>((h[1] >> 3) & 0x03);
    const uint8_t bitrateIndex = h[2] >> 4;
    const uint8_t rateIndex = (h[2] >> 2) & 0x03;
    const bool reserved = version == MpegVersion::Reserved || ((h[1] >> 1) & 0x03) != kLayer3 ||
                          bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 || (h[3] & 0x03) == 2;
    if (reserved) return std::nullopt;
    const bool mpeg1 = version == MpegVersion::Mpeg1;
    FrameHeader header;
    header.version = version;
    header.sampleRateHz = SampleRateHz(version, rateIndex);
    header.samplesPerFrame = mpeg1 ? 1152 : 576;
    const int32_t kbps = (mpeg1 ? kMpeg1Kbps : kMpeg2Kbps)[bitrateIndex];
    const size_t padding = (h[2] >> 1) & 0x01;
    header.frameBytes = static_cast<size_t>((mpeg1 ? 144000 : 72000) * kbps / header.sampleRateHz) + padding;
    header.sideInfoBytes = SideInfoBytes(version, (h[3] >> 6) == 3);
    return header;
}

bool HasTagAt(std::span<const uint8_t> bytes, size_t at, const char* tag) {
    return at < bytes.size() && bytes.size() - at >= 4 && std::memcmp(bytes.data() + at, tag, 4) == 0;
}

// The Xing/Info tag sits after the side information; VBRI at a fixed place.
bool IsTagFrame(std::span<const uint8_t> bytes, size_t at, const FrameHeader& header) {
    constexpr size_t kVbriOffset = kHeaderBytes + 32;
    const size_t xingAt = at + kHeaderBytes + header.sideInfoBytes;
    return HasTagAt(bytes, xingAt, "Xing") || HasTagAt(bytes, xingAt, "Info") ||
           HasTagAt(bytes, at + kVbriOffset, "VBRI");
}

size_t SkipId3v2Tags(std::span<const uint8_t> bytes) {
    size_t at = 0;
    while (bytes.size() - at >= kId3HeaderBytes && std::memcmp(bytes.data() + at, "ID3", 3) == 0) {
        const uint8_t* tag = bytes.data() + at;
        if ((tag[6] | tag[7] | tag[8] | tag[9]) & 0x80) break; // not a syncsafe size: not a tag
        const size_t body = (size_t{tag[6]} << 21) | (size_t{tag[7]} << 14) | (size_t{tag[8]} << 7) | tag[9];
        const size_t total = kId3HeaderBytes + body + ((tag[5] & kId3FooterFlag) ? kId3FooterBytes : 0);
        if (total >= bytes.size() - at) return bytes.size();
        at += total;
    }
    return at;
}

// A frame whose successor's header follows where it should, or that ends
// the data, under the given stream (none: any stream may start here).
bool IsConfirmedFrame(std::span<const uint8_t> bytes, size_t at, const std::optional<FrameHeader>& stream) {
    const std::optional<FrameHeader> header = ReadHeader(bytes, at);
    if (!header || (stream && !header->SameStreamAs(*stream))) return false;
    const size_t next = at + header->frameBytes;
    if (next >= bytes.size() || bytes.size() - next < kHeaderBytes) return true;
    const std::optional<FrameHeader> following = ReadHeader(bytes, next);
    return following && following->SameStreamAs(*header);
}

std::optional<size_t> FindFrame(std::span<const uint8_t> bytes, size_t from, const std::optional<FrameHeader>& stream) {
    for (size_t at = from; at < bytes.size(); ++at) {
        if (bytes[at] == 0xFF && IsConfirmedFrame(bytes, at, stream)) return at;
    }
    return std::nullopt;
}

} // namespace

std::optional<Mp3Stream> ScanMp3(std::span<const uint8_t> bytes) {
    std::optional<size_t> at = FindFrame(bytes, SkipId3v2Tags(bytes), std::nullopt);
    if (!at) return std::nullopt;
    const FrameHeader first = *ReadHeader(bytes, *at);
    Mp3Stream stream;
    stream.sampleRateHz = first.sampleRateHz;
    if (IsTagFrame(bytes, *at, first) && first.frameBytes <= bytes.size() - *at) *at += first.frameBytes;
    while (at && *at < bytes.size()) {
        const std::optional<FrameHeader> header = ReadHeader(bytes, *at);
        if (!header || !header->SameStreamAs(first)) {
            at = FindFrame(bytes, *at + 1, first);
            continue;
        }
        if (header->frameBytes > bytes.size() - *at) break; // cut short: does not decode
        ++stream.audioFrames;
        stream.samples += header->samplesPerFrame;
        *at += header->frameBytes;
    }
    if (stream.audioFrames == 0) return std::nullopt;
    return stream;
}

std::optional<Mp3Stream> MeasureMp3File(const std::string& path) {
    const std::optional<std::vector<uint8_t>> bytes = ReadRegularFile(path, kMaxTrackFileBytes);
    if (!bytes) return std::nullopt;
    return ScanMp3(*bytes);
}

} // namespace vantrel
