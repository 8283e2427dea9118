#include "support/editing_open.h"

#include <QImage>

#include "AppDelegate.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Editing/editViewClass.h"
#include "Model/persistentDataStorageClass.h"
#include "platform/foundation/alerts.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/user_defaults.h"
#include "platform/ui/application.h"
#include "platform/ui/image_view.h"
#include "platform/ui/menu.h"
#include "platform/ui/panels.h"
#include "platform/ui/view.h"
#include "platform/ui/window.h"

namespace benchsupport {

namespace {

bool isStandIn(const QImage& image) {
    return image.width() == 1 && image.height() == 1;
}

int standInsBelow(const qrn::ui::View& root) {
    int n = 0;
    if (const auto* picture = dynamic_cast<const qrn::ui::ImageView*>(&root);
        picture && isStandIn(picture->image()))
        ++n;
    if (isStandIn(root.layer()->contents()))
        ++n;
    for (const auto& sub : root.subviews())
        n += standInsBelow(*sub);
    return n;
}

} // namespace

editingScreenApp::editingScreenApp() : delegate(std::make_unique<AppDelegate>()) {
    qrn::MainQueue::useManualClock();
    qrn::UserDefaults::useMemoryStore();
    // A benchmark has nobody to answer an alert; what it would say ends up in the log.
    qrn::setAlertPresenter([](const std::string&) {});
    qrn::setOpenPanelPresenter([this](qrn::OpenPanel& panel) {
        if (answer.empty())
            return qrn::ModalResponse::cancel;
        panel.choose({answer});
        return qrn::ModalResponse::ok;
    });
    auto& app = qrn::ui::Application::shared();
    app.setDelegate(delegate.get());
    delegate->applicationWillFinishLaunching();
    delegate->applicationDidFinishLaunching();
    qrn::MainQueue::advance(0.2);
}

editingScreenApp::~editingScreenApp() {
    close();
    qrn::setOpenPanelPresenter(nullptr);
    qrn::setAlertPresenter(nullptr);
    qrn::ui::Application::shared().setDelegate(nullptr);
}

bool editingScreenApp::open(const std::string& package) {
    answer = package;
    const auto bar = qrn::mainMenu();
    const auto file = bar ? bar->itemWithTitle("File") : nullptr;
    const auto item = file && file->hasSubmenu() ? file->submenu()->itemWithTitle("Open\u2026") : nullptr;
    if (!item || !item->perform())
        return false;
    // The editing screen's own delays: the import after the screen shows, the layers fitted
    // a second later.
    qrn::MainQueue::advance(2.0);
    answer.clear();
    return editViewClass().getEditViewSelected() &&
           persistentDataStorageClass().getProjectDirectory() == package &&
           !previewLayerClass().getImportMarker();
}

bool editingScreenApp::waitForEveryPicture(double seconds) {
    return qrn::MainQueue::runUntil([] { return previewLayerPendingPictures::pendingCount() == 0; }, seconds);
}

int editingScreenApp::standInsShown() {
    int n = 0;
    for (const auto& window : qrn::ui::Window::openWindows())
        if (window->contentView())
            n += standInsBelow(*window->contentView());
    return n;
}

void editingScreenApp::close() {
    for (const auto& window : qrn::ui::Window::openWindows())
        window->close();
    // What is still decoding goes nowhere; the delayed blocks of the closed screen land.
    previewLayerPendingPictures::cancel();
    qrn::MainQueue::advance(30);
}

} // namespace benchsupport
