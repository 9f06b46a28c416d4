// vantrel-credits-snapshot: renders, with no display, the frame the credits
// window shows after a number of scroll ticks, to a PNG file. The same
// arguments always give the same bytes.
//
//   vantrel-credits-snapshot TICKS OUTPUT.png [WIDTHxHEIGHT] [DEVICE_PIXEL_RATIO]

#include "headless_program.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: vantrel-credits-snapshot TICKS OUTPUT.png [WIDTHxHEIGHT] [DEVICE_PIXEL_RATIO]\n"
    "  renders the frame shown after TICKS scroll ticks (default 1920x1080 at ratio 1)\n";

bool ParseSize(const std::string& text, QSize& size) {
    int width = 0, height = 0;
    char separator = 0;
    if (std::sscanf(text.c_str(), "%d%c%d", &width, &separator, &height) != 3 || separator != 'x') return false;
    if (width < 1 || height < 1 || width > 16384 || height > 16384) return false;
    size = QSize(width, height);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 5) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    char* end = nullptr;
    const long ticks = std::strtol(argv[1], &end, 10);
    QSize size(1920, 1080);
    double ratio = argc > 4 ? std::strtod(argv[4], nullptr) : 1.0;
    if (*end != '\0' || ticks < 0 || ticks > 10'000'000 || (argc > 3 && !ParseSize(argv[3], size)) ||
        !(ratio >= 1.0 && ratio <= 4.0)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    QGuiApplication application(qtArgc, argv);
    vantrel::HeadlessProgram run(size, ratio, QCoreApplication::applicationDirPath().toStdString());
    run.StartUp();
    run.RunScrollTicks(static_cast<int>(ticks));
    if (!run.Frame().save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "vantrel-credits-snapshot: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
