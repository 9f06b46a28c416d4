#include "music_loop.h"

#include "mci_send_string.h"
#include "runtime.h"
#include "short_name.h"
#include "status_reply.h"

namespace vantrel {
namespace {

constexpr uint32_t kReplyBufferLength = 255; // characters, the NUL included
// The track beside the program. The fixed text starts with the directory
// separator; it is appended to the application path as it is, so a path
// that already ends with "/" gives two in a row (which names the same file).
constexpr const char* kTrackFromAppPath = "/Until The Dub.mp3";

std::string NewReplyBuffer() { return std::string(kReplyBufferLength, '\0'); }

} // namespace

void MusicLoop::OpenAndPlay() {
    std::string reply = NewReplyBuffer();
    const std::string musicPath = m_runtime.AppPath() + kTrackFromAppPath;
    const std::string shortPath = GetShortName(m_runtime, musicPath);
    Send("open " + shortPath + " type mpegvideo alias untilthedub");
    Send("play untilthedub");
    Ask("status untilthedub length", reply);
    m_sLength = NormalizeStatusReply(reply);
}

void MusicLoop::ReplayAtEnd() {
    std::string reply = NewReplyBuffer();
    Ask("status untilthedub position", reply);
    if (m_sLength == NormalizeStatusReply(reply)) Send("play untilthedub from 0");
}

void MusicLoop::StopAndClose() {
    Send("stop untilthedub");
    Send("close untilthedub");
}

void MusicLoop::Send(const std::string& command) {
    mciSendStringA(m_runtime, command.c_str(), nullptr, 0, nullptr);
}

void MusicLoop::Ask(const std::string& command, std::string& reply) {
    mciSendStringA(m_runtime, command.c_str(), reply.data(), kReplyBufferLength, nullptr);
}

} // namespace vantrel
