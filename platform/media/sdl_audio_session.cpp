#include "sdl_audio_session.h"

#include "audio_stream_identity.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <alsa/asoundlib.h>

namespace vantrel {
namespace {

constexpr Uint32 kSubsystems = SDL_INIT_AUDIO | SDL_INIT_EVENTS;
constexpr int kOutputRateHz = 44100;
constexpr int kOutputChannels = 2;
constexpr int kOutputChunkFrames = 2048; // about 46 ms at the output rate

std::string SdlFailure(const char* step) { return std::string(step) + ": " + SDL_GetError(); }

// SDL reports a failed device in its own error text, which the caller gets.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

} // namespace

bool SdlAudioSession::Open(std::string& failure) {
    Close();
    snd_lib_error_set_handler(IgnoreAlsaError);
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SetAudioStreamHints();
    m_subsystemsStarted = SDL_InitSubSystem(kSubsystems) == 0;
    if (!m_subsystemsStarted) failure = SdlFailure("SDL audio");
    m_decodersLoaded = m_subsystemsStarted && (Mix_Init(MIX_INIT_MP3) & MIX_INIT_MP3) != 0;
    if (m_subsystemsStarted && !m_decodersLoaded) failure = SdlFailure("MP3 decoder");
    m_deviceOpen = m_decodersLoaded &&
                   Mix_OpenAudio(kOutputRateHz, MIX_DEFAULT_FORMAT, kOutputChannels, kOutputChunkFrames) == 0;
    if (m_decodersLoaded && !m_deviceOpen) failure = SdlFailure("audio device");
    if (!m_deviceOpen) Close();
    else Mix_SetPostMix(CountRequest, this);
    return m_deviceOpen;
}

void SdlAudioSession::Close() {
    if (m_deviceOpen) {
        Mix_SetPostMix(nullptr, nullptr); // the mixer would keep the hook past its close
        Mix_CloseAudio();
    }
    if (m_decodersLoaded) Mix_Quit();
    if (m_subsystemsStarted) SDL_QuitSubSystem(kSubsystems);
    m_deviceOpen = m_decodersLoaded = m_subsystemsStarted = false;
}

void SdlAudioSession::CountRequest(void* session, uint8_t*, int) {
    static_cast<SdlAudioSession*>(session)->m_outputRequests.fetch_add(1, std::memory_order_relaxed);
}

bool SdlAudioSession::OutputRemoved() {
    if (!m_deviceOpen) return false;
    SDL_FlushEvent(SDL_AUDIODEVICEADDED); // nothing here waits for a new device
    bool removed = false;
    SDL_Event event;
    while (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_AUDIODEVICEREMOVED, SDL_AUDIODEVICEREMOVED) > 0)
        removed = removed || event.adevice.iscapture == 0;
    return removed;
}

} // namespace vantrel
