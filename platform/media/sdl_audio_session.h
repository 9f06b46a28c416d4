#pragma once

#include "sdl_library.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace vantrel {

// SDL's audio subsystem and the mixer, opened for music playback. Only the
// audio and event subsystems are started (the events carry SDL's notice that
// the output device went away), with SDL's signal handlers switched off, so
// that SIGINT and SIGTERM keep reaching the program. A session can be closed
// and opened again, so that an output that went away can be looked for anew
// (SDL picks its driver again on every open). libasound's own error printing
// is switched off: its complaints about a missing device would reach the
// user's terminal on every attempt. Every open names the stream to the sound
// server (audio_stream_identity.h).
class SdlAudioSession {
public:
    explicit SdlAudioSession(const SdlFunctions& sdl) : m_sdl(sdl) {}
    SdlAudioSession(const SdlAudioSession&) = delete;
    SdlAudioSession& operator=(const SdlAudioSession&) = delete;
    ~SdlAudioSession() { Close(); }

    // False when there is no usable audio output; `failure` then says why,
    // and nothing is left open.
    bool Open(std::string& failure);
    // Undoes whatever Open started, in reverse order.
    void Close();
    bool IsOpen() const { return m_deviceOpen; }

    // Whether SDL has said, since the last call, that the open output device
    // went away (its sound server ended, it was unplugged). The mixer then
    // plays into nothing until the session is closed.
    bool OutputRemoved();
    // How many times an open output has asked the mixer for sound, counted
    // over every session of this object; it stops growing when the output
    // stalls.
    uint64_t OutputRequests() const { return m_outputRequests.load(std::memory_order_relaxed); }

private:
    // Runs on SDL's audio thread after every mix.
    static void CountRequest(void* session, uint8_t* samples, int bytes);

    const SdlFunctions& m_sdl;
    std::atomic<uint64_t> m_outputRequests = 0;
    bool m_subsystemsStarted = false;
    bool m_decodersLoaded = false;
    bool m_deviceOpen = false;
};

} // namespace vantrel
