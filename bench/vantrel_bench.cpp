// Micro-benchmarks of the per-frame and start-up work, headless. Every
// figure is also put beside a plain copy of the same frame's bytes, made in
// the same binary, so that machines of different speed compare.

#include "circle_backdrop.h"
#include "frame_composition.h"
#include "headless_program.h"
#include "scroll_tick.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

namespace vantrel {
namespace {

// The program after start-up with no display, at a given client size and
// device-pixel ratio, with the roll brought back to its designed place on
// the scene so that every frame prints the lines where they show.
struct HeadlessScene {
    HeadlessScene(QSize clientSize, double devicePixelRatio) : program(clientSize, devicePixelRatio) {
        program.StartUp();
        for (Control* control : scene.Controls()) {
            if (Label* label = control->AsLabel()) label->SetTop(label->Top() - scene.ScaleHeight());
        }
    }

    HeadlessProgram program;
    Runtime& runtime = program.runtime;
    Form& scene = program.forms.frmCredits;
    Form& display = program.forms.frmDisplay;
};

void ComposeFrameBenchmark(benchmark::State& state, QSize size, double ratio) {
    HeadlessScene headless(size, ratio);
    PaintInitialBackdrop(headless.runtime, headless.scene);
    for (auto _ : state) ComposeFrame(headless.scene, headless.display);
    state.counters["copied_px_per_frame"] = benchmark::Counter(
        static_cast<double>(headless.display.DrawingSurface().CopiedPixels()), benchmark::Counter::kAvgIterations);
}

void FrameCopyBenchmark(benchmark::State& state, QSize size) {
    const size_t bytes = static_cast<size_t>(size.width()) * static_cast<size_t>(size.height()) * 4;
    std::vector<char> source(bytes, 1), target(bytes, 0);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
}

void ActivationBenchmark(benchmark::State& state, QSize size) {
    HeadlessScene headless(size, 1.0);
    for (auto _ : state) {
        PaintInitialBackdrop(headless.runtime, headless.scene);
        benchmark::DoNotOptimize(headless.scene.DrawingSurface().Image().constBits()); // every circle drawn
    }
}

void CircleTickBenchmark(benchmark::State& state, QSize size) {
    HeadlessScene headless(size, 1.0);
    PaintInitialBackdrop(headless.runtime, headless.scene);
    for (auto _ : state) {
        DrawRandomCircles(headless.runtime, headless.scene);
        benchmark::DoNotOptimize(headless.scene.DrawingSurface().Image().constBits()); // the circle drawn
    }
}

// One scroll tick as the program runs it: the roll moves a step, wraps when
// it has left the top, and the frame is composed. The roll is brought up
// until it fills the window, and the ticks measured keep it there.
constexpr int kScrollTicksOnScreen = 400;

void ScrollTickBenchmark(benchmark::State& state, QSize size) {
    HeadlessScene headless(size, 1.0);
    PaintInitialBackdrop(headless.runtime, headless.scene);
    for (int tick = 0; tick < 420; ++tick) MoveRoll(headless.scene); // the roll well on screen
    const uint64_t copiedBefore = headless.display.DrawingSurface().CopiedPixels();
    for (auto _ : state) {
        MoveRoll(headless.scene);
        ComposeFrame(headless.scene, headless.display);
    }
    state.counters["copied_px_per_frame"] =
        benchmark::Counter(static_cast<double>(headless.display.DrawingSurface().CopiedPixels() - copiedBefore),
                           benchmark::Counter::kAvgIterations);
}

void RegisterAll() {
    const QSize fullHd(1920, 1080), ultraHd(3840, 2160);
    benchmark::RegisterBenchmark("ComposeFrame/1920x1080", ComposeFrameBenchmark, fullHd, 1.0);
    benchmark::RegisterBenchmark("ComposeFrame/3840x2160", ComposeFrameBenchmark, ultraHd, 1.0);
    benchmark::RegisterBenchmark("ComposeFrame/1920x1080@2x", ComposeFrameBenchmark, fullHd, 2.0);
    benchmark::RegisterBenchmark("FrameCopy/1920x1080", FrameCopyBenchmark, fullHd);
    benchmark::RegisterBenchmark("FrameCopy/3840x2160", FrameCopyBenchmark, ultraHd);
    benchmark::RegisterBenchmark("Activation/1920x1080", ActivationBenchmark, fullHd)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Activation/3840x2160", ActivationBenchmark, ultraHd)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CircleTick/1920x1080", CircleTickBenchmark, fullHd);
    benchmark::RegisterBenchmark("ScrollTick/1920x1080", ScrollTickBenchmark, fullHd)->Iterations(kScrollTicksOnScreen);
}

} // namespace
} // namespace vantrel

int main(int argc, char** argv) {
    vantrel::RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
