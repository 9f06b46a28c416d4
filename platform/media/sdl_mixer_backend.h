#pragma once

#include "clock.h"
#include "media_backend.h"
#include "sdl_audio_session.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct _Mix_Music;

namespace vantrel {

class SdlMixerTrack;

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
// the audio thread.
//
// The audio output may be missing at start or go away later (a sound server
// restarting, a headset unplugged). Without it the tracks keep their place on
// the clock exactly as the silent device does, and every kProbeIntervalMs the
// backend tries to open an output again; once one opens, a playing track
// sounds again from where the clock has got to. `onFirstSilence` is told, with
// SDL's reason, the first time the backend finds itself without an output,
// and never again. Tracks must be destroyed before their backend.
class SdlMixerBackend final : public MediaBackend {
public:
    static constexpr int64_t kProbeIntervalMs = 1000;

    SdlMixerBackend(const Clock& clock, std::function<void(const std::string&)> onFirstSilence);
    ~SdlMixerBackend() override;
    SdlMixerBackend(const SdlMixerBackend&) = delete;
    SdlMixerBackend& operator=(const SdlMixerBackend&) = delete;

    std::unique_ptr<MediaTrack> Open(const std::string& path) override;
    void TendOutput() override;

    bool outputOpen() const { return m_session.open(); }

private:
    friend class SdlMixerTrack;

    void TellSilence(const std::string& reason);

    const Clock& m_clock;
    std::function<void(const std::string&)> m_onFirstSilence;
    SdlAudioSession m_session;
    SdlMusicChannel m_channel;
    std::vector<SdlMixerTrack*> m_tracks; // every open track, to hand the output to
    int64_t m_nextProbeNs = 0;
};

} // namespace vantrel
