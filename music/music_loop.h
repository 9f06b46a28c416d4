#pragma once

#include <string>

namespace vantrel {

class Runtime;

// The program's music: the track "Until The Dub.mp3" from the program's own
// directory, opened on the media device under the alias "untilthedub" and
// played over and over. Each step is the body of one of the scene form's
// handlers (Form_Load, tmrReplay_Timer, Form_Unload), which runs it under its
// failure trap: a failure raised here ends the step at the failing command.
// No command's result code is examined: a device that cannot play shows up
// as a status reply that is not a number.
class MusicLoop {
public:
    explicit MusicLoop(Runtime& runtime) : m_runtime(runtime) {}

    // Opens the track from <application path>/Until The Dub.mp3 by its short
    // name, starts it, then asks its length and keeps it as sLength.
    void OpenAndPlay();
    // Asks the position; when it is exactly sLength (the track has played to
    // its end) plays the track again from the start.
    void ReplayAtEnd();
    // Stops and closes the track, whether or not it was ever opened.
    void StopAndClose();

    // The track's length as normalised text (see status_reply.h); empty
    // until OpenAndPlay has read it, and empty for good if that failed.
    const std::string& sLength() const { return m_sLength; }

private:
    void Send(const std::string& command);
    void Ask(const std::string& command, std::string& reply);

    Runtime& m_runtime;
    std::string m_sLength;
};

} // namespace vantrel
