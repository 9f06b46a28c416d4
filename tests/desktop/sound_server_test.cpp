// The music through a real sound server in a folder of the test's own:
// PulseAudio with a null sink, and PipeWire as GNOME runs it (pipewire,
// wireplumber, pipewire-pulse) with a null sink, reached through SDL's own
// choice of driver and through SDL's PipeWire driver. The program's stream
// comes once the server is there, also when the program started before it,
// names itself with the program's name and icon, and comes back after the
// server is killed and started again; stderr says each time the music went
// silent and each time it sounds again, once, libasound says nothing, and
// SIGTERM still ends the program with status 0.

#include "desktop.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <list>
#include <sstream>

namespace desktop {
namespace {

// A sound server and the environment its processes and its clients share.
// No daemon of the system or the user is touched, and nothing is written
// outside the server's folder.
class SoundServer {
public:
    explicit SoundServer(bool pipewire) : m_pipewire(pipewire) {
        m_env = CleanEnv({{"PULSE_SERVER", "unix:" + (m_dir / "pulse/native").string()},
                          {"XDG_RUNTIME_DIR", m_dir.path}, {"HOME", m_dir.path},
                          {"XDG_CONFIG_HOME", m_dir / "config"}, {"XDG_STATE_HOME", m_dir / "state"},
                          {"DBUS_SESSION_BUS_ADDRESS", "disabled:"}});
        if (pipewire) StartSessionBus();
    }
    const Env& env() const { return m_env; }

    // As a user's session starts it. PipeWire's null sink comes from its
    // configuration, so it is there as soon as the server is.
    void Start() {
        if (!m_pipewire) {
            m_daemons.emplace_back(std::vector<std::string>{"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                                                            "--use-pid-file=no", "-L", "module-null-sink", "-L",
                                                            "module-native-protocol-unix auth-anonymous=1 socket=" +
                                                                (m_dir / "pulse/native").string()},
                                   m_env);
            return;
        }
        // The session manager and the PulseAudio server give up on a
        // PipeWire that does not answer yet; systemd starts them once its
        // socket is there.
        fs::remove(m_dir / "pipewire-0");
        for (const char* daemon : {"pipewire", "wireplumber", "pipewire-pulse"}) {
            m_daemons.emplace_back(std::vector<std::string>{daemon}, m_env, fs::path(), m_dir / (std::string(daemon) + ".log"));
            if (!WaitUntil([&] { return fs::exists(m_dir / "pipewire-0"); }, Ms(10000)))
                throw std::runtime_error("PipeWire did not start: " + ReadFile(m_dir / "pipewire.log"));
        }
    }
    // As a crash would: no goodbye to the clients.
    void Kill() { m_daemons.clear(); }

    // The playback streams, as a volume mixer sees them; none when the
    // server does not answer.
    std::optional<QJsonArray> Streams() const {
        Child pactl({"pactl", "--format=json", "list", "sink-inputs"}, m_env, m_dir / "streams.json");
        if (!Clean(pactl.WaitFor(Ms(5000)))) return std::nullopt;
        return QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(m_dir / "streams.json"))).array();
    }

private:
    // WirePlumber ends without a session bus; one bus serves every start.
    void StartSessionBus() {
        m_env["DBUS_SESSION_BUS_ADDRESS"] = m_bus.emplace(m_dir.path).address;
        fs::create_directories(m_dir / "config/pipewire/pipewire.conf.d");
        std::ofstream(m_dir / "config/pipewire/pipewire.conf.d/null-sink.conf")
            << "context.objects = [ { factory = adapter args = { factory.name = support.null-audio-sink\n"
               "  node.name = null-sink media.class = Audio/Sink audio.position = [ FL FR ] } } ]\n";
    }

    bool m_pipewire = false;
    TempDir m_dir;
    Env m_env;
    std::optional<SessionBus> m_bus;
    std::list<Child> m_daemons;
};

TEST(SoundServer, TheMusicComesBackWheneverTheServerDoesOnEveryDriver) {
    constexpr int kRestarts = 3;
    // The server; the driver the user set, if any; the one SDL then plays through.
    const std::tuple<const char*, bool, const char*, const char*> cases[] = {
        {"PulseAudio, SDL's choice", false, "", "pulseaudio"},
        {"PipeWire, SDL's choice", true, "", "pulseaudio"},
        {"PipeWire, SDL's PipeWire driver", true, "pipewire", "pipewire"},
    };
    Desktop desktop;
    for (const auto& [name, pipewire, driverSet, driver] : cases) {
        SCOPED_TRACE(name);
        SoundServer server(pipewire);
        const Env& env = server.env();
        Program program(desktop, {kProgram},
                        {{"SDL_AUDIODRIVER", driverSet}, {"PULSE_SERVER", env.at("PULSE_SERVER")},
                         {"XDG_RUNTIME_DIR", env.at("XDG_RUNTIME_DIR")}});
        ASSERT_NE(program.WaitForMainWindow(), 0u) << "no main window; stderr:\n" << program.Stderr();

        // What stderr says: silent at start, then sounding again at every
        // start of the server and silent at every crash, each change once,
        // in the program's own words only. The server is killed only once
        // the music sounds, so that every crash silences it.
        std::vector<std::string> said{"the music plays silently"};
        auto saidSoFar = [&] {
            std::istringstream lines(program.Stderr());
            size_t count = 0;
            for (std::string line; std::getline(lines, line); ++count)
                if (count == said.size() || !line.starts_with("vantrel-credits: ") || line.find(said[count]) == line.npos)
                    return false;
            return count == said.size();
        };
        for (int start = 0; start <= kRestarts; ++start) {
            SCOPED_TRACE("server start " + std::to_string(start));
            if (start > 0) server.Kill(), said.push_back("the music plays silently");
            server.Start();
            said.push_back("(" + std::string(driver) + "); the music sounds again");
            QJsonArray streams;
            ASSERT_TRUE(WaitUntil([&] { return !(streams = server.Streams().value_or(streams)).isEmpty(); }, Ms(15000)))
                << "no stream from the program; stderr:\n" << program.Stderr();
            ASSERT_EQ(streams.size(), 1);
            const QJsonObject properties = streams[0].toObject()["properties"].toObject();
            EXPECT_EQ(properties["application.name"].toString().toStdString(), "Vantrel Credits");
            EXPECT_EQ(properties["application.icon_name"].toString().toStdString(), "vantrel-credits");
            ASSERT_TRUE(WaitUntil(saidSoFar, Ms(5000))) << "stderr:\n" << program.Stderr();
        }
        program.ExpectCleanExit([&] { program.process().Signal(SIGTERM); });
    }
}

} // namespace
} // namespace desktop
