#include "runtime.h"

#include "message_box.h"
#include "runtime_error.h"

#include <algorithm>

namespace vantrel {
namespace {

constexpr double kDefaultFramePeriodMs = 1000.0 / 60.0;

} // namespace

Runtime::Runtime(const Services& services)
    : m_messageBox(services.messageBox),
      m_hosts(services.hosts),
      m_media(services.media),
      m_applicationPath(services.applicationPath),
      m_random(services.random ? services.random : &m_ownRandom),
      m_timers(*services.clock, kDefaultFramePeriodMs) {}

MediaControl& Runtime::Media() {
    if (m_media == nullptr) Raise(errors::kObjectRequired);
    return *m_media;
}

std::string Runtime::AppPath() {
    m_monitor.Use(Service::ApplicationPath);
    return m_applicationPath;
}

void Runtime::ShowCriticalMessage(const std::string& prompt) {
    m_timers.Hold();
    struct Release {
        TimerScheduler& timers;
        ~Release() {
            timers.RestartPeriods();
            timers.Release();
        }
    } release{m_timers};
    m_messageBox->ShowCritical(prompt, AppTitle());
}

void Runtime::NoteLoaded(Form& form) {
    if (std::find(m_loaded.begin(), m_loaded.end(), &form) == m_loaded.end()) m_loaded.push_back(&form);
}

void Runtime::NoteUnloaded(Form& form) {
    std::erase(m_loaded, &form);
    if (m_loaded.empty() && m_noFormLoaded) m_noFormLoaded();
}

} // namespace vantrel
