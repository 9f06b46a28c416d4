#pragma once

#include "clock.h"
#include "media_backend.h"
#include "output_stall_watch.h"
#include "sdl_audio_session.h"
#include "sdl_library.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

class SdlMixerTrack;

// The mixer's single music channel: which track's music it was last given,
// and whether that music is still sounding. Lives on the caller's thread
// only; the mixer's own lock guards what its audio thread touches.
class SdlMusicChannel {
public:
    explicit SdlMusicChannel(const SdlFunctions& sdl) : m_sdl(sdl) {}

    enum class State : uint8_t {
        Sounding, // this music is playing
        Ended,    // this music played to its end
        TakenOver // another music was started since
    };

    // Starts the music at fromMs; false when the mixer refuses.
    bool Start(Mix_Music* music, int64_t fromMs);
    // Halts the music if it is the one the channel holds.
    void Halt(const Mix_Music* music);
    State StateOf(const Mix_Music* music) const;

private:
    const SdlFunctions& m_sdl;
    const Mix_Music* m_current = nullptr;
};

// What the backend tells about its output, each change once: `silent`, with
// the reason, when it finds itself without an output (at start too), and
// `sounding`, with SDL's driver, when one opens again after that. Both must
// be set.
struct OutputNotices {
    std::function<void(const std::string& reason)> silent;
    std::function<void(const std::string& driver)> sounding;
};

// Plays tracks through SDL_mixer, from the libraries `library` loads: the
// first command waits for them and opens the output. Where they cannot be
// loaded, that is said once, as for a missing output, and the tracks play
// silently on the clock for good. Each track is validated and measured with
// the frame scanner (the decoder's own duration is wrong for a VBR file
// without a header), then loaded by the mixer as MP3. The position is
// measured on the clock from the start of playback; the end is taken from
// the mixer, which is asked on the caller's thread, so nothing crosses from
// the audio thread.
//
// The audio output may be missing at start or go away later (a sound server
// restarting, a headset unplugged): SDL says so for some drivers, and an
// output that stops asking for sound has gone too (OutputStallWatch). Without
// it the tracks keep their place on the clock exactly as the silent device
// does, and every kProbeIntervalMs, on the next command, the backend tries to
// open an output again (at once after a stall, which took that long itself).
// SDL's audio is started afresh for each try, so that a driver's view of its
// server is new; once one opens, a playing track sounds again from where the
// clock has got to. Tracks must be destroyed before their backend.
class SdlMixerBackend final : public MediaBackend {
public:
    static constexpr int64_t kProbeIntervalMs = 1000;

    SdlMixerBackend(const Clock& clock, OutputNotices notices, SdlLibrary& library);
    ~SdlMixerBackend() override;
    SdlMixerBackend(const SdlMixerBackend&) = delete;
    SdlMixerBackend& operator=(const SdlMixerBackend&) = delete;

    std::unique_ptr<MediaTrack> Open(const std::string& path) override;
    void TendOutput() override;

private:
    friend class SdlMixerTrack;

    // The first command's: waits for the libraries and opens the output.
    void Start();
    void LoseOutput(const std::string& reason, int64_t nextProbeNs);
    void LookForOutput(int64_t nowNs);
    // The mixer's music for a track file; nothing when it cannot load it.
    Mix_Music* LoadMusic(const std::string& path);

    const Clock& m_clock;
    OutputNotices m_notices;
    SdlLibrary& m_library;
    // What there is once started with the libraries loaded: their
    // functions, the output and the mixer's music channel.
    struct Mixer {
        explicit Mixer(const SdlFunctions& functions) : sdl(functions), session(functions), channel(functions) {}
        const SdlFunctions& sdl;
        SdlAudioSession session;
        SdlMusicChannel channel;
    };
    bool m_started = false;
    std::optional<Mixer> m_mixer;
    OutputStallWatch m_stallWatch;
    std::vector<SdlMixerTrack*> m_tracks; // every open track, to hand the output to
    int64_t m_nextProbeNs = 0;
};

} // namespace vantrel
