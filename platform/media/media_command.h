#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

// The one alias the device knows: the program's track.
inline constexpr std::string_view kTrackAlias = "untilthedub";

enum class MediaVerb : uint8_t {
    Open,           // open <path> type mpegvideo alias untilthedub
    Play,           // play untilthedub
    PlayFromStart,  // play untilthedub from 0
    StatusLength,   // status untilthedub length
    StatusPosition, // status untilthedub position
    Stop,           // stop untilthedub
    Close,          // close untilthedub
};

struct MediaCommand {
    MediaVerb verb = MediaVerb::Play;
    std::string alias; // lower case
    std::string path;  // Open only: the file, decoded from its short form
};

struct ParsedMediaCommand {
    MediaCommand command;
    uint32_t error = 0; // an mci:: code; the command is meaningful only when 0
};

// Reads one command text. Words are separated by runs of blanks (space or
// tab); leading and trailing blanks are ignored. Keywords and the alias are
// matched without regard to ASCII case; the path is taken as written and
// percent-decoded (see short_path.h). Anything but the seven commands above,
// word for word, is refused: an unknown first word, a missing or extra word,
// another alias, another device type, a start other than 0, or a path whose
// percent escapes are malformed. "open" without a path (two blanks in a row
// where it belongs) is one word short and therefore refused.
ParsedMediaCommand ParseMediaCommand(std::string_view text);

} // namespace vantrel
