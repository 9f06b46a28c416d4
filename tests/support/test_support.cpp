#include "test_support.h"

#include <QApplication>

namespace vantrel::testing {

void EnsureApplication() {
    if (QApplication::instance() != nullptr) return;
    static int argc = 1;
    static char name[] = "vantrel-tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives as long as the test program
}

HeadlessRuntime::HeadlessRuntime(QSize clientSize, double devicePixelRatio, MediaControl* media,
                                 std::string applicationPath)
    : hosts(clientSize, devicePixelRatio),
      runtime(Runtime::Services{&clock, &messages, &hosts, media, std::move(applicationPath)}) {
    EnsureApplication();
}

} // namespace vantrel::testing
