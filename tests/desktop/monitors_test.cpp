// The program on a desktop of two monitors of different sizes side by side
// on one X screen: its window covers one of them, not the two together, and
// moves to the other when its own goes.

#include "desktop.h"

namespace desktop {
namespace {

// Rows at the top and bottom where a line may come into view or leave it.
constexpr int kEdgeRows = 8;

// Where the first whole line of text in `image` lies (a band of rows with
// pure white, clear of the top and bottom edges); nothing while none shows.
struct Line { int top, bottom, left, right; };
std::optional<Line> FirstWholeLine(const Image& image) {
    const auto white = [&](int y) { return std::any_of(image.Row(y), image.Row(y + 1), IsWhite); };
    for (int y = kEdgeRows; y < image.height - kEdgeRows; ++y) {
        if (!white(y) || white(y - 1)) continue;
        int bottom = y;
        while (bottom + 1 < image.height && white(bottom + 1)) ++bottom;
        if (bottom >= image.height - kEdgeRows) return std::nullopt;
        int left = image.width, right = 0;
        for (int row = y; row <= bottom; ++row)
            for (int x = 0; x < image.width; ++x)
                if (IsWhite(image.At(x, row))) left = std::min(left, x), right = std::max(right, x);
        return Line{y, bottom, left, right};
    }
    return std::nullopt;
}

// A whole line is centred on the client (by its advance width: the ink may
// sit off by its side bearings), and, where asked, so are the rings. Rings
// drawn before the window moved keep the centre they were drawn around.
void ExpectCentredOn(X& x, const Rect& client, bool rings) {
    // A frame shown while the window was still being fitted may be off;
    // the lines settle on the centre once it is done.
    std::optional<Line> line;
    Image image;
    const auto centred = [&] {
        return line && std::abs((line->left + line->right) / 2.0 - client.width / 2.0) <= 3.5;
    };
    EXPECT_TRUE(WaitUntil([&] { return line = FirstWholeLine(image = x.Capture(client)), centred(); },
                          Ms(20000), Ms(100)))
        << (line ? "the line in rows " + std::to_string(line->top) + " to " + std::to_string(line->bottom) +
                       " runs from " + std::to_string(line->left) + " to " + std::to_string(line->right)
                 : std::string("no whole line of text on screen"));
    if (!rings) return;
    EXPECT_GE(Mirror(image, true), 0.95) << "the rings are not centred across";
    EXPECT_GE(Mirror(image, false), 0.95) << "the rings are not centred down";
}

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
