#include "Controller/Global/QRNMenuClass.h"

#include <sstream>

#include "Controller/Editing/SettingsPanel/layerSettingsValuesClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/bundleInformationClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/throwClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Editing/editScreenTitleBarController.h"
#include "View/Global/screenTitleBarAccessoryViewController.h"
#include "View/Recording/recordScreenTitleBarController.h"
#include "platform/ui/menu.h"
#include "platform/ui/scene_registry.h"
#include "platform/ui/window.h"
#include "platform/ui/workspace.h"

namespace {
// A landing controller made only to present the about box when no main window is kept; it
// must outlive the box it presents.
std::shared_ptr<qrn::ui::ViewController> aboutPresenter;
} // namespace

// Where no browser takes the page (none installed, none configured) the command would do nothing
// at all.
void openPageOrSay(const std::string& address, const std::string& page) {
    if (!qrn::openWebAddress(address))
        throwClass().showError("QRN could not open " + page + " in a web browser. Visit " + address);
}

void QRNMenuClass::aboutQRN() {
    QRN_LOG_IN();
    auto about = qrn::ui::SceneRegistry::instantiateViewController("aboutWindow");
    if (!about)
        return;
    auto kept = persistentDataStorageClass().getMainWindow();
    std::shared_ptr<qrn::ui::ViewController> presenter = kept ? kept->contentViewController() : nullptr;
    if (!presenter) {
        // No kept window (the landing screen keeps none), or it has closed since.
        aboutPresenter = qrn::ui::SceneRegistry::instantiateViewController("landingController");
        presenter = aboutPresenter;
    }
    if (presenter)
        presenter->presentAsModalWindow(about);
    QRN_LOG_OUT();
}

void QRNMenuClass::preferences() {
    QRN_LOG_IN();
    QRN_LOG_OUT();
}

void QRNMenuClass::checkForUpdates() {
    QRN_LOG_IN();
    std::istringstream words(persistentDataStorageClass().getVersionAndBuildText().value_or(""));
    std::string word, version;
    for (int i = 0; i < 2 && words >> word; ++i)
        if (i == 1)
            version = word;
    // Before the landing screen ever showed there is no version line to read.
    if (version.empty())
        version = bundleInformationClass().applicationVersion();
    openPageOrSay(bundleInformationClass::downloadPageAddress() + version, "the download page");
    QRN_LOG_OUT();
}

#define QRN_LOG_ONLY(cls, name)                                                                              \
    void cls::name() {                                                                                       \
        QRN_LOG_IN();                                                                                        \
        QRN_LOG_OUT();                                                                                       \
    }
QRN_LOG_ONLY(arrangeMenuClass, bringForward)
QRN_LOG_ONLY(arrangeMenuClass, bringToFront)
QRN_LOG_ONLY(arrangeMenuClass, sendBackward)
QRN_LOG_ONLY(arrangeMenuClass, sendToBack)
QRN_LOG_ONLY(arrangeMenuClass, lock)
QRN_LOG_ONLY(arrangeMenuClass, unlock)
QRN_LOG_ONLY(arrangeMenuClass, group)
QRN_LOG_ONLY(arrangeMenuClass, ungroup)
#undef QRN_LOG_ONLY

// The pane's own numbers: 3 flips horizontally, 4 vertically.
void arrangeMenuClass::flipHorizontally() {
    QRN_LOG_IN();
    layerSettingsValuesClass().layerSettingOnclick(3);
}

void arrangeMenuClass::flipVertically() {
    QRN_LOG_IN();
    layerSettingsValuesClass().layerSettingOnclick(4);
}

void viewMenuClass::goToScreen(const void* sender) {
    QRN_LOG_IN(LogValues{{"sender", sender != nullptr}});
    // The item takes the presenter where its title says, by the way the title bars' buttons
    // go; an item that did nothing when chosen would look broken.
    const auto* item = static_cast<const qrn::MenuItem*>(sender);
    if (item && item->title() == "Go To Studio") {
        auto bar = editScreenTitleBarController::current();
        if (bar && editViewClass().getEditViewSelected() && !recordViewClass().getRecordViewSelected())
            bar->videoRecordView();
    } else if (item && item->title() == "Go To Editor") {
        auto bar = std::dynamic_pointer_cast<recordScreenTitleBarController>(
            screenTitleBarAccessoryViewController::getCachedTitleBar(false));
        if (bar && recordViewClass().getRecordViewSelected())
            bar->dismiss();
    }
    QRN_LOG_OUT();
}

void viewMenuClass::QRNGuide() {
    QRN_LOG_IN();
    openPageOrSay(bundleInformationClass::acknowledgementsPageAddress(), "the acknowledgements page");
    QRN_LOG_OUT();
}
