// The program's one window as a person meets it: how it comes up, what kind
// of window it is and where it sits, the hidden pointer, the picture of rings
// and rolling text, and the sound that starts with it. One start of the
// program on one desktop serves all of these.

#include "program_run.h"
#include "screen_checks.h"
#include "startup_watch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>

namespace desktop {
namespace {

struct Session {
    Desktop desktop;
    std::optional<StartupWatch> watch;
    std::optional<ProgramRun> program;
    StartupTimeline timeline;
    std::optional<xcb_window_t> window;
    Rect client;

    Session() {
        watch.emplace(desktop.display());
        program.emplace(desktop);
        // Until the first text line shows; it cannot take 20 s even on a
        // crowded machine.
        timeline = watch->Follow(program->process().pid(), program->process().startedAt(), true,
                                 Milliseconds(20000), std::chrono::microseconds(500));
        watch.reset();
        window = program->WaitForMainWindow(Milliseconds(10000));
        if (window) client = desktop.x().RootGeometry(*window).value_or(Rect{});
    }
};

class MainWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        try {
            s_session = new Session();
        } catch (const std::exception& error) {
            s_setupFailure = error.what();
        }
    }
    static void TearDownTestSuite() {
        delete s_session;
        s_session = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(s_session, nullptr) << "the desktop or the program could not be started: " << s_setupFailure;
        ASSERT_TRUE(s_session->window.has_value())
            << "no tool window titled \"" << kProgramTitle << "\" came up; program stderr:\n"
            << s_session->program->Stderr();
        ASSERT_TRUE(s_session->program->process().Running())
            << "the program ended: " << s_session->program->process().status()->Describe();
    }

    Session& session() { return *s_session; }
    XConnection& x() { return s_session->desktop.x(); }
    xcb_window_t window() { return *s_session->window; }
    const Rect& client() { return s_session->client; }
    Image CaptureClient() { return x().Capture(client()); }

    static Session* s_session;
    static std::string s_setupFailure;
};

Session* MainWindow::s_session = nullptr;
std::string MainWindow::s_setupFailure;

TEST_F(MainWindow, ComesUpAfterABrieflyShownSceneAndShowsNavyUntilTheFirstFrame) {
    const StartupTimeline& timeline = session().timeline;
    ASSERT_TRUE(timeline.firstFrameMs.has_value()) << "the client area never showed the rings";
    EXPECT_EQ(timeline.main, window()) << "the window that showed the rings is not the one that stayed";

    // The scene is a window of its own that is shown first and withdrawn
    // before the main window comes up; it stays withdrawn.
    ASSERT_GE(timeline.shown.size(), 2u) << "expected the scene window to be shown before the main window";
    const xcb_window_t scene = timeline.shown.front();
    EXPECT_NE(scene, window());
    EXPECT_NE(std::find(timeline.withdrawn.begin(), timeline.withdrawn.end(), scene), timeline.withdrawn.end())
        << "the scene window was not withdrawn";
    EXPECT_EQ(timeline.shown.back(), window());
    EXPECT_TRUE(x().Exists(scene));
    EXPECT_FALSE(x().Viewable(scene)) << "the scene window is still on screen";
    EXPECT_EQ(x().Title(scene), kProgramTitle);

    if (!timeline.navyMs) {
        // Not seen navy: either the moment was too short for the sampling on
        // a busy machine, or the area showed something else all along. How
        // long it was seen not painted, from its mapping to the first frame:
        // a window is unpainted only for the moment it takes to draw it.
        std::optional<double> from, to;
        int unpainted = 0;
        for (const StripSample& sample : timeline.samples) {
            if (sample.state != StripState::Unpainted) continue;
            if (!from) from = sample.ms;
            to = sample.ms;
            ++unpainted;
        }
        if (unpainted >= 10 && *to - *from >= 50.0) {
            FAIL() << "the client area was not painted navy before the first frame: for " << *to - *from
                   << " ms it showed something else; samples: " << Describe(timeline.samples);
        }
        GTEST_SKIP() << "the plain navy client area before the first frame was not caught (" << timeline.polls
                     << " polls; the machine is probably busy): first frame seen at " << *timeline.firstFrameMs
                     << " ms; samples: " << Describe(timeline.samples);
    }
    EXPECT_LT(*timeline.navyMs, *timeline.firstFrameMs);
}

