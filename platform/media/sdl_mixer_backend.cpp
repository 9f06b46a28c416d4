#include "sdl_mixer_backend.h"

#include "mp3_length.h"
#include "playhead.h"

#include <algorithm>
#include <utility>

namespace vantrel {
namespace {

constexpr double kMsPerSecond = 1000.0;
constexpr int64_t kNsPerMs = 1'000'000;
// How long past its measured end a track may go on sounding before the
// device stops waiting for the mixer and declares the end itself (a stalled
// output must not stop the loop).
constexpr int64_t kEndGraceMs = 2000;

} // namespace

// A track playing through the mixer. While the music sounds, the clock's
// position is held one millisecond short of the end: only the mixer knows
// that the last sample has been played, and reporting the end earlier would
// let a poll restart the track before it was heard to the end. Whenever the
// music cannot sound (no output, or the mixer refuses), the track runs
// silently on the clock instead.
class SdlMixerTrack final : public MediaTrack {
public:
    SdlMixerTrack(SdlMixerBackend& backend, std::string path, Mix_Music* music, int64_t lengthMs)
        : m_backend(backend), m_path(std::move(path)), m_music(music), m_playhead(backend.m_clock, lengthMs) {
        m_backend.m_tracks.push_back(this);
    }
    SdlMixerTrack(const SdlMixerTrack&) = delete;
    SdlMixerTrack& operator=(const SdlMixerTrack&) = delete;
    ~SdlMixerTrack() override {
        LoseOutput();
        std::erase(m_backend.m_tracks, this);
    }

    void Play(int64_t fromMs) override {
        const int64_t from = std::clamp<int64_t>(fromMs, 0, LengthMs());
        Sound(from);
        m_playhead.Start(from);
    }

    void Resume() override {
        if (!m_playhead.Running()) Play(m_playhead.PositionMs());
    }

    void Stop() override {
        Silence();
        m_playhead.Halt();
    }

    int64_t PositionMs() override {
        if (m_sounding) FollowMixer();
        if (!m_sounding) return m_playhead.PositionMs();
        return std::min(m_playhead.PositionMs(), std::max<int64_t>(0, LengthMs() - 1));
    }

    int64_t LengthMs() const override { return m_playhead.LengthMs(); }

    // The output is going: the music is let go, the clock keeps the place.
    void LoseOutput() {
        Silence();
        if (m_music != nullptr) m_backend.m_mixer->sdl.Mix_FreeMusic(m_music);
        m_music = nullptr;
    }

    // An output is open again: the music is loaded anew and, if the track is
    // playing, sounds from where the clock has got to. The file is checked
    // again first, as when the track was opened: one replaced meanwhile by
    // something else (a pipe would block the mixer's read) is never loaded.
    void GainOutput() {
        if (m_music == nullptr && MeasureMp3File(m_path)) m_music = m_backend.LoadMusic(m_path);
        if (m_playhead.Running()) Sound(m_playhead.PositionMs());
    }

private:
    void Sound(int64_t fromMs) {
        m_sounding = m_music != nullptr && fromMs < LengthMs() && m_backend.m_mixer->channel.Start(m_music, fromMs);
    }

    void Silence() {
        if (m_sounding) m_backend.m_mixer->channel.Halt(m_music);
        m_sounding = false;
    }

    void FollowMixer() {
        const SdlMusicChannel::State state = m_backend.m_mixer->channel.StateOf(m_music);
        if (state == SdlMusicChannel::State::Sounding && m_playhead.UnclampedPositionMs() < LengthMs() + kEndGraceMs)
            return;
        m_backend.m_mixer->channel.Halt(m_music);
        m_sounding = false;
        if (state == SdlMusicChannel::State::TakenOver) m_playhead.Halt();
        else m_playhead.Finish();
    }

