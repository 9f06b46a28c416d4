// Walks a failure of each runtime service through the handlers that use it:
// the report names the right procedure, the steps after the failure are
// skipped, and the program runs on with the next tick starting afresh.

#include "credits_design.h"
#include "program_harness.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using testing::Program;

class FaultWalk : public ::testing::Test {
protected:
    FrmCredits& scene() { return program.forms.frmCredits; }
    FrmDisplay& display() { return program.forms.frmDisplay; }
    ServiceMonitor& monitor() { return program.runtime.monitor(); }
    void Tick(const char* timer) { scene().TimerNamed(timer).onTimer(); }
    int DisplayPresents() { return program.hosts.hosts[1]->presents; }
    size_t Reports() const { return program.messages.shown.size(); }
    std::string Report(size_t index) const { return program.messages.shown.at(index).prompt; }
    bool Traced(const std::string& step) const {
        return program.trace.Count(step) > 0;
    }
    // Runs on for a while; nothing more may go wrong.
    void RunsOnCleanly() {
        const size_t before = Reports();
        const int presents = DisplayPresents();
        program.RunFor(1000);
        EXPECT_EQ(Reports(), before);
        EXPECT_GT(DisplayPresents(), presents);
    }

    Program program;
};

constexpr const char* kOnLoad = "Unexpected error in procedure: Form_Load\r\n";
constexpr const char* kOnActivate = "Unexpected error in procedure: Form_Activate\r\n";
constexpr const char* kOnScroll = "Unexpected error in procedure: tmrScroll_Timer\r\n";
constexpr const char* kOnCircle = "Unexpected error in procedure: DrawRandomCircles\r\n";

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

TEST_F(FaultWalk, FailedLengthQueryLeavesTheLengthEmptySoTheTrackNeverRestarts) {
    monitor().FailOnUse(Service::MediaCommand, 3); // open, play, then the length
    StartUp(program.runtime, program.forms);
    ASSERT_EQ(Reports(), 1u);
    EXPECT_EQ(Report(0), std::string(kOnLoad) + "Error #13: Type mismatch");
    EXPECT_EQ(scene().music().sLength(), "");
    program.RunFor(6000); // three times the track's length
    EXPECT_FALSE(Traced("track played from 0"));
    EXPECT_EQ(Reports(), 1u);
}

TEST_F(FaultWalk, FailedApplicationPathEndsTheLoadBeforeAnyCommand) {
    monitor().FailOnUse(Service::ApplicationPath, 1);
    StartUp(program.runtime, program.forms);
    ASSERT_GE(Reports(), 1u);
    EXPECT_TRUE(StartsWith(Report(0), kOnLoad));
    EXPECT_FALSE(Traced("track opened"));
    EXPECT_TRUE(display().Visible());
}

TEST_F(FaultWalk, FailedCentringLeavesTheRestOfTheLabelsWhereTheyWere) {
    scene().Load();
    monitor().FailOnUse(Service::PropertyWrite, 3); // the third Left of the resize
    scene().Show();
    ASSERT_EQ(Reports(), 1u);
    EXPECT_TRUE(StartsWith(Report(0), "Unexpected error in procedure: Form_Resize\r\n"));
    EXPECT_NE(scene().LabelNamed("Label24").Left(), 3000);
    EXPECT_EQ(scene().LabelNamed("Label23").Left(), 2400);
    EXPECT_EQ(program.runtime.random().drawCount(), 5000u); // the activation still ran
    RunsOnCleanly();
}

TEST_F(FaultWalk, FailedClearSkipsTheCirclesAndTheLabelsStayWhereDesigned) {
    scene().Load();
    monitor().FailOnUse(Service::Clear, 1);
    scene().Show();
    ASSERT_EQ(Reports(), 1u);
    EXPECT_TRUE(StartsWith(Report(0), kOnActivate));
    EXPECT_EQ(program.runtime.random().drawCount(), 0u);
    EXPECT_EQ(scene().LabelNamed("Label1").Top(), 480);
    EXPECT_TRUE(display().Visible());
    RunsOnCleanly();
}

TEST_F(FaultWalk, FailedCircleIsReportedByItselfAndTheActivationGoesOn) {
    scene().Load();
    monitor().FailOnUse(Service::Circle, 5);
    scene().Show();
    ASSERT_EQ(Reports(), 1u);
    EXPECT_TRUE(StartsWith(Report(0), kOnCircle));
    EXPECT_EQ(program.runtime.random().drawCount(), 5000u);
    EXPECT_EQ(scene().LabelNamed("Label1").Top(), 480 + scene().ScaleHeight());
}

TEST_F(FaultWalk, FailedPlacementMovesOnlyTheLabelsBeforeIt) {
    scene().Load();
    // 25 Lefts in the resize, the scene's Visible, a pen width and colour
    // for each of the 1000 circles, then the placement's Tops.
    monitor().FailOnUse(Service::PropertyWrite, 25 + 1 + 2 * 1000 + 3);
    scene().Show();
    ASSERT_EQ(Reports(), 1u);
    EXPECT_TRUE(StartsWith(Report(0), kOnActivate));
    EXPECT_EQ(scene().LabelNamed("Label24").Top(), 17640 + scene().ScaleHeight());
    EXPECT_EQ(scene().LabelNamed("Label23").Top(), 18600);
}

