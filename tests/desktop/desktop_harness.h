#pragma once

// The pieces that put the real program on a real X desktop: temporary
// directories, child processes that can never outlive their owner, an Xvfb
// server on a free display with openbox managing it, and a small X client
// that reads window properties, takes screenshots, the cursor image and the
// selections.
//
// Every wait here is bounded, and every process started here is killed (its
// whole process group) when its owner goes, also when a check fails.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <sys/types.h>
#include <vector>
#include <xcb/xcb.h>

namespace desktop {

using SteadyClock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

double MillisecondsSince(SteadyClock::time_point start);
void SleepFor(Milliseconds duration);

// The title every window of the program carries.
inline constexpr const char* kProgramTitle = "Vantrel Credits";
inline constexpr const char* kTrackFileName = "Until The Dub.mp3";

// The program as built, its own track beside it, and the two-second test
// phrase that stands in for the track where a test wants it to loop quickly.
std::filesystem::path ProgramPath();
std::filesystem::path ProgramTrackPath();
std::filesystem::path ShortTrackPath();

// A fresh directory under the system's temporary directory; removed with
// everything in it when the object goes.
class TempDir {
public:
    explicit TempDir(const std::string& label);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

std::string ReadFile(const std::filesystem::path& path);

struct ExitStatus {
    bool exited = false;  // ended by exit() rather than by a signal
    int code = -1;
    int signal = 0;
    bool coreDumped = false;
    std::string Describe() const;
};

// An environment as a list of NAME=value entries.
class Environment {
public:
    // The test's own environment without anything that would pick a display,
    // a Qt platform or an audio driver for the children.
    static Environment Clean();

    Environment& Set(const std::string& name, const std::string& value);
    Environment& Unset(const std::string& name);
    std::optional<std::string> Get(const std::string& name) const;
    std::vector<std::string> Entries() const;

private:
    std::map<std::string, std::string> m_variables;
};

struct ChildOptions {
    std::vector<std::string> argv;
    Environment environment;
    std::filesystem::path stdoutPath; // empty: /dev/null
    std::filesystem::path stderrPath; // empty: /dev/null
    int inheritFd = -1;               // a descriptor left open in the child under its own number
};

// A started process, leader of its own process group. Going out of scope
// kills the group and reaps the leader unless it has already been reaped.
class Child {
public:
    explicit Child(const ChildOptions& options);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return m_pid; }
    SteadyClock::time_point startedAt() const { return m_startedAt; }

    bool Running();
    // Waits at most `timeout` for the process to end; its status if it did.
    std::optional<ExitStatus> WaitFor(Milliseconds timeout);
    void Signal(int signal);
    // Kills the whole group and reaps the leader.
    void Kill();
    const std::optional<ExitStatus>& status() const { return m_status; }

private:
    bool Reap(bool block);

    pid_t m_pid = -1;
    SteadyClock::time_point m_startedAt;
    std::optional<ExitStatus> m_status;
};

struct ToolResult {
    ExitStatus status;
    std::string output; // stdout and stderr together
    bool ok() const { return status.exited && status.code == 0; }
};

// Runs a command-line tool (xdotool, wmctrl, xprop) against a display and
// collects what it prints; killed if it has not finished within `timeout`.
ToolResult RunTool(const std::vector<std::string>& argv, const std::string& display,
                   Milliseconds timeout = Milliseconds(10000));

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
    std::string Describe() const;
};

// For test failure messages.
inline void PrintTo(const Rect& rect, std::ostream* out) { *out << rect.Describe(); }

// Pixels as 0x00RRGGBB, row by row.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

inline int Red(uint32_t pixel) { return static_cast<int>((pixel >> 16) & 0xff); }
inline int Green(uint32_t pixel) { return static_cast<int>((pixel >> 8) & 0xff); }
inline int Blue(uint32_t pixel) { return static_cast<int>(pixel & 0xff); }
inline constexpr uint32_t kNavy = 0x000080;
inline constexpr uint32_t kWhite = 0xffffff;
// The rings are drawn in colours with little red and less green; white
// text over them is the only thing brighter.
inline bool IsBackdropColour(uint32_t pixel) { return Red(pixel) <= 40 && Green(pixel) <= 15; }
inline bool IsPureWhite(uint32_t pixel) { return (pixel & 0xffffff) == kWhite; }

