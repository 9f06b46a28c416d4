#include "frame_pacer.h"
#include "frame_presenter.h"
#include "surface.h"
#include "timer_control.h"
#include "timer_scheduler.h"

#include <QPainter>
#include <algorithm>
#include <gtest/gtest.h>
#include <deque>
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
    // A buffer, or a surface's memory shared with the server; while the
    // server holds it, the pixels it had when presented.
    struct Memory { QImage image; std::optional<QImage> held; int refreshesLeft = 0; };
    // A frame: the surface as it was when sent, and the memory's pixels as
    // the server holds them; a plain wait has neither. One to be shown at
    // once is shown at the next refresh here, as any whose target has passed.
    struct Request { uint64_t targetMsc; std::vector<QRect> update; QImage frame, content; bool atOnce = false; };

    std::optional<BufferMemory> AddBuffer(QSize size) override {
        QImage& image = Make(buffers, size);
        return BufferMemory{image.bits(), image.bytesPerLine()};
    }
    void ReleaseBuffers() override { buffers.clear(); }
    void PresentBuffer(int index, const std::vector<QRect>& update, uint64_t targetMsc, bool atOnce) override {
        Present(buffers[index], update, targetMsc, atOnce);
    }
    void NotifyAt(uint64_t targetMsc) override { Send({targetMsc, {}, {}, {}}); }
    // Memory for a surface, shared with this server: the image returned
    // draws straight into it.
    QImage SharedSurfaceImage(QSize size) {
        QImage& memory = Make(images, size);
        return QImage(memory.bits(), size.width(), size.height(), memory.bytesPerLine(), QImage::Format_RGB32);
    }
    bool SharesImage(const QImage& image) const override {
        return std::ranges::any_of(images, [&](const Memory& shared) { return shared.image.constBits() == image.constBits(); });
    }
    void PresentImage(const QImage& image, const std::vector<QRect>& update, uint64_t targetMsc, bool atOnce) override {
        for (Memory& memory : images)
            if (memory.image.constBits() == image.constBits()) Present(memory, update, targetMsc, atOnce);
    }

    // One refresh of the display. The report of it reaches the presenter
    // `lateUs` after the refresh, as when the machine is busy.
    void Refresh(FramePresenter& presenter, uint64_t lateUs = 0) {
        ++msc;
        for (size_t index = 0; index < buffers.size(); ++index)
            if (LetGo(buffers[index])) presenter.OnIdle(static_cast<int>(index));
        for (Memory& image : images)
            if (LetGo(image)) presenter.OnImageIdle();
        clock->Set(static_cast<int64_t>(msc * periodUs + lateUs) * 1000);
        if (!out || out->targetMsc > msc) return;
        const Request request = *std::exchange(out, std::nullopt);
        // A frame sent before the window took another size is cut off by
        // it; the presenter then sends the next one whole.
        if (!request.content.isNull() && request.content.size() == window.size()) {
            QPainter painter(&window);
            for (const QRect& rect : request.update) painter.drawImage(rect, request.content, rect);
            painter.end();
            ++framesShown, lastFrameMsc = msc;
            EXPECT_EQ(window, request.frame) << "frame " << framesShown << " not shown as composed";
        }
        presenter.OnRefresh(msc, msc * periodUs, false);
    }
    QImage& Make(std::deque<Memory>& memories, QSize size) {
        if (window.size() != size) window = QImage(size, QImage::Format_RGB32), window.fill(Qt::red); // none shown yet
        return memories.emplace_back(Memory{QImage(size, QImage::Format_RGB32), std::nullopt, 0}).image;
    }
    void Present(Memory& memory, const std::vector<QRect>& update, uint64_t targetMsc, bool atOnce) {
        EXPECT_FALSE(memory.held) << "presented again before it was let go";
        EXPECT_TRUE(framesShown == 0 || msc < 1060 || targetMsc >= lastFrameMsc + tickSpan) << "frames less than a tick apart";
        memory.held = memory.image.copy(), memory.refreshesLeft = holdFor, ++framesSent;
        Send({targetMsc, update, surface->Image().copy(), *memory.held, atOnce});
    }
    // Whether the server lets `memory` go at this refresh.
    bool LetGo(Memory& memory) {
        if (!memory.held || memory.refreshesLeft-- > 0) return false;
        EXPECT_EQ(memory.image, *memory.held) << "drawn into while held";
        memory.held.reset();
        return true;
    }
    // A frame may take the place of a plain wait, and only of one.
    void Send(Request request) {
        EXPECT_TRUE(!out || (out->frame.isNull() && !request.frame.isNull())) << "two requests out";
        out = std::move(request);
    }
    Surface* surface = nullptr;
    ManualClock* clock = nullptr; // the program's, read in microseconds as the reports' ust
    std::deque<Memory> buffers, images; // images: shared with surfaces
    int framesSent = 0, framesShown = 0;
    QImage window;
    std::optional<Request> out;
    uint64_t msc = 1000, periodUs = 16'667, lastFrameMsc = 0, tickSpan = 1; // refreshes a tick, once measured
    int holdFor = 0; // refreshes a presented buffer stays with the server
};

