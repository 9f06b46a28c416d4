// The music through a real sound server, PulseAudio with a null sink in a
// folder of the test's own: the program's stream comes once the server is
// there, also when the program started before it, and comes back after the
// server is killed and started again; the program says once that it plays
// silently, libasound says nothing, and SIGTERM still ends it with status 0.

#include "desktop.h"

namespace desktop {
namespace {

TEST(SoundServer, TheMusicComesBackWheneverTheServerDoes) {
    constexpr int kRestarts = 3;
    Desktop desktop;
    // A PulseAudio server with a null sink, reached only through a socket in
    // a private folder; no daemon of the system or the user is touched.
    TempDir pulse;
    const std::string socket = (pulse / "native").string();
    const Env env = CleanEnv({{"PULSE_SERVER", "unix:" + socket}, {"XDG_RUNTIME_DIR", pulse.path}, {"HOME", pulse.path},
                              {"DBUS_SESSION_BUS_ADDRESS", "disabled:"}, {"XDG_CONFIG_HOME", pulse / "config"}});
    auto streams = [&]() -> std::optional<int> { // playback streams; none when the server does not answer
        Child pactl({"pactl", "list", "short", "sink-inputs"}, env, pulse / "streams.txt");
        if (!Clean(pactl.WaitFor(Ms(5000)))) return std::nullopt;
        return std::ranges::count(ReadFile(pulse / "streams.txt"), '\n');
    };
    // SDL picks its audio driver itself, as on a user's desktop.
    Program program(desktop, {kProgram}, {{"SDL_AUDIODRIVER", ""}, {"PULSE_SERVER", env.at("PULSE_SERVER")}});
    ASSERT_NE(program.WaitForMainWindow(), 0u) << "no main window; stderr:\n" << program.Stderr();

    std::optional<Child> server;
    for (int start = 0; start <= kRestarts; ++start) {
        SCOPED_TRACE("server start " + std::to_string(start));
        server.reset(); // as a crash would: no goodbye to the clients
        server.emplace(std::vector<std::string>{"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                                                "--use-pid-file=no", "-L", "module-null-sink", "-L",
                                                "module-native-protocol-unix auth-anonymous=1 socket=" + socket}, env);
        ASSERT_TRUE(WaitUntil([&] { return streams() >= 1; }, Ms(15000))) << "no stream from the program";
    }

    // Said once, at start, in the program's own words only.
    const std::string errors = program.Stderr();
    EXPECT_EQ(std::ranges::count(errors, '\n'), 1) << errors;
    EXPECT_NE(errors.find("the music plays silently"), std::string::npos) << errors;
    program.ExpectCleanExit([&] { program.process().Signal(SIGTERM); });
}

} // namespace
} // namespace desktop
