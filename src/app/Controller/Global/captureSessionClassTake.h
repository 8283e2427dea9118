#pragma once
// State of the take shared by the recording and the export halves of the capture session.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/geometry.h"

namespace qrn::media {
class ExportSession;
}
namespace qrn::graphics {
struct KeyframeAnimation;
}

struct captureSessionTakeState {
    std::optional<std::string> outputURL;
    // A recording set aside by setTakeAside(): the output's late report of its end leaves it.
    std::optional<std::string> keptRecording;
    bool startedRecording = false;
    bool startedRecordingTimer = false;
    bool processingRecording = false;
    int recordingTimerCounter = 1;
    std::optional<int> cancelledRecordingCheckAtStart;
    // The export under way and what waits for its end.
    std::shared_ptr<qrn::media::ExportSession> exportSession;
    bool removeWhenExportEnds = false;
    bool layersLent = false;
    bool refitWhenTakenBack = false;
    // The bounds the studio's camera and layers were fitted to before they were laid out for
    // the movie; the camera stays fitted to them until the layers come back.
    std::optional<qrn::Rect> studioBounds;
};

captureSessionTakeState& captureSessionTake();

// What the export's completion does for the take it was started for (captureSessionClassExport.cpp).
std::function<void()> exportCompletion(const std::shared_ptr<qrn::media::ExportSession>& session,
                                       const std::string& exportPath, const std::string& uuid,
                                       const std::string& recordingPath);

// The opacity of asset `i`'s views over a movie of `duration` seconds whose asset changes are
// at the times `timing` (from 0, the last one the end): shown exactly while the asset was.
qrn::graphics::KeyframeAnimation assetOpacityAnimation(int i, const std::vector<double>& timing,
                                                       double duration);
