#pragma once

#include "credits_program.h"
#include "media_control.h"
#include "silent_media_backend.h"
#include "test_support.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vantrel::testing {

// Writes what happens to the windows and the media device into one trace,
// so that tests can check the order of start-up and shutdown.
struct Trace {
    std::vector<std::string> steps;
    std::map<std::string, int> counts;
    bool keepSteps = true; // a long run only counts them
    void Add(std::string step) {
        ++counts[step];
        if (keepSteps) steps.push_back(std::move(step));
    }
    int Count(const std::string& step) const {
        const auto found = counts.find(step);
        return found == counts.end() ? 0 : found->second;
    }
};

class TracingHost final : public FormHost {
public:
    TracingHost(std::unique_ptr<FormHost> inner, std::string name, Trace& trace)
        : m_inner(std::move(inner)), m_name(std::move(name)), m_trace(trace) {
        m_trace.Add(m_name + " window created");
    }
    ~TracingHost() override { m_trace.Add(m_name + " window closed"); }
    void Show() override {
        m_trace.Add(m_name + " shown");
        m_inner->Show();
    }
    void Hide() override {
        m_trace.Add(m_name + " hidden");
        m_inner->Hide();
    }
    bool visible() const override { return m_inner->visible(); }
    QSize clientSize() const override { return m_inner->clientSize(); }
    double devicePixelRatio() const override { return m_inner->devicePixelRatio(); }
    double logicalDpi() const override { return m_inner->logicalDpi(); }
    double refreshRateHz() const override { return m_inner->refreshRateHz(); }
    void Present(const std::vector<QRect>& damage) override {
        ++presents;
        m_inner->Present(damage);
    }
    HeadlessHost& inner() { return static_cast<HeadlessHost&>(*m_inner); }
    int presents = 0;

private:
    std::unique_ptr<FormHost> m_inner;
    std::string m_name;
    Trace& m_trace;
};

class TracingHostFactory final : public FormHostFactory {
public:
    TracingHostFactory(QSize clientSize, Trace& trace) : m_inner(clientSize), m_trace(trace) {}
    std::unique_ptr<FormHost> Create(const WindowSettings& settings, FormHostEvents& events) override {
        const std::string name = settings.invisiblePointer ? "display" : "scene";
        auto host = std::make_unique<TracingHost>(m_inner.Create(settings, events), name, m_trace);
        hosts.push_back(host.get());
        return host;
    }
    std::vector<TracingHost*> hosts; // valid while their forms are loaded

private:
    HeadlessHostFactory m_inner;
    Trace& m_trace;
};

class TracingTrack final : public MediaTrack {
public:
    TracingTrack(std::unique_ptr<MediaTrack> inner, Trace& trace) : m_inner(std::move(inner)), m_trace(trace) {}
    ~TracingTrack() override { m_trace.Add("track closed"); }
    void Play(int64_t fromMs) override {
        m_trace.Add("track played from " + std::to_string(fromMs));
        m_inner->Play(fromMs);
    }
    void Resume() override {
        m_trace.Add("track resumed");
        m_inner->Resume();
    }
    void Stop() override {
        m_trace.Add("track stopped");
        m_inner->Stop();
    }
    int64_t PositionMs() override { return m_inner->PositionMs(); }
    int64_t LengthMs() const override {
        m_trace.Add("track length asked");
        return m_inner->LengthMs();
    }

private:
    std::unique_ptr<MediaTrack> m_inner;
    Trace& m_trace;
};

class TracingBackend final : public MediaBackend {
public:
    TracingBackend(const Clock& clock, Trace& trace) : m_inner(clock), m_trace(trace) {}
    std::unique_ptr<MediaTrack> Open(const std::string& path) override {
        auto track = m_inner.Open(path);
        m_trace.Add(track ? "track opened" : "track open failed");
        return track ? std::make_unique<TracingTrack>(std::move(track), m_trace) : nullptr;
    }

private:
    SilentMediaBackend m_inner;
    Trace& m_trace;
};

// The whole program with no display: both forms, the silent media device
// on a manual clock, and the 2-second fixture track as the program's own.
struct Program {
    explicit Program(QSize clientSize = QSize(320, 240), std::string applicationPath = VANTREL_FIXTURE_DIR)
        : hosts(clientSize, trace),
          media(std::make_unique<TracingBackend>(clock, trace)),
          runtime(Runtime::Services{&clock, &messages, &hosts, &media, std::move(applicationPath)}),
          forms(runtime) {
        EnsureApplication();
        runtime.timers().SetFramePeriod(kFramePeriodMs);
        runtime.onNoFormLoaded = [this] { trace.Add("no form loaded"); };
    }

    // Moves the manual clock to each next due time and delivers the timers,
    // until `milliseconds` have passed.
    void RunFor(int64_t milliseconds) {
        const int64_t end = clock.NowNs() + milliseconds * 1'000'000;
        while (true) {
            const auto due = runtime.timers().NextDueNs();
            if (!due || *due > end) break;
            clock.Set(std::max(*due, clock.NowNs()));
            runtime.timers().RunDue();
        }
        clock.Set(end);
    }

    static constexpr double kFramePeriodMs = 1000.0 / 60.0;
    Trace trace;
    ManualClock clock;
    RecordingMessageBox messages;
    TracingHostFactory hosts;
    MediaControl media;
    Runtime runtime;
    CreditsForms forms;
};

} // namespace vantrel::testing
