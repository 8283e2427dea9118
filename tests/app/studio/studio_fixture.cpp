#include "studio_fixture.h"

#include <QUrl>

#include <cstdlib>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/viewLoaderClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Landing/landingClass.h"
#include "View/Editing/editScreenTitleBarController.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Global/screenTitleBarAccessoryViewController.h"
#include "View/Landing/landingController.h"
#include "View/Recording/recordScreenTitleBarController.h"
#include "View/Recording/recordViewController.h"
#include "platform/foundation/main_queue.h"
#include "platform/media/devices.h"
#include "platform/media/video_layer.h"
#include "platform/ui/dragging.h"
#include "platform/ui/pasteboard.h"
#include "platform/ui/view.h"

namespace studiotest {

void StudioTest::SetUp() {
    qputenv("QRN_TEST_DEVICES", "1");
    qrn::media::CaptureAccess::resetForTesting();
    EditingShellTest::SetUp();
}

void StudioTest::TearDown() {
    EditingShellTest::TearDown();
    qrn::media::CaptureAccess::resetForTesting();
    qunsetenv("QRN_TEST_DEVICES");
}

std::string StudioTest::projectPath() const {
    return dir.path().toStdString() + "/Studio.qrn3ks";
}

viewLoaderController* StudioTest::createProject(int extraAssets) {
    launch();
    panelAnswers.push_back(projectPath());
    landingClass::getLandingViewController()->createNewProject();
    advance(1.0);
    for (int i = 0; i < extraAssets; ++i)
        previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    advance(1.0);
    return editingScreen();
}

recordViewController* StudioTest::openStudio() {
    auto bar = editScreenTitleBarController::current();
    EXPECT_TRUE(bar && bar->buttonRecordView);
    if (!bar || !bar->buttonRecordView)
        return nullptr;
    clickButton(*bar->buttonRecordView);
    advance(1.0);
    return studio();
}

viewLoaderController* StudioTest::backToEditing() {
    auto bar = studioTitleBar();
    EXPECT_TRUE(bar);
    if (!bar)
        return nullptr;
    clickButton(*bar->buttonEditingView);
    advance(1.0);
    return editingScreen();
}

std::shared_ptr<recordScreenTitleBarController> StudioTest::studioTitleBar() {
    return std::dynamic_pointer_cast<recordScreenTitleBarController>(
        screenTitleBarAccessoryViewController::getCachedTitleBar(false));
}

void StudioTest::clickButton(svgButtonClass& button) {
    const auto bounds = button.bounds();
    click(button, {bounds.midX(), bounds.midY()});
}

viewLoaderController* StudioTest::editingScreen() {
    return dynamic_cast<viewLoaderController*>(shownScreen());
}

recordViewController* StudioTest::studio() {
    return dynamic_cast<recordViewController*>(shownScreen());
}

int StudioTest::countTag(const qrn::ui::View& in, int tag) {
    int n = 0;
    for (const auto& view : in.subviews())
        n += (view->tag() == tag) + countTag(*view, tag);
    return n;
}

bool StudioTest::dropFile(viewLoaderController& editor, const QString& file, qrn::Point at) {
    auto board = qrn::ui::Pasteboard::makeForDrag();
    board->writeItems({qrn::ui::PasteboardItem::withURL(QUrl::fromLocalFile(file))});
    auto& view = *editor.dragView;
    qrn::ui::DraggingInfo info(view.convertPointToView(at, nullptr), board);
    view.draggingEntered(info);
    const bool taken = view.prepareForDragOperation(info) && view.performDragOperation(info);
    view.draggingEnded(info);
    advance(1.5);
    return taken;
}

bool StudioTest::waitForCameraPicture() {
    auto picture = captureSessionClass().getPreviewLayer();
    return qrn::MainQueue::runUntil([&] { return !picture->picture().isNull(); }, 10.0);
}

} // namespace studiotest
