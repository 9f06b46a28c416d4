#pragma once

#include "clock.h"
#include "credits_forms.h"
#include "headless_host.h"
#include "media_backend.h"
#include "media_control.h"
#include "message_box.h"
#include "runtime.h"

#include <QImage>
#include <QSize>
#include <functional>
#include <memory>
#include <string>

namespace vantrel {

// The whole program with no display, run on a manual clock: both forms on
// headless windows, the media device on the same clock, and a message box
// that records instead of waiting. The frames it composes are exactly those
// the window would show, and the same run always composes the same frames.
// The snapshot tool, the tests and the benchmarks all run the program so.
class HeadlessProgram {
public:
    // Makes the media device's backend on the program's clock.
    using BackendMaker = std::function<std::unique_ptr<MediaBackend>(const Clock&)>;

    static constexpr double kRefreshHz = 60.0; // the display refresh the timers keep to

    // The music plays from applicationPath on the silent backend unless
    // another is given; failures there are recorded, not shown.
    // The random draws are the program's own unless another source is given.
    explicit HeadlessProgram(QSize clientSize = QSize(320, 240), double devicePixelRatio = 1.0,
                             std::string applicationPath = "", const BackendMaker& backend = {},
                             RandomSource* random = nullptr);

    // Runs the program's start-up: load, show, resize, activate.
    void StartUp();

    // Moves the clock to each next due time and delivers the timers, until
    // `milliseconds` have passed.
    void RunFor(int64_t milliseconds);
    // Runs until `count` more scroll ticks have composed their frames.
    void RunScrollTicks(int count);

    // Scroll ticks delivered since start-up.
    int ScrollTicks() const;
    const QImage& Frame() { return forms.frmDisplay.DrawingSurface().Image(); }
    // The headless window of the display (the second one made).
    HeadlessHost& DisplayWindow() { return hosts.Window(1); }

    ManualClock clock;
    RecordingMessageBox messages;
    HeadlessHostFactory hosts;
    MediaControl media;
    Runtime runtime;
    CreditsForms forms;

private:
    // The scene's scroll timer, from start-up on; the scene is loaded once.
    const Timer* m_scrollTimer = nullptr;
};

} // namespace vantrel
