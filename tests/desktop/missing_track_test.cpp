// With its track missing or empty the program reports the failed load at
// start-up, before its window comes up, and again at every replay poll after
// the last report went, the roll running in between; it still ends with status 0, on
// SIGTERM or on the window manager's close while a report is open. Without
// a display it says why in one line and fails.

#include "desktop.h"

namespace desktop {
namespace {

// The failure report on screen other than `other`: a dialog with the
// program's title.
xcb_window_t WaitForReport(X& x, xcb_window_t other = 0) {
    xcb_window_t box = 0;
    WaitUntil([&] {
        for (xcb_window_t open : x.ProgramWindows("DIALOG")) box = open != other ? open : box;
        return box != 0;
    }, Ms(15000));
    return box;
}

// Presses Return in the report, as on a keyboard; whether the report went.
// The key goes through the server's input (XTest) to the focused report: a
// key sent to the window itself is pressed there but never released once
// the report is gone, and the reports that follow then close at once.
bool Dismiss(Desktop& desktop, xcb_window_t box) {
    desktop.Tool({"xdotool", "windowfocus", "--sync", std::to_string(box)});
    desktop.Tool({"xdotool", "key", "Return"});
    return WaitUntil([&] { return !desktop.x().Viewable(box).value_or(false); }, Ms(3000), Ms(5));
}

// The rows of a capture of the client area that show white credit text,
// leaving out the band the report covers with its frame.
std::set<int> CreditRows(const Image& image, const Rect& client, const Rect& report) {
    std::set<int> rows;
    for (int y = 0; y < image.height; ++y) // 40 pixels for the frame
        if (std::abs(client.y + y - report.y - report.height / 2) > report.height / 2 + 40 &&
            std::any_of(image.Row(y), image.Row(y + 1), IsWhite)) rows.insert(y);
    return rows;
}

TEST(MissingTrack, ReportsEveryFailedLoadAndStillEndsWithStatusZero) {
    Desktop desktop;
    X& x = desktop.x();
    TempDir dir;
    const fs::path binary = dir / kProgram.filename().string();
    fs::copy_file(kProgram, binary);
    enum End { SigtermAtLoad, SigtermAtPoll, CloseWithReportOpen };
    for (End end : {SigtermAtLoad, SigtermAtPoll, CloseWithReportOpen}) {
        // Nothing beside the program, then a zero-byte track.
        SCOPED_TRACE("ending " + std::to_string(end));
        if (end == CloseWithReportOpen) std::ofstream(dir / kTrackName).flush();
        ASSERT_TRUE(WaitUntil([&] { return x.ClientList().empty(); }, Ms(5000)));
        Program program(desktop, {binary});

        // The load fails first, before the main window is shown.
        xcb_window_t box = WaitForReport(x);
        ASSERT_NE(box, 0u) << "no failure report; stderr:\n" << program.Stderr();
        EXPECT_TRUE(x.ProgramWindows("UTILITY").empty()) << "the main window came before the report";
        if (end == SigtermAtLoad) {
            program.ExpectCleanExit([&] { program.process().Signal(SIGTERM); });
            continue;
        }

        // Once it is dismissed the main window comes up, and every replay
        // poll finds no track and says so, a whole poll period after a
        // report went, the credits rolling in between (once the first line
        // has come up from the bottom edge).
        ASSERT_TRUE(Dismiss(desktop, box));
        box = WaitForReport(x, box);
        ASSERT_NE(box, 0u) << "no report from the replay poll";
        const auto shown = x.ProgramWindows("UTILITY");
        ASSERT_EQ(shown.size(), 1u) << "the main window is not under the report";
        const Rect client = x.Geometry(shown.front()).value_or(Rect{});
        constexpr int kRounds = 3;
        int moved = 0;
        for (int round = 0; round < kRounds; ++round) {
            ASSERT_TRUE(Dismiss(desktop, box));
            const Image before = x.Capture(client);
            const xcb_window_t next = WaitForReport(x, box);
            ASSERT_NE(next, 0u) << "the next poll did not report";
            const Rect report = x.Geometry(next).value_or(Rect{});
            const std::set<int> after = CreditRows(x.Capture(client), client, report);
            moved += !after.empty() && after != CreditRows(before, client, report);
            box = next;
        }
        EXPECT_GE(moved, kRounds - 1) << "the roll stood still between reports";
        if (end == SigtermAtPoll) program.ExpectCleanExit([&] { program.process().Signal(SIGTERM); });
        else program.ExpectCleanExit([&] { program.Close(shown.front()); }, Ms(1000));
    }
}

TEST(NoDisplay, SaysWhyInOneLineAndFails) {
    // A display number nothing listens on, and none at all.
    int unused = 977;
    while (fs::exists("/tmp/.X11-unix/X" + std::to_string(unused))) ++unused;
    for (const std::string& display : {":" + std::to_string(unused), std::string()}) {
        SCOPED_TRACE("DISPLAY=" + display);
        TempDir dir;
        Env env = CleanEnv({{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", dir / "sound.pcm"}});
        if (!display.empty()) env["DISPLAY"] = display;
        Child program({kProgram}, env, {}, dir / "stderr.txt");
        const auto status = program.WaitFor(Ms(20000));
        EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 1);
        // One line naming the problem: the display, or DISPLAY unset.
        const std::string errors = ReadFile(dir / "stderr.txt");
        EXPECT_EQ(std::ranges::count(errors, '\n'), 1) << errors;
        EXPECT_TRUE(errors.ends_with('\n') && errors.find(display.empty() ? "DISPLAY" : display) != errors.npos)
            << errors;
        EXPECT_FALSE(fs::exists(dir / "sound.pcm")) << "sound was started without a display";
    }
}

} // namespace
} // namespace desktop