TEST_F(MainWindow, IsTheOnlyWindowAToolWindowThatMayOnlyBeMovedAndClosed) {
    EXPECT_EQ(x().Title(window()), kProgramTitle);
    const auto types = x().AtomListProperty(window(), "_NET_WM_WINDOW_TYPE");
    EXPECT_NE(std::find(types.begin(), types.end(), "_NET_WM_WINDOW_TYPE_UTILITY"), types.end())
        << "not a tool window";

    // Functions and decorations given; may be moved and closed; border, title
    // bar and window menu.
    const auto motif = x().Property32(window(), "_MOTIF_WM_HINTS");
    ASSERT_TRUE(motif.has_value()) << "no _MOTIF_WM_HINTS";
    EXPECT_EQ(*motif, (std::vector<uint32_t>{0x3, 0x24, 0x1a, 0, 0}));

    const auto states = x().AtomListProperty(window(), "_NET_WM_STATE");
    EXPECT_NE(std::find(states.begin(), states.end(), "_NET_WM_STATE_SKIP_TASKBAR"), states.end())
        << "the window would be listed in a taskbar";

    EXPECT_EQ(x().ClientList(), std::vector<xcb_window_t>{window()}) << "the window manager manages other windows";
    const ToolResult list = session().desktop.Tool({"wmctrl", "-l"});
    ASSERT_TRUE(list.ok()) << list.output;
    std::istringstream lines(list.output);
    std::vector<std::string> listed;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) listed.push_back(line);
    ASSERT_EQ(listed.size(), 1u) << list.output;
    EXPECT_NE(listed.front().find(kProgramTitle), std::string::npos) << list.output;

    size_t viewable = 0;
    for (xcb_window_t own : x().WindowsOf(session().program->process().pid()))
        if (x().Viewable(own)) ++viewable;
    EXPECT_EQ(viewable, 1u) << "the program shows more than one window";
}

TEST_F(MainWindow, FillsTheWorkAreaFrameAndAll) {
    const auto extents = x().FrameExtents(window());
    ASSERT_TRUE(extents.has_value()) << "the window manager set no _NET_FRAME_EXTENTS";
    const auto workArea = x().WorkArea();
    ASSERT_TRUE(workArea.has_value());
    const uint32_t left = (*extents)[0], right = (*extents)[1], top = (*extents)[2], bottom = (*extents)[3];
    const Rect frame{client().x - static_cast<int>(left), client().y - static_cast<int>(top),
                     client().width + static_cast<int>(left + right), client().height + static_cast<int>(top + bottom)};
    EXPECT_EQ(frame, *workArea) << "frame " << frame.Describe() << ", work area " << workArea->Describe()
                                << ", client " << client().Describe();
}

TEST_F(MainWindow, HidesThePointerOverItsClientAreaOnly) {
    auto cursorVisible = [&](int rootX, int rootY, bool& visible) {
        const ToolResult moved =
            session().desktop.Tool({"xdotool", "mousemove", std::to_string(rootX), std::to_string(rootY)});
        if (!moved.ok()) return false;
        // The server switches cursors as the pointer crosses windows; give it
        // a moment, and settle on what it shows.
        std::optional<Image> cursor;
        for (int attempt = 0; attempt < 3; ++attempt) {
            SleepFor(Milliseconds(100));
            cursor = x().CursorImage();
        }
        if (!cursor) return false;
        visible = std::any_of(cursor->pixels.begin(), cursor->pixels.end(), [](uint32_t argb) { return (argb >> 24) != 0; });
        return true;
    };

    // Over the title bar the window manager's cursor shows; this also proves
    // that a visible cursor is seen as one.
    const auto extents = x().FrameExtents(window());
    ASSERT_TRUE(extents.has_value());
    if ((*extents)[2] >= 4) {
        bool visible = false;
        ASSERT_TRUE(cursorVisible(client().x + client().width / 3, client().y - static_cast<int>((*extents)[2]) / 2,
                                  visible));
        EXPECT_TRUE(visible) << "no visible cursor over the title bar";
    }

    const std::vector<std::pair<int, int>> insideClient{
        {client().x + client().width / 2, client().y + client().height / 2},
        {client().x + 5, client().y + 5},
        {client().x + client().width - 6, client().y + client().height - 6}};
    for (const auto& [px, py] : insideClient) {
        bool visible = true;
        ASSERT_TRUE(cursorVisible(px, py, visible));
        EXPECT_FALSE(visible) << "a visible cursor over the client area at " << px << "," << py;
    }
}

TEST_F(MainWindow, BackdropIsConcentricRingsInDarkColours) {
    const Image image = CaptureClient();
    ASSERT_EQ(image.width, client().width);
    const std::vector<bool> text = NearWhite(image, 6);

    // Everything is a ring colour (red at most 40, green at most 15) except
    // the white text and its antialiased edge.
    const StrayPixels stray = FindStrayPixels(image, 6);
    EXPECT_EQ(stray.count, 0u) << stray.Describe();

    // A thousand random rings, not a flat fill.
    EXPECT_GE(DistinctColoursOnMiddleRow(image), 100u);

    // Rings share the client area's centre: the picture is the same mirrored
    // left to right and top to bottom through it.
    const MirrorFit acrossWidth = MirrorMatch(image, true, text);
    const MirrorFit acrossHeight = MirrorMatch(image, false, text);
    EXPECT_GE(acrossWidth.match, 0.95);
    EXPECT_GE(acrossHeight.match, 0.95);
    EXPECT_NEAR(acrossWidth.centre, image.width / 2.0, 1.0);
    EXPECT_NEAR(acrossHeight.centre, image.height / 2.0, 1.0);
}

