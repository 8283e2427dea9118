#include "Controller/Editing/editViewClass.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/imageManipulationClass.h"

namespace {
std::function<std::optional<std::vector<double>>()> mainPreviewViewRectSource;
std::function<void(bool)> screenClearHandler;
bool editViewSelected = false;
bool editorOpensExistingProject = false;
} // namespace

std::vector<double> editViewClass::getMainPreviewViewRectAsArray() {
    if (mainPreviewViewRectSource)
        if (auto rect = mainPreviewViewRectSource())
            return *rect;
    return {0, 0, 556, 313};
}

void editViewClass::setMainPreviewViewRectSource(std::function<std::optional<std::vector<double>>()> source) {
    mainPreviewViewRectSource = std::move(source);
}

bool editViewClass::getEditViewSelected() {
    QRN_LOG_IN(LogValues{{"editViewSelected", editViewSelected}});
    return editViewSelected;
}

void editViewClass::setEditViewSelected(bool selected) {
    QRN_LOG_IN(LogValues{{"selected", selected}});
    editViewSelected = selected;
    if (selected)
        imageManipulationClass().permanentlyRemoveImagesMarkedForRemoval();
}

void editViewClass::setEditorOpensExistingProject(bool opens) {
    editorOpensExistingProject = opens;
}

bool editViewClass::getEditorOpensExistingProject() {
    return editorOpensExistingProject;
}

void editViewClass::clearClass(bool resetClass) {
    QRN_LOG_IN(LogValues{{"resetClass", resetClass}});
    if (resetClass) {
        editViewSelected = false;
        editorOpensExistingProject = false;
    }
    if (screenClearHandler)
        screenClearHandler(resetClass);
    previewLayerClass().clearClass(resetClass);
    QRN_LOG_OUT();
}

void editViewClass::setScreenClearHandler(std::function<void(bool)> handler) {
    screenClearHandler = std::move(handler);
}
