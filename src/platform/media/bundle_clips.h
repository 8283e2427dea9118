#pragma once
// The two clips that ship with the application: the countdown shown before a recording starts
// ("startRecordingTimer.mov") and the stand-in recording used when the session lacks a camera
// or a microphone ("movie.mov"). A build-time tool makes them with the movie writer and the
// renderer; the application finds them beside its executable.
#include "platform/foundation/result.h"

#include <optional>
#include <string>

namespace qrn::media {

// A countdown 3, 2, 1, each number for 1.5 s, 4.5 s in all; no sound.
Status makeCountdownClip(const std::string& path, int width = 1280, int height = 720);
// A moving picture with a quiet 440 Hz tone.
Status makeStandInMovie(const std::string& path, double seconds = 60, int width = 1280, int height = 720);

// The path of a bundle resource such as ("movie", "mov"), when it is there. Looked for in
// $QRN_RESOURCES_DIR, then in resources/ beside the executable and one level up, then in the
// build tree.
std::optional<std::string> bundleResourcePath(const std::string& name, const std::string& type);

} // namespace qrn::media
