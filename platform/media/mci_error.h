#pragma once

#include <cstdint>

namespace vantrel::mci {

// The result codes of the media command interface, numbered as the Windows
// media control interface numbers them (its error base is 256). Zero is
// success; the program never examines a code, but tests and logs read them.
constexpr uint32_t kSuccess = 0;
constexpr uint32_t kUnrecognizedCommand = 261; // the text is not a known command
constexpr uint32_t kHardware = 262;            // the device failed to carry the command out
constexpr uint32_t kInvalidDeviceName = 263;   // no device is open under the alias
constexpr uint32_t kMissingCommandString = 267;
constexpr uint32_t kParamOverflow = 268; // the reply does not fit the caller's buffer
constexpr uint32_t kDuplicateAlias = 289;
constexpr uint32_t kInvalidFile = 296; // the file cannot be played

} // namespace vantrel::mci
