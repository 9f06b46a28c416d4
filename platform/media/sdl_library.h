#pragma once

#include <SDL.h>
#include <SDL_mixer.h>

#include <optional>
#include <string>
#include <thread>

namespace vantrel {

// The functions of SDL2 and SDL2_mixer that the audio output calls, found in
// the libraries once they are loaded. Each is named as the library names it.
struct SdlFunctions {
    decltype(&::SDL_SetHint) SDL_SetHint;
    decltype(&::SDL_GetError) SDL_GetError;
    decltype(&::SDL_InitSubSystem) SDL_InitSubSystem;
    decltype(&::SDL_QuitSubSystem) SDL_QuitSubSystem;
    decltype(&::SDL_FlushEvent) SDL_FlushEvent;
    decltype(&::SDL_PeepEvents) SDL_PeepEvents;
    decltype(&::SDL_GetCurrentAudioDriver) SDL_GetCurrentAudioDriver;
    decltype(&::SDL_RWFromFile) SDL_RWFromFile;
    decltype(&::Mix_Init) Mix_Init;
    decltype(&::Mix_Quit) Mix_Quit;
    decltype(&::Mix_OpenAudio) Mix_OpenAudio;
    decltype(&::Mix_CloseAudio) Mix_CloseAudio;
    decltype(&::Mix_SetPostMix) Mix_SetPostMix;
    decltype(&::Mix_LoadMUSType_RW) Mix_LoadMUSType_RW;
    decltype(&::Mix_FreeMusic) Mix_FreeMusic;
    decltype(&::Mix_PlayMusic) Mix_PlayMusic;
    decltype(&::Mix_FadeInMusicPos) Mix_FadeInMusicPos;
    decltype(&::Mix_HaltMusic) Mix_HaltMusic;
    decltype(&::Mix_PlayingMusic) Mix_PlayingMusic;
    // libasound's, which SDL loads for its ALSA driver; nothing where this
    // SDL has none.
    using AlsaErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
    int (*snd_lib_error_set_handler)(AlsaErrorHandler) = nullptr;
};

// SDL2 and SDL2_mixer, loaded with dlopen on a thread of their own rather
// than with the program: Debian's SDL2_mixer brings some fifty libraries
// (its codecs, fluidsynth and JACK among them), and loading them before
// `main` held up the first frame by more than a dozen milliseconds. The
// thread starts when the object is made, and the first caller of Functions
// waits for it. The libraries stay loaded until the program ends: SDL's
// threads and exit handlers may outlive any one user.
class SdlLibrary {
public:
    // The mixer's library as Debian installs it; SDL2 comes in with it, as
    // its dependency, and dlsym finds SDL's functions through its handle.
    static constexpr const char* kMixerLibrary = "libSDL2_mixer-2.0.so.0";

    explicit SdlLibrary(std::string mixerLibrary = kMixerLibrary);
    ~SdlLibrary();
    SdlLibrary(const SdlLibrary&) = delete;
    SdlLibrary& operator=(const SdlLibrary&) = delete;

    // Waits for the loading to end. The functions, or nothing when a
    // library or one of its functions is missing; Failure then says what.
    const SdlFunctions* Functions();
    const std::string& Failure();

private:
    void Load();
    void Join();

    const std::string m_mixerLibrary;
    std::optional<SdlFunctions> m_functions; // written by the loading thread only, until joined
    std::string m_failure;
    std::thread m_loader;
};

} // namespace vantrel
