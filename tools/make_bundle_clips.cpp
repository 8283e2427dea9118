// Build-time tool: writes the countdown clip and the stand-in recording into a folder.
//   make_bundle_clips <folder>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/media/bundle_clips.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    // Written under a temporary name and renamed, so an interrupted build leaves no half clip.
    auto make = [&](const char* name, auto fn) {
        auto tmp = dir / (std::string(name) + ".part.mov");
        qrn::Status s = fn(tmp.string());
        if (!s) {
            std::fprintf(stderr, "%s: %s\n", name, s.error().c_str());
            std::filesystem::remove(tmp);
            return false;
        }
        std::filesystem::rename(tmp, dir / (std::string(name) + ".mov"));
        return true;
    };
    bool ok =
        make("startRecordingTimer", [](const std::string& p) { return qrn::media::makeCountdownClip(p); }) &&
        make("movie", [](const std::string& p) { return qrn::media::makeStandInMovie(p); });
    return ok ? 0 : 1;
}
