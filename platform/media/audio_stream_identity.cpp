#include "audio_stream_identity.h"

#include "sdl_library.h"

#include <cstdlib>
#include <string>

namespace vantrel {
namespace {

constexpr const char* kApplicationName = "Vantrel Credits";
constexpr const char* kStreamName = "Until The Dub";
// The name the installed icon goes by (the desktop entry's Icon=).
constexpr const char* kIconName = "vantrel-credits";
constexpr int kOverwrite = 0; // a value the user has set stays

} // namespace

void NameAudioStreamInEnvironment() {
    ::setenv("PULSE_PROP_application.icon_name", kIconName, kOverwrite);
    ::setenv("PIPEWIRE_PROPS", (std::string("{ application.icon_name = ") + kIconName + " }").c_str(), kOverwrite);
}

void SetAudioStreamHints(const SdlFunctions& sdl) {
    sdl.SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, kApplicationName);
    sdl.SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, kStreamName);
}

} // namespace vantrel
