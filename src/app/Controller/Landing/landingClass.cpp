#include "Controller/Landing/landingClass.h"

#include <algorithm>
#include <cstddef>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/mainWindowClass.h"
#include "Controller/Global/replacePresentationAnimator.h"
#include "Controller/Global/throwClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/persistentDataStorageClassImport.h"
#include "View/Landing/landingController.h"
#include "platform/foundation/process_memory.h"
#include "platform/ui/recent_documents.h"
#include "platform/ui/scene_registry.h"

namespace {
bool openExistingProject = false;
std::shared_ptr<landingController> landingViewController;

// While the landing screen fades out, the heap is readied for the editing screen the import
// builds after it: about what its slides and layers take, within a bound, for the project whose
// file was just checked.
void readyHeapForProject() {
    const storedProjectData* stored = checkedProjectData(persistentDataStorageClass().getProjectDirectory());
    if (!stored)
        return;
    constexpr std::size_t perLayer = 16 * 1024, most = 48 * 1024 * 1024;
    std::size_t layers = 0;
    for (const auto& row : stored->imageReferences)
        layers += row.size();
    if (auto backing =
            qrn::memory::readyMainHeap(std::min(most, (layers + stored->imageReferences.size()) * perLayer));
        backing.joinable())
        backing.detach();
}
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
    if (openExistingProject)
        readyHeapForProject();
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
