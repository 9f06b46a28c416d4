#include "sdl_mixer_backend.h"

#include "mp3_length.h"
#include "playhead.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>

namespace vantrel {
namespace {

constexpr double kMsPerSecond = 1000.0;
// How long past its measured end a track may go on sounding before the
// device stops waiting for the mixer and declares the end itself (a stalled
// output must not stop the loop).
constexpr int64_t kEndGraceMs = 2000;

// A track playing through the mixer. While the music sounds, the clock's
// position is held one millisecond short of the end: only the mixer knows
// that the last sample has been played, and reporting the end earlier would
// let a poll restart the track before it was heard to the end. When the
// mixer refuses to play, the track runs silently on the clock instead.
class SdlMixerTrack final : public MediaTrack {
public:
    SdlMixerTrack(SdlMusicChannel& channel, Mix_Music* music, const Clock& clock, int64_t lengthMs)
        : m_channel(channel), m_music(music), m_playhead(clock, lengthMs) {}
    SdlMixerTrack(const SdlMixerTrack&) = delete;
    SdlMixerTrack& operator=(const SdlMixerTrack&) = delete;
    ~SdlMixerTrack() override {
        m_channel.Halt(m_music);
        Mix_FreeMusic(m_music);
    }

    void Play(int64_t fromMs) override {
        const int64_t from = std::clamp<int64_t>(fromMs, 0, LengthMs());
        m_sounding = from < LengthMs() && m_channel.Start(m_music, from);
        m_playhead.Start(from);
    }

    void Resume() override {
        if (!m_playhead.Running()) Play(m_playhead.PositionMs());
    }

    void Stop() override {
        if (m_sounding) m_channel.Halt(m_music);
        m_sounding = false;
        m_playhead.Halt();
    }

    int64_t PositionMs() override {
        if (m_sounding) FollowMixer();
        if (!m_sounding) return m_playhead.PositionMs();
        return std::min(m_playhead.PositionMs(), std::max<int64_t>(0, LengthMs() - 1));
    }

    int64_t LengthMs() const override { return m_playhead.LengthMs(); }

private:
    void FollowMixer() {
        const SdlMusicChannel::State state = m_channel.StateOf(m_music);
        if (state == SdlMusicChannel::State::Sounding && m_playhead.UnclampedPositionMs() < LengthMs() + kEndGraceMs)
            return;
        m_channel.Halt(m_music);
        m_sounding = false;
        if (state == SdlMusicChannel::State::TakenOver) m_playhead.Halt();
        else m_playhead.Finish();
    }

    SdlMusicChannel& m_channel;
    Mix_Music* m_music = nullptr;
    Playhead m_playhead;
    bool m_sounding = false;
};

} // namespace

bool SdlMusicChannel::Start(Mix_Music* music, int64_t fromMs) {
    const double fromSeconds = static_cast<double>(fromMs) / kMsPerSecond;
    const bool started = fromMs == 0 ? Mix_PlayMusic(music, 0) == 0 : Mix_FadeInMusicPos(music, 0, 0, fromSeconds) == 0;
    m_current = started ? music : nullptr;
    return started;
}

void SdlMusicChannel::Halt(const Mix_Music* music) {
    if (music == nullptr || music != m_current) return;
    Mix_HaltMusic();
    m_current = nullptr;
}

SdlMusicChannel::State SdlMusicChannel::StateOf(const Mix_Music* music) const {
    if (music != m_current) return State::TakenOver;
    return Mix_PlayingMusic() != 0 ? State::Sounding : State::Ended;
}

std::unique_ptr<SdlMixerBackend> SdlMixerBackend::Create(const Clock& clock, std::string& failure) {
    std::unique_ptr<SdlMixerBackend> backend(new SdlMixerBackend(clock));
    if (!backend->m_session.Open(failure)) return nullptr;
    return backend;
}

SdlMixerBackend::~SdlMixerBackend() { Mix_HaltMusic(); }

std::unique_ptr<MediaTrack> SdlMixerBackend::Open(const std::string& path) {
    const std::optional<Mp3Stream> stream = MeasureMp3File(path);
    if (!stream) return nullptr;
    SDL_RWops* file = SDL_RWFromFile(path.c_str(), "rb");
    if (file == nullptr) return nullptr;
    Mix_Music* music = Mix_LoadMUSType_RW(file, MUS_MP3, SDL_TRUE);
    if (music == nullptr) return nullptr;
    return std::make_unique<SdlMixerTrack>(m_channel, music, m_clock, stream->LengthMs());
}

} // namespace vantrel
