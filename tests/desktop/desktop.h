#pragma once

// The real program on a real X desktop: Xvfb on a free display with openbox
// managing it, the program started there with its sound going to a raw PCM
// file (SDL's disk driver), and a small X client that reads window
// properties, the screen, the cursor and the selections.
// Every wait is bounded, and every process started here is killed with its
// process group when its owner goes, also when a check fails.

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace desktop {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

inline double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}
inline void Sleep(Ms duration) { std::this_thread::sleep_for(duration); }

// Polls `done` until it holds or `timeout` has passed.
template <typename Done>
bool WaitUntil(Done&& done, Ms timeout, Ms interval = Ms(20)) {
    for (const auto deadline = Clock::now() + timeout; !done(); Sleep(interval))
        if (Clock::now() >= deadline) return false;
    return true;
}

inline constexpr const char* kTitle = "Vantrel Credits";
inline constexpr int kScreenHeight = 1080; // of the Xvfb screen, pixels
inline constexpr const char* kTrackName = "Until The Dub.mp3";
// SDL's disk driver writes the mixer's output: 44.1 kHz, 16-bit stereo.
inline constexpr int kAudioRate = 44100;
inline constexpr int kAudioFrameBytes = 4;

inline fs::path ProgramPath() { return VANTREL_PROGRAM; }        // as built, its track beside it
inline fs::path ShortTrackPath() { return VANTREL_SHORT_TRACK; } // a two-second phrase

