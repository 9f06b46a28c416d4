#include "program_harness.h"
#include "random_source.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using testing::Program;
using Steps = std::vector<std::string>;

TEST(Lifecycle, StartUpRunsLoadShowResizeActivateInOrder) {
    Program program;
    StartUp(program.runtime, program.forms);
    EXPECT_EQ(program.trace.steps, (Steps{
                                       "scene window created", // load
                                       "track opened", "track resumed", "track length asked",
                                       "scene shown",          // show, then resize and activate
                                       "scene hidden", "display window created", "display shown",
                                   }));
    const FrmCredits& scene = program.forms.frmCredits;
    EXPECT_FALSE(scene.Visible());
    EXPECT_TRUE(program.forms.frmDisplay.Visible());
    EXPECT_EQ(scene.music().sLength(), " 2037"); // the fixture's decoded length
    EXPECT_EQ(program.runtime.random().drawCount(), 5000u); // the initial 1000 circles
    const Label& title = scene.LabelNamed("Label1");
    EXPECT_EQ(title.Top(), 480 + scene.ScaleHeight());      // moved below the scene
    EXPECT_FLOAT_EQ(title.Left(), scene.ScaleWidth() / 2 - title.Width() / 2); // centred by the resize
    EXPECT_TRUE(program.messages.shown.empty());
}

TEST(Lifecycle, NoTimerTicksBeforeActivationHasFinished) {
    Program program;
    // Time passes during start-up (as a window manager maps the windows),
    // but the first tick only comes after the activate handler is done.
    program.runtime.timers().Hold();
    program.forms.frmCredits.Load();
    program.clock.Advance(5'000'000'000);
    EXPECT_EQ(program.runtime.timers().RunDue(), 0);
    program.runtime.timers().Release();
    program.forms.frmCredits.Show();
    EXPECT_EQ(program.forms.frmDisplay.CurrentY(), 0); // no frame composed yet
}

TEST(Lifecycle, ClosingTheDisplayStopsTheMusicUnloadsTheSceneAndEndsTheProgram) {
    Program program;
    StartUp(program.runtime, program.forms);
    program.RunFor(1000);
    program.trace.steps.clear();
    program.hosts.hosts[1]->inner().RequestClose();
    EXPECT_EQ(program.trace.steps, (Steps{"track stopped", "track closed", "scene window closed",
                                          "display window closed", "no form loaded"}));
    EXPECT_FALSE(program.forms.frmCredits.loaded());
    EXPECT_FALSE(program.forms.frmDisplay.loaded());
    EXPECT_FALSE(program.runtime.timers().NextDueNs().has_value()); // the timers stopped with the scene
}

TEST(Lifecycle, TheHiddenSceneFollowsANewClientSizeAndKeepsItsBackdrop) {
    // The screen's work area changes after start-up (a panel appears): the
    // hidden scene's window takes the new size, its resize handler
    // re-centres the roll, and the rings drawn so far stay.
    Program program;
    StartUp(program.runtime, program.forms);
    FrmCredits& scene = program.forms.frmCredits;
    const Label& title = scene.LabelNamed("Label1");
    const float top = title.Top();
    const QImage before = scene.surface().image().copy();
    program.hosts.hosts[0]->inner().ResizeClient(QSize(before.width() / 2, before.height() / 2));
    EXPECT_FLOAT_EQ(title.Left(), scene.ScaleWidth() / 2 - title.Width() / 2);
    EXPECT_EQ(title.Top(), top);
    EXPECT_EQ(scene.surface().image(), before.copy(0, 0, before.width() / 2, before.height() / 2));
    EXPECT_TRUE(program.messages.shown.empty());
}

TEST(Lifecycle, SecondActivationBuildsTheSceneAgainFromTheContinuingSequence) {
    Program program;
    StartUp(program.runtime, program.forms);
    FrmCredits& scene = program.forms.frmCredits;
    const QImage firstBackdrop = scene.surface().image().copy();
    const float titleTop = scene.LabelNamed("Label1").Top();
    scene.Show(); // activated again
    EXPECT_EQ(program.runtime.random().drawCount(), 10000u);
    EXPECT_NE(scene.surface().image(), firstBackdrop);
    EXPECT_EQ(scene.LabelNamed("Label1").Top(), titleTop + scene.ScaleHeight());
    EXPECT_FALSE(scene.Visible());
}

TEST(Lifecycle, MissingTrackIsReportedOnceAtLoadAndOnEveryPoll) {
    Program program(QSize(320, 240), "/nonexistent/vantrel");
    StartUp(program.runtime, program.forms);
    ASSERT_EQ(program.messages.shown.size(), 1u);
    EXPECT_EQ(program.messages.shown[0].prompt, "Unexpected error in procedure: Form_Load\r\nError #13: Type mismatch");
    EXPECT_TRUE(program.forms.frmDisplay.Visible()); // the program runs on without music
    program.RunFor(1600);
    ASSERT_EQ(program.messages.shown.size(), 4u);
    EXPECT_EQ(program.messages.shown[3].prompt,
              "Unexpected error in procedure: tmrReplay_Timer\r\nError #13: Type mismatch");
    program.hosts.hosts[1]->inner().RequestClose();
    EXPECT_TRUE(program.runtime.loadedForms().empty());
}

} // namespace
} // namespace vantrel
