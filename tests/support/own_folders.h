#pragma once
// Gives the process folders of its own for settings, projects and runtime files, and the test
// camera and microphone, so that a run of the whole application touches nothing of the user's
// and no running QRN takes its launch.
#include <cstdlib>
#include <filesystem>

inline void useFoldersOfItsOwn(const std::filesystem::path& base) {
    for (const char* sub : {"home", "tmp", "runtime", "config", "data", "cache"})
        std::filesystem::create_directories(base / sub);
    std::filesystem::permissions(base / "runtime", std::filesystem::perms::owner_all);
    setenv("HOME", (base / "home").c_str(), 1);
    setenv("TMPDIR", (base / "tmp").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (base / "runtime").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (base / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (base / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (base / "cache").c_str(), 1);
    setenv("QRN_TEST_DEVICES", "1", 1);
}
