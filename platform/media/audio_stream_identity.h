#pragma once

namespace vantrel {

struct SdlFunctions;

// How the program's sound stream names itself to the desktop's sound server,
// so that its volume mixer lists "Vantrel Credits" with the program's
// installed icon rather than SDL's defaults.
//
// SDL takes the names from its hints, on every open of an output, for its
// PulseAudio and PipeWire drivers alike; SetAudioStreamHints sets them. SDL
// passes no icon on either driver, so the icon goes through the client
// libraries' own environment variables, which libpulse
// (PULSE_PROP_application.icon_name) and libpipewire (PIPEWIRE_PROPS) read
// whenever they connect. NameAudioStreamInEnvironment sets those for the
// program's own process; it must run before any other thread starts, since
// changing the environment races with every reader of it. A value the user
// has set for either library stays, as their own SDL_AUDIODRIVER does.
void NameAudioStreamInEnvironment();
void SetAudioStreamHints(const SdlFunctions& sdl);

} // namespace vantrel
