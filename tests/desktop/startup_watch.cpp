#include "startup_watch.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>

namespace desktop {
namespace {

// Rows at the bottom of the client area watched for the first text.
constexpr int kBottomBandRows = 120;

struct WindowSamples {
    std::vector<StripSample> samples; // until the first frame
    std::optional<double> navyMs;
    std::optional<double> firstFrameMs;
};

} // namespace

std::string Describe(const std::vector<StripSample>& samples) {
    std::string text;
    const StripSample* last = nullptr;
    for (const StripSample& sample : samples) {
        if (last && last->state == sample.state && last->client == sample.client &&
            last->firstPixel == sample.firstPixel)
            continue;
        char line[160];
        std::snprintf(line, sizeof line, "%.0f ms %s #%06x in %s; ", sample.ms, Name(sample.state),
                      sample.firstPixel, sample.client.Describe().c_str());
        text += line;
        last = &sample;
    }
    return text;
}

StartupWatch::StartupWatch(const std::string& display) : m_x(display) {
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_x.get(), m_x.root(), XCB_CW_EVENT_MASK, &mask);
    // A round trip: from here on every change below the root is reported.
    m_x.Exists(m_x.root());
}

StartupTimeline StartupWatch::Follow(pid_t pid, SteadyClock::time_point start, bool untilText, Milliseconds timeout,
                                     std::chrono::microseconds pollInterval) {
    StartupTimeline timeline;
    std::map<xcb_window_t, xcb_window_t> clientOfFrame;
    std::map<xcb_window_t, bool> isProgram;
    std::map<xcb_window_t, WindowSamples> samples;
    xcb_window_t current = 0, currentFrame = 0;

    auto belongs = [&](xcb_window_t window) {
        const auto known = isProgram.find(window);
        if (known != isProgram.end()) return known->second;
        const auto owner = m_x.Pid(window);
        const bool ours = owner && static_cast<pid_t>(*owner) == pid;
        isProgram[window] = ours;
        return ours;
    };

    const auto deadline = SteadyClock::now() + timeout;
    while (SteadyClock::now() < deadline) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_x.get())) {
            switch (event->response_type & 0x7f) {
            case XCB_REPARENT_NOTIFY: {
                const auto* reparent = reinterpret_cast<xcb_reparent_notify_event_t*>(event);
                if (reparent->parent != m_x.root()) {
                    clientOfFrame[reparent->parent] = reparent->window;
                } else if (std::find(timeline.shown.begin(), timeline.shown.end(), reparent->window) !=
                           timeline.shown.end()) {
                    timeline.withdrawn.push_back(reparent->window);
                }
                break;
            }
            case XCB_MAP_NOTIFY: {
                const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                if (map->event != m_x.root()) break;
                const auto client = clientOfFrame.find(map->window);
                const xcb_window_t window = client != clientOfFrame.end() ? client->second : map->window;
                if (!belongs(window)) break;
                if (std::find(timeline.shown.begin(), timeline.shown.end(), window) == timeline.shown.end())
                    timeline.shown.push_back(window);
                current = window;
                currentFrame = map->window;
                timeline.mainMappedMs = MillisecondsSince(start);
                break;
            }
            case XCB_UNMAP_NOTIFY: {
                const auto* unmap = reinterpret_cast<xcb_unmap_notify_event_t*>(event);
                if (unmap->event != m_x.root()) break;
                if (unmap->window == currentFrame) current = currentFrame = 0;
                break;
            }
            default:
                break;
            }
            std::free(event);
        }

        if (current != 0) {
            const auto client = m_x.RootGeometry(current);
            ++timeline.polls;
            WindowSamples& seen = samples[current];
            if (client && !seen.firstFrameMs) {
                const Image strip = m_x.Capture(SampleStrip(*client));
                const StripState state = ClassifyStrip(strip);
                const double now = MillisecondsSince(start);
                seen.samples.push_back(
                    StripSample{now, state, *client, strip.pixels.empty() ? 0u : strip.pixels.front()});
                if (state == StripState::Navy && !seen.navyMs) seen.navyMs = now;
                if (state == StripState::Rings) {
                    seen.firstFrameMs = now;
                    timeline.client = *client;
                    if (!untilText) break;
                }
            } else if (client && untilText) {
                const Rect band{client->x, client->y + client->height - kBottomBandRows, client->width,
                                kBottomBandRows};
                const Image image = m_x.Capture(band);
                int topmost = -1;
                for (int y = 0; y < image.height && topmost < 0; ++y)
                    for (int x = 0; x < image.width; ++x)
                        if (IsPureWhite(image.At(x, y))) {
                            topmost = y;
                            break;
                        }
                if (topmost >= 0) {
                    timeline.firstInkMs = MillisecondsSince(start);
                    timeline.firstInkRowsAboveBottom = image.height - topmost;
                    break;
                }
            }
        }
        std::this_thread::sleep_for(pollInterval);
    }

    timeline.main = current;
    if (current != 0) {
        const WindowSamples& seen = samples[current];
        timeline.navyMs = seen.navyMs;
        timeline.firstFrameMs = seen.firstFrameMs;
        timeline.samples = seen.samples;
    }
    return timeline;
}

} // namespace desktop
