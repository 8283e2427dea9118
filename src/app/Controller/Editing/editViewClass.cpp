#include "Controller/Editing/editViewClass.h"
#include "View/Editing/Preview/manipulateImageView.h"

#include <cmath>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Controller/Global/throwClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Global/flippedView.h"
#include "platform/foundation/colour.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/shape_layer.h"
#include "platform/media/video_layer.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view.h"
#include "platform/ui/window.h"

namespace {

std::optional<editViewConfiguration> configuration;
std::shared_ptr<qrn::ui::View> parentPreviewView;
std::shared_ptr<qrn::ui::View> dragView;
std::shared_ptr<qrn::ui::View> mainPreviewView;
std::shared_ptr<flippedView> assetStripDocument;
std::shared_ptr<flippedView> layerListDocument;
std::function<void(bool)> screenClearHandler;
bool editViewSelected = false;
bool editorOpensExistingProject = false;
bool shiftKeyPressed = false;
// Moves on with every reset of the screen: a delayed block made for an earlier screen or
// project finds it changed and does nothing.
int screenGeneration = 0;
constexpr double overlayIconSize = 12.0;
const qrn::Colour amber{1.0, 0.7647, 0.0, 0.8};

qrn::Colour named(const char* name) {
    return qrn::namedColour(name, true).value_or(qrn::Colour::black());
}

// Runs fn after the delay only while the same screen shows the same project.
void runOnThisScreen(double seconds, std::function<void()> fn) {
    const int generation = screenGeneration;
    const std::weak_ptr<qrn::ui::View> screen = dragView;
    const std::string project = persistentDataStorageClass().getProjectDirectory();
    qrn::MainQueue::after(seconds, [generation, screen, project, fn = std::move(fn)] {
        if (generation != screenGeneration || screen.expired() || screen.lock() != dragView ||
            project != persistentDataStorageClass().getProjectDirectory())
            return;
        fn();
    });
}

std::shared_ptr<qrn::ui::View> marker(int tag) {
    return qrn::ui::TextField::makeMarker(tag);
}

std::shared_ptr<qrn::ui::View> handleView(const qrn::Rect& frame, int tag, unsigned mask, bool round) {
    auto handle = manipulateImageView::makeHandleView(frame);
    handle->setAutoresizingMask(mask);
    auto& layer = *handle->layer();
    layer.setBackgroundColour(named("background_colour_dark_dark"));
    layer.setBorderWidth(1.0);
    layer.setBorderColour(named("border_colour_light_dark"));
    if (round)
        layer.setCornerRadius(6.0);
    auto field = marker(tag);
    if (tag == -2)
        field->setHidden(true);
    handle->addSubview(field);
    return handle;
}

// Both lists as a new project finds them: empty, one asset tile and one layer tile wide.
void emptyListDocuments() {
    if (assetStripDocument) {
        assetStripDocument->setSubviews({});
        assetStripDocument->setFrameSize({78, 77});
    }
    if (layerListDocument) {
        layerListDocument->setSubviews({});
        layerListDocument->setFrameSize({39, 39});
    }
}

// The asset strip and the layer list start empty for every project; a screen that stays keeps
// its two document views.
void makeListDocuments() {
    if (!configuration)
        return;
    if (!assetStripDocument)
        assetStripDocument = std::make_shared<flippedView>(qrn::Rect(0, 0, 78, 77));
    if (!layerListDocument)
        layerListDocument = std::make_shared<flippedView>(qrn::Rect(0, 0, 39, 39));
    emptyListDocuments();
    if (configuration->assetTableView && configuration->assetTableView->documentView() != assetStripDocument)
        configuration->assetTableView->setDocumentView(assetStripDocument);
    if (configuration->layerTableView && configuration->layerTableView->documentView() != layerListDocument)
        configuration->layerTableView->setDocumentView(layerListDocument);
}

} // namespace

editViewClass::editViewClass(std::optional<editViewConfiguration> config, ViewPtr mainPreview,
                             ViewPtr parentPreview, ViewPtr drop) {
    QRN_LOG_IN(std::nullopt);
    if (mainPreview)
        mainPreviewView = std::move(mainPreview);
    if (!config || !parentPreview)
        return;
    configuration = std::move(config);
    parentPreviewView = std::move(parentPreview);
    dragView = std::move(drop);
    ++screenGeneration;
    previewLayerClass model;
    model.setConfiguration(previewLayerConfigurationViews{parentPreviewView, dragView});
    model.getVideoLayerView()->setHidden(true);
    registerFilterEditingHost();
    previewLayerClass::setVideoCroppingEnabledHook([] { editViewClass().videoCroppingEnabled(); });
    connectPopoverHooks();
    connectStudioHandBack();
    initialisation();
}

