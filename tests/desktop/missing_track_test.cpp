// With its track missing the program reports the failed load at start-up,
// before its window comes up, and again at every replay poll, half a second
// after the last report went; it still ends with status 0, on SIGTERM or on
// the window manager's close while a report is open. Without a display it says why in one
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

// The rows of a client area's image that show white credit text, leaving out
// the band a report (its client area, in root coordinates) covers with its
// frame.
std::set<int> CreditRows(const Image& image, const Rect& client, const Rect& report) {
    constexpr int kFrameMargin = 40; // pixels
    std::set<int> rows;
    for (int y = 0; y < image.height; ++y) {
        const int rootY = client.y + y;
        if (rootY >= report.y - kFrameMargin && rootY < report.y + report.height + kFrameMargin) continue;
        if (std::any_of(image.Row(y), image.Row(y) + image.width, IsWhite)) rows.insert(y);
    }
    return rows;
}

TEST(MissingTrack, ReportsEveryFailedLoadAndStillEndsWithStatusZero) {
    Desktop desktop;
    X& x = desktop.x();
    TempDir dir("program");
    const fs::path binary = CopyProgram(dir, std::nullopt); // nothing beside the program
    enum End { SigtermAtLoad, SigtermAtPoll, CloseWithReportOpen };
    for (End end : {SigtermAtLoad, SigtermAtPoll, CloseWithReportOpen}) {
        SCOPED_TRACE(end == SigtermAtLoad ? "SIGTERM with the load's report open"
                     : end == SigtermAtPoll ? "SIGTERM with a poll's report open"
                                            : "closed by the window manager with a report open");
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

        if (end != CloseWithReportOpen) {
            Sleep(Ms(300));
            program.ExpectPromptCleanExit([&] { program.process().Signal(SIGTERM); });
            continue;
        }
        // The next poll reports again only a whole poll period after a
        // report went, and the credits roll in between (once the first line
        // has come up from the bottom edge).
        constexpr int kRounds = 3;
        int moved = 0;
        for (int round = 0; round < kRounds; ++round) {
            ASSERT_TRUE(Dismiss(desktop, *box));
            const auto dismissedAt = Clock::now();
            const auto client = x.Geometry(main);
            ASSERT_TRUE(client);
            const Image before = x.Capture(*client);
            const auto next = WaitForReport(x, *box, Ms(5000));
            ASSERT_TRUE(next) << "the next poll did not report; " << x.DescribeWindows();
            EXPECT_GE(MsSince(dismissedAt), 450.0) << "a report came back too soon after OK";
            const auto report = x.Geometry(*next);
            ASSERT_TRUE(report);
            const std::set<int> rowsAfter = CreditRows(x.Capture(*client), *client, *report);
            moved += !rowsAfter.empty() && rowsAfter != CreditRows(before, *client, *report) ? 1 : 0;
            box = next;
        }
        EXPECT_GE(moved, kRounds - 1) << "the roll stood still between reports";
        // The window manager's close, with a report open, ends the program.
        program.ExpectPromptCleanExit([&] { program.Close(main); }, Ms(1000));
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