    SdlMixerBackend& m_backend;
    std::string m_path;
    Mix_Music* m_music = nullptr; // nothing while there is no output
    Playhead m_playhead;
    bool m_sounding = false;
};

bool SdlMusicChannel::Start(Mix_Music* music, int64_t fromMs) {
    const double fromSeconds = static_cast<double>(fromMs) / kMsPerSecond;
    const bool started = fromMs == 0 ? m_sdl.Mix_PlayMusic(music, 0) == 0
                                     : m_sdl.Mix_FadeInMusicPos(music, 0, 0, fromSeconds) == 0;
    m_current = started ? music : nullptr;
    return started;
}

void SdlMusicChannel::Halt(const Mix_Music* music) {
    if (music == nullptr || music != m_current) return;
    m_sdl.Mix_HaltMusic();
    m_current = nullptr;
}

SdlMusicChannel::State SdlMusicChannel::StateOf(const Mix_Music* music) const {
    if (music != m_current) return State::TakenOver;
    return m_sdl.Mix_PlayingMusic() != 0 ? State::Sounding : State::Ended;
}

SdlMixerBackend::SdlMixerBackend(const Clock& clock, OutputNotices notices, SdlLibrary& library)
    : m_clock(clock), m_notices(std::move(notices)), m_library(library) {}

SdlMixerBackend::~SdlMixerBackend() {
    if (m_mixer && m_mixer->session.IsOpen()) m_mixer->sdl.Mix_HaltMusic();
}

void SdlMixerBackend::Start() {
    if (m_started) return;
    m_started = true;
    const int64_t now = m_clock.NowNs();
    m_nextProbeNs = now + kProbeIntervalMs * kNsPerMs;
    const SdlFunctions* sdl = m_library.Functions();
    if (sdl == nullptr) return m_notices.silent("cannot load SDL: " + m_library.Failure());
    m_mixer.emplace(*sdl);
    std::string failure;
    if (m_mixer->session.Open(failure)) m_stallWatch.Restart(m_mixer->session.OutputRequests(), now);
    else m_notices.silent(failure);
}

Mix_Music* SdlMixerBackend::LoadMusic(const std::string& path) {
    SDL_RWops* file = m_mixer->sdl.SDL_RWFromFile(path.c_str(), "rb");
    return file != nullptr ? m_mixer->sdl.Mix_LoadMUSType_RW(file, MUS_MP3, SDL_TRUE) : nullptr;
}

std::unique_ptr<MediaTrack> SdlMixerBackend::Open(const std::string& path) {
    Start();
    const std::optional<Mp3Stream> stream = MeasureMp3File(path);
    if (!stream) return nullptr;
    // Without an output the mixer cannot load anything; the frame scanner's
    // verdict stands until one is back.
    Mix_Music* music = nullptr;
    if (m_mixer && m_mixer->session.IsOpen() && (music = LoadMusic(path)) == nullptr) return nullptr;
    return std::make_unique<SdlMixerTrack>(*this, path, music, stream->LengthMs());
}

// Asking SDL whether the output went away costs a look into its event
// queue and one at a counter; trying to open one costs a driver's connection
// attempt, so that happens only every kProbeIntervalMs. An output that
// stalled was last heard of that long ago, so it is looked for again at once.
// Libraries that could not be loaded do not come later.
void SdlMixerBackend::TendOutput() {
    Start();
    if (!m_mixer) return;
    const int64_t now = m_clock.NowNs();
    if (m_mixer->session.IsOpen()) {
        if (m_mixer->session.OutputRemoved()) LoseOutput("the audio device went away", now + kProbeIntervalMs * kNsPerMs);
        else if (m_stallWatch.Stalled(m_mixer->session.OutputRequests(), now)) LoseOutput("the audio device stopped playing", now);
        else return;
    }
    LookForOutput(now);
}

void SdlMixerBackend::LoseOutput(const std::string& reason, int64_t nextProbeNs) {
    for (SdlMixerTrack* track : m_tracks) track->LoseOutput();
    m_mixer->session.Close();
    m_nextProbeNs = nextProbeNs;
    m_notices.silent(reason);
}

void SdlMixerBackend::LookForOutput(int64_t nowNs) {
    if (nowNs < m_nextProbeNs) return;
    m_nextProbeNs = nowNs + kProbeIntervalMs * kNsPerMs;
    std::string failure;
    if (!m_mixer->session.Open(failure)) return;
    m_stallWatch.Restart(m_mixer->session.OutputRequests(), nowNs);
    for (SdlMixerTrack* track : m_tracks) track->GainOutput();
    m_notices.sounding(m_mixer->sdl.SDL_GetCurrentAudioDriver());
}

} // namespace vantrel
