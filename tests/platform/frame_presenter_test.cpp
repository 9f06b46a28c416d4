#include "frame_presenter.h"
#include "surface.h"
#include "timer_control.h"
#include "timer_scheduler.h"

#include <QPainter>
#include <algorithm>
#include <gtest/gtest.h>
#include <list>
#include <optional>
#include <random>

namespace vantrel {
namespace {

// The display server as the presenter sees it, with a window: a refresh at
// a time, each answering the request out, copying a presented buffer's
// update region into the window. It checks that no buffer, and no surface
// image it shares, is drawn into while it holds it, and it may hold them
// for a few refreshes.
class FakeServer final : public PresentServer {
public:
    std::optional<BufferMemory> AddBuffer(QSize size) override {
        buffers.push_back({QImage(size, QImage::Format_RGB32), std::nullopt, 0});
        FitWindow(size);
        return BufferMemory{buffers.back().image.bits(), buffers.back().image.bytesPerLine()};
    }
    void ReleaseBuffers() override { buffers.clear(); }
    void PresentBuffer(int index, const std::vector<QRect>& update, uint64_t targetMsc) override {
        Present(buffers[index], index, update, targetMsc);
    }
    void NotifyAt(uint64_t targetMsc) override { Send(Request{targetMsc, kWait, {}, {}, {}}); }

    // Memory for a surface, shared with this server: the image returned
    // draws straight into it.
    QImage SharedSurfaceImage(QSize size) {
        QImage& memory = images.emplace_back(Held{QImage(size, QImage::Format_RGB32), std::nullopt, 0}).image;
        FitWindow(size);
        return QImage(memory.bits(), size.width(), size.height(), memory.bytesPerLine(), QImage::Format_RGB32);
    }
    // Whether a shared memory is the one `image` draws into.
    static auto Holds(const QImage& image) {
        return [bits = image.constBits()](const Held& held) { return held.image.constBits() == bits; };
    }
    bool SharesImage(const QImage& image) const override { return std::ranges::any_of(images, Holds(image)); }
    void PresentImage(const QImage& image, const std::vector<QRect>& update, uint64_t targetMsc) override {
        Present(*std::ranges::find_if(images, Holds(image)), kSharedImage, update, targetMsc);
    }

