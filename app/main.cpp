// Vantrel Credits: an animated credits screen. The program takes nothing
// from its command line and writes no file; it reads only the track beside
// it.

#include "credits_program.h"
#include "display_check.h"
#include "font_attributes.h"
#include "font_warm_up.h"
#include "form_window.h"
#include "frame_clock.h"
#include "audio_backend.h"
#include "audio_stream_identity.h"
#include "media_control.h"
#include "qt_message_box.h"
#include "qt_timer_driver.h"
#include "sdl_library.h"
#include "signal_bridge.h"
#include "x11_blocked_close.h"
#include "x11_present_connection.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

namespace {

constexpr int kShutdownRetryMs = 10;

// 0 where there is no screen.
double PrimaryScreenRefreshHz() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->refreshRate() : 0.0;
}

// Ends the program from outside (SIGTERM, Ctrl-C), or on a close request
// that a failure report blocks, the way closing the window does. An open
// failure report is dismissed first, and the forms are only unloaded once
// start-up is over and no handler is running (the main event loop runs, and
// no nested one is open); until then it asks again shortly.
void ShutDownWhenIdle(vantrel::CreditsForms& forms, const bool& startedUp) {
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) box->done(QMessageBox::Ok);
        else modal->close();
        if (QApplication::activeModalWidget() == modal) break;
    }
    if (!startedUp || QThread::currentThread()->loopLevel() > 1) {
        QTimer::singleShot(kShutdownRetryMs, [&forms, &startedUp] { ShutDownWhenIdle(forms, startedUp); });
        return;
    }
    vantrel::ShutDown(forms);
}

} // namespace

int main(int argc, char** argv) {
    (void)argc;
    // First of all: Qt starts threads of its own, and from then on the
    // environment must not change.
    vantrel::NameAudioStreamInEnvironment();
    const auto display = vantrel::ChooseDisplay();
    if (const auto* problem = std::get_if<vantrel::DisplayProblem>(&display)) {
        std::fprintf(stderr, "vantrel-credits: %s\n", problem->reason.c_str());
        return 1;
    }
    // The labels are fitted to their captions as soon as the scene loads;
    // fontconfig gets ready for that while Qt starts.
    const vantrel::FontWarmUp fontWarmUp(vantrel::FontAttributes{}.name);
    // Qt would read options of its own from the command line; it gets none
    // but the platform chosen above.
    std::string platform = std::get<vantrel::DisplayPlatform>(display).name;
    char platformOption[] = "-platform";
    std::vector<char*> qtArgv{argv[0]};
    if (!platform.empty()) qtArgv.insert(qtArgv.end(), {platformOption, platform.data()});
    int qtArgc = static_cast<int>(qtArgv.size());
    qtArgv.push_back(nullptr);
    QApplication application(qtArgc, qtArgv.data());
    // SDL and the mixer load on a thread of their own while the forms are
    // set up, once Qt has loaded its platform plugin (two libraries cannot
    // be loaded at once); the scene's load handler opens the track.
    vantrel::SdlLibrary sdl;
    // The program ends when no form is loaded, not when Qt counts no window:
    // a dismissed message box must never end it.
    application.setQuitOnLastWindowClosed(false);

    vantrel::SteadyClock clock;
    vantrel::QtMessageBox messageBox;
    vantrel::WidgetHostFactory hosts;
    vantrel::MediaControl media(vantrel::OpenAudioBackend(clock, sdl));
    vantrel::Runtime runtime(vantrel::Runtime::Services{
        &clock, &messageBox, &hosts, &media, QCoreApplication::applicationDirPath().toStdString()});
    runtime.Timers().SetFramePeriod(vantrel::TimerTickPeriodMs(PrimaryScreenRefreshHz()));
    vantrel::QtTimerDriver timerDriver(runtime.Timers(), clock);
    // Where the X server offers it, the display's own refreshes pace the
    // scroll and its frames go out through the Present extension; under
    // Wayland the compositor's frame callbacks pace it; elsewhere the timers
    // alone pace it, at the rate of the shown window's screen. Off the
    // Present path, Qt's backing store shows the frames.
    if (auto presentConnection = vantrel::X11PresentConnection::Open()) {
        hosts.UseX11Present(std::move(presentConnection), runtime.Timers());
    } else if (QGuiApplication::platformName() == QLatin1String("wayland")) {
        hosts.UseWaylandFrameCallbacks(runtime.Timers());
    } else {
        hosts.UseScreenRate(runtime.Timers());
    }

    vantrel::CreditsForms forms(runtime);
    runtime.WhenNoFormLoaded([] { QCoreApplication::exit(0); });
    bool startedUp = false;
    vantrel::SignalBridge signalBridge([&forms, &startedUp] { ShutDownWhenIdle(forms, startedUp); });
    vantrel::X11BlockedCloseWatch blockedClose([&forms, &startedUp] { ShutDownWhenIdle(forms, startedUp); });

    vantrel::StartUp(runtime, forms);
    if (runtime.LoadedForms().empty()) return 0;
    // Set from inside the main loop, so that a shutdown asked for during
    // start-up waits until the loop that can end runs.
    QTimer::singleShot(0, [&startedUp] { startedUp = true; });
    return QApplication::exec();
}
