// The program on a Wayland desktop with no X server: weston, headless, with
// its own software renderer. The program comes up on Wayland, its lines
// move up between two screenshots (the ticks follow the compositor's frame
// callbacks), and SIGTERM still ends it with status 0.

#include "desktop.h"

#include <QImage>

namespace desktop {
namespace {

constexpr const char* kSocket = "wayland-vantrel-test";
constexpr long kSomeLines = 2000; // white pixels: the core of a few lines of text

// The part of a screenshot where only the program's lines move: below
// weston's panel (its clock is white too) and the window's title bar.
constexpr Rect kClientStrip{320, 120, 640, 560};

// A screenshot by weston's own tool (allowed by weston's --debug), cut to
// the strip; none when it fails. The tool writes it into its working
// folder under a name of the second it was taken.
std::optional<Image> Screenshot(const TempDir& runtime, const Env& env) {
    const fs::path folder = runtime / "shot";
    fs::create_directories(folder);
    if (!Clean(Child({"sh", "-c", "cd \"$0\" && exec weston-screenshooter", folder.string()}, env).WaitFor(Ms(10000))))
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
    TempDir runtime; // the compositor's socket and the program's runtime folder
    fs::permissions(runtime.path, fs::perms::owner_all);
    // The compositor, its screenshot tool and the program share one
    // environment; only the program makes sound, and none starts a bus.
    const Env env = CleanEnv({{"XDG_RUNTIME_DIR", runtime.path}, {"WAYLAND_DISPLAY", kSocket}, {"HOME", runtime.path},
                              {"XDG_CONFIG_HOME", runtime / "config"}, {"SDL_AUDIODRIVER", "disk"},
                              {"SDL_DISKAUDIOFILE", runtime / "sound.pcm"}, {"DBUS_SESSION_BUS_ADDRESS", "disabled:"}});
    Child weston({"weston", "--backend=headless-backend.so", "--use-pixman", "--debug", std::string("--socket=") + kSocket,
                  "--width=1280", "--height=720", "--idle-time=0"},
                 env, {}, runtime / "weston.log");
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(runtime / kSocket); }, Ms(20000))) << ReadFile(runtime / "weston.log");

    Child program({kProgram}, env, {}, runtime / "stderr.txt");
    // The roll comes up from below the window in about two seconds.
    std::optional<Image> earlier;
    auto linesShown = [&] {
        earlier = Screenshot(runtime, env);
        return earlier && std::ranges::count_if(earlier->pixels, IsWhite) >= kSomeLines;
    };
    ASSERT_TRUE(WaitUntil(linesShown, Ms(20000), Ms(250)))
        << "no lines on screen; program:\n" << ReadFile(runtime / "stderr.txt");
    std::this_thread::sleep_for(Ms(1000));
    const std::optional<Image> later = Screenshot(runtime, env);
    ASSERT_TRUE(later);
    const std::optional<int> shift = UpwardShift(WhiteOf(*earlier), WhiteOf(*later), kClientStrip.height / 2);
    ASSERT_TRUE(shift) << "the lines did not move as one";
    EXPECT_GT(*shift, 0) << "the lines stood still";

    program.Signal(SIGTERM);
    EXPECT_TRUE(Clean(program.WaitFor(Ms(5000)))) << ReadFile(runtime / "stderr.txt");
}

} // namespace
} // namespace desktop
