#pragma once

#include "silent_media_backend.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vantrel::testing {

// The silent device, writing what happens to its tracks into a log.
struct TracingBackend final : MediaBackend {
    using Log = std::vector<std::string>;
    struct Track final : MediaTrack {
        Track(std::unique_ptr<MediaTrack> inner, Log& log) : inner(std::move(inner)), log(log) {}
        ~Track() override { log.push_back("closed"); }
        void Play(int64_t fromMs) override { log.push_back("played from " + std::to_string(fromMs)), inner->Play(fromMs); }
        void Resume() override { log.push_back("played"), inner->Resume(); }
        void Stop() override { log.push_back("stopped"), inner->Stop(); }
        int64_t PositionMs() override { return inner->PositionMs(); }
        int64_t LengthMs() const override { return inner->LengthMs(); }
        std::unique_ptr<MediaTrack> inner;
        Log& log;
    };
    TracingBackend(const Clock& clock, Log& log, std::function<void()> onOpen = {})
        : inner(clock), log(log), onOpen(std::move(onOpen)) {}
    std::unique_ptr<MediaTrack> Open(const std::string& path) override {
        if (onOpen) onOpen();
        auto track = inner.Open(path);
        log.push_back(track ? "opened" : "open failed");
        return track ? std::make_unique<Track>(std::move(track), log) : nullptr;
    }
    SilentMediaBackend inner;
    Log& log;
    std::function<void()> onOpen;
};

} // namespace vantrel::testing