inline std::string ReadFile(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// A fresh directory, removed with everything in it when the object goes.
struct TempDir {
    explicit TempDir(const std::string& label) {
        std::string pattern = (fs::temp_directory_path() / ("desktop-" + label + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp " + pattern + " failed");
        path = pattern;
    }
    ~TempDir() { fs::remove_all(path, ignored); }
    fs::path operator/(const std::string& name) const { return path / name; }
    fs::path path;
    std::error_code ignored;
};

// A copy of the program in `dir`, with `track` beside it under the name the
// program looks for, or nothing; returns the copy's path.
inline fs::path CopyProgram(const TempDir& dir, const std::optional<fs::path>& track) {
    fs::copy_file(ProgramPath(), dir / ProgramPath().filename().string());
    if (track) fs::copy_file(*track, dir / kTrackName);
    return dir / ProgramPath().filename().string();
}

using Env = std::map<std::string, std::string>;

// The test's environment without anything that picks a display, a Qt
// platform or an audio driver.
inline Env CleanEnv() {
    Env env;
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (const char* equals = std::strchr(*entry, '=')) env[std::string(*entry, equals - *entry)] = equals + 1;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_QPA_PLATFORMTHEME",
                             "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR",
                             "QT_ENABLE_HIGHDPI_SCALING", "QT_FONT_DPI", "SDL_AUDIODRIVER", "SDL_DISKAUDIOFILE",
                             "SDL_DISKAUDIODELAY", "XDG_SESSION_TYPE", "XAUTHORITY", "DESKTOP_SESSION",
                             "XDG_CURRENT_DESKTOP"})
        env.erase(name);
    return env;
}

struct ExitStatus {
    int raw = 0; // as waitpid gives it
    bool Clean() const { return WIFEXITED(raw) && WEXITSTATUS(raw) == 0; }
    std::string Describe() const {
        return WIFEXITED(raw) ? "exit status " + std::to_string(WEXITSTATUS(raw))
                        : std::string("signal ") + strsignal(WTERMSIG(raw));
    }
};

// A started process, leader of its own process group; going out of scope
// kills the group. Output goes to the given files, or to /dev/null.
class Child {
public:
    Child(std::vector<std::string> argv, const Env& env, const fs::path& out = {}, const fs::path& err = {},
          int keepFd = -1) {
        std::vector<std::string> entries;
        for (const auto& [name, value] : env) entries.push_back(name + "=" + value);
        std::vector<char*> args(argv.size() + 1), envp(entries.size() + 1); // null-terminated
        std::transform(argv.begin(), argv.end(), args.begin(), [](std::string& arg) { return arg.data(); });
        std::transform(entries.begin(), entries.end(), envp.begin(), [](std::string& entry) { return entry.data(); });
        m_startedAt = Clock::now();
        if ((m_pid = ::fork()) < 0) throw std::runtime_error("fork failed");
        if (m_pid == 0) {
            ::setpgid(0, 0);
            auto redirect = [](int target, const fs::path& path, int flags) {
                const int fd = ::open(path.empty() ? "/dev/null" : path.c_str(), flags, 0600);
                if (fd < 0 || ::dup2(fd, target) < 0) _exit(126);
            };
            redirect(STDIN_FILENO, {}, O_RDONLY);
            redirect(STDOUT_FILENO, out, O_WRONLY | O_CREAT | O_TRUNC);
            redirect(STDERR_FILENO, err, O_WRONLY | O_CREAT | O_TRUNC);
            if (keepFd >= 0) ::fcntl(keepFd, F_SETFD, 0);
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::execvpe(args[0], args.data(), envp.data());
            _exit(127);
        }
        ::setpgid(m_pid, m_pid); // also from here, so that killing the group right away finds it
    }
    ~Child() { Kill(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return m_pid; }
    Clock::time_point startedAt() const { return m_startedAt; }
    const std::optional<ExitStatus>& status() const { return m_status; }
    bool Running() { return !Reap(WNOHANG); }
    std::optional<ExitStatus> WaitFor(Ms timeout) {
        WaitUntil([&] { return Reap(WNOHANG); }, timeout, Ms(5));
        return m_status;
    }
    void Signal(int signal) { if (!m_status) ::kill(m_pid, signal); }
    void Kill() { if (!m_status) ::kill(-m_pid, SIGKILL), ::kill(m_pid, SIGKILL), Reap(0); }

private:
    // Whether the process has ended; `flags` 0 waits for it.
    bool Reap(int flags) {
        int raw = 0;
        pid_t got = 0;
        while (!m_status && ((got = ::waitpid(m_pid, &raw, flags)) > 0 || (got < 0 && errno == EINTR)))
            if (got > 0) m_status = ExitStatus{raw};
        return m_status.has_value();
    }
    pid_t m_pid = -1;
    Clock::time_point m_startedAt;
    std::optional<ExitStatus> m_status;
};

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};
inline void PrintTo(const Rect& r, std::ostream* out) {
    *out << r.width << 'x' << r.height << '+' << r.x << '+' << r.y;
}

// Pixels as 0x00RRGGBB, row by row.
struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    const uint32_t* Row(int y) const { return pixels.data() + static_cast<size_t>(y) * width; }
};
inline int Red(uint32_t pixel) { return (pixel >> 16) & 0xff; }
inline int Green(uint32_t pixel) { return (pixel >> 8) & 0xff; }
inline int Blue(uint32_t pixel) { return pixel & 0xff; }
inline constexpr uint32_t kNavy = 0x000080;
// The rings are drawn in colours with little red and less green; the white
// text over them is the only thing brighter.
inline bool IsRingColour(uint32_t pixel) { return Red(pixel) <= 40 && Green(pixel) <= 15; }
inline bool IsWhite(uint32_t pixel) { return pixel == 0xffffff; }

// What a client area shows, judged from a strip a quarter of the way down
// across its middle half, where the rings are from the first frame on and
// neither the text (for its first seconds) nor a centred message box reach.
enum class Strip { Unpainted, Navy, Rings };
inline const char* Name(Strip state) {
    return state == Strip::Navy ? "navy" : state == Strip::Rings ? "rings" : "not painted";
}
inline Rect SampleStrip(const Rect& client) {
    return Rect{client.x + client.width / 4, client.y + client.height / 4, std::max(2, client.width / 2), 4};
}
inline Strip Classify(const std::vector<uint32_t>& strip) {
    const size_t navy = std::count(strip.begin(), strip.end(), kNavy);
    if (!strip.empty() && navy == strip.size()) return Strip::Navy;
    // Hundreds of rings in random blues: many colours, none brighter than a
    // ring, little plain navy left. A window not painted yet shows one flat
    // colour or what was there before.
    const bool rings = std::all_of(strip.begin(), strip.end(), IsRingColour) && navy * 2 < strip.size() &&
                       std::set<uint32_t>(strip.begin(), strip.end()).size() >= 16;
    return rings ? Strip::Rings : Strip::Unpainted;
}

