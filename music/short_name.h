#pragma once

#include <string>

namespace vantrel {

class Runtime;

// The short form of an existing file's path (`EncodeShortPath`, short_path.h),
// under its own failure trap "GetShortName"; empty when the file does not
// exist or when the trap caught a failure.
//
// The short form is asked for in a buffer of 255 characters. A short form
// of up to 254 characters (with its NUL, 255) is returned whole. One that
// does not fit gives empty text rather than the buffer cut off at 255
// characters: a cut path could name another file, whereas an empty one
// makes the open command fail cleanly.
std::string GetShortName(Runtime& runtime, const std::string& sLongFileName);

} // namespace vantrel
