#pragma once
// Gives the process folders of its own for settings, projects and runtime files, and the test
// camera and microphone, so that a run of the whole application touches nothing of the user's
// and no running QRN takes its launch.
#include <QtGlobal>
#include <filesystem>

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
