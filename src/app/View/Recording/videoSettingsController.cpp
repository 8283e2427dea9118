#include "View/Recording/videoSettingsController.h"

#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Controller/Recording/videoSettingsClass.h"
#include "platform/foundation/colour.h"
#include "platform/ui/combo_box.h"
#include "platform/ui/tracking_area.h"

namespace {

using namespace qrn::graphics;

// The panel's parts (y up): the camera row, the microphone row, the filter list below.
const qrn::Rect rootFrame(0, 0, 250, 520);
const qrn::Rect videoIconFrame(10, 482, 26, 26);
const qrn::Rect videoListFrame(44, 483, 196, 26);
const qrn::Rect audioIconFrame(10, 444, 26, 26);
const qrn::Rect audioListFrame(44, 445, 196, 26);
const qrn::Rect filterFrame(0, 0, 250, 432);

} // namespace

void videoSettingsController::loadView() {
    auto root = qrn::ui::View::make(rootFrame);
    if (auto background = qrn::namedColour("background_colour_dark_dark", true))
        root->layer()->setBackgroundColour(*background);
    videoIconView = qrn::ui::View::make(videoIconFrame);
    videoCombobox = qrn::ui::ComboBox::make(videoListFrame);
    videoCombobox->setIdentifier("video");
    videoCombobox->setEditable(false);
    audioIconView = qrn::ui::View::make(audioIconFrame);
    audioCombobox = qrn::ui::ComboBox::make(audioListFrame);
    audioCombobox->setIdentifier("audio");
    audioCombobox->setEditable(false);
    filterSettingsView = qrn::ui::View::make(filterFrame);
    filterSettingsView->setAutoresizingMask(WidthSizable | HeightSizable);
    for (const auto& view : std::vector<std::shared_ptr<qrn::ui::View>>{
             videoIconView, videoCombobox, audioIconView, audioCombobox, filterSettingsView})
        root->addSubview(view);
    setView(root);
}

void videoSettingsController::viewDidLoad() {
    QRN_LOG_IN();
    videoSettingsClass logic;
    logic.setVideoSettingsViewController(
        std::static_pointer_cast<videoSettingsController>(shared_from_this()));
    logic.setVideoSettingsViews(videoSettingsViewsGroup{videoIconView, videoCombobox, audioIconView,
                                                        audioCombobox, filterSettingsView});
    videoSettingsObject = std::make_shared<videoSettingsClass>();
    videoSettingsObject->loadContent();
    view()->addTrackingArea(view()->bounds(),
                            qrn::ui::TrackingMouseEnteredAndExited | qrn::ui::TrackingActiveInKeyWindow |
                                qrn::ui::TrackingInVisibleRect,
                            this);
}

void videoSettingsController::highlightTitleBarButton(bool keep) {
    recordViewClass studio;
    if (!studio.getRecordViewSelected()) {
        videoSettingsClass::editingHighlightThroughHook(keep);
        return;
    }
    const auto& buttons = studio.getRecordTitleBarButtons();
    if (buttons && buttons->buttonVideoSettingsView)
        if (const auto& icon = buttons->buttonVideoSettingsView->svgIconObj())
            icon->keepChangedColour(keep);
}

void videoSettingsController::viewDidAppear() {
    QRN_LOG_IN();
    highlightTitleBarButton(true);
}

void videoSettingsController::viewDidDisappear() {
    QRN_LOG_IN();
    highlightTitleBarButton(false);
}

void videoSettingsController::viewWillDisappear() {
    QRN_LOG_IN();
    videoSettingsClass logic;
    logic.setComboBoxChangeCounter(0);
    logic.clearClass();
}

// The filter list takes its drags itself; the panel only notes the events.
void videoSettingsController::mouseEntered(const qrn::ui::Event&) {
    QRN_LOG_IN();
}

void videoSettingsController::mouseExited(const qrn::ui::Event&) {
    QRN_LOG_IN();
}

void videoSettingsController::mouseUp(const qrn::ui::Event&) {
    QRN_LOG_IN();
}

void videoSettingsController::mouseDragged(const qrn::ui::Event&) {
    QRN_LOG_IN();
}
