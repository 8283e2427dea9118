#include "workspace_support.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/orderLayersClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Controller/Landing/landingClass.h"
#include "View/Landing/landingController.h"
#include "platform/ui/view.h"
#include "platform/ui/window.h"

namespace workspacetest {

std::string WorkspaceTest::projectPath(const std::string& name) const {
    return dir.path().toStdString() + "/" + name + ".qrn3ks";
}

viewLoaderController* WorkspaceTest::createProject() {
    launch();
    panelAnswers.push_back(projectPath());
    landingClass::getLandingViewController()->createNewProject();
    advance(1.0);
    return screen();
}

viewLoaderController* WorkspaceTest::screen() const {
    return dynamic_cast<viewLoaderController*>(shownScreen());
}

qrn::ui::Event WorkspaceTest::eventAt(qrn::ui::View& view, qrn::Point p, qrn::ui::EventType type) const {
    auto event = qrn::ui::Event::mouse(type, view.convertPointToView(p, nullptr));
    event.window = view.window();
    return event;
}

void WorkspaceTest::pressIn(qrn::ui::View& view, qrn::Point p, qrn::ui::EventType down) {
    auto* w = view.window();
    ASSERT_NE(w, nullptr);
    const qrn::Point at = view.convertPointToView(p, nullptr);
    const auto up = down == qrn::ui::EventType::RightMouseDown ? qrn::ui::EventType::RightMouseUp
                                                               : qrn::ui::EventType::MouseUp;
    // The press carries the modifier keys held, as the keyboard reports them.
    w->sendEvent(qrn::ui::Event::mouse(down, at, heldModifiers));
    w->sendEvent(qrn::ui::Event::mouse(up, at, heldModifiers));
}

void WorkspaceTest::press(qrn::Point p, qrn::ui::EventType down) {
    pressIn(*screen()->dragView, p, down);
}

void WorkspaceTest::flags(int keyCode, unsigned modifiers) {
    heldModifiers = modifiers;
    auto event = qrn::ui::Event::key(qrn::ui::EventType::FlagsChanged, keyCode, {}, modifiers);
    mainWindow()->sendEvent(event);
}

int WorkspaceTest::directTagCount(int tag) const {
    int n = 0;
    for (const auto& view : screen()->dragView->subviews())
        n += !view->subviews().empty() && view->subviews()[0]->tag() == tag;
    return n;
}

stubStudio::stubStudio() : view(qrn::ui::View::make(qrn::Rect(0, 0, 556, 313))) {
    orderLayersClass order;
    order.addParentOrderViews(view, true);
    view->addSubview(qrn::ui::View::make(view->bounds()));
    order.addParentOrderViews(view, false);
    editViewClass::studioHandBackHooks hooks;
    hooks.getRecordingView = [this] { return view; };
    hooks.getAssetPreviewLayerArray = [this] { return lent; };
    hooks.setAssetPreviewLayerArray = [this](std::vector<std::vector<std::shared_ptr<qrn::ui::View>>> v) {
        lent = std::move(v);
    };
    hooks.returnNextAssetPreviewBounds = [this] { return tileBounds; };
    editViewClass::setStudioHandBackHooks(std::move(hooks));
}

stubStudio::~stubStudio() {
    editViewClass::setStudioHandBackHooks({});
}

void stubStudio::borrow() {
    editViewClass edit;
    previewLayerClass model;
    lent = edit.getAllAssetPreviewLayers();
    edit.removeAllLayersFromAssetPreviews();
    resizeAndPositionLayersClass().resizeAndPositionAssetPreviewLayers(
        lent, edit.getAssetPreviewBounds(), tileBounds, std::nullopt, std::nullopt);
    orderLayersClass().addLayersInOrderToPreview(edit.getDragView(), view, model.getAssetArray(),
                                                 model.getLayerArray(), 1);
}

} // namespace workspacetest
