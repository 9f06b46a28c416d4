#include "media_control.h"

#include "mci_error.h"
#include "media_command.h"
#include "media_reply.h"

#include <utility>

namespace vantrel {

MediaControl::MediaControl(std::unique_ptr<MediaBackend> backend) : m_backend(std::move(backend)) {}

MediaControl::~MediaControl() = default;

uint32_t MediaControl::Send(const char* command, char* returnString, uint32_t returnLength) {
    if (command == nullptr) {
        MediaReply(returnString, returnLength).Clear();
        return mci::kMissingCommandString;
    }
    return Send(std::string_view(command), returnString, returnLength);
}

uint32_t MediaControl::Send(std::string_view command, char* returnString, uint32_t returnLength) {
    MediaReply reply(returnString, returnLength);
    const ParsedMediaCommand parsed = ParseMediaCommand(command);
    if (parsed.error != mci::kSuccess) return parsed.error;
    return Execute(parsed.command, reply);
}

uint32_t MediaControl::Execute(const MediaCommand& command, MediaReply& reply) {
    m_backend->TendOutput();
    if (command.verb == MediaVerb::Open) return OpenTrack(command);
    const auto found = m_aliases.find(command.alias);
    if (found == m_aliases.end()) return mci::kInvalidDeviceName;
    MediaTrack& track = *found->second;
    switch (command.verb) {
    case MediaVerb::Play: track.Resume(); break;
    case MediaVerb::PlayFromStart: track.Play(0); break;
    case MediaVerb::StatusLength: return ReplyNumber(track.LengthMs(), reply);
    case MediaVerb::StatusPosition: return ReplyNumber(track.PositionMs(), reply);
    case MediaVerb::Stop: track.Stop(); break;
    case MediaVerb::Close: m_aliases.erase(found); break;
    case MediaVerb::Open: break;
    }
    return mci::kSuccess;
}

uint32_t MediaControl::OpenTrack(const MediaCommand& command) {
    if (m_aliases.contains(command.alias)) return mci::kDuplicateAlias;
    std::unique_ptr<MediaTrack> track = m_backend->Open(command.path);
    if (!track) return mci::kInvalidFile;
    m_aliases.emplace(command.alias, std::move(track));
    return mci::kSuccess;
}

uint32_t MediaControl::ReplyNumber(int64_t value, MediaReply& reply) {
    return reply.Write(std::to_string(value)) ? mci::kSuccess : mci::kParamOverflow;
}

} // namespace vantrel
