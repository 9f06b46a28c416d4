#include "frame_presenter.h"
#include "surface.h"
#include "timer_control.h"
#include "timer_scheduler.h"

#include <QPainter>
#include <gtest/gtest.h>
#include <optional>
#include <random>

namespace vantrel {
namespace {

// The display server as the presenter sees it, with a window: a refresh at
// a time, each answering the request out, copying a presented buffer's
// update region into the window. It checks that no buffer is drawn into
// while it holds it, and it may hold buffers for a few refreshes.
class FakeServer final : public PresentServer {
public:
    std::optional<BufferMemory> AddBuffer(QSize size) override {
        buffers.push_back({QImage(size, QImage::Format_RGB32), std::nullopt, 0});
        if (window.size() != size) {
            window = QImage(size, QImage::Format_RGB32);
            window.fill(Qt::red); // nothing shown yet
        }
        return BufferMemory{buffers.back().image.bits(), buffers.back().image.bytesPerLine()};
    }
    void ReleaseBuffers() override { buffers.clear(); }
    void PresentBuffer(int index, const std::vector<QRect>& update, uint64_t targetMsc) override {
        Held& held = buffers[index];
        EXPECT_FALSE(held.whileHeld) << "buffer " << index << " presented again before it was let go";
        held.whileHeld = held.image.copy();
        held.refreshesLeft = holdFor;
        ++framesSent;
        Send(Request{targetMsc, index, update, surface->image().copy(), *held.whileHeld});
    }
    void NotifyAt(uint64_t targetMsc) override { Send(Request{targetMsc, -1, {}, {}, {}}); }

    // One refresh of the display. The report of it reaches the presenter
    // `lateUs` after the refresh, as when the machine is busy.
    void Refresh(FramePresenter& presenter, uint64_t lateUs = 0) {
        ++msc;
        for (size_t index = 0; index < buffers.size(); ++index) {
            Held& held = buffers[index];
            if (!held.whileHeld || held.refreshesLeft-- > 0) continue;
            EXPECT_EQ(held.image, *held.whileHeld) << "buffer " << index << " drawn into while held";
            held.whileHeld.reset();
            presenter.OnIdle(static_cast<int>(index));
        }
        clock->Set(static_cast<int64_t>(msc * periodUs + lateUs) * 1000);
        if (!out || out->targetMsc > msc) return;
        const Request request = *std::exchange(out, std::nullopt);
        // A frame sent before the window took another size is cut off by
        // it; the presenter then sends the next one whole.
        if (request.buffer >= 0 && request.content.size() == window.size()) {
            QPainter painter(&window);
            for (const QRect& rect : request.update) painter.drawImage(rect, request.content, rect);
            painter.end();
            ++framesShown;
            EXPECT_EQ(window, request.frame) << "frame " << framesShown << " not shown as composed";
        }
        presenter.OnRefresh(msc, msc * periodUs, false);
    }

