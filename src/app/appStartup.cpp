#include "appStartup.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

#include "Filters/filterServices.h"
#include "View/Editing/autocueController.h"
#include "View/Global/mainWindowController.h"
#include "View/Recording/autocueDisplayController.h"
#include "platform/foundation/process_memory.h"
#include "platform/qt/host_window.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/ui/window.h"

namespace {

// A new main window: the menu bar above its content, centred on the primary screen and never
// larger than it. The usual minimum gives way on a small screen (or one at twice the scale),
// where it would push the title bar out of reach.
void prepareMainWindow(qrn::ui::Window& window) {
    const qrn::Rect screen = qrn::qt::screenRectFromQt(QGuiApplication::primaryScreen()->availableGeometry());
    const double width = std::min(1280.0, screen.width());
    double height = std::min(800.0, screen.height());
    // The window manager's title bar and border are not known before the window is framed; the
    // minimum leaves room for them, so the frame can still be fitted to the screen then.
    const double frameRoom = 40;
    const auto minimum = [&](double bar) {
        return qrn::Size{std::min(1000.0, std::max(0.0, width - frameRoom)),
                         std::min(640.0, std::max(0.0, screen.height() - bar - frameRoom))};
    };
    window.setKeepsOnScreenWhenShown(true);
    window.setMinSize(minimum(0));
    window.setFrame(qrn::Rect(screen.midX() - width / 2, screen.midY() - height / 2, width, height));
    qrn::qt::showMainMenuBar(window);
    if (auto* host = qrn::qt::hostWidget(window); host && host->topInset() > 0) {
        const double bar = host->topInset();
        const double total = std::min(height + bar, screen.height());
        window.setMinSize(minimum(bar));
        window.setFrame(qrn::Rect(screen.midX() - width / 2, screen.midY() - total / 2, width, total - bar));
    }
}

// What the window manager and the screen tell of a shown window.
autocueDisplayController::windowSurroundings surroundingsOf(qrn::ui::Window& window) {
    autocueDisplayController::windowSurroundings around;
    auto* host = qrn::qt::hostWidget(window);
    if (!host)
        return around;
    const QRect outer = host->frameGeometry(), inner = host->geometry();
    around.frame = qrn::EdgeInsets{double(std::max(0, inner.top() - outer.top())),
                                   double(std::max(0, inner.left() - outer.left())),
                                   double(std::max(0, outer.bottom() - inner.bottom())),
                                   double(std::max(0, outer.right() - inner.right()))};
    around.menuBar = host->topInset();
    if (QScreen* screen = host->screen() ? host->screen() : QGuiApplication::primaryScreen())
        around.screenArea = qrn::qt::screenRectFromQt(screen->availableGeometry());
    return around;
}

} // namespace

namespace appStartup {

void install() {
    // Before any thread of the take: none of them shares the main thread's heap.
    qrn::memory::giveEveryThreadItsOwnHeap();
    qrn::installQtDialogs();
    // The filter panels reach the shared colour panel through their own interface.
    setSharedColourPanel(makeSharedColourPanelAdapter());
    mainWindowController::setWindowPreparer(prepareMainWindow);
    autocueWindowController::setWindowPreparer([](qrn::ui::Window& w) { qrn::qt::showMainMenuBarCopy(w); });
    autocueDisplayController::setSurroundingsProvider(surroundingsOf);
}

} // namespace appStartup
