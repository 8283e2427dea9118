// The parts of a take's flow that the studio screen itself needs: the record button's picture,
// the playback area's player, and the dismiss and save of a played-back take (carried out by
// the take pipeline once it is there).
#include "Controller/Recording/recordViewClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Recording/recordViewClassState.h"
#include "platform/media/player_view.h"
#include "platform/media/video_layer.h"
#include "platform/ui/button.h"
#include "platform/ui/view.h"

using recordViewModule::globals;

void recordViewClass::flipRecordIcon(bool state) {
    QRN_LOG_IN(LogValues{{"state", state}});
    const auto& views = globals().recordingScreenViews;
    if (!views || !views->recordButton)
        return;
    // Drawn at its own 20 x 20 points, never scaled to the button.
    views->recordButton->setImageNamed(state ? "record_stop" : "record_start", {20, 20});
}

void recordViewClass::removePlayerFromPlayerView() {
    QRN_LOG_IN();
    const auto& views = globals().recordingScreenViews;
    if (!views || !views->playbackView)
        return;
    const auto& playback = views->playbackView;
    // Subviews' backing layers are sublayers too: only a player's own layer goes.
    if (const auto& layer = playback->layer(); layer && !layer->sublayers().empty())
        if (std::dynamic_pointer_cast<qrn::media::PlayerLayer>(layer->sublayers().back()))
            layer->sublayers().back()->removeFromSuperlayer();
    if (!playback->subviews().empty())
        if (auto player = std::dynamic_pointer_cast<qrn::media::PlayerView>(playback->subviews().back()))
            player->removeFromSuperview();
}

void recordViewClass::dismissPlaybackCheck() {
    QRN_LOG_IN();
    if (globals().dismissPlaybackCheckHook)
        globals().dismissPlaybackCheckHook();
}

void recordViewClass::saveRecording() {
    QRN_LOG_IN();
    if (globals().saveRecordingHook)
        globals().saveRecordingHook();
}