    struct Held {
        QImage image;
        std::optional<QImage> whileHeld;
        int refreshesLeft = 0;
    };
    // buffer -1 is a plain wait; frame is the surface when the frame was
    // sent, content the buffer's as the server holds it.
    struct Request {
        uint64_t targetMsc;
        int buffer;
        std::vector<QRect> update;
        QImage frame, content;
    };
    void Send(Request request) {
        EXPECT_FALSE(out) << "two requests out";
        out = std::move(request);
    }
    const Surface* surface = nullptr;
    ManualClock* clock = nullptr; // the program's, read in microseconds as the reports' ust
    std::vector<Held> buffers;
    int framesSent = 0, framesShown = 0;
    QImage window;
    std::optional<Request> out;
    uint64_t msc = 1000, periodUs = 16'667;
    int holdFor = 0; // refreshes a presented buffer stays with the server
};

// The program's frame path in small: a scroll timer ticking on the
// presenter's clock, each tick drawing on a surface and showing it, and a
// circle timer on the wall clock.
struct Display {
    Display(double hz, int holdFor) {
        server.periodUs = static_cast<uint64_t>(1e6 / hz);
        server.holdFor = holdFor;
        server.surface = &surface;
        server.clock = &wallClock;
        scroll.onTimer = [this] {
            ++ticks;
            surface.StrokeCircle({static_cast<int>(random() % 200), static_cast<int>(random() % 120),
                                  static_cast<double>(random() % 90), static_cast<int>(1 + random() % 4)},
                                 qRgb(random() % 41, random() % 16, random() % 256));
            presenter.Show(surface.image(), surface.TakeDamage(), onScreen);
        };
        circle.onTimer = [this] { ++circles; };
        timers.Add(scroll);
        timers.Add(circle);
        presenter.ShowAll(surface.image()); // the first expose
    }
    // One refresh, and whatever the wall clock has made due by then.
    void Refresh(uint64_t lateUs = 0) {
        server.Refresh(presenter, lateUs);
        timers.RunDue();
    }
    ManualClock wallClock;
    TimerScheduler timers{wallClock, 1000.0 / 60.0};
    Timer scroll{TimerDesign{"tmrScroll", 1, true}}, circle{TimerDesign{"tmrCircle", 50, true}};
    Surface surface{QSize(200, 120), 1.0, qRgb(0, 0, 128)};
    FakeServer server;
    FramePresenter presenter{server, &timers};
    std::mt19937 random{11};
    int ticks = 0, circles = 0;
    bool onScreen = true;
};

// At each display rate, and whether the server lets buffers go at once or
// holds them: the roll ticks once every N refreshes, N the whole number that
// brings the ticks nearest to 60 a second, a report taken in late
// brings no catch-up, the circle timer keeps its wall-clock period, and
// every frame that reaches the window shows the surface exactly as it was
// composed, also after the window was covered for a while and after it took
// another size; a covered window is sent nothing.
TEST(FramePresenter, OneTickEveryNRefreshesAndEveryFrameShownAsComposed) {
    for (const auto& [hz, refreshes, holdFor] :
         {std::tuple{60.0, 1, 0}, {75.0, 1, 1}, {144.0, 2, 3}, {240.0, 4, 1}, {60.0, 1, 3}, {30.0, 1, 0}, {59.94, 1, 1},
          {90.0, 2, 0}, {100.0, 2, 1}, {120.0, 2, 3}, {165.0, 3, 0}, {360.0, 6, 1}}) {
        SCOPED_TRACE(::testing::Message() << hz << " Hz, buffers held for " << holdFor << " refreshes");
        Display display(hz, holdFor);
        for (int refresh = 0; refresh < 60; ++refresh) display.Refresh();
        const int before = display.ticks;
        for (int refresh = 0; refresh < 24 * refreshes; ++refresh) display.Refresh();
        EXPECT_EQ(display.ticks - before, 24);
        // A report taken in late: the frame goes to the refresh after the
        // one that has passed meanwhile, and the next report brings one
        // tick, not two.
        while (display.server.out->targetMsc > display.server.msc + 1) display.Refresh();
        display.Refresh(display.server.periodUs * (2 * refreshes + 1) / 2);
        ASSERT_TRUE(display.server.out);
        EXPECT_EQ(display.server.out->targetMsc, display.server.msc + refreshes + 1);
        const int beforeLate = display.ticks;
        for (int refresh = 0; refresh <= refreshes; ++refresh) display.Refresh();
        EXPECT_EQ(display.ticks - beforeLate, 1);
        const double elapsedMs = (display.server.msc - 1000) * display.server.periodUs / 1000.0;
        EXPECT_NEAR(display.circles, elapsedMs / 50, 1.5);
        const int ticksBefore = display.ticks, shownBefore = display.server.framesShown;
        for (int refresh = 0; refresh < 300; ++refresh) {
            display.onScreen = refresh % 100 < 80;
            if (refresh == 150) {
                display.surface.Reset(QSize(170, 100), 1.0, qRgb(0, 0, 128));
                display.presenter.OnWindowResized(QSize(170, 100));
            }
            const int sent = display.server.framesSent;
            display.Refresh();
            EXPECT_TRUE(display.onScreen || display.server.framesSent == sent) << "a covered window was sent a frame";
        }
        EXPECT_GE(display.ticks - ticksBefore, 290 / refreshes); // covered or not, held or not, the roll moves
        EXPECT_GT(display.server.framesShown - shownBefore, 200 / (holdFor + 1) / refreshes);
        // A second buffer only for a server that holds the first past the
        // next tick.
        EXPECT_EQ(display.server.buffers.size(), holdFor < refreshes ? 1u : 2u);
        display.presenter.Stop(); // hidden
        EXPECT_TRUE(display.server.buffers.empty());
    }
}

} // namespace
} // namespace vantrel
