#include "sdl_library.h"

#include <dlfcn.h>
#include <utility>

namespace vantrel {
namespace {

// Finds `name` in the library (or those it depends on) as `function`; false
// when it is not there.
template <typename Function> bool Find(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

} // namespace

SdlLibrary::SdlLibrary(std::string mixerLibrary)
    : m_mixerLibrary(std::move(mixerLibrary)), m_loader([this] { Load(); }) {}

SdlLibrary::~SdlLibrary() { Join(); }

const SdlFunctions* SdlLibrary::Functions() {
    Join();
    return m_functions ? &*m_functions : nullptr;
}

const std::string& SdlLibrary::Failure() {
    Join();
    return m_failure;
}

void SdlLibrary::Join() {
    if (m_loader.joinable()) m_loader.join();
}

// Lazy binding: a function's address is worked out when it is first called,
// so the loading does only what every library needs.
void SdlLibrary::Load() {
    void* mixer = ::dlopen(m_mixerLibrary.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (mixer == nullptr) {
        const char* error = ::dlerror();
        m_failure = error != nullptr ? error : m_mixerLibrary;
        return;
    }
    SdlFunctions f;
#define VANTREL_FIND(name)                             \
    if (!Find(mixer, #name, f.name)) {                 \
        m_failure = m_mixerLibrary + " has no " #name; \
        return;                                        \
    }
    VANTREL_FIND(SDL_SetHint);
    VANTREL_FIND(SDL_GetError);
    VANTREL_FIND(SDL_InitSubSystem);
    VANTREL_FIND(SDL_QuitSubSystem);
    VANTREL_FIND(SDL_FlushEvent);
    VANTREL_FIND(SDL_PeepEvents);
    VANTREL_FIND(SDL_GetCurrentAudioDriver);
    VANTREL_FIND(SDL_RWFromFile);
    VANTREL_FIND(Mix_Init);
    VANTREL_FIND(Mix_Quit);
    VANTREL_FIND(Mix_OpenAudio);
    VANTREL_FIND(Mix_CloseAudio);
    VANTREL_FIND(Mix_SetPostMix);
    VANTREL_FIND(Mix_LoadMUSType_RW);
    VANTREL_FIND(Mix_FreeMusic);
    VANTREL_FIND(Mix_PlayMusic);
    VANTREL_FIND(Mix_FadeInMusicPos);
    VANTREL_FIND(Mix_HaltMusic);
    VANTREL_FIND(Mix_PlayingMusic);
#undef VANTREL_FIND
    Find(mixer, "snd_lib_error_set_handler", f.snd_lib_error_set_handler);
    m_functions = f;
}

} // namespace vantrel
