// The test programs' entry point: every test runs headless, whatever the
// environment it is started from, and never makes a sound.

#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    ::setenv("QT_LOGGING_RULES", "qt.qpa.*=false", 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