// The program's frame path in small: a scroll timer ticking on the
// presenter's pacer, each tick drawing on a surface and showing it, and a
// circle timer on the wall clock. The surface draws in memory of its own,
// or in memory it shares with the server. A second window's pacer, started
// while the presenter's drives the timers, hears the same refreshes and
// drives nothing.
struct Display {
    Display(double hz, int refreshes, int holdFor, bool shared) : shared(shared) {
        Resize(QSize(200, 120));
        server.periodUs = static_cast<uint64_t>(1e6 / hz), server.holdFor = holdFor, server.tickSpan = refreshes;
        server.surface = &surface, server.clock = &wallClock;
        scroll.SetHandler([this] {
            ++ticks;
            surface.StrokeCircle({static_cast<int>(random() % 200), static_cast<int>(random() % 120),
                                  static_cast<double>(random() % 90), static_cast<int>(1 + random() % 4)},
                                 qRgb(random() % 41, random() % 16, random() % 256));
            presenter.Show(surface.Image(), surface.TakeDamage(), onScreen);
        });
        circle.SetHandler([this] { ++circles; });
        timers.Add(scroll), timers.Add(circle);
        presenter.ShowAll(surface.Image()); // the first expose
        other.Start();
    }
    void Resize(QSize size) {
        surface.Reset(size, 1.0, qRgb(0, 0, 128), shared ? server.SharedSurfaceImage(size) : QImage());
    }
    // One refresh, and whatever the wall clock has made due by then.
    void Refresh(uint64_t lateUs = 0) {
        server.Refresh(presenter, lateUs);
        other.OnRefresh(server.msc, server.msc * server.periodUs);
        timers.RunDue();
    }
    ManualClock wallClock;
    TimerScheduler timers{wallClock, 1000.0 / 60.0};
    Timer scroll{TimerDesign{"tmrScroll", 1, true}}, circle{TimerDesign{"tmrCircle", 50, true}};
    FakeServer server;
    bool shared;
    Surface surface{QSize(), 1.0, qRgb(0, 0, 128)};
    FramePresenter presenter{server, timers};
    FramePacer other{timers};
    std::mt19937 random{11};
    int ticks = 0, circles = 0;
    bool onScreen = true;
};

