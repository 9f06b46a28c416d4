#pragma once

// The real program started on a test desktop, with its sound going to a raw
// PCM file (SDL's disk audio driver) in a directory of the run's own, and
// the ways a person ends it: the window manager's close, or SIGTERM.

#include "desktop_harness.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace desktop {

// What SDL's disk driver writes for the program's mixer: 44.1 kHz, signed
// 16-bit little-endian samples, two channels interleaved.
inline constexpr int kAudioRateHz = 44100;
inline constexpr int kAudioChannels = 2;
inline constexpr int kAudioBytesPerFrame = 2 * kAudioChannels;

struct ProgramOptions {
    // The binary to start; by default the one the build made, beside its track.
    std::filesystem::path binary = ProgramPath();
    std::vector<std::string> arguments;
    // Put before the binary on the command line (strace and its options).
    std::vector<std::string> wrapper;
    // Changes to the desktop's program environment.
    std::vector<std::pair<std::string, std::string>> extraEnvironment;
};

class ProgramRun {
public:
    ProgramRun(Desktop& desktop, ProgramOptions options = {});

    Child& process() { return *m_child; }
    const TempDir& dir() const { return m_dir; }
    const std::filesystem::path& audioPath() const { return m_audioPath; }
    std::string Stdout() const { return ReadFile(m_dir / "stdout.txt"); }
    std::string Stderr() const { return ReadFile(m_dir / "stderr.txt"); }
    std::uintmax_t AudioBytes() const;

    // The program's main window: managed, viewable, titled, a tool window,
    // showing the rings; returned once its placement has stopped changing.
    std::optional<xcb_window_t> WaitForMainWindow(Milliseconds timeout);

    // Asks the window manager to close the window (as its close button does).
    bool CloseWindow(xcb_window_t window);

private:
    Desktop& m_desktop;
    TempDir m_dir;
    std::filesystem::path m_audioPath;
    std::optional<Child> m_child;
};

// A directory holding a copy of the program and, if given, a track beside
// it under the name the program looks for.
class ProgramCopy {
public:
    explicit ProgramCopy(const std::optional<std::filesystem::path>& track);
    std::filesystem::path binary() const { return m_dir / ProgramPath().filename().string(); }
    const TempDir& dir() const { return m_dir; }

private:
    TempDir m_dir;
};

// Windows on the desktop's managed client list with the program's title,
// of the given _NET_WM_WINDOW_TYPE (for example _NET_WM_WINDOW_TYPE_DIALOG).
std::vector<xcb_window_t> ManagedWindowsOfType(XConnection& x, const std::string& type);

// The managed windows, their titles, types, placement and what the sample
// strip of each shows, for failure messages.
std::string DescribeWindows(XConnection& x);

// Decoded PCM: one value per frame, the louder of the two channels' magnitudes.
std::vector<int> ReadPcmLevels(const std::filesystem::path& path);

} // namespace desktop