template <typename T>
std::unique_ptr<T, decltype(&std::free)> Owned(T* reply) {
    return {reply, &std::free};
}

// One connection to an X server.
class X {
public:
    explicit X(const std::string& display) : m_c(xcb_connect(display.c_str(), nullptr)) {
        if (xcb_connection_has_error(m_c) != 0) {
            xcb_disconnect(m_c);
            throw std::runtime_error("cannot connect to X display " + display);
        }
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        m_root = screen->root;
        m_width = screen->width_in_pixels;
        m_height = screen->height_in_pixels;
    }
    ~X() { xcb_disconnect(m_c); }
    xcb_connection_t* get() const { return m_c; }
    xcb_window_t root() const { return m_root; }

    xcb_atom_t Atom(const std::string& name) {
        if (m_atoms.contains(name)) return m_atoms[name];
        auto reply = Owned(xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, name.size(), name.c_str()), nullptr));
        return m_atoms[name] = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    }
    // The property's bytes, if it is set in the given format (8 or 32 bits).
    std::optional<std::string> Property(xcb_window_t window, xcb_atom_t property, int format) {
        auto reply = Owned(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 16), nullptr));
        if (!reply || reply->type == XCB_ATOM_NONE || reply->format != format) return std::nullopt;
        return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                           xcb_get_property_value_length(reply.get()));
    }
    std::optional<std::vector<uint32_t>> Property32(xcb_window_t window, const std::string& name) {
        const auto bytes = Property(window, Atom(name), 32);
        if (!bytes) return std::nullopt;
        std::vector<uint32_t> values(bytes->size() / 4);
        std::memcpy(values.data(), bytes->data(), bytes->size());
        return values;
    }
    std::vector<std::string> AtomNames(xcb_window_t window, const std::string& name) {
        std::vector<std::string> names;
        for (uint32_t atom : Property32(window, name).value_or(std::vector<uint32_t>{}))
            if (auto reply = Owned(xcb_get_atom_name_reply(m_c, xcb_get_atom_name(m_c, atom), nullptr)))
                names.emplace_back(xcb_get_atom_name_name(reply.get()), xcb_get_atom_name_name_length(reply.get()));
        return names;
    }
    std::string Title(xcb_window_t window) {
        return Property(window, Atom("_NET_WM_NAME"), 8).value_or(Property(window, XCB_ATOM_WM_NAME, 8).value_or(""));
    }
    pid_t Pid(xcb_window_t window) { // 0 when not set
        const auto pid = Property32(window, "_NET_WM_PID");
        return pid && !pid->empty() ? pid->front() : 0;
    }
    std::vector<xcb_window_t> ClientList() {
        return Property32(m_root, "_NET_CLIENT_LIST").value_or(std::vector<uint32_t>{});
    }
    // Managed windows (top-level ones where no window manager runs) on
    // screen with the program's title, of a _NET_WM_WINDOW_TYPE: _UTILITY
    // for its main window, _DIALOG for a report.
    std::vector<xcb_window_t> ProgramWindows(const std::string& type) {
        std::vector<xcb_window_t> windows;
        const bool managed = Property32(m_root, "_NET_SUPPORTING_WM_CHECK").has_value();
        for (xcb_window_t window : managed ? ClientList() : Children(m_root)) {
            const auto types = AtomNames(window, "_NET_WM_WINDOW_TYPE");
            if (Title(window) == kTitle && std::count(types.begin(), types.end(), "_NET_WM_WINDOW_TYPE_" + type) &&
                Viewable(window))
                windows.push_back(window);
        }
        return windows;
    }
    std::vector<xcb_window_t> Children(xcb_window_t parent) {
        auto tree = Owned(xcb_query_tree_reply(m_c, xcb_query_tree(m_c, parent), nullptr));
        if (!tree) return {};
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        return {children, children + xcb_query_tree_children_length(tree.get())};
    }
    bool Exists(xcb_window_t window) { return Attributes(window) != nullptr; }
    bool Viewable(xcb_window_t window) {
        const auto attributes = Attributes(window);
        return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    }
    // The client area, in root coordinates.
    std::optional<Rect> Geometry(xcb_window_t window) {
        auto size = Owned(xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, window), nullptr));
        auto at = Owned(
            xcb_translate_coordinates_reply(m_c, xcb_translate_coordinates(m_c, window, m_root, 0, 0), nullptr));
        if (!size || !at) return std::nullopt;
        return Rect{at->dst_x, at->dst_y, size->width, size->height};
    }
    // The window manager's _NET_WORKAREA, or the screen where none runs.
    Rect WorkArea() {
        const auto area = Property32(m_root, "_NET_WORKAREA");
        if (!area || area->size() < 4 || !Property32(m_root, "_NET_SUPPORTING_WM_CHECK")) {
            const auto screen = Geometry(m_root);
            return screen.value_or(Rect{0, 0, m_width, m_height});
        }
        return Rect{int((*area)[0]), int((*area)[1]), int((*area)[2]), int((*area)[3])};
    }
    // The window manager's frame around a client: its ancestor just below
    // the root (the client itself where no window manager frames it).
    std::optional<Rect> Frame(xcb_window_t window) {
        for (xcb_window_t parent = window;; window = parent) {
            auto tree = Owned(xcb_query_tree_reply(m_c, xcb_query_tree(m_c, window), nullptr));
            if (!tree) return std::nullopt;
            parent = tree->parent;
            if (parent == m_root || parent == XCB_NONE) return Geometry(window);
        }
    }
    // What the screen shows in `area`, clipped to the screen.
    Image Capture(const Rect& area) {
        const int x = std::clamp(area.x, 0, m_width), y = std::clamp(area.y, 0, m_height);
        const int width = std::clamp(area.x + area.width, 0, m_width) - x;
        const int height = std::clamp(area.y + area.height, 0, m_height) - y;
        auto reply = Owned(xcb_get_image_reply(
            m_c, xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, x, y, width, height, ~0u), nullptr));
        // On the 24-bit screen Xvfb is started with: 32 bits a pixel, blue first.
        const size_t count = static_cast<size_t>(std::max(width, 0)) * std::max(height, 0);
        if (count == 0 || !reply || static_cast<size_t>(xcb_get_image_data_length(reply.get())) < count * 4) return {};
        Image image{width, height, std::vector<uint32_t>(count)};
        std::memcpy(image.pixels.data(), xcb_get_image_data(reply.get()), count * 4);
        for (uint32_t& pixel : image.pixels) pixel &= 0xffffff;
        return image;
    }
    std::optional<bool> CursorVisible() {
        Owned(xcb_xfixes_query_version_reply(m_c, xcb_xfixes_query_version(m_c, 5, 0), nullptr)); // needed first
        auto reply = Owned(xcb_xfixes_get_cursor_image_reply(m_c, xcb_xfixes_get_cursor_image(m_c), nullptr));
        if (!reply) return std::nullopt;
        const uint32_t* argb = xcb_xfixes_get_cursor_image_cursor_image(reply.get());
        return std::any_of(argb, argb + xcb_xfixes_get_cursor_image_cursor_image_length(reply.get()),
                           [](uint32_t pixel) { return (pixel >> 24) != 0; });
    }
    // The text a selection ("PRIMARY") holds, as UTF-8.
    std::optional<std::string> SelectionText(const std::string& selection) {
        const xcb_window_t requestor = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, requestor, m_root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        const xcb_atom_t property = Atom("DESKTOP_TEST_SELECTION");
        xcb_convert_selection(m_c, requestor, Atom(selection), Atom("UTF8_STRING"), property, XCB_CURRENT_TIME);
        xcb_flush(m_c);
        std::optional<std::string> text;
        WaitUntil(
            [&] {
                auto event = Owned(xcb_poll_for_event(m_c));
                const auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(event.get());
                if (!event || (event->response_type & 0x7f) != XCB_SELECTION_NOTIFY || notify->requestor != requestor)
                    return false;
                if (notify->property != XCB_ATOM_NONE) text = Property(requestor, property, 8);
                return true;
            },
            Ms(2000), Ms(5));
        xcb_destroy_window(m_c, requestor);
        return text;
    }
    void ClearSelection(const std::string& selection) {
        xcb_set_selection_owner(m_c, XCB_NONE, Atom(selection), XCB_CURRENT_TIME);
        Exists(m_root); // a round trip: done before anything that follows
    }
    // The managed windows, for failure messages.
    std::string DescribeWindows() {
        std::ostringstream text;
        text << "managed windows:";
        for (xcb_window_t window : ClientList())
            text << ' ' << window << " \"" << Title(window) << (Viewable(window) ? "\" " : "\" hidden ")
                 << ::testing::PrintToString(Geometry(window).value_or(Rect{})) << ';';
        return text.str();
    }

