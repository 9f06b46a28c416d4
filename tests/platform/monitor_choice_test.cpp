#include "monitor_choice.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

// Two monitors side by side, as RandR names them, and a third below.
const Monitor kLeft{QRect(0, 0, 1920, 1080), 1, false};
const Monitor kRight{QRect(1920, 0, 1280, 1024), 2, true};
const Monitor kBelow{QRect(0, 1080, 1920, 1080), 3, false};

// One step of a desktop's life: the monitors it has now, where a window was
// shown (if one was), and the monitor then chosen.
struct Step {
    const char* what;
    std::vector<Monitor> monitors;
    std::optional<QRect> shownAt;
    std::optional<QRect> chosen;
};

// A program's monitor through the changes a desktop goes through, one
// story a row; each story starts afresh.
TEST(MonitorChoice, TheFirstWindowChoosesItsMonitorWhichIsKeptUntilItGoes) {
    const QRect onLeft(100, 100, 312, 206), acrossMostlyRight(1800, 0, 600, 200);
    const Monitor rightTaller{QRect(1920, 0, 1280, 1200), 2, true};
    const Monitor unnamedA{QRect(0, 0, 1920, 1080), 0, true}, unnamedB{QRect(1920, 0, 1280, 1024), 0, false};
    const std::vector<std::vector<Step>> stories = {
        {{"none shown yet: the primary", {kLeft, kRight}, {}, kRight.rect},
         {"the first window shown on the left", {kLeft, kRight}, onLeft, kLeft.rect},
         {"a later one elsewhere changes nothing", {kLeft, kRight}, acrossMostlyRight, kLeft.rect}},
        {{"a window across two: the one with more of it", {kLeft, kRight}, acrossMostlyRight, kRight.rect},
         {"the chosen one grows: it is followed", {kLeft, rightTaller}, {}, rightTaller.rect},
         {"it goes: nothing holds where it was, so the primary", {kLeft, kBelow}, {}, kLeft.rect}},
        {{"chosen on the left", {kLeft, kRight}, onLeft, kLeft.rect},
         {"it goes and one takes its place: the one holding where it was", {kRight, {kLeft.rect, 9, false}}, {},
          kLeft.rect}},
        {{"chosen on the left", {kLeft, kRight}, onLeft, kLeft.rect},
         {"the two swap sides: it is followed by its name", {{QRect(1280, 0, 1920, 1080), 1, false},
          {QRect(0, 0, 1280, 1024), 2, true}}, {}, QRect(1280, 0, 1920, 1080)}},
        {{"no monitors known", {}, onLeft, {}}, {"monitors come: the primary", {kLeft, kRight}, {}, kRight.rect}},
        {{"unnamed monitors: the first is primary", {unnamedA, unnamedB}, QRect(2000, 10, 100, 100), unnamedB.rect},
         {"kept while it stays in place", {unnamedB, unnamedA}, {}, unnamedB.rect},
         {"moved: another monitor", {unnamedA, {QRect(1920, 0, 1280, 800), 0, false}}, {}, QRect(1920, 0, 1280, 800)}},
    };
    for (const auto& story : stories) {
        MonitorChoice choice;
        for (const Step& step : story) {
            SCOPED_TRACE(step.what);
            choice.Update(step.monitors);
            if (step.shownAt) choice.ChooseFor(*step.shownAt);
            const auto chosen = choice.Current();
            EXPECT_EQ(chosen ? std::optional(chosen->rect) : std::nullopt, step.chosen);
        }
    }
}

} // namespace
} // namespace vantrel
