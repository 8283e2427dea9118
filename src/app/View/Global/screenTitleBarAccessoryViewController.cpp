#include "View/Global/screenTitleBarAccessoryViewController.h"

#include "Controller/Global/dataLoggingClass.h"
#include "View/Global/titleBarContentController.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/scene_registry.h"

namespace {
std::shared_ptr<titleBarContentController> cachedEditScreenTitleBarController;
std::shared_ptr<titleBarContentController> cachedRecordScreenTitleBarController;

std::shared_ptr<titleBarContentController>& cacheFor(bool firstScreen) {
    return firstScreen ? cachedEditScreenTitleBarController : cachedRecordScreenTitleBarController;
}
} // namespace

void screenTitleBarAccessoryViewController::loadView() {
    setView(qrn::ui::View::make(qrn::Rect(0, 0, 480, titleBarHeight)));
}

void screenTitleBarAccessoryViewController::loadView(bool firstScreen) {
    QRN_LOG_IN(LogValues{{"firstScreen", firstScreen}});
    auto& cache = cacheFor(firstScreen);
    const bool cached = cache != nullptr;
    if (!cached) {
        auto made = qrn::ui::SceneRegistry::instantiateViewController(
            firstScreen ? "editScreenTitleBarController" : "recordScreenTitleBarController");
        cache = std::dynamic_pointer_cast<titleBarContentController>(made);
        if (!cache) {
            QRN_LOG_ERROR("No title bar for this screen");
            return;
        }
    } else {
        cache->loadContent();
    }
    // The bar fills the strip, 38 points high whatever size it was made at.
    auto strip = view();
    const auto& bar = cache->view();
    for (auto& old : std::vector<qrn::ui::ViewPtr>(strip->subviews()))
        if (old != bar)
            old->removeFromSuperview();
    bar->setFrame(qrn::Rect(0, 0, strip->bounds().width(), titleBarHeight));
    bar->setAutoresizingMask(qrn::graphics::WidthSizable);
    if (bar->superview() != strip)
        strip->addSubview(bar);
    if (auto* w = window())
        w->setTitlebarAccessory(shared_from_this(), titleBarHeight);
    if (!cached) {
        // A bar made just now is set up a moment later, and only if its window still holds it.
        std::weak_ptr<titleBarContentController> made = cache;
        qrn::MainQueue::after(0.1, [firstScreen, made]() {
            auto bar = made.lock();
            if (bar && cacheFor(firstScreen) == bar)
                bar->loadContent();
        });
    }
    QRN_LOG_OUT();
}

void screenTitleBarAccessoryViewController::clearCachedTitleBars() {
    cachedEditScreenTitleBarController.reset();
    cachedRecordScreenTitleBarController.reset();
}

std::shared_ptr<titleBarContentController>
screenTitleBarAccessoryViewController::getCachedTitleBar(bool firstScreen) {
    return cacheFor(firstScreen);
}
