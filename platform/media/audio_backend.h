#pragma once

#include "clock.h"
#include "media_backend.h"

#include <memory>

namespace vantrel {

// The media backend the program starts with: SDL_mixer when an audio output
// can be opened, otherwise the silent device on the same clock, so that a
// machine without sound runs the music loop exactly as one with sound. The
// fallback is no failure: it is noted in one line on stderr and nothing
// else. The clock must outlive the backend; destroying the backend closes
// the audio output again.
std::unique_ptr<MediaBackend> OpenAudioBackend(const Clock& clock);

} // namespace vantrel
