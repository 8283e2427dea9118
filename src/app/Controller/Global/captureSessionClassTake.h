#pragma once
// State of the take shared by the recording and the export halves of the capture session.
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/geometry.h"

namespace qrn::media {
class ExportSession;
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
