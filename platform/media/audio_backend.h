#pragma once

#include "clock.h"
#include "media_backend.h"
#include "sdl_library.h"

#include <memory>

namespace vantrel {

// The media backend the program runs with: SDL_mixer, which plays silently
// on the clock whenever there is no audio output and sounds again once there
// is one, so that a machine without sound runs the music loop exactly as one
// with sound. Playing silently is no failure: each time the music goes
// silent, and each time it sounds again, one line on stderr says so, and
// nothing else; so is a missing SDL. The clock and the library must outlive
// the backend; destroying the backend closes the audio output again.
std::unique_ptr<MediaBackend> OpenAudioBackend(const Clock& clock, SdlLibrary& library);

} // namespace vantrel
