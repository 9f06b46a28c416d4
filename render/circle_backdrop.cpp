#include "circle_backdrop.h"

#include "conversions.h"
#include "failure_report.h"
#include "form.h"

namespace vantrel {
namespace {

constexpr double kWidthFactor = 10;
constexpr double kRedFactor = 40;
constexpr double kGreenFactor = 15;
constexpr double kBlueFactor = 255;

} // namespace

void DrawRandomCircles(Runtime& runtime, Form& scene) {
    Trapped(runtime, "DrawRandomCircles", [&] {
        RandomSource& random = runtime.Random();
        const double widthDraw = random.Next();
        scene.SetDrawWidth(CInt(Int(widthDraw * kWidthFactor) + 1));

        const double redDraw = random.Next();
        const double greenDraw = random.Next();
        const double blueDraw = random.Next();
        scene.SetForeColor(MakeColour(CInt(redDraw * kRedFactor), CInt(greenDraw * kGreenFactor),
                                      CInt(blueDraw * kBlueFactor)));

        const float width = scene.ScaleWidth();
        const float height = scene.ScaleHeight();
        const auto radius = static_cast<float>(static_cast<double>(random.Next()) * height);
        scene.Circle(width / 2.0f, height / 2.0f, radius);
    });
}

void PaintInitialBackdrop(Runtime& runtime, Form& scene) {
    scene.Cls();
    for (int circle = 1; circle <= kInitialCircles; ++circle) DrawRandomCircles(runtime, scene);
}

} // namespace vantrel
