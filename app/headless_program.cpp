#include "headless_program.h"

#include "credits_program.h"
#include "silent_media_backend.h"

#include <QGuiApplication>
#include <algorithm>

namespace vantrel {
namespace {

constexpr int64_t kNsPerMs = 1'000'000;

// Fonts and text need a Qt application; a test or benchmark that has none
// gets one on Qt's offscreen platform, living as long as the process.
void EnsureApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "vantrel-headless";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
}

std::unique_ptr<MediaBackend> MakeBackend(const HeadlessProgram::BackendMaker& maker, const Clock& clock) {
    EnsureApplication();
    return maker ? maker(clock) : std::make_unique<SilentMediaBackend>(clock);
}

} // namespace

HeadlessProgram::HeadlessProgram(QSize clientSize, double devicePixelRatio, std::string applicationPath,
                                 const BackendMaker& backend, RandomSource* random)
    : hosts(clientSize, devicePixelRatio),
      media(MakeBackend(backend, clock)),
      runtime(Runtime::Services{&clock, &messages, &hosts, &media, std::move(applicationPath), random}),
      forms(runtime) {
    runtime.Timers().SetFramePeriod(1000.0 / kRefreshHz);
}

void HeadlessProgram::StartUp() {
    vantrel::StartUp(runtime, forms);
    m_scrollTimer = &forms.frmCredits.TimerNamed("tmrScroll");
}

void HeadlessProgram::RunFor(int64_t milliseconds) {
    const int64_t end = clock.NowNs() + milliseconds * kNsPerMs;
    TimerScheduler& timers = runtime.Timers();
    for (auto due = timers.NextDueNs(); due && *due <= end; due = timers.NextDueNs()) {
        clock.Set(std::max(*due, clock.NowNs()));
        timers.RunDue();
    }
    clock.Set(end);
}

void HeadlessProgram::RunScrollTicks(int count) {
    const int target = ScrollTicks() + count;
    TimerScheduler& timers = runtime.Timers();
    while (ScrollTicks() < target) {
        const auto due = timers.NextDueNs();
        if (!due) return; // every form has gone
        clock.Set(std::max(*due, clock.NowNs()));
        timers.RunDue();
    }
}

int HeadlessProgram::ScrollTicks() const {
    return m_scrollTimer != nullptr && forms.frmCredits.Loaded() ? static_cast<int>(m_scrollTimer->Events()) : 0;
}

} // namespace vantrel
