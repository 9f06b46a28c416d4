// The whole program with no window: start-up, shutdown, and a failure of
// each runtime service walked through the handlers that use it.

#include "headless_program.h"
#include "scripted_draws.h"
#include "tracing_backend.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>

namespace vantrel {
namespace {

using Log = std::vector<std::string>;

// The program with the two-second fixture phrase as its track.
struct TracedProgram {
    TracedProgram()
        : program(QSize(320, 240), 1.0, VANTREL_FIXTURE_DIR, [this](const Clock& clock) {
              return std::make_unique<testing::TracingBackend>(clock, trackLog, [this] { onOpen(); });
          }, &draws) {}
    FrmCredits& scene() { return program.forms.frmCredits; }
    // The procedures named by the reports, in order.
    Log Procedures() const {
        Log procedures;
        for (const auto& shown : program.messages.shown) procedures.push_back(shown.prompt.substr(31, shown.prompt.find('\r') - 31));
        return procedures;
    }
    bool Traced(const std::string& step) const { return std::count(trackLog.begin(), trackLog.end(), step) > 0; }
    // Counts the display's frames into `presents` from now on.
    void CountFrames() { program.DisplayWindow().ListenToFrames([this](const auto&) { ++presents; }); }

    Log trackLog;
    std::function<void()> onOpen = [] {};
    testing::ScriptedDraws draws;
    int presents = 0;
    HeadlessProgram program;
};

struct ProgramTest : ::testing::Test, TracedProgram {};

// Start-up loads the scene, which opens and plays the track, then shows the
// display and builds the scene; only then do the timers tick. When the
// screen's work area changes later (a panel appears), the hidden scene's
// window takes the new size, its resize handler re-centres the roll, and the
// rings drawn so far stay. (What the activation builds, the rings and the
// roll below the scene, the failure walk checks with each of its cases.)
TEST_F(ProgramTest, StartUpLoadsPlaysShowsBuildsTheSceneAndOnlyThenTicksAndTheSceneFollowsANewSize) {
    onOpen = [&] { // as if a nested event loop ran while the track opened
        program.clock.Advance(5'000'000'000);
        program.runtime.Timers().RunDue();
        trackLog.push_back(std::to_string(program.hosts.WindowCount()) + " window");
    };
    program.StartUp();
    EXPECT_EQ(trackLog, (Log{"1 window", "opened", "played"}));
    EXPECT_EQ(program.ScrollTicks(), 0);
    EXPECT_FALSE(scene().Visible());
    EXPECT_TRUE(program.forms.frmDisplay.Visible());
    program.RunFor(1000);
    EXPECT_GT(program.ScrollTicks(), 0);
    const Label& title = scene().LabelNamed("Label1");
    const float top = title.Top();
    const QImage before = scene().DrawingSurface().Image().copy();
    program.hosts.Window(0).ResizeClient(before.size() / 2);
    EXPECT_FLOAT_EQ(title.Left(), scene().ScaleWidth() / 2 - title.Width() / 2);
    EXPECT_EQ(title.Top(), top);
    EXPECT_EQ(scene().DrawingSurface().Image(), before.copy(QRect(QPoint(), before.size() / 2)));
    EXPECT_TRUE(program.messages.shown.empty());
}

// Closing the display stops the music, unloads the scene and ends the
// program. A failed stop still closes the track; a failed unload of the
// scene is reported and still closes the window, and the program goes on.
TEST(ProgramClose, ClosingTheDisplayStopsTheMusicUnloadsTheSceneAndEndsTheProgram) {
    // {failing service, the track's steps, reports, whether the scene and the program end}
    for (const auto& [failing, steps, procedures, ends] :
         {std::tuple{std::optional<Service>{}, Log{"stopped", "closed"}, Log{}, true},
          {Service::MediaCommand, Log{"closed"}, Log{}, true}, {Service::FormUnload, Log{}, Log{"Form_Unload"}, false}}) {
        TracedProgram t;
        bool ended = false;
        t.program.runtime.WhenNoFormLoaded([&] { ended = true; });
        t.program.StartUp();
        t.program.RunFor(1000);
        t.trackLog.clear();
        if (failing) t.program.runtime.Monitor().FailOnUse(*failing, 1);
        t.program.DisplayWindow().RequestClose();
        EXPECT_EQ(t.trackLog, steps);
        EXPECT_EQ(t.Procedures(), procedures);
        EXPECT_FALSE(t.program.forms.frmDisplay.Loaded());
        EXPECT_EQ(ended, ends);
        EXPECT_EQ(t.scene().Loaded(), !ends);
        EXPECT_EQ(t.program.runtime.Timers().NextDueNs().has_value(), !ends);
    }
}

// A failure during start-up is reported by the handler or procedure it
// struck in; the rest of that one is skipped, and the program runs on:
// frames keep coming and nothing more is reported. Only a failed clear keeps
// the activation from painting the backdrop and lowering the roll.
TEST(ProgramFailures, FailuresDuringStartUp) {
    // {failing service, which use of it fails, the procedures reported, whether the activation ran, what else to check}
    const std::tuple<Service, uint64_t, Log, bool, std::function<void(TracedProgram&)>> cases[] = {
        {Service::ApplicationPath, 1, {"Form_Load"}, true, [](TracedProgram& t) { // no track: every poll reports
             t.program.RunFor(1600);
             EXPECT_EQ(t.Procedures(), (Log{"Form_Load", "tmrReplay_Timer", "tmrReplay_Timer", "tmrReplay_Timer"}));
             EXPECT_EQ(t.program.messages.shown[0].prompt,
                       "Unexpected error in procedure: Form_Load\r\nError #-2147467259: Automation error: unspecified failure");
             EXPECT_GT(t.program.ScrollTicks(), 90);
         }},
        {Service::PropertyWrite, 3, {"Form_Resize"}, true, [](TracedProgram& t) { // the third Left of the centring
             EXPECT_NE(t.scene().LabelNamed("Label24").Left(), 3000);
             EXPECT_EQ(t.scene().LabelNamed("Label23").Left(), 2400);
         }},
        {Service::MediaCommand, 3, {"Form_Load"}, true, [](TracedProgram& t) { // the length query: never a restart
             t.program.RunFor(2100);
             EXPECT_EQ(t.scene().Music().sLength(), "");
             EXPECT_FALSE(t.Traced("played from 0"));
         }},
        {Service::Clear, 1, {"Form_Activate"}, false, {}}, {Service::Circle, 5, {"DrawRandomCircles"}, true, {}},
    };
    for (const auto& [service, use, procedures, activated, check] : cases) {
        TracedProgram t;
        if (procedures[0] != "Form_Load") t.scene().Load(); // counting from start-up's later steps
        t.program.runtime.Monitor().FailOnUse(service, use);
        t.program.StartUp();
        EXPECT_EQ(t.Procedures(), procedures);
        EXPECT_TRUE(t.program.forms.frmDisplay.Visible());
        EXPECT_EQ(t.draws.count, activated ? 5000u : 0u);
        EXPECT_EQ(t.scene().LabelNamed("Label1").Top(), 480 + (activated ? t.scene().ScaleHeight() : 0));
        if (check) check(t);
        if (service == Service::ApplicationPath) continue;
        t.CountFrames();
        t.program.RunFor(1000);
        EXPECT_EQ(t.Procedures(), procedures);
        EXPECT_GT(t.presents, 0);
    }
}

// A failed scroll tick shows no frame; the next good one does. The roll is
// first brought back into view, so that every frame changes what the window
// shows.
TEST_F(ProgramTest, AFailedScrollTickShowsNoFrameUntilTheNextGoodOne) {
    program.StartUp();
    for (Control* control : scene().Controls())
        if (Label* label = control->AsLabel()) label->SetTop(label->Top() - scene().ScaleHeight());
    const auto Scroll = [&] { scene().TimerNamed("tmrScroll").Fire(); };
    CountFrames();
    for (const auto& [service, use] : {std::pair{Service::Print, 2}, {Service::FontAttribute, 2}, {Service::Refresh, 1},
                                       {Service::PropertyWrite, 3}}) {
        program.messages.shown.clear();
        const int before = presents;
        program.runtime.Monitor().FailOnUse(service, use);
        Scroll();
        EXPECT_EQ(Procedures(), Log{"tmrScroll_Timer"});
        EXPECT_EQ(presents, before);
        Scroll();
        EXPECT_EQ(presents, before + 1);
    }
    program.runtime.Monitor().FailOnUse(Service::BlockCopy, 1); // goes unnoticed: its result is not examined
    Scroll();
    EXPECT_EQ(program.messages.shown.size(), 1u);
}

// The frame after 700 ticks, pixel for pixel, as a digest: every run paints
// the same backdrop and rolls the same lines. A change to what a frame shows
// changes it; one made on purpose stores the new digest (the snapshot tool
// shows the frame).
TEST(Determinism, TheFrameAfterSevenHundredTicksIsTheStoredOne) {
    HeadlessProgram program(QSize(200, 150), 2.0);
    program.StartUp();
    program.RunScrollTicks(700);
    const QImage& frame = program.Frame(); // 400 by 300 pixels
    uint64_t digest = 0xcbf29ce484222325; // FNV-1a over the pixels' bytes, row by row
    for (int y = 0; y < frame.height(); ++y)
        for (const uchar* byte = frame.constScanLine(y); byte < frame.constScanLine(y) + frame.width() * 4; ++byte)
            digest = (digest ^ *byte) * 0x100000001b3;
    EXPECT_EQ(digest, 0x33dc03b21a345c57u) << std::hex << digest;
}

} // namespace
} // namespace vantrel
