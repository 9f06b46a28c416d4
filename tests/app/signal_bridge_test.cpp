#include "signal_bridge.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

namespace vantrel {
namespace {

// SIGTERM becomes one call on the event loop, and only one, whether the
// bridge has its socket or, with no descriptor left to make one, says so and
// looks for it on a timer.
TEST(SignalBridge, ASigtermBecomesOneCallOnTheEventLoopWithOrWithoutItsSocket) {
    testing::EnsureApplication();
    for (const bool descriptorsLeft : {true, false}) {
        SCOPED_TRACE(descriptorsLeft ? "with its socket" : "without");
        ::testing::internal::CaptureStderr();
        rlimit saved{}, limit{};
        ::getrlimit(RLIMIT_NOFILE, &saved);
        limit = saved;
        if (!descriptorsLeft) limit.rlim_cur = ::dup(0), ::close(static_cast<int>(limit.rlim_cur));
        ::setrlimit(RLIMIT_NOFILE, &limit);
        int calls = 0;
        {
            SignalBridge bridge([&] { ++calls; });
            ::setrlimit(RLIMIT_NOFILE, &saved);
            QTimer bound; // long enough for the fallback to look several times
            QObject::connect(&bound, &QTimer::timeout, [] { QCoreApplication::exit(); });
            bound.start(300);
            ::raise(SIGTERM);
            QCoreApplication::exec();
        }
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(said.starts_with("vantrel-credits: no socket for SIGTERM and SIGINT"), !descriptorsLeft) << said;
    }
}

} // namespace
} // namespace vantrel
