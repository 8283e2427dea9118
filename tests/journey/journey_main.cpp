// The journey's own entry point: QRN runs as it would for a presenter on a full-HD screen, in a
// home, runtime and temporary folder of its own, with the test devices for camera and microphone.
// Unlike the other test programs there is no per-test reset: the journey is one launch after
// another, as a presenter's process would see them.
#include <QApplication>
#include <QTemporaryDir>

#include <filesystem>
#include <gtest/gtest.h>

#include "support/own_folders.h"

int main(int argc, char** argv) {
    QTemporaryDir root;
    if (!root.isValid())
        return 2;
    const std::filesystem::path base = root.path().toStdString();
    useFoldersOfItsOwn(base);
    useAPresentersScreenOffscreen(base);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
