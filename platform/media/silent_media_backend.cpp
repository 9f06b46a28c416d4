#include "silent_media_backend.h"

#include "mp3_length.h"
#include "playhead.h"

namespace vantrel {
namespace {

class SilentTrack final : public MediaTrack {
public:
    SilentTrack(const Clock& clock, int64_t lengthMs) : m_playhead(clock, lengthMs) {}

    void Play(int64_t fromMs) override { m_playhead.Start(fromMs); }
    void Resume() override {
        if (!m_playhead.Running()) m_playhead.Start(m_playhead.PositionMs());
    }
    void Stop() override { m_playhead.Halt(); }
    int64_t PositionMs() override { return m_playhead.PositionMs(); }
    int64_t LengthMs() const override { return m_playhead.LengthMs(); }

private:
    Playhead m_playhead;
};

} // namespace

std::unique_ptr<MediaTrack> SilentMediaBackend::Open(const std::string& path) {
    const std::optional<Mp3Stream> stream = MeasureMp3File(path);
    if (!stream) return nullptr;
    return std::make_unique<SilentTrack>(m_clock, stream->LengthMs());
}

} // namespace vantrel
