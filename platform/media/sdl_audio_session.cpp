#include "sdl_audio_session.h"

#include <SDL.h>
#include <SDL_mixer.h>

namespace vantrel {
namespace {

constexpr int kOutputRateHz = 44100;
constexpr int kOutputChannels = 2;
constexpr int kOutputChunkFrames = 2048; // about 46 ms at the output rate

std::string SdlFailure(const char* step) { return std::string(step) + ": " + SDL_GetError(); }

} // namespace

SdlAudioSession::~SdlAudioSession() {
    if (m_deviceOpen) Mix_CloseAudio();
    if (m_decodersLoaded) Mix_Quit();
    if (m_subsystemStarted) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool SdlAudioSession::Open(std::string& failure) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    m_subsystemStarted = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (!m_subsystemStarted) {
        failure = SdlFailure("SDL audio");
        return false;
    }
    m_decodersLoaded = (Mix_Init(MIX_INIT_MP3) & MIX_INIT_MP3) != 0;
    if (!m_decodersLoaded) {
        failure = SdlFailure("MP3 decoder");
        return false;
    }
    m_deviceOpen = Mix_OpenAudio(kOutputRateHz, MIX_DEFAULT_FORMAT, kOutputChannels, kOutputChunkFrames) == 0;
    if (!m_deviceOpen) failure = SdlFailure("audio device");
    return m_deviceOpen;
}

} // namespace vantrel
