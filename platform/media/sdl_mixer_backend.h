#pragma once

#include "clock.h"
#include "media_backend.h"
#include "sdl_audio_session.h"

#include <cstdint>
#include <memory>
#include <string>

struct _Mix_Music;

namespace vantrel {

// The mixer's single music channel: which track's music it was last given,
// and whether that music is still sounding. Lives on the caller's thread
// only; the mixer's own lock guards what its audio thread touches.
class SdlMusicChannel {
public:
    enum class State : uint8_t {
        Sounding, // this music is playing
        Ended,    // this music played to its end
        TakenOver // another music was started since
    };

    // Starts the music at fromMs; false when the mixer refuses.
    bool Start(_Mix_Music* music, int64_t fromMs);
    // Halts the music if it is the one the channel holds.
    void Halt(const _Mix_Music* music);
    State StateOf(const _Mix_Music* music) const;

private:
    const _Mix_Music* m_current = nullptr;
};

// Plays tracks through SDL_mixer. Each track is validated and measured with
// the frame scanner (the decoder's own duration is wrong for a VBR file
// without a header), then loaded by the mixer as MP3. The position is
// measured on the clock from the start of playback; the end is taken from
// the mixer, which is asked on the caller's thread, so nothing crosses from
// the audio thread. Tracks must be destroyed before their backend.
class SdlMixerBackend final : public MediaBackend {
public:
    // Nothing when no audio output can be opened; `failure` then says why.
    static std::unique_ptr<SdlMixerBackend> Create(const Clock& clock, std::string& failure);
    ~SdlMixerBackend() override;

    std::unique_ptr<MediaTrack> Open(const std::string& path) override;

private:
    explicit SdlMixerBackend(const Clock& clock) : m_clock(clock) {}

    const Clock& m_clock;
    SdlAudioSession m_session;
    SdlMusicChannel m_channel;
};

} // namespace vantrel
