#pragma once

#include <string>

namespace vantrel {

// SDL's audio subsystem and the mixer, opened for music playback. Only the
// audio subsystem is started, and with SDL's signal handlers switched off, so
// that SIGINT and SIGTERM keep reaching the program. Whatever Open managed to
// start is undone, in reverse order, when the session ends.
class SdlAudioSession {
public:
    SdlAudioSession() = default;
    SdlAudioSession(const SdlAudioSession&) = delete;
    SdlAudioSession& operator=(const SdlAudioSession&) = delete;
    ~SdlAudioSession();

    // False when there is no usable audio output; `failure` then says why.
    bool Open(std::string& failure);

private:
    bool m_subsystemStarted = false;
    bool m_decodersLoaded = false;
    bool m_deviceOpen = false;
};

} // namespace vantrel
