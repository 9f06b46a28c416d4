#include "short_path.h"

#include <cstring>
#include <limits>
#include <sys/stat.h>

namespace vantrel {
namespace {

constexpr char kEscape = '%';
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr unsigned char kLastControl = 0x20; // the blank is the last byte that splits words
constexpr unsigned char kDelete = 0x7F;

bool NeedsEscape(unsigned char byte) { return byte <= kLastControl || byte == kDelete || byte == kEscape; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Exists(const char* path) {
    struct stat info {};
    return ::stat(path, &info) == 0;
}

uint32_t SaturatedCount(size_t count) {
    constexpr size_t kMax = std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(count < kMax ? count : kMax);
}

} // namespace

std::string EncodeShortPath(std::string_view path) {
    std::string encoded;
    encoded.reserve(path.size());
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (!NeedsEscape(byte)) {
            encoded += c;
            continue;
        }
        encoded += kEscape;
        encoded += kHexDigits[byte >> 4];
        encoded += kHexDigits[byte & 0x0F];
    }
    return encoded;
}

std::optional<std::string> DecodeShortPath(std::string_view shortPath) {
    std::string decoded;
    decoded.reserve(shortPath.size());
    for (size_t at = 0; at < shortPath.size(); ++at) {
        if (shortPath[at] == '\0') return std::nullopt; // a path ends at its first NUL: it would name another file
        if (shortPath[at] != kEscape) {
            decoded += shortPath[at];
            continue;
        }
        if (shortPath.size() - at < 3) return std::nullopt;
        const int high = HexValue(shortPath[at + 1]);
        const int low = HexValue(shortPath[at + 2]);
        if (high < 0 || low < 0 || (high | low) == 0) return std::nullopt;
        decoded += static_cast<char>(high * 16 + low);
        at += 2;
    }
    return decoded;
}

uint32_t GetShortPathNameA(const char* longPath, char* shortPath, uint32_t bufferLength) {
    if (longPath == nullptr || *longPath == '\0' || !Exists(longPath)) return 0;
    const std::string encoded = EncodeShortPath(longPath);
    if (shortPath == nullptr || encoded.size() >= bufferLength) return SaturatedCount(encoded.size() + 1);
    std::memcpy(shortPath, encoded.data(), encoded.size());
    shortPath[encoded.size()] = '\0';
    return static_cast<uint32_t>(encoded.size());
}

} // namespace vantrel
