#pragma once

#include "clock.h"
#include "media_backend.h"

namespace vantrel {

// The media device without audio output: a track is validated and measured
// exactly as for playback, then "plays" silently on the clock, its position
// advancing in real time (or in test time, on a manual clock) to its end.
// Used when no audio device can be opened, and by tests.
class SilentMediaBackend final : public MediaBackend {
public:
    explicit SilentMediaBackend(const Clock& clock) : m_clock(clock) {}

    std::unique_ptr<MediaTrack> Open(const std::string& path) override;

private:
    const Clock& m_clock;
};

} // namespace vantrel
