#pragma once
// Gives the process folders of its own for settings, projects and runtime files, and the test
// camera and microphone, so that a run of the whole application touches nothing of the user's
// and no running QRN takes its launch.
#include <QtGlobal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

inline void useFoldersOfItsOwn(const std::filesystem::path& base) {
    for (const char* sub : {"home", "tmp", "runtime", "config", "data", "cache"})
        std::filesystem::create_directories(base / sub);
    std::filesystem::permissions(base / "runtime", std::filesystem::perms::owner_all);
    qputenv("HOME", (base / "home").c_str());
    qputenv("TMPDIR", (base / "tmp").c_str());
    qputenv("XDG_RUNTIME_DIR", (base / "runtime").c_str());
    qputenv("XDG_CONFIG_HOME", (base / "config").c_str());
    qputenv("XDG_DATA_HOME", (base / "data").c_str());
    qputenv("XDG_CACHE_HOME", (base / "cache").c_str());
    qputenv("QRN_TEST_DEVICES", "1");
}

// The offscreen platform's screen is 800 x 600 unless told otherwise, on which the editing
// screen's picture is a thumbnail; a presenter's is 1920 x 1080. Only when no other platform is
// asked for; the description is kept in `base`.
inline void useAPresentersScreenOffscreen(const std::filesystem::path& base) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && std::string(platform) != "offscreen")
        return;
    const auto config = base / "offscreen.json";
    std::ofstream(config) << R"({"screens": [{"name": "presenter", "x": 0, "y": 0, "width": 1920,
        "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config.string()).c_str());
}