TEST_F(MainWindow, TextLinesAreWhiteLargeBoldAndCentred) {
    // Let a few lines come up from the bottom edge.
    std::vector<TextLine> whole;
    WaitUntil(
        [&] {
            whole.clear();
            for (const TextLine& line : FindTextLines(CaptureClient()))
                if (!line.touchesEdge) whole.push_back(line);
            return whole.size() >= 2;
        },
        Milliseconds(15000), Milliseconds(200));
    ASSERT_GE(whole.size(), 2u) << "fewer than two whole text lines on screen";

    const double centre = client().width / 2.0;
    for (const TextLine& line : whole) {
        SCOPED_TRACE("text line at rows " + std::to_string(line.top) + ".." + std::to_string(line.bottom));
        // 48 points at 96 dots per inch: 64 pixels to the em.
        const int height = line.bottom - line.top + 1;
        EXPECT_GE(height, 30);
        EXPECT_LE(height, 80);
        // Pure white in the strokes, antialiased at their edges.
        EXPECT_GE(line.whitePixels, 500u);
        EXPECT_GE(line.edgePixels, 100u);
        // Bold strokes: about 8 pixels of pure white across (regular ones at
        // this size have 6 at most).
        EXPECT_GE(line.medianWhiteRun, 7.0);
        // Centred by the text's advance width, so the ink may sit off the
        // centre by its side bearings, up to 3 pixels.
        EXPECT_NEAR(line.inkCentre, centre, 3.5) << "ink from " << line.inkLeft << " to " << line.inkRight;
    }
}

TEST_F(MainWindow, FirstTextLineEntersFromTheBottomEdgeAfterTheFirstFrame) {
    const StartupTimeline& timeline = session().timeline;
    ASSERT_TRUE(timeline.firstFrameMs.has_value());
    ASSERT_TRUE(timeline.firstInkMs.has_value()) << "no text reached the bottom rows of the client area";
    EXPECT_LE(timeline.firstInkRowsAboveBottom, 40) << "the first text showed up away from the bottom edge";
    // The first line starts 32 pixels below the edge and rises one pixel per
    // refresh: it cannot be in view sooner than about half a second after the
    // first frame.
    EXPECT_GE(*timeline.firstInkMs - *timeline.firstFrameMs, 300.0)
        << "first frame at " << *timeline.firstFrameMs << " ms, first text at " << *timeline.firstInkMs << " ms";
    RecordProperty("first_frame_ms", static_cast<int>(*timeline.firstFrameMs));
    RecordProperty("first_text_ms", static_cast<int>(*timeline.firstInkMs));
}

TEST_F(MainWindow, TextRisesOnePixelPerDisplayRefresh) {
    // The lines are 64 pixels or more apart: over a quarter of a second the
    // roll moves about 15 pixels, so the best match is never one line off.
    constexpr int kPairs = 5;
    const Rect band{client().x + client().width / 2 - 450, client().y, 900, client().height};
    std::vector<double> speeds;
    for (int pair = 0; pair < kPairs; ++pair) {
        auto timedProfile = [&](double& atMs) {
            const auto before = SteadyClock::now();
            const auto profile = WhiteRowProfile(x().Capture(band));
            const double took = MillisecondsSince(before);
            atMs = std::chrono::duration<double, std::milli>(before.time_since_epoch()).count() + took / 2.0;
            return profile;
        };
        double firstMs = 0, secondMs = 0;
        const auto first = timedProfile(firstMs);
        SleepFor(Milliseconds(250));
        const auto second = timedProfile(secondMs);
        const int shift = BestUpwardShift(first, second, 40);
        if (shift < 0) continue;
        speeds.push_back(shift / ((secondMs - firstMs) / 1000.0));
    }
    ASSERT_GE(speeds.size(), 3u) << "too little text on screen to follow";
    std::sort(speeds.begin(), speeds.end());
    const double median = speeds[speeds.size() / 2];
    RecordProperty("pixels_per_second", static_cast<int>(median));
    // Xvfb refreshes 60 times a second. A busy machine may drop a frame now
    // and then, so allow for some loss, but never for more than one pixel
    // per refresh.
    EXPECT_GE(median, 45.0);
    EXPECT_LE(median, 68.0);
}

TEST_F(MainWindow, SoundIsWrittenFromStartUp) {
    const auto before = session().program->AudioBytes();
    SleepFor(Milliseconds(400));
    EXPECT_GT(session().program->AudioBytes(), before) << "the sound output stopped";

    const std::vector<int> levels = ReadPcmLevels(session().program->audioPath());
    const auto firstAudible = std::find_if(levels.begin(), levels.end(), [](int level) { return level > 256; });
    ASSERT_NE(firstAudible, levels.end()) << "nothing audible in the sound written so far";
    const double startSeconds = static_cast<double>(firstAudible - levels.begin()) / kAudioRateHz;
    EXPECT_LE(startSeconds, 1.5) << "the track did not start with the program";
    EXPECT_GT(*std::max_element(levels.begin(), levels.end()), 2000);
}

} // namespace
} // namespace desktop