private:
    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> Attributes(xcb_window_t window) {
        return Owned(xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, window), nullptr));
    }
    xcb_connection_t* m_c;
    xcb_window_t m_root = 0;
    int m_width = 0, m_height = 0;
    std::map<std::string, xcb_atom_t> m_atoms;
};

// A window manager for a test desktop, and whether a panel of its own
// shrinks the work area (the desktop waits until it has).
struct WindowManager {
    std::string name;              // for messages
    std::vector<std::string> argv; // empty: no window manager
    bool panel = false;
};
inline WindowManager Openbox() { return {"openbox", {"openbox", "--sm-disable"}}; }
inline WindowManager IceWm() { return {"icewm", {"icewm"}, true}; }
inline WindowManager Fluxbox() { return {"fluxbox", {"fluxbox"}, true}; }
// xfwm4 and the tint2 panel talk over a session bus of their own.
inline WindowManager Xfwm4WithPanel() {
    return {"xfwm4+tint2", {"dbus-run-session", "sh", "-c", "xfwm4 --compositor=off & exec tint2"}, true};
}
inline WindowManager NoWindowManager() { return {"no window manager", {}}; }

// A desktop of its own for a test: a 1920x1080 Xvfb, a window manager
// (openbox unless told otherwise), and a connection to look at it. Xvfb
// gets `serverOptions`, and the words of VANTREL_TEST_XVFB_OPTIONS (e.g.
// "-extension MIT-SHM", which takes the program off the X Present path).
class Desktop {
public:
    explicit Desktop(const WindowManager& manager = Openbox(), std::vector<std::string> serverOptions = {})
        : m_dir("x") {
        // Xvfb writes the number of the display it found free to the file
        // once it accepts connections.
        const int fd = ::open((m_dir / "display").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        std::vector<std::string> server{"Xvfb", "-displayfd", std::to_string(fd), "-screen", "0",
                                        "1920x1080x24", "-nolisten", "tcp", "-noreset"};
        const char* extra = std::getenv("VANTREL_TEST_XVFB_OPTIONS");
        std::istringstream fromEnvironment(extra != nullptr ? extra : "");
        for (std::string word; fromEnvironment >> word;) server.push_back(word);
        server.insert(server.end(), serverOptions.begin(), serverOptions.end());
        m_server.emplace(std::move(server), CleanEnv(), fs::path(), m_dir / "xvfb.log", fd);
        ::close(fd);
        std::string number;
        if (!WaitUntil([&] { return (number = ReadFile(m_dir / "display")).ends_with('\n'); }, Ms(20000)))
            throw std::runtime_error("Xvfb did not start: " + ReadFile(m_dir / "xvfb.log"));
        m_display = ":" + number.substr(0, number.size() - 1);
        m_x.emplace(m_display);
        if (manager.argv.empty()) return;
        m_windowManager.emplace(manager.argv, ToolEnvironment(), fs::path(), m_dir / "wm.log");
        if (!WaitUntil([&] { return m_x->Property32(m_x->root(), "_NET_SUPPORTING_WM_CHECK") &&
                                    m_x->Property32(m_x->root(), "_NET_WORKAREA") &&
                                    (!manager.panel || m_x->WorkArea().height < kScreenHeight); },
                       Ms(20000)))
            throw std::runtime_error(manager.name + " did not start: " + ReadFile(m_dir / "wm.log"));
    }
    // Starts a panel (tint2) on this desktop, which shrinks the work area.
    Child StartPanel() const { return Child({"tint2"}, ToolEnvironment(), fs::path(), m_dir / "panel.log"); }
    const std::string& display() const { return m_display; }
    X& x() { return *m_x; }
    // The clean environment with this display.
    Env Environment() const {
        Env env = CleanEnv();
        env["DISPLAY"] = m_display;
        return env;
    }
    // Runs xdotool or wmctrl here; whether it succeeded within 10 s.
    bool Tool(const std::vector<std::string>& argv) const {
        Child tool(argv, Environment());
        const auto status = tool.WaitFor(Ms(10000));
        return status && status->Clean();
    }

private:
    // An empty configuration home and home folder: the window manager's
    // and the panel's defaults, whatever the tester's, and nothing written
    // to the tester's home.
    Env ToolEnvironment() const {
        Env env = Environment();
        env["XDG_CONFIG_HOME"] = (m_dir / "config").string();
        env["HOME"] = m_dir.path.string();
        return env;
    }
    TempDir m_dir;
    std::string m_display;
    std::optional<Child> m_server, m_windowManager;
    std::optional<X> m_x;
};

// The program started on a desktop, its sound written to a file of its own.
class Program {
public:
    explicit Program(Desktop& desktop, std::vector<std::string> command = {ProgramPath().string()},
                     const Env& extra = {})
        : m_desktop(desktop), m_dir("run") {
        Env env = desktop.Environment();
        fs::create_directories(m_dir / "runtime");
        fs::permissions(m_dir / "runtime", fs::perms::owner_all);
        env["XDG_RUNTIME_DIR"] = (m_dir / "runtime").string();
        // No session bus: D-Bus must not start one (it would outlive the test).
        env["DBUS_SESSION_BUS_ADDRESS"] = "disabled:";
        env["SDL_AUDIODRIVER"] = "disk";
        env["SDL_DISKAUDIOFILE"] = audioPath().string();
        for (const auto& [name, value] : extra) env[name] = value;
        m_child.emplace(std::move(command), env, m_dir / "stdout.txt", m_dir / "stderr.txt");
    }
    Child& process() { return *m_child; }
    fs::path audioPath() const { return m_dir / "sound.pcm"; }
    double AudioSeconds() const {
        std::error_code error;
        const auto bytes = fs::file_size(audioPath(), error);
        return error ? 0.0 : static_cast<double>(bytes) / (kAudioRate * kAudioFrameBytes);
    }
    std::string Stdout() const { return ReadFile(m_dir / "stdout.txt"); }
    std::string Stderr() const { return ReadFile(m_dir / "stderr.txt"); }

