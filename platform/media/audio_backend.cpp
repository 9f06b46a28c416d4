#include "audio_backend.h"

#include "sdl_mixer_backend.h"

#include <cstdio>
#include <string>

namespace vantrel {

std::unique_ptr<MediaBackend> OpenAudioBackend(const Clock& clock, SdlLibrary& library) {
    return std::make_unique<SdlMixerBackend>(
        clock, OutputNotices{
                   .silent = [](const std::string& reason) {
                       std::fprintf(stderr, "vantrel-credits: no audio output (%s); the music plays silently\n", reason.c_str());
                   },
                   .sounding = [](const std::string& driver) {
                       std::fprintf(stderr, "vantrel-credits: audio output back (%s); the music sounds again\n", driver.c_str());
                   }},
        library);
}

} // namespace vantrel
