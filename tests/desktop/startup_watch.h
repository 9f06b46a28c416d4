#pragma once

// Follows a program's start-up on screen: which of its windows the window
// manager shows (and takes back), what the main window's client area shows
// from the moment it is mapped - nothing painted yet, plain navy, the first
// composed frame of rings - and, if asked, where the first line of text
// comes into view.
//
// It listens to the root window's substructure from before the program is
// started, so no mapping is missed however briefly a window is shown; the
// client area is sampled by tight polling of a small strip, which on a busy
// machine can miss a short-lived state.

#include "desktop_harness.h"
#include "screen_checks.h"

#include <chrono>
#include <optional>
#include <vector>

namespace desktop {

// One look at the sample strip of the main window's client area.
struct StripSample {
    double ms = 0;          // from the program's start
    StripState state = StripState::Unpainted;
    Rect client;            // where the client area was
    uint32_t firstPixel = 0; // the strip's leftmost pixel, for messages
};

// The samples where something changed, in a line for failure messages.
std::string Describe(const std::vector<StripSample>& samples);

struct StartupTimeline {
    // The program's top-level windows in the order their frames were mapped.
    std::vector<xcb_window_t> shown;
    // Those of them the window manager gave back to the root (withdrawn).
    std::vector<xcb_window_t> withdrawn;
    // The window that was mapped last and still is: the main window.
    xcb_window_t main = 0;
    Rect client; // the main window's client area when the first frame was seen

    // Milliseconds from the program's start.
    std::optional<double> mainMappedMs;
    std::optional<double> navyMs;       // the client area first seen plain navy
    std::optional<double> firstFrameMs; // first seen showing rings
    std::optional<double> firstInkMs;   // first white text seen
    // When the first text was seen: how far above the client's bottom edge
    // its topmost white pixel was.
    int firstInkRowsAboveBottom = -1;
    int polls = 0;
    // The main window's client area, sampled from its mapping until the
    // first frame.
    std::vector<StripSample> samples;
};

class StartupWatch {
public:
    // Starts listening; construct it before starting the program.
    explicit StartupWatch(const std::string& display);

    StartupTimeline Follow(pid_t pid, SteadyClock::time_point start, bool untilText, Milliseconds timeout,
                           std::chrono::microseconds pollInterval);

private:
    XConnection m_x;
};

} // namespace desktop
