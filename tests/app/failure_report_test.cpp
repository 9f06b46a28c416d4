#include "credits_design.h"
#include "failure_report.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(FailureReport, MessageTextIsExact) {
    EXPECT_EQ(FailureMessage("Form_Load", 13, "Type mismatch"),
              "Unexpected error in procedure: Form_Load\r\nError #13: Type mismatch");
    EXPECT_EQ(FailureMessage("Form_Unload", -2147467259, "Automation error"),
              "Unexpected error in procedure: Form_Unload\r\nError #-2147467259: Automation error");
    EXPECT_EQ(FailureMessage("tmrScroll_Timer", 6, ""), "Unexpected error in procedure: tmrScroll_Timer\r\nError #6: ");
}

TEST(FailureReport, TrapEndsTheBodyAtTheFailureShowsOneBoxAndReturns) {
    testing::HeadlessRuntime headless;
    int statementsRun = 0;
    Trapped(headless.runtime, "tmrCircle_Timer", [&] {
        ++statementsRun;
        Raise(errors::kDivisionByZero);
        ++statementsRun;
    });
    EXPECT_EQ(statementsRun, 1);
    ASSERT_EQ(headless.messages.shown.size(), 1u);
    EXPECT_EQ(headless.messages.shown[0].prompt,
              "Unexpected error in procedure: tmrCircle_Timer\r\nError #11: Division by zero");
    EXPECT_EQ(headless.messages.shown[0].title, "Vantrel Credits");
}

TEST(FailureReport, LabelsChangedBeforeTheFailureStayChanged) {
    testing::HeadlessRuntime headless;
    Form scene(headless.runtime, CreditsDesign());
    scene.Load();
    headless.runtime.monitor().FailOnUse(Service::PropertyWrite, 3);
    Trapped(headless.runtime, "Form_Activate", [&] {
        for (Control* control : scene.Controls()) {
            if (Label* label = control->AsLabel()) label->SetTop(-1);
        }
    });
    EXPECT_EQ(scene.LabelNamed("Label25").Top(), -1);
    EXPECT_EQ(scene.LabelNamed("Label24").Top(), -1);
    EXPECT_EQ(scene.LabelNamed("Label23").Top(), 18600); // the third write failed
    EXPECT_EQ(scene.LabelNamed("Label1").Top(), 480);
    ASSERT_EQ(headless.messages.shown.size(), 1u);
    EXPECT_EQ(headless.messages.shown[0].prompt.substr(0, 46), "Unexpected error in procedure: Form_Activate\r\n");
}

TEST(FailureReport, TimersAreHeldWhileTheBoxIsOpen) {
    struct ProbingBox final : MessageBox {
        TimerScheduler* timers = nullptr;
        bool heldWhileOpen = false;
        void ShowCritical(const std::string&, const std::string&) override { heldWhileOpen = timers->held(); }
    } box;
    ManualClock clock;
    HeadlessHostFactory hosts(QSize(10, 10));
    Runtime runtime(Runtime::Services{&clock, &box, &hosts, nullptr, ""});
    box.timers = &runtime.timers();
    Trapped(runtime, "tmrReplay_Timer", [] { Raise(errors::kTypeMismatch); });
    EXPECT_TRUE(box.heldWhileOpen);
    EXPECT_FALSE(runtime.timers().held());
}

} // namespace
} // namespace vantrel
