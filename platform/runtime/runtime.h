#pragma once

#include "clock.h"
#include "random_source.h"
#include "service_monitor.h"
#include "timer_scheduler.h"

#include <functional>
#include <string>
#include <vector>

namespace vantrel {

class Form;
class FormHostFactory;
class MediaControl;
class MessageBox;

// The forms runtime's program-wide services: the random source, the message
// box, the application path and title, the timers, the windows behind the
// forms and the media device, and the register of loaded forms. One exists
// per program; everything that needs a service is handed this object, so a
// test builds its own with whatever stand-ins it wants.
class Runtime {
public:
    struct Services {
        const Clock* clock = nullptr;
        MessageBox* messageBox = nullptr;
        FormHostFactory* hosts = nullptr;
        MediaControl* media = nullptr;
        std::string applicationPath; // the program's directory, no trailing separator
        RandomSource* random = nullptr; // the program's own sequence where none is given
    };

    explicit Runtime(const Services& services);
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    // The program's title: the caption of both its windows and the title of
    // every message box it shows.
    static constexpr const char* kTitle = "Vantrel Credits";

    RandomSource& Random() { return *m_random; }
    ServiceMonitor& Monitor() { return m_monitor; }
    TimerScheduler& Timers() { return m_timers; }
    FormHostFactory& Hosts() { return *m_hosts; }
    MediaControl& Media();

    std::string AppPath();
    std::string AppTitle() const { return kTitle; }

    // Shows a critical message box; timers are held while it is open, so a
    // failure in a fast timer never piles up boxes, and each resumes one
    // full period after the box is dismissed.
    void ShowCriticalMessage(const std::string& prompt);

    // The register of loaded forms. When the last one is unloaded the
    // runtime calls the handler given to WhenNoFormLoaded: the program ends
    // then, and only then.
    void NoteLoaded(Form& form);
    void NoteUnloaded(Form& form);
    const std::vector<Form*>& LoadedForms() const { return m_loaded; }
    void WhenNoFormLoaded(std::function<void()> handler) { m_noFormLoaded = std::move(handler); }

private:
    MessageBox* m_messageBox;
    FormHostFactory* m_hosts;
    MediaControl* m_media;
    std::string m_applicationPath;
    CongruentialRandom m_ownRandom;
    RandomSource* m_random;
    ServiceMonitor m_monitor;
    TimerScheduler m_timers;
    std::vector<Form*> m_loaded;
    std::function<void()> m_noFormLoaded;
};

} // namespace vantrel
