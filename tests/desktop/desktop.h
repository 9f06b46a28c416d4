#pragma once

// The real program on a real X desktop: Xvfb on a free display with openbox
// managing it, the program started there with its sound going to a raw PCM
// file (SDL's disk driver), and a small X client that reads window
// properties, the screen, the cursor and the selections.
// Every wait is bounded, and every process started here is killed with its
// process group when its owner goes, also when a check fails.

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <sys/types.h>
#include <thread>
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
inline constexpr const char* kTrackName = "Until The Dub.mp3";
// SDL's disk driver writes the mixer's output: 44.1 kHz, 16-bit stereo.
inline constexpr int kAudioRate = 44100;
inline constexpr int kAudioFrameBytes = 4;

fs::path ProgramPath();    // as built, its track beside it
fs::path ShortTrackPath(); // a two-second phrase that loops quickly
std::string ReadFile(const fs::path& path);

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
public:
    explicit TempDir(const std::string& label);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return m_path; }
    fs::path operator/(const std::string& name) const { return m_path / name; }

private:
    fs::path m_path;
};

// A copy of the program in `dir`, with `track` beside it under the name the
// program looks for, or nothing; returns the copy's path.
fs::path CopyProgram(const TempDir& dir, const std::optional<fs::path>& track);

using Env = std::map<std::string, std::string>;
// The test's environment without anything that picks a display, a Qt
// platform or an audio driver.
Env CleanEnv();

struct ExitStatus {
    bool exited = false; // by exit() rather than by a signal
    int code = -1;
    int signal = 0;
    bool Clean() const { return exited && code == 0; }
    std::string Describe() const;
};

// A started process, leader of its own process group; going out of scope
// kills the group. Output goes to the given files, or to /dev/null.
class Child {
public:
    Child(std::vector<std::string> argv, const Env& env, const fs::path& out = {}, const fs::path& err = {},
          int keepFd = -1);
    ~Child() { Kill(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return m_pid; }
    Clock::time_point startedAt() const { return m_startedAt; }
    bool Running() { return !Reap(false); }
    std::optional<ExitStatus> WaitFor(Ms timeout);
    void Signal(int signal);
    void Kill();
    const std::optional<ExitStatus>& status() const { return m_status; }

private:
    bool Reap(bool block);
    pid_t m_pid = -1;
    Clock::time_point m_startedAt;
    std::optional<ExitStatus> m_status;
};

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};
void PrintTo(const Rect& rect, std::ostream* out);

// Pixels as 0x00RRGGBB, row by row.
struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
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
// across its middle, where the rings are from the first frame on and neither
// the text (for its first seconds) nor a centred message box reach.
enum class Strip { Unpainted, Navy, Rings };
Rect SampleStrip(const Rect& client);
Strip Classify(const Image& strip);
const char* Name(Strip state);

// One connection to an X server, used by request and reply (apart from the
// selection transfer and the caller's own event listening).
class X {
public:
    explicit X(const std::string& display);
    ~X() { xcb_disconnect(m_c); }
    X(const X&) = delete;
    X& operator=(const X&) = delete;
    xcb_connection_t* get() const { return m_c; }
    xcb_window_t root() const { return m_root; }

    std::optional<std::vector<uint32_t>> Property32(xcb_window_t window, const std::string& name);
    std::vector<std::string> AtomNames(xcb_window_t window, const std::string& name);
    std::string Title(xcb_window_t window);
    pid_t Pid(xcb_window_t window); // 0 when not set
    std::vector<xcb_window_t> ClientList();
    // Managed windows titled as the program's, of a _NET_WM_WINDOW_TYPE such
    // as _NET_WM_WINDOW_TYPE_UTILITY (its main window) or _DIALOG (a report).
    std::vector<xcb_window_t> ProgramWindows(const std::string& type, bool viewableOnly);
    // Every window of a process among the root's children and the window
    // manager's frames: managed or not.
    std::vector<xcb_window_t> WindowsOf(pid_t pid);
    bool Exists(xcb_window_t window);
    bool Viewable(xcb_window_t window);
    std::optional<Rect> Geometry(xcb_window_t window); // the client area, in root coordinates
    Image Capture(const Rect& area);                   // clipped to the screen
    std::optional<bool> CursorVisible();
    // The text a selection ("PRIMARY") holds, as UTF-8.
    std::optional<std::string> SelectionText(const std::string& selection);
    void ClearSelection(const std::string& selection);
    // The managed windows, for failure messages.
    std::string DescribeWindows();

private:
    xcb_atom_t Atom(const std::string& name);
    std::optional<std::string> Property(xcb_window_t window, xcb_atom_t property, int format);
    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = 0;
    int m_width = 0, m_height = 0;
    xcb_window_t m_selectionWindow = 0;
    std::map<std::string, xcb_atom_t> m_atoms;
};

// A desktop of its own for a test: a 1920x1080 Xvfb, openbox, and a
// connection to look at it.
class Desktop {
public:
    Desktop();
    const std::string& display() const { return m_display; }
    X& x() { return *m_x; }
    // Runs xdotool or wmctrl here; whether it succeeded within 10 s.
    bool Tool(const std::vector<std::string>& argv);
    // The environment for a program on this desktop.
    Env ProgramEnv() const;

private:
    TempDir m_dir;
    std::string m_display;
    std::optional<Child> m_server, m_windowManager;
    std::optional<X> m_x;
};

// The program started on a desktop with its sound written to a file of its own.
class Program {
public:
    explicit Program(Desktop& desktop, std::vector<std::string> command = {ProgramPath().string()},
                     const Env& extra = {});
    Child& process() { return *m_child; }
    fs::path audioPath() const { return m_dir / "sound.pcm"; }
    double AudioSeconds() const;
    std::string Stdout() const { return ReadFile(m_dir / "stdout.txt"); }
    std::string Stderr() const { return ReadFile(m_dir / "stderr.txt"); }
    // The main window: a managed tool window showing the rings, returned once
    // it has stayed in one place for a while (the program fits its frame onto
    // the work area after showing it).
    std::optional<xcb_window_t> WaitForMainWindow(Ms timeout = Ms(15000));
    // The window manager's close, as its close button.
    bool Close(xcb_window_t window) { return m_desktop.Tool({"wmctrl", "-i", "-c", std::to_string(window)}); }

private:
    Desktop& m_desktop;
    TempDir m_dir;
    std::optional<Child> m_child;
};

// Ends the program with `end`: it must exit with status 0 within 3 s (at
// once, allowing for a shared machine).
void ExpectPromptCleanExit(Program& program, const std::function<void()>& end);

// Decoded PCM: per frame, the louder of the two channels' magnitudes.
std::vector<int> AudioLevels(const fs::path& path);

} // namespace desktop
