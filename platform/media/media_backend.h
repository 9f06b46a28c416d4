#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vantrel {

// One opened track of the media device. It plays by itself once started;
// the device only starts, stops and asks where it is.
//
// Contract every track keeps: positions are whole milliseconds in
// [0, LengthMs()]; once the track has played to its end, PositionMs() is
// exactly LengthMs() until the next Play().
class MediaTrack {
public:
    virtual ~MediaTrack() = default;

    // Starts playing at fromMs (clamped to the track) and returns at once.
    // Playing from the end leaves the track finished at its end.
    virtual void Play(int64_t fromMs) = 0;
    // Plays on from the current position; nothing when already playing.
    virtual void Resume() = 0;
    // Stops playing; the position stays where the track was.
    virtual void Stop() = 0;
    // Not const: asking is when a track notices that its playback ended.
    virtual int64_t PositionMs() = 0;
    virtual int64_t LengthMs() const = 0;
};

// Opens tracks. A file that cannot be played (missing, not a regular file,
// unreadable, empty, not MPEG audio) gives no track.
class MediaBackend {
public:
    virtual ~MediaBackend() = default;
    virtual std::unique_ptr<MediaTrack> Open(const std::string& path) = 0;
    // Called before every command: a backend whose output can come and go
    // notices here that it went, or looks for it again. The program polls
    // the position twice a second, so this is never long in coming.
    virtual void TendOutput() {}
};

} // namespace vantrel