void editViewClass::initialisation() {
    QRN_LOG_IN(std::nullopt);
    if (!configuration || !parentPreviewView || !dragView)
        return;
    previewLayerClass model;
    // The sticky asset must get id "0" and the first asset "2", whatever model the caller left
    // (File > New makes a new project's model first): a waiting write goes out, then the model
    // is emptied.
    persistentDataStorageClass().flushPendingExport();
    attributedStringStorageClass().flushPendingSymbolExport();
    model.clearClass(true);
    filterClass().clearClass();
    attributedStringStorageClass().clearClass();
    previewLayerViewPathCreationClass().setPathsArray({});

    auto& parentLayer = *parentPreviewView->layer();
    // The preview shows what the movie will: nothing of a layer outside its frame.
    parentLayer.setMasksToBounds(true);
    parentLayer.setBorderWidth(1.0);
    parentLayer.setBorderColour(named("border_colour_light_dark"));

    makeListDocuments();

    model.addAsset(false, false, true, std::nullopt, std::nullopt, false, false, false);

    // A screen that stays for the next project keeps its overlay and camera frame.
    const bool built = dragView->viewWithTag(-5) != nullptr;
    const double S = overlayIconSize;
    auto overlay = qrn::ui::View::make(qrn::Rect(0, 0, 3 * S, 3 * S));
    overlay->layer()->setZPosition(9999999.0);
    overlay->setHidden(true);
    auto border = qrn::ui::View::make(qrn::Rect(S / 2, S / 2, 3 * S - S, 3 * S - S));
    border->setAutoresizingMask(qrn::graphics::WidthSizable | qrn::graphics::HeightSizable);
    border->layer()->setBorderWidth(1.0);
    border->layer()->setBorderColour(amber);
    overlay->addSubview(border);
    overlay->addSubview(handleView(qrn::Rect(3 * S - S, 3 * S - S, S, S), -2,
                                   qrn::graphics::FlexibleMinXMargin | qrn::graphics::FlexibleMinYMargin,
                                   false));
    overlay->addSubview(handleView(qrn::Rect(3 * S - S, 0, S, S), -1,
                                   qrn::graphics::FlexibleMinXMargin | qrn::graphics::FlexibleMaxYMargin,
                                   true));
    overlay->addSubview(marker(-5));
    if (!built)
        dragView->addSubview(overlay);

    const qrn::Rect bounds = parentPreviewView->bounds();
    auto cameraFrame = qrn::ui::View::make(bounds);
    cameraFrame->setHidden(true);
    auto dashes = qrn::graphics::ShapeLayer::make();
    dashes->setStrokeColour(amber);
    dashes->setLineWidth(1.0);
    dashes->setLineDashPattern({2, 2});
    dashes->setFrame(bounds);
    dashes->setPath(qrn::Path::rect(bounds));
    cameraFrame->layer()->addSublayer(dashes);
    cameraFrame->addSubview(marker(-4));
    // Above the camera view and the layers, like the overlay, so the crop window shows.
    cameraFrame->layer()->setZPosition(9999998.0);
    if (!built)
        dragView->addSubview(cameraFrame);

    for (const auto& box : {configuration->backgroundLayerView, configuration->backgroundColourView}) {
        if (!box)
            continue;
        auto& layer = *box->layer();
        layer.setBorderWidth(1.0);
        layer.setBorderColour(named("border_colour_light_dark"));
        layer.setCornerRadius(4.0);
    }
    if (configuration->backgroundColourView)
        configuration->backgroundColourView->layer()->setBackgroundColour(qrn::Colour::black());

    if (!editorOpensExistingProject) {
        model.addAsset(true, true, true, std::nullopt, std::nullopt, true, false, false);
        model.setVideoTransformedSize(bounds.size);
        auto video = model.getVideoOriginSizeArray();
        video.resize(4, 0);
        video[2] = bounds.size.width;
        video[3] = bounds.size.height;
        model.setVideoOriginSizeArray(video);
    }
}

void editViewClass::initialiseProject() {
    QRN_LOG_IN(std::nullopt);
    if (!configuration || !parentPreviewView)
        return;
    previewLayerClass model;
    persistentDataStorageClass storage;
    resizeAndPositionLayersClass().setBounds(parentPreviewView->bounds());
    if (editorOpensExistingProject) {
        if (storage.checkIfProjectDataIsValid(storage.getProjectDirectory())) {
            storage.setProjectLoadFailed(false);
            model.setImportMarker(true);
            storage.importDataAction(false, true, true);
        } else {
            // Until a project loads, nothing may be written over the package it came from.
            storage.setProjectLoadFailed(true);
            throwClass().showError("Project Failed to Load");
        }
        model.createOrUpdateLayerPath(layerAssetIndexAndVideoSelectedArray{true, qrn::Value(), qrn::Value()},
                                      false, 0, true);
        model.convertLayerOriginalPosSizeArrayToPreviewViewBounds();
    } else {
        storage.setProjectLoadFailed(false);
        model.reloadVideoPreview(true);
        resizeAndPositionLayers(true);
        storage.exportData(false);
    }
    // The settings panel shows its selected pane for the project now loaded.
    settingsViewClass().loadSettingsView(std::nullopt);
    runOnThisScreen(0.1, [] {
        previewLayerClass model;
        resizeAndPositionLayersClass().resizeAndPositionVideo(model.getVideoLayerView(),
                                                              parentPreviewView->bounds());
        editViewClass().stripedBorderFrameChange(std::nullopt, std::nullopt);
        model.fillSelectedAssetOrderedLayerArray();
    });
}

