// The music through a real sound server, PulseAudio with a null sink in a
// folder of the test's own: the program's stream comes once the server is
// there, also when the program started before it, and comes back after the
// server is killed and started again; the program says once that it plays
// silently, libasound says nothing, and closing still ends it with status 0.

#include "desktop.h"

namespace desktop {
namespace {

// A PulseAudio server with a null sink, reached only through a socket in a
// private folder; no daemon of the system or the user is touched.
class SoundServer {
public:
    SoundServer() : m_dir("pulse") {}
    std::string address() const { return "unix:" + (m_dir / "native").string(); }

    void Start() {
        Env env = Environment();
        env["HOME"] = m_dir.path.string();
        env["XDG_CONFIG_HOME"] = (m_dir / "config").string();
        m_server.emplace(std::vector<std::string>{"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                                                  "--use-pid-file=no", "-L", "module-null-sink", "-L",
                                                  "module-native-protocol-unix auth-anonymous=1 socket=" +
                                                      (m_dir / "native").string()},
                         env, fs::path(), m_dir / "server.log");
        if (!WaitUntil([&] { return Streams().has_value(); }, Ms(10000)))
            throw std::runtime_error("pulseaudio did not start: " + ReadFile(m_dir / "server.log"));
    }
    // As a crash would: no goodbye to the clients.
    void Kill() { m_server.reset(); }

    // How many playback streams the server has; nothing when it does not answer.
    std::optional<int> Streams() const {
        Child pactl({"pactl", "list", "short", "sink-inputs"}, Environment(), m_dir / "streams.txt");
        const auto status = pactl.WaitFor(Ms(5000));
        if (!status || !status->Clean()) return std::nullopt;
        const std::string lines = ReadFile(m_dir / "streams.txt");
        return static_cast<int>(std::count(lines.begin(), lines.end(), '\n'));
    }

private:
    Env Environment() const {
        Env env = CleanEnv();
        env["PULSE_SERVER"] = address();
        env["XDG_RUNTIME_DIR"] = m_dir.path.string();
        env["DBUS_SESSION_BUS_ADDRESS"] = "disabled:";
        return env;
    }
    TempDir m_dir;
    std::optional<Child> m_server;
};

TEST(SoundServer, TheMusicComesBackWheneverTheServerDoes) {
    constexpr int kRestarts = 3;
    Desktop desktop;
    SoundServer server;
    // SDL picks its audio driver itself, as on a user's desktop.
    Program program(desktop, {ProgramPath().string()}, {{"SDL_AUDIODRIVER", ""}, {"PULSE_SERVER", server.address()}});
    const auto main = program.WaitForMainWindow();
    ASSERT_TRUE(main) << "no main window; stderr:\n" << program.Stderr();

    std::vector<double> backAfterMs;
    for (int start = 0; start <= kRestarts; ++start) {
        if (start > 0) {
            ASSERT_TRUE(WaitUntil([&] { return server.Streams() >= 1; }, Ms(1000)));
            server.Kill();
        }
        server.Start();
        const auto startedAt = Clock::now();
        ASSERT_TRUE(WaitUntil([&] { return server.Streams() >= 1; }, Ms(10000)))
            << "no stream " << MsSince(startedAt) << " ms after the server " << (start > 0 ? "restarted" : "started");
        backAfterMs.push_back(MsSince(startedAt));
    }
    std::sort(backAfterMs.begin() + 1, backAfterMs.end());
    std::printf("music back %.0f ms after the server first started, %.0f ms (median) after a restart\n",
                backAfterMs[0], backAfterMs[1 + kRestarts / 2]);

    // Said once, at start, in the program's own words only.
    const std::string errors = program.Stderr();
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_NE(errors.find("the music plays silently"), std::string::npos) << errors;
    program.ExpectPromptCleanExit([&] { program.Close(*main); });
}

} // namespace
} // namespace desktop
