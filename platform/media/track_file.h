#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

// Reads a whole track file into memory. Gives nothing when the path is
// missing, is not a regular file (a directory, a FIFO or a device: the open
// does not wait on any of them, and none is read from), cannot be read, or
// holds more than maxBytes.
std::optional<std::vector<uint8_t>> ReadRegularFile(const std::string& path, size_t maxBytes);

} // namespace vantrel
