// With its track missing the program reports the failed load at start-up,
// before its window comes up, and again at every replay poll; it still ends
// with status 0, on SIGTERM while a report is open or on the window
// manager's close between reports. Without a display it says why in one
// line and fails.

#include "desktop.h"

namespace desktop {
namespace {

// The failure report on screen, other than `other`: a dialog with the
// program's title.
std::optional<xcb_window_t> WaitForReport(X& x, xcb_window_t other = 0, Ms timeout = Ms(15000)) {
    std::optional<xcb_window_t> box;
    WaitUntil(
        [&] {
            for (xcb_window_t open : x.ProgramWindows("DIALOG"))
                if (open != other) box = open;
            return box.has_value();
        },
        timeout);
    return box;
}

// The report's first line, read the way a person copies it: a triple click
// on it selects it, and X offers it as the PRIMARY selection.
std::string ReportFirstLine(Desktop& desktop, xcb_window_t box) {
    X& x = desktop.x();
    std::optional<std::string> text;
    WaitUntil(
        [&] {
            const auto area = x.Geometry(box);
            if (!area) return true;
            // The message is dark text right of the icon, above the buttons;
            // a report just mapped may not be drawn yet.
            const Image image = x.Capture(*area);
            for (int y = 0; y < image.height * 6 / 10; ++y)
                for (int column = image.width / 6; column < image.width * 95 / 100; ++column) {
                    const uint32_t pixel = image.At(column, y);
                    if (std::max({Red(pixel), Green(pixel), Blue(pixel)}) >= 80) continue;
                    x.ClearSelection("PRIMARY"); // not to be taken for an earlier report's line
                    const auto atX = std::to_string(area->x + column + 2), atY = std::to_string(area->y + y + 5);
                    desktop.Tool({"xdotool", "mousemove", atX, atY, "click", "--repeat", "3", "--delay", "60", "1"});
                    Sleep(Ms(100));
                    return (text = x.SelectionText("PRIMARY")) && !text->empty();
                }
            return false;
        },
        Ms(5000), Ms(50));
    return text.value_or("(the report's text could not be read)");
}

// Enough of the critical icon's red, left in the report, to tell it from the
// other icons.
bool ShowsRedIcon(X& x, xcb_window_t box) {
    const auto area = x.Geometry(box);
    if (!area) return false;
    const Image image = x.Capture(Rect{area->x, area->y, area->width / 3, area->height});
    return std::count_if(image.pixels.begin(), image.pixels.end(), [](uint32_t pixel) {
               return Red(pixel) > 150 && Green(pixel) < 90 && Blue(pixel) < 90;
           }) >= 30;
}

// Presses Return in the report, as on a keyboard; whether the report went.
// The key goes through the server's input (XTest) to the focused report: a
// key sent to the window itself is pressed there but never released once
// the report is gone, and the reports that follow then close at once.
bool Dismiss(Desktop& desktop, xcb_window_t box, Ms timeout = Ms(3000)) {
    desktop.Tool({"xdotool", "windowfocus", "--sync", std::to_string(box)});
    desktop.Tool({"xdotool", "key", "Return"});
    return WaitUntil([&] { return !desktop.x().Viewable(box); }, timeout, Ms(5));
}

TEST(MissingTrack, ReportsEveryFailedLoadAndStillEndsWithStatusZero) {
    Desktop desktop;
    X& x = desktop.x();
    TempDir dir("program");
    const fs::path binary = CopyProgram(dir, std::nullopt); // nothing beside the program
    enum End { SigtermAtLoad, SigtermAtPoll, CloseBetweenReports };
    for (End end : {SigtermAtLoad, SigtermAtPoll, CloseBetweenReports}) {
        SCOPED_TRACE(end == SigtermAtLoad ? "SIGTERM with the load's report open"
                     : end == SigtermAtPoll ? "SIGTERM with a poll's report open"
                                            : "closed between reports");
        ASSERT_TRUE(WaitUntil([&] { return x.ClientList().empty(); }, Ms(5000))) << x.DescribeWindows();
        Program program(desktop, {binary.string()});

        // The load fails first, before the main window is shown.
        auto box = WaitForReport(x);
        ASSERT_TRUE(box) << "no failure report; stderr:\n" << program.Stderr();
        EXPECT_TRUE(x.ProgramWindows("UTILITY").empty()) << "the main window came before the report";
        EXPECT_TRUE(WaitUntil([&] { return ShowsRedIcon(x, *box); }, Ms(5000))) << "no critical (red) icon";
        const std::string loadText = ReportFirstLine(desktop, *box);
        EXPECT_TRUE(loadText.starts_with("Unexpected error in procedure: Form_Load")) << loadText;

        xcb_window_t main = 0;
        if (end != SigtermAtLoad) {
            // Once it is dismissed the main window comes up, and every
            // replay poll finds no track and says so.
            ASSERT_TRUE(Dismiss(desktop, *box));
            const auto pollBox = WaitForReport(x, *box);
            ASSERT_TRUE(pollBox) << "no report from the replay poll; " << x.DescribeWindows();
            const auto shown = x.ProgramWindows("UTILITY");
            ASSERT_EQ(shown.size(), 1u) << "the main window is not under the report; " << x.DescribeWindows();
            main = shown.front();
            const std::string pollText = ReportFirstLine(desktop, *pollBox);
            EXPECT_TRUE(pollText.starts_with("Unexpected error in procedure: tmrReplay_Timer")) << pollText;
            ASSERT_TRUE(Dismiss(desktop, *pollBox));
            box = WaitForReport(x, *pollBox, Ms(5000));
            ASSERT_TRUE(box) << "the next poll did not report; " << x.DescribeWindows();
        }

        if (end != CloseBetweenReports) {
            Sleep(Ms(300));
            program.ExpectPromptCleanExit([&] { program.process().Signal(SIGTERM); });
            continue;
        }
        // A report is application-modal: the close only works in the moment
        // between one report being dismissed and the next poll's.
        for (int round = 0; round < 40 && program.process().Running(); ++round) {
            if (const auto open = WaitForReport(x, 0, Ms(0))) Dismiss(desktop, *open, Ms(500));
            program.Close(main);
            program.process().WaitFor(Ms(400));
        }
        const auto status = program.process().WaitFor(Ms(5000));
        ASSERT_TRUE(status) << "still running after 40 rounds of dismissing and closing";
        EXPECT_TRUE(status->Clean()) << status->Describe() << "; stderr:\n" << program.Stderr();
    }
}

TEST(NoDisplay, SaysWhyInOneLineAndFails) {
    // A display number nothing listens on, and none at all.
    int unused = 977;
    while (fs::exists("/tmp/.X11-unix/X" + std::to_string(unused))) ++unused;
    for (const std::string& display : {":" + std::to_string(unused), std::string()}) {
        SCOPED_TRACE("DISPLAY=" + display);
        TempDir dir("nodisplay");
        Env env = CleanEnv();
        env["SDL_AUDIODRIVER"] = "disk";
        env["SDL_DISKAUDIOFILE"] = (dir / "sound.pcm").string();
        if (!display.empty()) env["DISPLAY"] = display;
        Child program({ProgramPath().string()}, env, dir / "stdout.txt", dir / "stderr.txt");
        const auto status = program.WaitFor(Ms(20000));
        ASSERT_TRUE(status) << "still running without a display";
        EXPECT_TRUE(WIFEXITED(status->raw) && !status->Clean()) << status->Describe();
        // One line naming the problem: the display, or DISPLAY unset.
        const std::string errors = ReadFile(dir / "stderr.txt");
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_TRUE(errors.ends_with('\n')) << errors;
        EXPECT_NE(errors.find(display.empty() ? "DISPLAY" : display), std::string::npos) << errors;
        EXPECT_FALSE(fs::exists(dir / "sound.pcm")) << "sound was started without a display";
    }
}

} // namespace
} // namespace desktop
