// The program on a desktop of two monitors of different sizes side by side
// on one X screen: its window covers one of them, not the two together, and
// moves to the other when its own goes.

#include "desktop.h"

namespace desktop {
namespace {

struct Layout { const char* name; TestMonitor primary, other; };

// With the primary on either side, the frame covers the primary exactly
// (the window manager shows the first window there, and no panel takes a
// part of it); once the primary goes, the window moves to the monitor left
// and fits it. The other monitor is the shorter, so a window across both
// would lie partly on none. Only one monitor holds the server's output, so
// that removing the other leaves no monitor of the whole screen behind.
TEST(Monitors, TheWindowCoversThePrimaryAndMovesToTheOtherWhenItsMonitorGoes) {
    const std::vector<Layout> layouts = {
        {"primary on the left", {"Left", {0, 0, 1920, 1080}, true}, {"Right", {1920, 0, 1280, 1024}, false, true}},
        {"primary on the right", {"Right", {1280, 0, 1920, 1080}, true}, {"Left", {0, 0, 1280, 1024}, false, true}}};
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        Desktop desktop(kOpenbox, {}, {layout.primary, layout.other});
        X& x = desktop.x();
        Program program(desktop);
        const xcb_window_t window = program.WaitForMainWindow();
        ASSERT_NE(window, 0u) << "no window showing the rings; stderr:\n" << program.Stderr();
        for (const TestMonitor* monitor : {&layout.primary, &layout.other}) {
            SCOPED_TRACE("on " + monitor->name);
            const bool moved = monitor == &layout.other;
            if (moved) {
                ASSERT_TRUE(desktop.RemoveMonitor(layout.primary.name));
            }
            EXPECT_TRUE(WaitUntil([&] { return x.FrameOff(window, monitor->rect) <= 1; }, Ms(5000)))
                << x.FrameOff(window, monitor->rect) << " pixels off";
            ExpectCentredOn(x, x.Geometry(window).value_or(Rect{}), !moved);
        }
        program.ExpectCleanExit([&] { program.Close(window); });
    }
}

} // namespace
} // namespace desktop