std::vector<double> editViewClass::getMainPreviewViewRectAsArray() {
    if (recordViewClass().getRecordViewSelected()) {
        // The frames were refitted to the studio's preview: report what they were fitted to.
        if (auto bounds = resizeAndPositionLayersClass().getBounds())
            return {bounds->origin.x, bounds->origin.y, bounds->size.width, bounds->size.height};
        if (parentPreviewView) {
            const auto f = parentPreviewView->frame();
            return {f.origin.x, f.origin.y, f.size.width, f.size.height};
        }
    }
    if (!configuration || !dragView)
        return {0, 0, 556, 313};
    const auto f = dragView->frame();
    return {f.origin.x, f.origin.y, f.size.width, f.size.height};
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
    // Whatever is waiting to be written belongs to the model about to go.
    persistentDataStorageClass().flushPendingExport();
    ++screenGeneration;
    if (resetClass) {
        editViewSelected = false;
        editorOpensExistingProject = false;
        // The start-up of the next screen attaches new lists.
        assetStripDocument = std::make_shared<flippedView>(qrn::Rect(0, 0, 78, 77));
        layerListDocument = std::make_shared<flippedView>(qrn::Rect(0, 0, 39, 39));
    }
    if (screenClearHandler)
        screenClearHandler(resetClass);
    if (auto preview = captureSessionClass().getPreviewLayer())
        preview->setContentFilters({});
    // The project's views go with it. The overlay, the camera frame and the z-order markers stay
    // (hidden, for the next project); the next camera reload replaces the markers, so each
    // stands in the preview once, around the current camera view.
    if (dragView) {
        const qrn::ui::Window::TrackingBatch batch(dragView->window());
        const auto subviews = dragView->subviews();
        // The last first: every slide's container is taken off the top of the preview's list.
        for (auto it = subviews.rbegin(); it != subviews.rend(); ++it) {
            const auto& view = *it;
            const auto tag = view->subviews().empty() ? std::nullopt : view->subviews()[0]->tag();
            const bool marker = tag && *tag <= -9 && *tag >= -13;
            const bool screenPart = view->viewWithTag(-5) || view->viewWithTag(-4);
            if (marker)
                continue;
            if (screenPart)
                view->setHidden(true);
            else
                view->removeFromSuperview();
        }
    }
    // The sticky tile goes with its thumbnails, or the next project's layers, which reuse the
    // same ids, would find the old ones.
    if (configuration && configuration->stickyAsset)
        configuration->stickyAsset->setSubviews({});
    emptyListDocuments();
    previewLayerClass().clearClass(resetClass);
    previewLayerViewPathCreationClass().setPathsArray(resetClass
                                                          ? std::vector<std::vector<layerPathEntry>>{}
                                                          : std::vector<std::vector<layerPathEntry>>{{}});
    if (!resetClass)
        loadScrollViewLayers();
    if (resetClass) {
        configuration.reset();
        parentPreviewView.reset();
        dragView.reset();
        previewLayerClass().setConfiguration(std::nullopt);
        previewLayerClass().setVideoLayerView(nullptr);
    }
    QRN_LOG_OUT();
}

void editViewClass::afterOnThisScreen(double seconds, std::function<void()> fn) {
    runOnThisScreen(seconds, std::move(fn));
}

void editViewClass::setScreenClearHandler(std::function<void(bool)> handler) {
    screenClearHandler = std::move(handler);
}

std::optional<editViewConfiguration> editViewClass::getConfiguration() {
    return configuration;
}
editViewClass::ViewPtr editViewClass::getParentPreviewView() {
    return parentPreviewView;
}
editViewClass::ViewPtr editViewClass::getDragView() {
    return dragView;
}
editViewClass::ViewPtr editViewClass::getAssetHorizontalScrollView() {
    return assetStripDocument;
}
editViewClass::ViewPtr editViewClass::getLayerScrollDocumentView() {
    return layerListDocument;
}
double editViewClass::getOverlayIconSize() {
    return overlayIconSize;
}
double editViewClass::getAssetWidth() {
    return 78;
}

void editViewClass::exportProjectAfterDelay() {
    QRN_LOG_IN(std::nullopt);
    runOnThisScreen(1.0, [] {
        editViewClass().addExistingFiltersToVideo(false);
        // A deck comes back from an open as it was stored: the file is compared with the model
        // first, behind the screen, rather than made and put on disk again.
        persistentDataStorageClass().exportDataUnlessFileHoldsModel();
    });
}

bool editViewClass::getShiftKeyPressed() {
    return shiftKeyPressed;
}
void editViewClass::setShiftKeyPressed(bool pressed) {
    shiftKeyPressed = pressed;
}
