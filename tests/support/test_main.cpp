// Test entry point: a QApplication on the offscreen platform, a manual main-queue clock and an
// in-memory user-defaults store, so every test starts from the same state.
#include <QApplication>
#include <QTemporaryDir>

#include <cstdlib>
#include <gtest/gtest.h>

#include "platform/foundation/main_queue.h"
#include "platform/foundation/user_defaults.h"

int main(int argc, char** argv) {
    // Test discovery runs the binary without the test environment.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir runtimeDir;
    runtimeDir.setAutoRemove(true);
    if (runtimeDir.isValid()) {
        setenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit().constData(), 1);
        // Keep any settings or desktop lists a test writes out of the user's home.
        setenv("XDG_CONFIG_HOME", runtimeDir.path().toLocal8Bit().constData(), 1);
        setenv("XDG_DATA_HOME", runtimeDir.path().toLocal8Bit().constData(), 1);
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    qrn::MainQueue::useManualClock();
    qrn::UserDefaults::useMemoryStore();
    return RUN_ALL_TESTS();
}
