#include "workspace_support.h"

#include "Controller/Global/svgButtonClass.h"
#include "Controller/Landing/landingClass.h"
#include "View/Editing/editScreenTitleBarController.h"
#include "View/Global/screenTitleBarAccessoryViewController.h"
#include "View/Landing/landingController.h"
#include "View/Recording/recordScreenTitleBarController.h"
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

namespace {

void clickButton(svgButtonClass* button) {
    ASSERT_TRUE(button);
    auto* w = button->window();
    ASSERT_NE(w, nullptr);
    const qrn::Point at = button->convertPointToView(button->bounds().center(), nullptr);
    w->sendEvent(qrn::ui::Event::mouse(qrn::ui::EventType::MouseDown, at));
    w->sendEvent(qrn::ui::Event::mouse(qrn::ui::EventType::MouseUp, at));
}

} // namespace

void WorkspaceTest::pressStudioButton() {
    auto bar = editScreenTitleBarController::current();
    clickButton(bar ? bar->buttonRecordView.get() : nullptr);
}

void WorkspaceTest::pressBackToEditingButton() {
    auto bar = std::dynamic_pointer_cast<recordScreenTitleBarController>(
        screenTitleBarAccessoryViewController::getCachedTitleBar(false));
    clickButton(bar ? bar->buttonEditingView.get() : nullptr);
}

int WorkspaceTest::directTagCount(int tag) const {
    int n = 0;
    for (const auto& view : screen()->dragView->subviews())
        n += !view->subviews().empty() && view->subviews()[0]->tag() == tag;
    return n;
}

} // namespace workspacetest
