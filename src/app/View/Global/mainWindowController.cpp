#include "View/Global/mainWindowController.h"

#include <set>

#include "Controller/Global/mainWindowClass.h"
#include "Model/persistentDataStorageClass.h"

#include "platform/foundation/colour.h"
#include "platform/ui/scene_registry.h"

namespace {
std::function<void(qrn::ui::Window&)> windowPreparer;
// Windows whose delegate hands every call on to their content.
std::set<const qrn::ui::Window*> forwardingWindows;

qrn::ui::WindowDelegate* screenOf(qrn::ui::Window& w) {
    return dynamic_cast<qrn::ui::WindowDelegate*>(w.contentViewController());
}
} // namespace

void mainWindowController::setWindowPreparer(std::function<void(qrn::ui::Window&)> preparer) {
    windowPreparer = std::move(preparer);
}

void mainWindowController::makeScreenTheWindowDelegate(qrn::ui::ViewController& screen) {
    qrn::ui::Window* w = screen.window();
    if (!w || forwardingWindows.count(w))
        return;
    w->setDelegate(dynamic_cast<qrn::ui::WindowDelegate*>(&screen));
}

qrn::ui::WindowPtr mainWindowController::makeWindow() {
    auto window = qrn::ui::Window::make(qrn::Rect(0, 0, 1280, 800));
    window->setTitle("QRN");
    if (auto background = qrn::namedColour("background_colour_dark_dark", true))
        window->setBackgroundColour(*background);
    return window;
}

void mainWindowController::windowDidLoad() {
    setWindowDelegate(&forwarder_);
    const auto& w = window();
    forwardingWindows.insert(w.get());
    mainWindowClass().setCurrentMainWindow(w);
    if (windowPreparer)
        windowPreparer(*w);
    if (!contentViewController())
        setContentViewController(qrn::ui::SceneRegistry::instantiateViewController("landingController"));
}

bool mainWindowController::contentForwarder::windowShouldClose(qrn::ui::Window& w) {
    auto* s = screenOf(w);
    if (s && !s->windowShouldClose(w))
        return false;
    // Closing the main window ends the application: a failed write is asked about first.
    return persistentDataStorageClass::mayLeaveProject();
}

void mainWindowController::contentForwarder::windowWillClose(qrn::ui::Window& w) {
    if (auto* s = screenOf(w))
        s->windowWillClose(w);
    forwardingWindows.erase(&w);
}

#define QRN_FORWARD(name)                                                                                    \
    void mainWindowController::contentForwarder::name(qrn::ui::Window& w) {                                  \
        if (auto* s = screenOf(w))                                                                           \
            s->name(w);                                                                                      \
    }
QRN_FORWARD(windowDidMove)
QRN_FORWARD(windowDidResize)
QRN_FORWARD(windowDidEndLiveResize)
QRN_FORWARD(windowWillMiniaturize)
QRN_FORWARD(windowDidDeminiaturize)
QRN_FORWARD(windowDidBecomeKey)
QRN_FORWARD(windowDidResignKey)
#undef QRN_FORWARD
