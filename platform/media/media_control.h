#pragma once

#include "media_backend.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace vantrel {

class MediaReply;
struct MediaCommand;

// The media device behind the command strings: reads each command (see
// media_command.h), keeps the table of open aliases, and carries commands
// out on the tracks its backend opens.
//
// Status replies are whole milliseconds as decimal text. A reply is written
// NUL-terminated only when it fits the caller's buffer; a reply that does
// not fit, a null buffer or a size of 0 fail the command. Every failing
// command leaves no reply text. Commands return at once; a track plays by
// itself. Used from one thread only (the program's GUI thread).
class MediaControl {
public:
    explicit MediaControl(std::unique_ptr<MediaBackend> backend);
    MediaControl(const MediaControl&) = delete;
    MediaControl& operator=(const MediaControl&) = delete;
    ~MediaControl();

    // Returns 0 or an mci:: error code (see mci_error.h).
    uint32_t Send(const char* command, char* returnString, uint32_t returnLength);
    uint32_t Send(std::string_view command, char* returnString, uint32_t returnLength);

private:
    uint32_t Execute(const MediaCommand& command, MediaReply& reply);
    uint32_t OpenTrack(const MediaCommand& command);
    uint32_t ReplyNumber(int64_t value, MediaReply& reply);

    // Declared first so that it is destroyed last: tracks go before their backend.
    std::unique_ptr<MediaBackend> m_backend;
    std::map<std::string, std::unique_ptr<MediaTrack>> m_aliases;
};

} // namespace vantrel