// At each display rate, and whether the server lets buffers go at once or
// holds them: the roll ticks once every N refreshes, N the whole number that
// brings the ticks nearest to 60 a second, a report taken in late
// brings no catch-up, the circle timer keeps its wall-clock period, and
// every frame that reaches the window shows the surface exactly as it was
// composed, also after the window was covered for a while, after an expose
// and after it took another size; a covered window is sent nothing. Hidden,
// the window hands the roll back to the wall clock.
TEST(FramePresenter, OneTickEveryNRefreshesAndEveryFrameShownAsComposed) {
    // A surface shared with the server keeps this pace where the server lets
    // a frame go before the next tick, as one copying frames does; where it
    // holds the frame longer, the tick waits until it lets go, so that it
    // never draws on what the server reads.
    for (const auto& [hz, refreshes, holdFor, shared] :
         {std::tuple{60.0, 1, 0, false}, {75.0, 1, 1, false}, {144.0, 2, 3, false}, {240.0, 4, 1, false},
          {60.0, 1, 3, false}, {30.0, 1, 0, false}, {59.94, 1, 1, false}, {120.0, 2, 3, false}, {165.0, 3, 0, false},
          {360.0, 6, 1, false}, {60.0, 1, 0, true}, {144.0, 2, 1, true}, {240.0, 4, 3, true}, {60.0, 1, 2, true}}) {
        SCOPED_TRACE(::testing::Message() << hz << " Hz, buffers held for " << holdFor << " refreshes"
                                          << (shared ? ", surface shared" : ""));
        Display display(hz, refreshes, holdFor, shared);
        const int perTick = shared ? std::max(refreshes, holdFor + 1) : refreshes;
        for (int refresh = 0; refresh < 60; ++refresh) display.Refresh();
        const int before = display.ticks;
        for (int refresh = 0; refresh < 24 * perTick; ++refresh) display.Refresh();
        EXPECT_EQ(display.ticks - before, 24);
        // A report taken in late: the frame goes to the refresh after the
        // one that has passed meanwhile, and the next report brings one
        // tick, not two.
        while (perTick == refreshes && display.server.out->targetMsc > display.server.msc + 1) display.Refresh();
        display.Refresh(display.server.periodUs * (2 * refreshes + 1) / 2);
        ASSERT_TRUE(display.server.out);
        EXPECT_TRUE(perTick > refreshes || display.server.out->targetMsc == display.server.msc + refreshes + 1);
        const int beforeLate = display.ticks;
        for (int refresh = 0; refresh <= perTick; ++refresh) display.Refresh();
        EXPECT_EQ(display.ticks - beforeLate, 1);
        const double elapsedMs = (display.server.msc - 1000) * display.server.periodUs / 1000.0;
        EXPECT_NEAR(display.circles, elapsedMs / 50, 1.5);
        const int ticksBefore = display.ticks, shownBefore = display.server.framesShown;
        for (int refresh = 0; refresh < 300; ++refresh) {
            display.onScreen = refresh % 100 < 80 || refresh % 100 >= 95;
            if (refresh == 150) display.Resize(QSize(170, 100)), display.presenter.OnWindowResized(QSize(170, 100));
            if (refresh % 10 == 5) display.presenter.ShowAll(display.surface.Image()); // an expose
            // Uncovered after a while, with only a plain wait out: a shared image
            // goes at once; a second paint (as Qt may) waits a whole tick after it.
            if (refresh % 100 == 95) display.presenter.ShowAll(display.surface.Image());
            EXPECT_TRUE(refresh % 100 != 95 || !shared ||
                        (display.server.out->atOnce && display.server.out->targetMsc <= display.server.msc + 1));
            const int sent = display.server.framesSent;
            display.Refresh();
            EXPECT_TRUE(display.onScreen || display.server.framesSent == sent) << "a covered window was sent a frame";
        }
        // Covered or not, held or not, the roll moves; a shared image sent at
        // once on each of the six exposes of a covered window may hold the next
        // tick up for as long as the server holds it.
        EXPECT_GE(display.ticks - ticksBefore, (290 - (shared ? 6 * holdFor : 0)) / perTick);
        EXPECT_GT(display.server.framesShown - shownBefore, 200 / (holdFor + 1) / refreshes);
        // No buffer for a shared surface; a second only for a server that
        // holds the first past the next tick.
        EXPECT_EQ(display.server.buffers.size(), shared ? 0u : holdFor < refreshes ? 1u : 2u);
        display.presenter.Stop(); // hidden
        EXPECT_TRUE(display.server.buffers.empty());
        const int hidden = display.ticks;
        display.wallClock.Advance(100'000'000);
        display.timers.RunDue();
        EXPECT_EQ(display.ticks - hidden, 1);
    }
}

} // namespace
} // namespace vantrel
