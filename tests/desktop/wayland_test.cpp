// The program on Wayland desktops: weston, headless, with its own software
// renderer. With no X server, the program comes up on Wayland, its lines
// move up as one between two screenshots, and SIGTERM still ends it with
// status 0. Which clock paces the lines is not told apart there: weston's
// headless output refreshes at 60 Hz, so its frame callbacks come as often
// as the timers' own period would. Where the desktop runs XWayland, the
// program is an X11 client of it, paced by X Present at its refreshes, and
// the window's close ends it with status 0.

#include "desktop.h"

#include <QImage>

namespace desktop {
namespace {

constexpr const char* kSocket = "wayland-vantrel-test";
constexpr long kSomeLines = 2000; // white pixels: the core of a few lines of text

// The part of a screenshot where only the program's lines move: below
// weston's panel (its clock is white too) and the window's title bar.
constexpr Rect kClientStrip{320, 120, 640, 560};

// A headless weston of its own; with `xwayland`, it runs an X server too
// (started when the first X client connects). The compositor, its
// screenshot tool and the program share one environment; only the program
// makes sound, and none starts a bus.
class Weston {
public:
    explicit Weston(bool xwayland) {
        std::vector<std::string> argv{"weston", "--backend=headless-backend.so", "--use-pixman", "--debug",
                                      std::string("--socket=") + kSocket, "--width=1280", "--height=720",
                                      "--idle-time=0"};
        if (xwayland) argv.push_back("--xwayland");
        m_weston.emplace(argv, m_env, fs::path(), m_runtime / "weston.log");
        if (!WaitUntil([&] { return fs::exists(m_runtime / kSocket); }, Ms(20000)))
            throw std::runtime_error("weston did not start: " + ReadFile(m_runtime / "weston.log"));
    }
    const TempDir& RuntimeDir() const { return m_runtime; }
    const Env& env() const { return m_env; }
    // XWayland's display, as weston's log names it once it listens.
    std::string XDisplay() const {
        const std::regex kListening("xserver listening on display (:[0-9]+)");
        std::smatch found;
        std::string log;
        WaitUntil([&] { return std::regex_search(log = ReadFile(m_runtime / "weston.log"), found, kListening); },
                  Ms(20000));
        return found.empty() ? throw std::runtime_error("no XWayland: " + log) : found[1].str();
    }

private:
    TempDir m_runtime; // the compositor's socket and the program's runtime folder
    Env m_env = CleanEnv({{"XDG_RUNTIME_DIR", m_runtime.path}, {"WAYLAND_DISPLAY", kSocket}, {"HOME", m_runtime.path},
                          {"XDG_CONFIG_HOME", m_runtime / "config"}, {"SDL_AUDIODRIVER", "disk"},
                          {"SDL_DISKAUDIOFILE", m_runtime / "sound.pcm"}, {"DBUS_SESSION_BUS_ADDRESS", "disabled:"}});
    std::optional<Child> m_weston;
};

// A screenshot by weston's own tool (allowed by weston's --debug), cut to
// the strip; none when it fails. The tool writes it into its working
// folder under a name of the second it was taken.
std::optional<Image> Screenshot(const Weston& weston) {
    const fs::path folder = weston.RuntimeDir() / "shot";
    fs::create_directories(folder);
    if (!Clean(Child({"sh", "-c", "cd \"$0\" && exec weston-screenshooter", folder.string()}, weston.env())
                   .WaitFor(Ms(10000))))
        return std::nullopt;
    QImage shot;
    for (const auto& file : fs::directory_iterator(folder)) shot.load(QString::fromStdString(file.path().string()));
    fs::remove_all(folder);
    if (shot.isNull()) return std::nullopt;
    shot = shot.copy(kClientStrip.x, kClientStrip.y, kClientStrip.width, kClientStrip.height)
               .convertToFormat(QImage::Format_RGB32);
    // 32-bit pixels fill whole rows: the lines follow one another.
    const auto* pixels = reinterpret_cast<const uint32_t*>(shot.constBits());
    Image image{shot.width(), shot.height(), {pixels, pixels + shot.width() * shot.height()}};
    for (uint32_t& pixel : image.pixels) pixel &= 0xffffff;
    return image;
}

TEST(Wayland, TheLinesMoveAndTheProgramEndsCleanly) {
    const Weston weston(false);
    const TempDir& runtime = weston.RuntimeDir();
    Child program({kProgram}, weston.env(), {}, runtime / "stderr.txt");
    // The roll comes up from below the window in about two seconds.
    std::optional<Image> earlier;
    auto linesShown = [&] {
        earlier = Screenshot(weston);
        return earlier && std::ranges::count_if(earlier->pixels, IsWhite) >= kSomeLines;
    };
    ASSERT_TRUE(WaitUntil(linesShown, Ms(20000), Ms(250)))
        << "no lines on screen; program:\n" << ReadFile(runtime / "stderr.txt");
    std::this_thread::sleep_for(Ms(1000));
    const std::optional<Image> later = Screenshot(weston);
    ASSERT_TRUE(later);
    const std::optional<int> shift = UpwardShift(WhiteOf(*earlier), WhiteOf(*later), kClientStrip.height / 2);
    ASSERT_TRUE(shift) << "the lines did not move as one";
    EXPECT_GT(*shift, 0) << "the lines stood still";

    program.Signal(SIGTERM);
    EXPECT_TRUE(Clean(program.WaitFor(Ms(5000)))) << ReadFile(runtime / "stderr.txt");
}

// Weston maximizes the window itself, within its own frame; XWayland copies
// each presented frame at the refresh that follows.
TEST(XWayland, TheProgramIsAnX11ClientPacedByPresentAndEndsOnClose) {
    const Weston weston(true);
    Env env = weston.env(); // WAYLAND_DISPLAY too: the program must take the X server
    X x(env["DISPLAY"] = weston.XDisplay());
    Child program({kProgram}, env, {}, weston.RuntimeDir() / "stderr.txt");
    const xcb_window_t window = FindMainWindow(x, true);
    ASSERT_NE(window, 0u) << "no X11 window showing the rings; program:\n" << ReadFile(weston.RuntimeDir() / "stderr.txt");
    // The roll comes up from below the window in about two seconds. The
    // rings may show before weston has fitted the window, so its size is
    // read at every look: a capture past its edge would read nothing.
    Rect client;
    ASSERT_TRUE(WaitUntil([&] {
        const Rect size = x.Geometry(window).value_or(Rect{});
        client = {0, 0, size.width, size.height};
        return std::ranges::count_if(x.Capture(client, window).pixels, IsWhite) >= kSomeLines;
    }, Ms(20000), Ms(100))) << "no lines in the window";
    Refreshes refreshes(x, window);
    const uint64_t first = refreshes.Now();
    ExpectTextRisesAPixelARefresh(x, refreshes, client, window);
    const uint64_t last = refreshes.Now();
    // A frame presented for nearly every refresh; the fallback path, on
    // its own timer through Qt's backing store, presents none.
    const auto presented = std::ranges::count_if(refreshes.frames, [&](const auto& f) { return f.first > first; });
    EXPECT_GE(presented * 4, long(last - first) * 3) << presented << " frames in " << last - first << " refreshes";

    x.RequestClose(window);
    EXPECT_TRUE(Clean(program.WaitFor(Ms(5000)))) << ReadFile(weston.RuntimeDir() / "stderr.txt");
}

} // namespace
} // namespace desktop