class FaultWalkRunning : public FaultWalk {
protected:
    // Started, with the roll brought back into view so that every frame
    // changes what the window shows.
    FaultWalkRunning() {
        StartUp(program.runtime, program.forms);
        for (Control* control : scene().Controls()) {
            if (Label* label = control->AsLabel()) label->SetTop(label->Top() - scene().ScaleHeight());
        }
    }
};

TEST_F(FaultWalkRunning, FailedPrintOrFontLeavesTheWindowUnrefreshedUntilTheNextGoodFrame) {
    for (const auto& [service, use] : {std::pair{Service::Print, 2}, {Service::FontAttribute, 2}, {Service::Refresh, 1}}) {
        program.messages.shown.clear();
        Tick("tmrScroll");
        const int presents = DisplayPresents();
        monitor().FailOnUse(service, use);
        Tick("tmrScroll");
        ASSERT_EQ(Reports(), 1u);
        EXPECT_TRUE(StartsWith(Report(0), kOnScroll));
        EXPECT_EQ(DisplayPresents(), presents);
        Tick("tmrScroll");
        EXPECT_EQ(DisplayPresents(), presents + 1);
        EXPECT_EQ(Reports(), 1u);
    }
}

TEST_F(FaultWalkRunning, FailedMoveEndsTheTickWithTheLabelsMovedSoFar) {
    const float top24 = scene().LabelNamed("Label24").Top();
    const float top23 = scene().LabelNamed("Label23").Top();
    const int presents = DisplayPresents();
    monitor().FailOnUse(Service::PropertyWrite, 3);
    Tick("tmrScroll");
    ASSERT_EQ(Reports(), 1u);
    EXPECT_TRUE(StartsWith(Report(0), kOnScroll));
    EXPECT_EQ(scene().LabelNamed("Label24").Top(), top24 - 15);
    EXPECT_EQ(scene().LabelNamed("Label23").Top(), top23);
    EXPECT_EQ(DisplayPresents(), presents); // no frame
    Tick("tmrScroll");
    EXPECT_EQ(scene().LabelNamed("Label23").Top(), top23 - 15);
}

TEST_F(FaultWalkRunning, FailedBlockCopyGoesUnnoticedAndTheFrameIsStillShown) {
    const int presents = DisplayPresents();
    monitor().FailOnUse(Service::BlockCopy, 1);
    Tick("tmrScroll");
    EXPECT_EQ(Reports(), 0u);
    EXPECT_EQ(DisplayPresents(), presents + 1);
}

TEST_F(FaultWalkRunning, FailedCircleTickIsReportedByTheCircleRoutineWithPenAlreadySet) {
    monitor().FailOnUse(Service::Circle, 1);
    program.runtime.random().ScriptNextDraws({0.95f, 0.5f, 0.5f, 0.5f, 0.5f});
    Tick("tmrCircle");
    ASSERT_EQ(Reports(), 1u);
    EXPECT_TRUE(StartsWith(Report(0), kOnCircle));
    EXPECT_EQ(scene().DrawWidth(), 10);
    EXPECT_EQ(scene().ForeColor(), MakeColour(20, 8, 128));
    RunsOnCleanly();
}

TEST_F(FaultWalkRunning, FailedPositionQueryIsReportedByThePoll) {
    monitor().FailOnUse(Service::MediaCommand, 1);
    Tick("tmrReplay");
    ASSERT_EQ(Reports(), 1u);
    EXPECT_EQ(Report(0), "Unexpected error in procedure: tmrReplay_Timer\r\nError #13: Type mismatch");
    RunsOnCleanly();
}

TEST_F(FaultWalkRunning, FailedStopStillClosesTheTrackAndTheProgramEnds) {
    monitor().FailOnUse(Service::MediaCommand, 1);
    program.hosts.hosts[1]->inner().RequestClose();
    EXPECT_FALSE(Traced("track stopped"));
    EXPECT_TRUE(Traced("track closed"));
    EXPECT_EQ(Reports(), 0u);
    EXPECT_TRUE(program.runtime.loadedForms().empty());
}

TEST_F(FaultWalkRunning, FailedUnloadOfTheSceneIsReportedAndTheWindowStillCloses) {
    monitor().FailOnUse(Service::FormUnload, 1);
    program.hosts.hosts[1]->inner().RequestClose();
    ASSERT_EQ(Reports(), 1u);
    EXPECT_TRUE(StartsWith(Report(0), "Unexpected error in procedure: Form_Unload\r\n"));
    EXPECT_FALSE(display().loaded());
    EXPECT_TRUE(scene().loaded()); // the scene's own unload never ran
    EXPECT_FALSE(Traced("track closed"));
}

} // namespace
} // namespace vantrel