    // One refresh of the display. The report of it reaches the presenter
    // `lateUs` after the refresh, as when the machine is busy.
    void Refresh(FramePresenter& presenter, uint64_t lateUs = 0) {
        ++msc;
        for (size_t index = 0; index < buffers.size(); ++index) {
            if (LetGo(buffers[index])) presenter.OnIdle(static_cast<int>(index));
        }
        for (Held& image : images) {
            if (LetGo(image)) presenter.OnImageIdle();
        }
        clock->Set(static_cast<int64_t>(msc * periodUs + lateUs) * 1000);
        if (!out || out->targetMsc > msc) return;
        const Request request = *std::exchange(out, std::nullopt);
        // A frame sent before the window took another size is cut off by
        // it; the presenter then sends the next one whole.
        if (request.buffer != kWait && request.content.size() == window.size()) {
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
    void Present(Held& held, int buffer, const std::vector<QRect>& update, uint64_t targetMsc) {
        EXPECT_FALSE(held.whileHeld) << "buffer " << buffer << " presented again before it was let go";
        held.whileHeld = held.image.copy();
        held.refreshesLeft = holdFor;
        ++framesSent;
        Send(Request{targetMsc, buffer, update, surface->image().copy(), *held.whileHeld});
    }
    void FitWindow(QSize size) {
        if (window.size() == size) return;
        window = QImage(size, QImage::Format_RGB32);
        window.fill(Qt::red); // nothing shown yet
    }
    // Whether the server lets `held` go at this refresh.
    bool LetGo(Held& held) {
        if (!held.whileHeld || held.refreshesLeft-- > 0) return false;
        EXPECT_EQ(held.image, *held.whileHeld) << "drawn into while held";
        held.whileHeld.reset();
        return true;
    }
    // A request's buffer: an index, or one of these.
    static constexpr int kWait = -1, kSharedImage = -2;
    // frame is the surface when the frame was sent, content the buffer's as
    // the server holds it.
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
    Surface* surface = nullptr;
    ManualClock* clock = nullptr; // the program's, read in microseconds as the reports' ust
    std::vector<Held> buffers;
    std::list<Held> images; // shared with surfaces
    int framesSent = 0, framesShown = 0;
    QImage window;
    std::optional<Request> out;
    uint64_t msc = 1000, periodUs = 16'667;
    int holdFor = 0; // refreshes a presented buffer stays with the server
};

// The program's frame path in small: a scroll timer ticking on the
// presenter's clock, each tick drawing on a surface and showing it, and a
// circle timer on the wall clock. The surface draws in memory of its own,
// or in memory it shares with the server.
struct Display {
    Display(double hz, int holdFor, bool shared) : shared(shared) {
        Resize(QSize(200, 120));
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
    void Resize(QSize size) {
        surface.Reset(size, 1.0, qRgb(0, 0, 128), shared ? server.SharedSurfaceImage(size) : QImage());
    }
    // One refresh, and whatever the wall clock has made due by then.
    void Refresh(uint64_t lateUs = 0) {
        server.Refresh(presenter, lateUs);
        timers.RunDue();
    }
    ManualClock wallClock;
    TimerScheduler timers{wallClock, 1000.0 / 60.0};
    Timer scroll{TimerDesign{"tmrScroll", 1, true}}, circle{TimerDesign{"tmrCircle", 50, true}};
    FakeServer server;
    bool shared;
    Surface surface{QSize(), 1.0, qRgb(0, 0, 128)};
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
    // A surface shared with the server keeps this pace where the server lets
    // a frame go before the next tick, as one copying frames does.
    for (const auto& [hz, refreshes, holdFor, shared] :
         {std::tuple{60.0, 1, 0, false}, {75.0, 1, 1, false}, {144.0, 2, 3, false}, {240.0, 4, 1, false},
          {60.0, 1, 3, false}, {30.0, 1, 0, false}, {59.94, 1, 1, false}, {90.0, 2, 0, false}, {100.0, 2, 1, false},
          {120.0, 2, 3, false}, {165.0, 3, 0, false}, {360.0, 6, 1, false}, {60.0, 1, 0, true}, {75.0, 1, 0, true},
          {144.0, 2, 1, true}, {240.0, 4, 3, true}, {59.94, 1, 0, true}}) {
        SCOPED_TRACE(::testing::Message() << hz << " Hz, buffers held for " << holdFor << " refreshes"
                                          << (shared ? ", surface shared" : ""));
        Display display(hz, holdFor, shared);
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
                display.Resize(QSize(170, 100));
                display.presenter.OnWindowResized(QSize(170, 100));
            }
            const int sent = display.server.framesSent;
            display.Refresh();
            EXPECT_TRUE(display.onScreen || display.server.framesSent == sent) << "a covered window was sent a frame";
        }
        EXPECT_GE(display.ticks - ticksBefore, 290 / refreshes); // covered or not, held or not, the roll moves
        EXPECT_GT(display.server.framesShown - shownBefore, 200 / (holdFor + 1) / refreshes);
        // No buffer for a shared surface; a second only for a server that
        // holds the first past the next tick.
        EXPECT_EQ(display.server.buffers.size(), shared ? 0u : holdFor < refreshes ? 1u : 2u);
        display.presenter.Stop(); // hidden
        EXPECT_TRUE(display.server.buffers.empty());
    }
}

// A server that holds a shared surface past the next tick: the tick waits
// until it lets the frame go, so it never draws on what the server reads,
// an expose meanwhile is not sent before then either, and each frame still
// shows as composed.
TEST(FramePresenter, ASharedSurfaceHeldByTheServerDelaysTheTick) {
    Display display(60.0, 2, true);
    for (int refresh = 0; refresh < 90; ++refresh) {
        if (refresh % 10 == 5) display.presenter.ShowAll(display.surface.image());
        display.Refresh();
    }
    EXPECT_NEAR(display.ticks, 30, 1);
    EXPECT_GT(display.server.framesShown, 25);
    EXPECT_TRUE(display.server.buffers.empty());
}

} // namespace
} // namespace vantrel