    // The main window: a managed tool window showing the rings (the scene
    // window, shown for a moment at start-up, never does). The program has
    // placed it before it paints the first frame, so it stays where it is
    // found.
    std::optional<xcb_window_t> WaitForMainWindow(Ms timeout = Ms(15000)) {
        X& x = m_desktop.x();
        xcb_window_t seen = 0;
        WaitUntil(
            [&] {
                for (xcb_window_t window : x.ProgramWindows("UTILITY")) {
                    const auto client = x.Geometry(window);
                    if (client && Classify(x.Capture(SampleStrip(*client)).pixels) == Strip::Rings) seen = window;
                }
                return seen != 0;
            },
            timeout);
        return seen != 0 ? std::optional(seen) : std::nullopt;
    }
    // The window manager's close, as its close button.
    bool Close(xcb_window_t window) { return m_desktop.Tool({"wmctrl", "-i", "-c", std::to_string(window)}); }

    // Ends the program with `end`: it must exit with status 0 within `limit`
    // (at once, allowing for a shared machine).
    void ExpectPromptCleanExit(const std::function<void()>& end, Ms limit = Ms(3000)) {
        end();
        const auto status = m_child->WaitFor(limit);
        ASSERT_TRUE(status) << "still running " << limit.count() << " ms after being told to end";
        EXPECT_TRUE(status->Clean()) << status->Describe() << "; stderr:\n" << Stderr();
    }

private:
    Desktop& m_desktop;
    TempDir m_dir;
    std::optional<Child> m_child;
};

// Decoded PCM: per frame, the louder of the two channels' magnitudes.
inline std::vector<int> AudioLevels(const fs::path& path) {
    const std::string bytes = ReadFile(path);
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2); // little-endian, as the host
    std::vector<int> levels(samples.size() / 2);
    for (size_t frame = 0; frame < levels.size(); ++frame)
        levels[frame] = std::max(std::abs(samples[2 * frame]), std::abs(samples[2 * frame + 1]));
    return levels;
}

} // namespace desktop
