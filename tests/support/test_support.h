#pragma once

#include "clock.h"
#include "headless_host.h"
#include "message_box.h"
#include "runtime.h"
#include "scripted_draws.h"

#ifdef VANTREL_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif
#include <filesystem>
#include <stdexcept>
#include <string>

namespace vantrel::testing {

namespace fs = std::filesystem;

// Makes sure a Qt application exists (offscreen in the tests) before
// anything touches fonts; a widgets one in the programs that test widgets.
inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "vantrel-tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) new TestApplication(argc, argv); // lives as long as the test program
}

// A runtime with no display: a manual clock, a message box that records,
// headless windows of one client size.
struct HeadlessRuntime {
    explicit HeadlessRuntime(QSize clientSize = QSize(320, 240), double devicePixelRatio = 1.0,
                             MediaControl* media = nullptr, std::string applicationPath = "/opt/vantrel")
        : hosts(clientSize, devicePixelRatio),
          runtime(Runtime::Services{&clock, &messages, &hosts, media, std::move(applicationPath), &draws}) {
        EnsureApplication();
    }

    ManualClock clock;
    RecordingMessageBox messages;
    HeadlessHostFactory hosts;
    ScriptedDraws draws;
    Runtime runtime;
};

// A fresh directory under the system's temporary directory, removed with
// everything in it when the test ends.
struct TempDir {
    std::string pattern = (fs::temp_directory_path() / "vantrel-test-XXXXXX").string();
    fs::path path = ::mkdtemp(pattern.data()) ?: throw std::runtime_error("mkdtemp failed");
    ~TempDir() { std::error_code ignored; fs::remove_all(path, ignored); }
};

inline constexpr const char* kTrackFileName = "Until The Dub.mp3";
// The two-second test phrase, in the tests' fixture directory.
inline fs::path FixtureTrack() { return fs::path(VANTREL_FIXTURE_DIR) / kTrackFileName; }

} // namespace vantrel::testing
