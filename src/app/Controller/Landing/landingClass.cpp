#include "Controller/Landing/landingClass.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/mainWindowClass.h"
#include "Controller/Global/replacePresentationAnimator.h"
#include "Controller/Global/throwClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Landing/landingController.h"
#include "platform/ui/recent_documents.h"
#include "platform/ui/scene_registry.h"

namespace {
bool openExistingProject = false;
std::shared_ptr<landingController> landingViewController;
} // namespace

void landingClass::setOpenExistingProject(bool value) {
    QRN_LOG_IN(LogValues{{"openExistingProject", value}});
    openExistingProject = value;
    QRN_LOG_OUT();
}

bool landingClass::getOpenExistingProject() {
    return openExistingProject;
}

void landingClass::loadViewLoader() {
    QRN_LOG_IN();
    editViewClass::setEditorOpensExistingProject(openExistingProject);
    // The window is put back where it was left before the import reads the package, and such a
    // move writes the project: until the import has the package in memory, nothing may be
    // written over it. The editing screen's start-up lifts this once the package proves valid.
    if (openExistingProject)
        persistentDataStorageClass().setProjectLoadFailed(true);
    // A request that comes before any landing screen is in a window (an open request at launch,
    // or after the main window closed) has nothing to present from: open one first.
    if (!landingViewController || !landingViewController->window())
        mainWindowClass().openWindowIfNecessary();
    if (!landingViewController || !landingViewController->window()) {
        QRN_LOG_ERROR("No landing screen to present the editor from");
        return;
    }
    auto editor = qrn::ui::SceneRegistry::instantiateViewController("viewLoader");
    if (!editor) {
        QRN_LOG_ERROR("No editing screen");
        return;
    }
    landingViewController->present(editor, std::make_shared<replacePresentationAnimator>());
    QRN_LOG_OUT();
}

void landingClass::openExistingProjectWithPath(const std::string& path, bool loadViewLoaderValue) {
    QRN_LOG_IN(LogValues{{"path", path}, {"loadViewLoaderValue", loadViewLoaderValue}});
    QRN_LOG_ERROR("Opening existing project at {" + path + "}");
    fileMenuClass::noteRecentDocument(path);
    openExistingProject = true;
    if (loadViewLoaderValue) {
        loadViewLoader();
        return;
    }
    // The caller stored the path as the project directory; that is what gets imported.
    fileMenuClass::importStoredProject();
    QRN_LOG_OUT();
}

void landingClass::setLandingViewController(const std::shared_ptr<landingController>& controller) {
    landingViewController = controller;
}

std::shared_ptr<landingController> landingClass::getLandingViewController() {
    return landingViewController;
}
