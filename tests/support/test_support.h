#pragma once

#include "clock.h"
#include "form_host.h"
#include "message_box.h"
#include "runtime.h"

#include <QSize>
#include <memory>
#include <string>

namespace vantrel::testing {

// Makes sure a QApplication exists (offscreen in the tests) before anything
// touches fonts or widgets.
void EnsureApplication();

// A runtime with no display: a manual clock, a message box that records,
// headless windows of one client size.
struct HeadlessRuntime {
    explicit HeadlessRuntime(QSize clientSize = QSize(320, 240), double devicePixelRatio = 1.0,
                             MediaControl* media = nullptr, std::string applicationPath = "/opt/vantrel");

    ManualClock clock;
    RecordingMessageBox messages;
    HeadlessHostFactory hosts;
    Runtime runtime;
};

} // namespace vantrel::testing
