#include "sdl_audio_session.h"

#include "audio_stream_identity.h"

namespace vantrel {
namespace {

constexpr Uint32 kSubsystems = SDL_INIT_AUDIO | SDL_INIT_EVENTS;
constexpr int kOutputRateHz = 44100;
constexpr int kOutputChannels = 2;
constexpr int kOutputChunkFrames = 2048; // about 46 ms at the output rate

// SDL reports a failed device in its own error text, which the caller gets.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

} // namespace

bool SdlAudioSession::Open(std::string& failure) {
    Close();
    const auto SdlFailure = [this](const char* step) { return std::string(step) + ": " + m_sdl.SDL_GetError(); };
    if (m_sdl.snd_lib_error_set_handler != nullptr) m_sdl.snd_lib_error_set_handler(IgnoreAlsaError);
    m_sdl.SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SetAudioStreamHints(m_sdl);
    m_subsystemsStarted = m_sdl.SDL_InitSubSystem(kSubsystems) == 0;
    if (!m_subsystemsStarted) failure = SdlFailure("SDL audio");
    m_decodersLoaded = m_subsystemsStarted && (m_sdl.Mix_Init(MIX_INIT_MP3) & MIX_INIT_MP3) != 0;
    if (m_subsystemsStarted && !m_decodersLoaded) failure = SdlFailure("MP3 decoder");
    m_deviceOpen = m_decodersLoaded &&
                   m_sdl.Mix_OpenAudio(kOutputRateHz, MIX_DEFAULT_FORMAT, kOutputChannels, kOutputChunkFrames) == 0;
    if (m_decodersLoaded && !m_deviceOpen) failure = SdlFailure("audio device");
    if (!m_deviceOpen) Close();
    else m_sdl.Mix_SetPostMix(CountRequest, this);
    return m_deviceOpen;
}

void SdlAudioSession::Close() {
    if (m_deviceOpen) {
        m_sdl.Mix_SetPostMix(nullptr, nullptr); // the mixer would keep the hook past its close
        m_sdl.Mix_CloseAudio();
    }
    if (m_decodersLoaded) m_sdl.Mix_Quit();
    if (m_subsystemsStarted) m_sdl.SDL_QuitSubSystem(kSubsystems);
    m_deviceOpen = m_decodersLoaded = m_subsystemsStarted = false;
}

void SdlAudioSession::CountRequest(void* session, uint8_t*, int) {
    static_cast<SdlAudioSession*>(session)->m_outputRequests.fetch_add(1, std::memory_order_relaxed);
}

bool SdlAudioSession::OutputRemoved() {
    if (!m_deviceOpen) return false;
    m_sdl.SDL_FlushEvent(SDL_AUDIODEVICEADDED); // nothing here waits for a new device
    bool removed = false;
    SDL_Event event;
    while (m_sdl.SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_AUDIODEVICEREMOVED, SDL_AUDIODEVICEREMOVED) > 0)
        removed = removed || event.adevice.iscapture == 0;
    return removed;
}

} // namespace vantrel