// One connection to an X server, used by request and reply only (apart from
// the selection transfer, which waits for its own event).
class XConnection {
public:
    explicit XConnection(const std::string& display);
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    xcb_connection_t* get() const { return m_connection; }
    xcb_window_t root() const { return m_root; }
    int screenWidth() const { return m_screenWidth; }
    int screenHeight() const { return m_screenHeight; }

    xcb_atom_t Atom(const std::string& name);
    std::string AtomName(xcb_atom_t atom);

    // A property in 32-bit units (CARDINAL, ATOM, WINDOW, _MOTIF_WM_HINTS);
    // nothing when it is not set.
    std::optional<std::vector<uint32_t>> Property32(xcb_window_t window, const std::string& property);
    std::vector<std::string> AtomListProperty(xcb_window_t window, const std::string& property);
    std::optional<std::string> TextProperty(xcb_window_t window, const std::string& property);
    std::string Title(xcb_window_t window);
    std::optional<uint32_t> Pid(xcb_window_t window);

    std::vector<xcb_window_t> ClientList();
    std::optional<Rect> WorkArea();
    bool Exists(xcb_window_t window);
    bool Viewable(xcb_window_t window);
    // The window's inside area in root coordinates.
    std::optional<Rect> RootGeometry(xcb_window_t window);
    // Left, right, top, bottom, as the window manager set them.
    std::optional<std::vector<uint32_t>> FrameExtents(xcb_window_t window);

    // Every window of a process (by _NET_WM_PID) among the root's children
    // and the windows the window manager has reparented into its frames.
    std::vector<xcb_window_t> WindowsOf(pid_t pid);

    // What the screen shows in `area` (clipped to the screen).
    Image Capture(const Rect& area);

    // The cursor the server shows now (XFixes), ARGB pixels.
    std::optional<Image> CursorImage();

    // The text held in a selection ("PRIMARY", "CLIPBOARD"), as UTF-8.
    std::optional<std::string> SelectionText(const std::string& selection, Milliseconds timeout);
    // Takes a selection from its owner, leaving it empty.
    void ClearSelection(const std::string& selection);

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    int m_screenWidth = 0;
    int m_screenHeight = 0;
    xcb_window_t m_selectionWindow = 0;
    bool m_xfixesReady = false;
    std::map<std::string, xcb_atom_t> m_atoms;
};

// Xvfb on the first free display, with a 24-bit screen of the given size.
class XServer {
public:
    XServer(int width, int height, const std::filesystem::path& logDirectory);
    const std::string& display() const { return m_display; }

private:
    std::string m_display;
    std::optional<Child> m_child;
};

// openbox on a display; returns once it has announced itself on the root.
class WindowManager {
public:
    WindowManager(const std::string& display, const std::filesystem::path& workDirectory);

private:
    std::optional<Child> m_child;
};

// A desktop of its own for one test: a directory, the X server, the window
// manager and a connection to look at it.
class Desktop {
public:
    explicit Desktop(int width = 1920, int height = 1080);
    ~Desktop();

    const std::string& display() const { return m_server->display(); }
    XConnection& x() { return *m_x; }
    const TempDir& dir() const { return m_dir; }

    // An environment for a program on this desktop: the clean environment,
    // this display, a runtime directory of its own.
    Environment ProgramEnvironment() const;

    ToolResult Tool(const std::vector<std::string>& argv, Milliseconds timeout = Milliseconds(10000)) const {
        return RunTool(argv, display(), timeout);
    }

private:
    TempDir m_dir;
    std::optional<XServer> m_server;
    std::optional<WindowManager> m_windowManager;
    std::optional<XConnection> m_x;
};

// Polls `done` every `interval` until it holds or `timeout` has passed.
template <typename Done>
bool WaitUntil(Done&& done, Milliseconds timeout, Milliseconds interval = Milliseconds(20)) {
    const auto deadline = SteadyClock::now() + timeout;
    for (;;) {
        if (done()) return true;
        if (SteadyClock::now() >= deadline) return false;
        SleepFor(interval);
    }
}

} // namespace desktop
