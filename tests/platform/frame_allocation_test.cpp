// A steady frame allocates nothing: this test program counts every
// allocation through operator new while the whole program, on a headless
// window, runs scroll ticks paced by a frame presenter whose server shares
// the display's surface, as on the X Present path.

#include "frame_presenter.h"
#include "headless_program.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>

namespace {
std::atomic<uint64_t> g_allocations{0};
} // namespace

// Every form is replaced, not only those libstdc++'s others come down to:
// under AddressSanitizer a form left out is the sanitizer's, whose memory
// must not reach our delete (the scheduler's stable sort takes its buffer
// from the nothrow new).
void* operator new(std::size_t size) {
    ++g_allocations;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    ++g_allocations;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

namespace vantrel {
namespace {

// Shows the surface's own memory, as the X server shows a shared pixmap.
class SharingServer final : public PresentServer {
public:
    std::optional<BufferMemory> AddBuffer(QSize) override { return std::nullopt; }
    void ReleaseBuffers() override {}
    void PresentBuffer(int, const std::vector<QRect>&, uint64_t, bool) override {}
    void NotifyAt(uint64_t) override {}
    bool SharesImage(const QImage&) const override { return true; }
    void PresentImage(const QImage&, const std::vector<QRect>&, uint64_t, bool) override { ++frames; }
    int frames = 0;
};

// Over more than a whole turn of the roll, after one to warm up: the lines
// come into view, leave it, and the roll jumps back. The server lets each
// frame go at the next refresh.
TEST(FrameAllocation, ASteadyScrollTickAllocatesNothing) {
    constexpr int kTicks = 3000;
    HeadlessProgram program;
    program.StartUp();
    program.RunScrollTicks(kTicks);
    SharingServer server;
    FramePresenter presenter(server, program.runtime.Timers());
    program.DisplayWindow().ListenToFrames([&](const auto& damage) { presenter.Show(program.Frame(), damage, true); });
    program.RunScrollTicks(1); // the presenter's first frame: from now on its refreshes pace the scroll
    const int ticks = program.ScrollTicks();
    uint64_t allocations = 0;
    for (uint64_t msc = 1; msc <= 60 + kTicks; ++msc) {
        if (msc == 60) allocations = g_allocations;
        program.clock.Advance(16'666'667);
        presenter.OnImageIdle();
        presenter.OnRefresh(msc, static_cast<uint64_t>(program.clock.NowNs() / 1000), false);
    }
    EXPECT_EQ(g_allocations - allocations, 0u);
    EXPECT_EQ(program.ScrollTicks() - ticks, 60 + kTicks);
    EXPECT_GT(server.frames, kTicks / 2);
}

} // namespace
} // namespace vantrel
