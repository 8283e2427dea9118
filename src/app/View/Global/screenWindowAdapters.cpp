#include "View/Global/screenWindowAdapters.h"

#include "Controller/Global/mainWindowClass.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

bool controllerMainViewHost::hasWindow() const {
    return controller_.window() != nullptr;
}

qrn::Point controllerMainViewHost::windowFrameOrigin() const {
    auto* w = controller_.window();
    return w ? w->frame().origin : qrn::Point{};
}

qrn::Size controllerMainViewHost::viewFrameSize() const {
    // The title-bar strip sits inside the window's content here, so the screen's own view is
    // shorter than what the window must be given back.
    if (auto* w = controller_.window())
        return w->contentSize();
    return controller_.view()->frame().size;
}

void controllerMainViewHost::setWindowContentSize(qrn::Size size) {
    if (auto* w = controller_.window())
        w->setContentSize(size);
}

void controllerMainViewHost::setWindowFrameOrigin(qrn::Point origin) {
    if (auto* w = controller_.window())
        w->setFrameOrigin(origin);
}

void controllerMainViewHost::keepWindowOnScreen() {
    if (auto* w = controller_.window())
        w->keepOnScreen();
}

bool controllerMainViewHost::isFullScreen() const {
    auto* w = controller_.window();
    return w && w->isFullScreen();
}

void controllerMainViewHost::makeMainWindow() {
    auto* w = controller_.window();
    if (!w)
        return;
    auto window = w->shared_from_this();
    persistentDataStorageClass().setMainWindow(std::make_shared<windowProjectMainWindow>(window));
    mainWindowClass().setCurrentMainWindow(window);
}

void windowProjectMainWindow::setResizable(bool resizable) {
    if (auto w = window_.lock())
        w->setResizable(resizable);
}

bool windowProjectMainWindow::isResizable() const {
    auto w = window_.lock();
    return w && w->isResizable();
}

std::shared_ptr<qrn::ui::ViewController> windowProjectMainWindow::contentViewController() const {
    auto w = window_.lock();
    return w && !w->isClosed() ? w->contentViewControllerPtr() : nullptr;
}

void windowProjectMainWindow::setTitle(const std::string& title) {
    if (auto w = window_.lock(); w && !w->isClosed())
        w->setTitle(title);
}

bool controllerProjectViewController::hasWindow() const {
    return window() != nullptr;
}

void controllerProjectViewController::setWindowTitle(const std::string& title) {
    if (auto* w = window())
        w->setTitle(title);
}

qrn::ui::Window* controllerProjectViewController::window() const {
    auto c = controller_.lock();
    return c ? c->window() : nullptr;
}
