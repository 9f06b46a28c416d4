#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// Linux has no short (8.3) file names. The short form of a path here is the
// path with every byte that would split or break a media command word
// percent-encoded as %XX (upper-case hex): control characters, blank, DEL
// and '%' itself, so that decoding is unambiguous. All other bytes, UTF-8
// letters included, stay as they are. The media open command decodes it.
std::string EncodeShortPath(std::string_view path);

// The inverse of EncodeShortPath. Accepts either case of hex digits; gives
// nothing when a '%' is not followed by two hex digits or when the path
// would hold a NUL, raw or escaped (the file opened would be another).
std::optional<std::string> DecodeShortPath(std::string_view shortPath);

// Stand-in for the Windows call of the same name, on UTF-8 byte paths.
// - The path must name something that exists; otherwise (or for a null or
//   empty path) returns 0 and leaves the buffer alone.
// - When the short form and its NUL fit in bufferLength characters, writes
//   them and returns the count of characters without the NUL.
// - Otherwise returns the size needed including the NUL and leaves the
//   buffer alone (a null buffer counts as size 0).
uint32_t GetShortPathNameA(const char* longPath, char* shortPath, uint32_t bufferLength);

} // namespace vantrel
