#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

class Runtime;

// The program's music: the track "Until The Dub.mp3" from the program's own
// directory, opened on the media device under the alias "untilthedub" and
// played over and over. Each public method is one of the scene form's
// handlers and runs under its own failure trap, named after it; a failure
// ends that handler at the failing step and is reported once. No command's
// result code is examined: a device that cannot play shows up as a status
// reply that is not a number.
class MusicLoop {
public:
    // How often the scene form calls tmrReplay_Timer.
    static constexpr int32_t kReplayPeriodMs = 500;

    explicit MusicLoop(Runtime& runtime) : m_runtime(runtime) {}

    // Opens the track from <application path>/Until The Dub.mp3 by its short
    // name, starts it, then asks its length and keeps it as sLength.
    void Form_Load();
    // Asks the position; when it is exactly sLength (the track has played to
    // its end) plays the track again from the start.
    void tmrReplay_Timer();
    // Stops and closes the track, whether or not it was ever opened.
    void Form_Unload();

    // The track's length as normalised text (see status_reply.h); empty
    // until Form_Load has read it, and empty for good if that load failed.
    const std::string& sLength() const { return m_sLength; }

private:
    void Send(const std::string& command);
    void Ask(const std::string& command, std::string& reply);

    Runtime& m_runtime;
    std::string m_sLength;
};

} // namespace vantrel
