// How the program ends: closed by the window manager or by SIGTERM, with its
// track missing (a failure report at start-up and at every replay poll, and
// still a clean end), and with no display to open.

#include "program_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>

namespace desktop {
namespace {

constexpr auto kClosingSlack = Milliseconds(3000); // "within a second", on a shared machine

// Ends the program with `end` after it has run a while, and checks that it
// exits with status 0 promptly and that its sound stops with it.
void ExpectCleanEnd(const std::function<void(ProgramRun&, xcb_window_t)>& end) {
    Desktop desktop;
    ProgramRun program(desktop);
    const auto window = program.WaitForMainWindow(Milliseconds(15000));
    ASSERT_TRUE(window.has_value()) << program.Stderr();
    SleepFor(Milliseconds(1500));
    ASSERT_TRUE(program.process().Running());

    const auto endAt = SteadyClock::now();
    end(program, *window);
    const auto status = program.process().WaitFor(Milliseconds(10000));
    const double tookMs = MillisecondsSince(endAt);
    ASSERT_TRUE(status.has_value()) << "still running 10 s after being told to end";
    EXPECT_TRUE(status->exited && status->code == 0) << status->Describe() << "; stderr:\n" << program.Stderr();
    EXPECT_LE(tookMs, static_cast<double>(kClosingSlack.count()));

    // Sound was written in real time from start-up until the end, and no
    // more once it ended.
    const double lifetimeSeconds = MillisecondsSince(program.process().startedAt()) / 1000.0;
    const auto bytesAtEnd = program.AudioBytes();
    const double writtenSeconds = static_cast<double>(bytesAtEnd) / (kAudioRateHz * kAudioBytesPerFrame);
    EXPECT_GE(writtenSeconds, 0.5 * lifetimeSeconds - 0.5) << "lived " << lifetimeSeconds << " s";
    EXPECT_LE(writtenSeconds, 1.2 * lifetimeSeconds + 0.5) << "lived " << lifetimeSeconds << " s";
    SleepFor(Milliseconds(600));
    EXPECT_EQ(program.AudioBytes(), bytesAtEnd) << "sound was still written after the program ended";
    EXPECT_TRUE(desktop.x().ClientList().empty()) << "a window of the program is still managed";
}

TEST(Closing, WindowManagersCloseEndsTheProgramWithStatusZero) {
    ExpectCleanEnd([](ProgramRun& program, xcb_window_t window) { ASSERT_TRUE(program.CloseWindow(window)); });
}

TEST(Closing, SigtermEndsTheProgramWithStatusZero) {
    ExpectCleanEnd([](ProgramRun& program, xcb_window_t) { program.process().Signal(SIGTERM); });
}

// The failure report on screen now: a dialog with the program's title.
std::optional<xcb_window_t> OpenReport(XConnection& x) {
    for (xcb_window_t box : ManagedWindowsOfType(x, "_NET_WM_WINDOW_TYPE_DIALOG"))
        if (x.Viewable(box)) return box;
    return std::nullopt;
}

// The report's text, read the way a person copies it: a triple click on its
// first line selects that line, which X then offers as the PRIMARY selection.
std::optional<std::string> ReportFirstLine(Desktop& desktop, xcb_window_t box) {
    XConnection& x = desktop.x();
    const auto deadline = SteadyClock::now() + Milliseconds(5000);
    while (SteadyClock::now() < deadline) {
        const auto area = x.RootGeometry(box);
        if (!area) return std::nullopt;
        // The message is dark text right of the icon, above the button row;
        // a report just mapped may not be drawn yet.
        const Image image = x.Capture(*area);
        int clickX = -1, clickY = -1;
        for (int y = 0; y < image.height * 6 / 10 && clickY < 0; ++y)
            for (int column = image.width / 6; column < image.width * 95 / 100; ++column) {
                const uint32_t pixel = image.At(column, y);
                if (std::max({Red(pixel), Green(pixel), Blue(pixel)}) < 80) {
                    clickX = column + 2;
                    clickY = y + 5;
                    break;
                }
            }
        if (clickY >= 0) {
            // Whatever was selected before (an earlier report's line) must
            // not be taken for this one's.
            x.ClearSelection("PRIMARY");
            const ToolResult clicked = desktop.Tool({"xdotool", "mousemove", std::to_string(area->x + clickX),
                                                     std::to_string(area->y + clickY), "click", "--repeat", "3",
                                                     "--delay", "60", "1"});
            SleepFor(Milliseconds(100));
            if (clicked.ok())
                if (auto text = x.SelectionText("PRIMARY", Milliseconds(2000)); text && !text->empty()) return text;
        }
        SleepFor(Milliseconds(50));
    }
    return std::nullopt;
}

// Enough of the critical icon's red to tell it from the others.
size_t RedIconPixels(XConnection& x, xcb_window_t box) {
    const auto area = x.RootGeometry(box);
    if (!area) return 0;
    const Image image = x.Capture(Rect{area->x, area->y, area->width / 3, area->height});
    size_t red = 0;
    for (uint32_t pixel : image.pixels)
        if (Red(pixel) > 150 && Green(pixel) < 90 && Blue(pixel) < 90) ++red;
    return red;
}

// Presses Return in the report, as on a keyboard; whether the report went.
// The key goes through the server's input (XTest) to the focused report:
// a key event sent to the window itself (xdotool key --window) is pressed
// there but never released once the report is gone, and the reports that
// follow then close themselves the moment they open.
bool Dismiss(Desktop& desktop, xcb_window_t box, Milliseconds timeout = Milliseconds(3000)) {
    desktop.Tool({"xdotool", "windowfocus", "--sync", std::to_string(box)}, Milliseconds(3000));
    desktop.Tool({"xdotool", "key", "Return"});
    return WaitUntil([&] { return !desktop.x().Viewable(box); }, timeout, Milliseconds(5));
}

TEST(MissingTrack, ReportsEveryFailedLoadAndStillEndsWithStatusZero) {
    Desktop desktop;
    XConnection& x = desktop.x();
    ProgramCopy copy(std::nullopt); // nothing beside the program
    ProgramOptions options;
    options.binary = copy.binary();
    ProgramRun program(desktop, options);

    // The load fails first, before the main window is shown.
    std::optional<xcb_window_t> box;
    ASSERT_TRUE(WaitUntil([&] { return (box = OpenReport(x)).has_value(); }, Milliseconds(15000)))
        << "no failure report; stderr:\n" << program.Stderr();
    EXPECT_TRUE(ManagedWindowsOfType(x, "_NET_WM_WINDOW_TYPE_UTILITY").empty())
        << "the main window came up before the report of the failed load";
    EXPECT_EQ(x.Title(*box), kProgramTitle);
    // (A report just mapped may not be drawn yet.)
    EXPECT_TRUE(WaitUntil([&] { return RedIconPixels(x, *box) >= 30u; }, Milliseconds(5000)))
        << "no critical (red) icon";
    const auto loadText = ReportFirstLine(desktop, *box);
    ASSERT_TRUE(loadText.has_value()) << "could not read the report's text";
    EXPECT_EQ(loadText->rfind("Unexpected error in procedure: Form_Load", 0), 0u) << *loadText;

    // Once it is dismissed the main window comes up, and every replay poll
    // finds no track and says so.
    ASSERT_TRUE(Dismiss(desktop, *box));
    std::optional<xcb_window_t> pollBox;
    ASSERT_TRUE(WaitUntil([&] { return (pollBox = OpenReport(x)).has_value() && *pollBox != *box; },
                          Milliseconds(15000)))
        << "no report from the replay poll: " << DescribeWindows(x);
    // By now start-up is over: the one tool window on screen is the main one.
    std::vector<xcb_window_t> shown;
    for (xcb_window_t window : ManagedWindowsOfType(x, "_NET_WM_WINDOW_TYPE_UTILITY"))
        if (x.Viewable(window)) shown.push_back(window);
    ASSERT_EQ(shown.size(), 1u) << "expected the main window under the report: " << DescribeWindows(x);
    const xcb_window_t main = shown.front();
    const auto pollText = ReportFirstLine(desktop, *pollBox);
    ASSERT_TRUE(pollText.has_value()) << "could not read the report's text";
    EXPECT_EQ(pollText->rfind("Unexpected error in procedure: tmrReplay_Timer", 0), 0u) << *pollText;
    // And the next poll again.
    ASSERT_TRUE(Dismiss(desktop, *pollBox));
    std::optional<xcb_window_t> nextBox;
    ASSERT_TRUE(WaitUntil([&] { return (nextBox = OpenReport(x)).has_value() && *nextBox != *pollBox; },
                          Milliseconds(5000)))
        << "the replay poll after the next did not report: " << DescribeWindows(x);

    // A report is application-modal: closing the main window only works in
    // the moment between one report being dismissed and the next poll's.
    int rounds = 0;
    for (; rounds < 40 && program.process().Running(); ++rounds) {
        if (const auto open = OpenReport(x)) Dismiss(desktop, *open, Milliseconds(500));
        program.CloseWindow(main);
        program.process().WaitFor(Milliseconds(400));
    }
    const auto status = program.process().WaitFor(Milliseconds(5000));
    ASSERT_TRUE(status.has_value()) << "still running after " << rounds << " rounds of dismissing and closing";
    EXPECT_TRUE(status->exited && status->code == 0) << status->Describe() << "; stderr:\n" << program.Stderr();
}

// SIGTERM ends the program even while a failure report is open: the report
// is dismissed for it and the program exits with status 0.
void ExpectSigtermEndsItWithAReportOpen(bool atStartUp) {
    Desktop desktop;
    XConnection& x = desktop.x();
    ProgramCopy copy(std::nullopt);
    ProgramOptions options;
    options.binary = copy.binary();
    ProgramRun program(desktop, options);

    std::optional<xcb_window_t> box;
    ASSERT_TRUE(WaitUntil([&] { return (box = OpenReport(x)).has_value(); }, Milliseconds(15000)))
        << "no failure report; stderr:\n" << program.Stderr();
    if (!atStartUp) {
        // On to the main window and the first replay poll's report.
        const xcb_window_t loadBox = *box;
        ASSERT_TRUE(Dismiss(desktop, loadBox));
        ASSERT_TRUE(WaitUntil([&] { return (box = OpenReport(x)).has_value() && *box != loadBox; },
                              Milliseconds(15000)))
            << "no report from the replay poll: " << DescribeWindows(x);
    }
    SleepFor(Milliseconds(300));

    const auto endAt = SteadyClock::now();
    program.process().Signal(SIGTERM);
    const auto status = program.process().WaitFor(Milliseconds(10000));
    ASSERT_TRUE(status.has_value()) << "still running 10 s after SIGTERM: " << DescribeWindows(x);
    EXPECT_TRUE(status->exited && status->code == 0) << status->Describe() << "; stderr:\n" << program.Stderr();
    EXPECT_LE(MillisecondsSince(endAt), static_cast<double>(kClosingSlack.count()));
}

TEST(MissingTrack, SigtermEndsTheProgramWhileTheStartUpReportIsOpen) { ExpectSigtermEndsItWithAReportOpen(true); }

TEST(MissingTrack, SigtermEndsTheProgramWhileAReplayPollReportIsOpen) { ExpectSigtermEndsItWithAReportOpen(false); }

// A display number nothing listens on.
std::string UnusedDisplay() {
    for (int number = 977;; ++number) {
        if (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number)) &&
            !std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock"))
            return ":" + std::to_string(number);
    }
}

TEST(NoDisplay, SaysWhyInOneLineAndFails) {
    struct Case {
        std::string name;
        std::optional<std::string> display; // unset when empty
        std::string mentioned;              // the problem as the line names it
    };
    const std::string unused = UnusedDisplay();
    for (const Case& c : {Case{"unknown display", unused, unused}, Case{"no DISPLAY", std::nullopt, "DISPLAY"}}) {
        SCOPED_TRACE(c.name);
        TempDir dir("nodisplay");
        ChildOptions options;
        options.argv = {ProgramPath().string()};
        options.environment = Environment::Clean().Set("SDL_AUDIODRIVER", "disk").Set(
            "SDL_DISKAUDIOFILE", (dir / "sound.pcm").string());
        if (c.display) options.environment.Set("DISPLAY", *c.display);
        options.stdoutPath = dir / "stdout.txt";
        options.stderrPath = dir / "stderr.txt";
        Child child(options);
        const auto status = child.WaitFor(Milliseconds(20000));
        ASSERT_TRUE(status.has_value()) << "still running without a display";
        EXPECT_TRUE(status->exited) << status->Describe();
        EXPECT_NE(status->code, 0);
        const std::string errors = ReadFile(dir / "stderr.txt");
        ASSERT_FALSE(errors.empty()) << "nothing said on stderr";
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_EQ(errors.back(), '\n') << errors;
        EXPECT_NE(errors.find(c.mentioned), std::string::npos) << errors;
        EXPECT_FALSE(std::filesystem::exists(dir / "sound.pcm")) << "sound was started without a display";
    }
}

} // namespace
} // namespace desktop
