#include "audio_backend.h"

#include "sdl_mixer_backend.h"
#include "silent_media_backend.h"

#include <cstdio>
#include <string>

namespace vantrel {

std::unique_ptr<MediaBackend> OpenAudioBackend(const Clock& clock) {
    std::string failure;
    if (std::unique_ptr<SdlMixerBackend> mixer = SdlMixerBackend::Create(clock, failure)) return mixer;
    std::fprintf(stderr, "vantrel-credits: no audio output (%s); the music plays silently\n", failure.c_str());
    return std::make_unique<SilentMediaBackend>(clock);
}

} // namespace vantrel
