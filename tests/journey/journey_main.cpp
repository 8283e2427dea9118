// The journey's own entry point: QRN runs as it would for a presenter on a full-HD screen, in a
// home, runtime and temporary folder of its own, with the test devices for camera and microphone.
// Unlike the other test programs there is no per-test reset: the journey is one launch after
// another, as a presenter's process would see them.
#include <QApplication>
#include <QTemporaryDir>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

#include "support/own_folders.h"

int main(int argc, char** argv) {
    QTemporaryDir root;
    if (!root.isValid())
        return 2;
    const std::filesystem::path base = root.path().toStdString();
    useFoldersOfItsOwn(base);
    // The offscreen platform's screen is 800 x 600 unless told otherwise; a presenter's is larger.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || std::string(platform) == "offscreen") {
        const auto config = base / "offscreen.json";
        std::ofstream(config) << R"({"screens": [{"name": "journey", "x": 0, "y": 0, "width": 1920,
            "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
        setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config.string()).c_str(), 1);
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
