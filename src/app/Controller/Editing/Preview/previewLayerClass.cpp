#include "Controller/Editing/Preview/previewLayerClass.h"

#include <QFileInfo>
#include <QImage>

#include <algorithm>
#include <climits>
#include <map>

#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Controller/Global/throwClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "platform/imaging/picture_reader.h"
#include "platform/ui/resources.h"
#include "platform/ui/view.h"

namespace {

template <typename T> using rows = std::vector<std::vector<T>>;

std::vector<std::string> ASSET_ARRAY;
std::vector<std::optional<std::string>> ASSET_BACKGROUND_ID_ARRAY;
std::vector<std::vector<double>> ASSET_BACKGROUND_COLOUR_ARRAY;
std::vector<std::shared_ptr<qrn::ui::View>> assetTileViewArray;
rows<std::string> LAYER_ARRAY;
std::vector<std::optional<std::string>> FIRST_LAYER_ABOVE_VIDEO_ARRAY;
rows<imageReferenceArray> IMAGE_REFERENCE_ARRAY;
rows<std::vector<double>> LAYER_ORIGIN_SIZE_ARRAY;
rows<qrn::Point> layerTransformedOrigin;
rows<double> LAYER_ROTATE_ARRAY;
rows<qrn::Size> layerTransformedSize;
rows<std::vector<double>> LAYER_ORIGINAL_POS_SIZE_ROT;
rows<std::vector<bool>> LAYER_IS_FLIPPED_ARRAY;
rows<std::vector<double>> LAYER_RESIZE_WITH_ASPECT_RATIO;

std::vector<double> VIDEO_ORIGIN_SIZE_ARRAY{0, 0, 0, 0};
qrn::Point cropOrigin;
qrn::Size cropSize{100, 100};
bool videoCropState = false;
qrn::Size videoTransformedSize;
qrn::Point videoTransformedOrigin;
std::vector<bool> videoIsFlippedArray{false, false};
std::optional<std::vector<double>> mainPreviewViewArrayFromImport;

int selectedAsset = 0;
std::optional<int> selectedLayer;
bool videoLayerSelected = false;
int assetIdCounter = 0;
int layerIdCounter = 0;

std::optional<previewLayerConfigurationViews> previewLayerConfiguration;
std::shared_ptr<qrn::ui::View> videoLayerView;

previewInteractionState interaction;

previewLayerClass::bundleImageLookup bundleImages;
std::function<void()> editingScreenClearHandler;

// Symbols and the text layer's picture ship as named images, drawn at their natural size. Each
// is drawn once: a project repeats the same few symbols on many layers.
qrn::ImageHandle defaultBundleImage(const std::string& name) {
    static std::map<std::string, qrn::ImageHandle> drawn;
    if (auto found = drawn.find(name); found != drawn.end())
        return found->second;
    QImage image = qrn::NamedImages::render(name);
    if (image.isNull())
        return nullptr;
    // Only names that exist are kept, so names from a damaged file cannot grow the table.
    auto handle = std::make_shared<const QImage>(std::move(image));
    drawn.emplace(name, handle);
    return handle;
}

qrn::ImageHandle bundleImage(const std::string& name) {
    return bundleImages ? bundleImages(name) : defaultBundleImage(name);
}

// An element of a reference as text: strings as they are, numbers in decimal.
std::string referenceText(const imageReferenceArray& reference, size_t index) {
    if (index >= reference.size())
        return "";
    const qrn::Value& v = reference[index];
    if (v.isString())
        return v.toString();
    if (v.isInteger())
        return std::to_string(v.toInt());
    return v.describe();
}

template <typename T> int indexOf(const std::vector<T>& list, const T& value) {
    auto it = std::find(list.begin(), list.end(), value);
    return it == list.end() ? -1 : int(it - list.begin());
}

} // namespace

bool isSafeImageFileComponent(const std::string& component) {
    return !component.empty() && component.find('/') == std::string::npos &&
           component.find('\\') == std::string::npos && component.find("..") == std::string::npos &&
           component.find('\0') == std::string::npos;
}

bool isSafeImageFileName(const std::string& name, const std::string& extension) {
    return isSafeImageFileComponent(name) && isSafeImageFileComponent(extension) &&
           name.size() + 1 + extension.size() <= NAME_MAX;
}

std::optional<std::string> projectPictureFileOf(const imageReferenceArray& reference) {
    const auto kind = reference.empty() ? 0 : reference[0].toInt();
    if (kind == 1 || kind == 2)
        return std::nullopt;
    const std::string extension = referenceText(reference, 1);
    const std::string name = referenceText(reference, 2);
    if (!isSafeImageFileName(name, extension))
        return std::nullopt;
    return persistentDataStorageClass().getProjectDirectory() + "/images/" + name + "." + extension;
}

void previewLayerClass::clearClass(bool resetClass) {
    QRN_LOG_IN(LogValues{{"resetClass", resetClass}});
    // Entries of the old model would replay into the new one.
    undoRedoClass().clearClass();
    // Pictures of the old project must not land in the new one (an import empties the model
    // before it collects its own).
    if (!previewLayerPendingPictures::isCollecting())
        previewLayerPendingPictures::cancel();
    previewLayerViewPathCreationClass paths;
    if (resetClass) {
        if (editingScreenClearHandler)
            editingScreenClearHandler();
        assetIdCounter = 0;
        layerIdCounter = 0;
        ASSET_ARRAY.clear();
        LAYER_ARRAY.clear();
        FIRST_LAYER_ABOVE_VIDEO_ARRAY.clear();
        paths.setPathsArray({});
        IMAGE_REFERENCE_ARRAY.clear();
        LAYER_ORIGIN_SIZE_ARRAY.clear();
        layerTransformedOrigin.clear();
        LAYER_ROTATE_ARRAY.clear();
        layerTransformedSize.clear();
        LAYER_ORIGINAL_POS_SIZE_ROT.clear();
        LAYER_IS_FLIPPED_ARRAY.clear();
        LAYER_RESIZE_WITH_ASPECT_RATIO.clear();
    } else {
        assetIdCounter = 1;
        layerIdCounter = 1;
        ASSET_ARRAY = {"0"};
        LAYER_ARRAY = {{}};
        FIRST_LAYER_ABOVE_VIDEO_ARRAY = {std::nullopt};
        paths.setPathsArray({{}});
        IMAGE_REFERENCE_ARRAY = {{}};
        LAYER_ORIGIN_SIZE_ARRAY = {{}};
        layerTransformedOrigin = {{}};
        LAYER_ROTATE_ARRAY = {{}};
        layerTransformedSize = {{}};
        LAYER_ORIGINAL_POS_SIZE_ROT = {{}};
        LAYER_IS_FLIPPED_ARRAY = {{}};
        LAYER_RESIZE_WITH_ASPECT_RATIO = {{}};
    }
    ASSET_BACKGROUND_ID_ARRAY.clear();
    ASSET_BACKGROUND_COLOUR_ARRAY.clear();
    assetTileViewArray.clear();

    // The preview rectangle the last project was stored with: a new or reset project's first
    // layer takes the preview it is added on.
    mainPreviewViewArrayFromImport.reset();
    videoTransformedSize = {};
    videoTransformedOrigin = {};
    cropSize = {100, 100};
    cropOrigin = {};
    videoIsFlippedArray = {false, false};
    selectedAsset = 0;
    selectedLayer.reset();
    videoLayerSelected = false;
    // The mouse state, the generation counters, the hit path and the import marker outlive a
    // project reset.
    interaction.rotatedStarted = false;
    interaction.resizeOrRotateButtonSelected = 0;
    interaction.rotateButtonSelected = 0;
    interaction.assetNumber = 0;
    interaction.draggingLayer = false;
    interaction.dragStartLocation.reset();
    interaction.resizeStartLocation = std::make_pair(0.0, 0.0);
    interaction.resizeButtonSelected = true;
    interaction.handleOffset = {};
    interaction.handleTurnOffset = 0;
    // The ordered views belong to the project that is going.
    interaction.selectedAssetOrderedLayerArray.clear();
    QRN_LOG_OUT(std::nullopt);
}

std::optional<previewLayerConfigurationViews> previewLayerClass::getConfiguration() {
    QRN_LOG_IN(std::nullopt);
    return previewLayerConfiguration;
}

std::shared_ptr<qrn::ui::View> previewLayerClass::getParentPreviewView() {
    QRN_LOG_IN(std::nullopt);
    return previewLayerConfiguration ? previewLayerConfiguration->parentPreviewView : nullptr;
}

void previewLayerClass::setConfiguration(std::optional<previewLayerConfigurationViews> configuration) {
    QRN_LOG_IN(std::nullopt);
    previewLayerConfiguration = std::move(configuration);
}

std::shared_ptr<qrn::ui::View> previewLayerClass::getVideoLayerView() {
    QRN_LOG_IN(std::nullopt);
    if (!videoLayerView)
        videoLayerView = qrn::ui::View::make();
    return videoLayerView;
}
void previewLayerClass::setVideoLayerView(std::shared_ptr<qrn::ui::View> view) {
    QRN_LOG_IN(std::nullopt);
    videoLayerView = std::move(view);
}

const std::vector<std::vector<std::string>>& previewLayerClass::getLayerArray() {
    QRN_LOG_IN(std::nullopt);
    return LAYER_ARRAY;
}

const std::vector<std::vector<std::string>>& previewLayerClass::getLayerArrayReference() {
    return LAYER_ARRAY;
}

void previewLayerClass::setLayerArray(std::vector<std::vector<std::string>> value) {
    QRN_LOG_IN(std::nullopt);
    LAYER_ARRAY = std::move(value);
}

void previewLayerClass::setFirstLayerAboveVideoArray(std::vector<std::optional<std::string>> value) {
    QRN_LOG_IN(std::nullopt);
    FIRST_LAYER_ABOVE_VIDEO_ARRAY = std::move(value);
}

const std::vector<std::optional<std::string>>& previewLayerClass::getFirstLayerAboveVideoArray() {
    QRN_LOG_IN(std::nullopt);
    return FIRST_LAYER_ABOVE_VIDEO_ARRAY;
}

int previewLayerClass::getSelectedLayerIndex(bool lastLayer) {
    QRN_LOG_IN(LogValues{{"lastLayer", lastLayer}});
    const int asset = getSelectedAssetIndex();
    if (asset < 0 || asset >= int(LAYER_ARRAY.size()))
        return -1;
    const auto& row = LAYER_ARRAY[size_t(asset)];
    int result = -1;
    if (lastLayer)
        result = int(row.size()) - 1;
    else if (selectedLayer)
        result = indexOf(row, std::to_string(*selectedLayer));
    QRN_LOG_OUT(LogValues{{"layerIndex", result}});
    return result;
}

const std::vector<std::string>& previewLayerClass::getAssetArray() {
    QRN_LOG_IN(std::nullopt);
    return ASSET_ARRAY;
}

const std::vector<std::string>& previewLayerClass::getAssetArrayReference() {
    return ASSET_ARRAY;
}

void previewLayerClass::setAssetArray(std::vector<std::string> value) {
    QRN_LOG_IN(std::nullopt);
    ASSET_ARRAY = std::move(value);
}

void previewLayerClass::setAssetBackgroundIDArray(std::vector<std::optional<std::string>> value) {
    QRN_LOG_IN(std::nullopt);
    ASSET_BACKGROUND_ID_ARRAY = std::move(value);
}

const std::vector<std::optional<std::string>>& previewLayerClass::getAssetBackgroundIDArray() {
    QRN_LOG_IN(std::nullopt);
    return ASSET_BACKGROUND_ID_ARRAY;
}

void previewLayerClass::setAssetBackgroundColour(std::vector<std::vector<double>> value) {
    QRN_LOG_IN(std::nullopt);
    ASSET_BACKGROUND_COLOUR_ARRAY = std::move(value);
}

const std::vector<std::vector<double>>& previewLayerClass::getAssetBackgroundColour() {
    QRN_LOG_IN(std::nullopt);
    return ASSET_BACKGROUND_COLOUR_ARRAY;
}

std::vector<double> previewLayerClass::getSelectedAssetBackgroundColour() {
    QRN_LOG_IN(std::nullopt);
    // The asset "0" has no colour entry of its own: it shows over black.
    if (selectedAsset == 0)
        return {0, 0, 0, 1};
    const int entry = getSelectedAssetIndex() - 1;
    if (entry < 0 || entry >= int(ASSET_BACKGROUND_COLOUR_ARRAY.size()))
        return {0, 0, 0, 1};
    return ASSET_BACKGROUND_COLOUR_ARRAY[size_t(entry)];
}

std::pair<qrn::Size, qrn::Point> previewLayerClass::getVideoCropSizeAndOrigin() {
    QRN_LOG_IN(std::nullopt);
    return {cropSize, cropOrigin};
}

void previewLayerClass::setVideoCropSizeAndOrigin(qrn::Size size, qrn::Point origin) {
    QRN_LOG_IN(std::nullopt);
    cropSize = size;
    cropOrigin = origin;
}

const std::vector<std::vector<imageReferenceArray>>& previewLayerClass::getImageReferenceArray() {
    QRN_LOG_IN(std::nullopt);
    return IMAGE_REFERENCE_ARRAY;
}

void previewLayerClass::setEntireImageReferenceArray(std::vector<std::vector<imageReferenceArray>> value) {
    QRN_LOG_IN(std::nullopt);
    IMAGE_REFERENCE_ARRAY = std::move(value);
}

qrn::Value
previewLayerClass::getImageFromImageReferenceArray(const std::optional<imageReferenceArray>& given) {
    QRN_LOG_IN(LogValues{{"IMAGE_REFERENCE_ARRAY", given ? qrn::Value(*given) : qrn::Value()}});
    imageReferenceArray reference;
    if (given) {
        reference = *given;
    } else {
        const int asset = getSelectedAssetIndex();
        const int layer = getSelectedLayerIndex(false);
        if (asset >= 0 && layer >= 0 && size_t(asset) < IMAGE_REFERENCE_ARRAY.size() &&
            size_t(layer) < IMAGE_REFERENCE_ARRAY[size_t(asset)].size())
            reference = IMAGE_REFERENCE_ARRAY[size_t(asset)][size_t(layer)];
    }
    const auto kind = reference.empty() ? 0 : reference[0].toInt();
    const std::string extension = referenceText(reference, 1);
    const std::string name = referenceText(reference, 2);

    if (kind == 1) {
        const bool textLayer =
            reference.back().isInteger() && reference.back().toInt() == 1 && reference.size() > 1;
        auto image = bundleImage(textLayer ? "text_main" : name);
        if (!image)
            throw throwClass().error("Unable to retrieve local regular image " + name + "." + extension);
        return qrn::Value(image);
    }
    if (kind == 2) {
        qrn::Value::List frames;
        for (size_t i = 1; i < reference.size(); ++i) {
            const std::string frame = referenceText(reference, i);
            auto image = bundleImage(frame);
            if (!image) {
                QRN_LOG_ERROR("Unable to find local animated image " + frame);
                image = std::make_shared<const QImage>();
            }
            frames.emplace_back(image);
        }
        return qrn::Value(std::move(frames));
    }

    // A file of the project's images folder. Names come from the project file, so anything
    // that could reach outside the folder counts as a missing image.
    const std::string missing = "Unable to retrieve remote regular image " + name + "." + extension;
    const auto found = projectPictureFileOf(reference);
    if (!found)
        throw throwClass().error(missing);
    const std::string& file = *found;
    if (previewLayerPendingPictures::isCollecting()) {
        // Opening a project: the picture follows, decoded on the side; a file outside the
        // images folder gets no stand-in.
        if (auto standIn = previewLayerPendingPictures::standInFor(file, reference))
            return qrn::Value(std::move(standIn));
        throw throwClass().error(missing);
    }
    if (!imageManipulationClass::isInImagesFolder(file))
        throw throwClass().error(missing);
    auto image = qrn::imaging::readPicture(file, previewLayerPendingPictures::moviePixels());
    if (!image)
        throw throwClass().error(missing);
    return qrn::Value(std::make_shared<const QImage>(std::move(image).value()));
}

void previewLayerClass::setImageReferenceArray(int kind, const std::optional<qrn::Value::List>& names,
                                               const std::optional<std::string>& fileExtension) {
    QRN_LOG_IN(LogValues{{"kind", kind}});
    imageReferenceArray reference{kind};
    if (kind == 2) {
        for (const auto& name : names.value_or(qrn::Value::List{}))
            reference.emplace_back(name.isString() ? name.toString() : name.describe());
    } else if (kind == 1) {
        const qrn::Value first = names && !names->empty() ? names->front() : qrn::Value();
        if (first.isString() && first.toString() == "text_main") {
            reference.insert(reference.end(), {qrn::Value(""), qrn::Value(""), qrn::Value(1)});
        } else {
            reference.emplace_back(fileExtension.value_or(""));
            reference.emplace_back(first.isString() ? first.toString() : first.describe());
        }
    } else {
        reference.emplace_back(fileExtension.value_or(""));
    }
    const int asset = getSelectedAssetIndex();
    if (asset < 0)
        return;
    if (size_t(asset) >= IMAGE_REFERENCE_ARRAY.size())
        IMAGE_REFERENCE_ARRAY.resize(size_t(asset) + 1);
    IMAGE_REFERENCE_ARRAY[size_t(asset)].push_back(std::move(reference));
}

const std::vector<std::vector<std::vector<double>>>& previewLayerClass::getLayerOriginSizeArray() {
    QRN_LOG_IN(std::nullopt);
    return LAYER_ORIGIN_SIZE_ARRAY;
}

void previewLayerClass::setLayerOriginSizeArray(std::vector<std::vector<std::vector<double>>> value) {
    QRN_LOG_IN(std::nullopt);
    LAYER_ORIGIN_SIZE_ARRAY = std::move(value);
}

std::vector<double> previewLayerClass::getSingleLayerOriginSizeArray(
    const std::optional<layerAssetIndexAndVideoSelectedArray>& layer) {
    QRN_LOG_IN(std::nullopt);
    const auto where = layerAssetIndexAndVideoSelectedParameterValues(layer);
    if (!where.layerIndex || where.assetIndex < 0 ||
        size_t(where.assetIndex) >= LAYER_ORIGIN_SIZE_ARRAY.size())
        return {};
    const auto& row = LAYER_ORIGIN_SIZE_ARRAY[size_t(where.assetIndex)];
    if (*where.layerIndex < 0 || size_t(*where.layerIndex) >= row.size())
        return {};
    return row[size_t(*where.layerIndex)];
}

const std::vector<std::vector<qrn::Point>>& previewLayerClass::getLayerTransformedOrigin() {
    QRN_LOG_IN(std::nullopt);
    return layerTransformedOrigin;
}

void previewLayerClass::setLayerTransformedOrigin(std::vector<std::vector<qrn::Point>> value) {
    QRN_LOG_IN(std::nullopt);
    layerTransformedOrigin = std::move(value);
}

const std::vector<std::vector<qrn::Size>>& previewLayerClass::getLayerTransformedSize() {
    QRN_LOG_IN(std::nullopt);
    return layerTransformedSize;
}

void previewLayerClass::setLayerTransformedSize(std::vector<std::vector<qrn::Size>> value) {
    QRN_LOG_IN(std::nullopt);
    layerTransformedSize = std::move(value);
}

const std::vector<std::vector<double>>& previewLayerClass::getLayerRotateArray() {
    QRN_LOG_IN(std::nullopt);
    return LAYER_ROTATE_ARRAY;
}

void previewLayerClass::setLayerRotateArray(std::vector<std::vector<double>> value) {
    QRN_LOG_IN(std::nullopt);
    LAYER_ROTATE_ARRAY = std::move(value);
}

const std::vector<std::vector<std::vector<double>>>& previewLayerClass::getLayerOriginalPosSize() {
    QRN_LOG_IN(std::nullopt);
    return LAYER_ORIGINAL_POS_SIZE_ROT;
}

void previewLayerClass::setLayerOriginalPosSize(std::vector<std::vector<std::vector<double>>> value) {
    QRN_LOG_IN(std::nullopt);
    LAYER_ORIGINAL_POS_SIZE_ROT = std::move(value);
}

const std::vector<std::vector<std::vector<bool>>>& previewLayerClass::getLayerIsFlippedArray() {
    QRN_LOG_IN(std::nullopt);
    return LAYER_IS_FLIPPED_ARRAY;
}

void previewLayerClass::setLayerIsFlippedArray(std::vector<std::vector<std::vector<bool>>> value) {
    QRN_LOG_IN(std::nullopt);
    LAYER_IS_FLIPPED_ARRAY = std::move(value);
}

const std::vector<std::vector<std::vector<double>>>& previewLayerClass::getLayerResizeWithAspectRatioArray() {
    QRN_LOG_IN(std::nullopt);
    return LAYER_RESIZE_WITH_ASPECT_RATIO;
}

std::vector<double> previewLayerClass::getSelectedLayerResizeWithAspectRatio() {
    QRN_LOG_IN(std::nullopt);
    const int asset = getSelectedAssetIndex();
    const int layer = getSelectedLayerIndex(false);
    if (asset < 0 || layer < 0 || size_t(asset) >= LAYER_RESIZE_WITH_ASPECT_RATIO.size() ||
        size_t(layer) >= LAYER_RESIZE_WITH_ASPECT_RATIO[size_t(asset)].size())
        return {};
    return LAYER_RESIZE_WITH_ASPECT_RATIO[size_t(asset)][size_t(layer)];
}

void previewLayerClass::setLayerResizeWithAspectRatioArray(
    std::vector<std::vector<std::vector<double>>> value) {
    QRN_LOG_IN(std::nullopt);
    LAYER_RESIZE_WITH_ASPECT_RATIO = std::move(value);
}

void previewLayerClass::setRotatedStarted(bool started) {
    QRN_LOG_IN(LogValues{{"started", started}});
    interaction.rotatedStarted = started;
}
bool previewLayerClass::getRotatedStarted() {
    QRN_LOG_IN(std::nullopt);
    return interaction.rotatedStarted;
}
qrn::Size previewLayerClass::getVideoTransformedSize() {
    QRN_LOG_IN(std::nullopt);
    return videoTransformedSize;
}
void previewLayerClass::setVideoTransformedSize(qrn::Size size) {
    QRN_LOG_IN(std::nullopt);
    videoTransformedSize = size;
}
qrn::Point previewLayerClass::getVideoTransformedOrigin() {
    QRN_LOG_IN(std::nullopt);
    return videoTransformedOrigin;
}
void previewLayerClass::setVideoTransformedOrigin(qrn::Point origin) {
    QRN_LOG_IN(std::nullopt);
    videoTransformedOrigin = origin;
}
bool previewLayerClass::getVideoCropState() {
    QRN_LOG_IN(std::nullopt);
    return videoCropState;
}
void previewLayerClass::setVideoCropState(bool state) {
    QRN_LOG_IN(LogValues{{"state", state}});
    videoCropState = state;
}

std::vector<double> previewLayerClass::getVideoOriginSizeArray() {
    QRN_LOG_IN(std::nullopt);
    return VIDEO_ORIGIN_SIZE_ARRAY;
}

void previewLayerClass::setVideoOriginSizeArray(std::vector<double> value) {
    QRN_LOG_IN(std::nullopt);
    VIDEO_ORIGIN_SIZE_ARRAY = std::move(value);
}

std::vector<bool> previewLayerClass::getVideoIsFlippedArray() {
    QRN_LOG_IN(std::nullopt);
    return videoIsFlippedArray;
}
void previewLayerClass::setVideoIsFlippedArray(std::vector<bool> flipped) {
    QRN_LOG_IN(std::nullopt);
    videoIsFlippedArray = std::move(flipped);
}

int previewLayerClass::getSelectedAssetIndex() {
    QRN_LOG_IN(std::nullopt);
    const std::string id = std::to_string(selectedAsset);
    // From the end: ids are unique, and the asset selected is most often the one just added
    // (opening a deck asks after every asset it adds).
    const auto it = std::find(ASSET_ARRAY.rbegin(), ASSET_ARRAY.rend(), id);
    const int result = it == ASSET_ARRAY.rend() ? -1 : int(ASSET_ARRAY.rend() - it) - 1;
    QRN_LOG_OUT(LogValues{{"assetIndex", result}});
    return result;
}

int previewLayerClass::getSelectedAsset() {
    QRN_LOG_IN(std::nullopt);
    return selectedAsset;
}
std::optional<int> previewLayerClass::getSelectedLayer() {
    QRN_LOG_IN(std::nullopt);
    return selectedLayer;
}
bool previewLayerClass::getVideoLayerSelected() {
    QRN_LOG_IN(std::nullopt);
    return videoLayerSelected;
}
void previewLayerClass::setSelectedAsset(int assetId) {
    QRN_LOG_IN(LogValues{{"assetId", assetId}});
    selectedAsset = assetId;
}
void previewLayerClass::setSelectedLayer(std::optional<int> layerId) {
    QRN_LOG_IN(std::nullopt);
    selectedLayer = layerId;
}
void previewLayerClass::setVideoLayerSelected(bool selected) {
    QRN_LOG_IN(LogValues{{"selected", selected}});
    videoLayerSelected = selected;
}
int previewLayerClass::getResizeOrRotateButtonSelected() {
    QRN_LOG_IN(std::nullopt);
    return interaction.resizeOrRotateButtonSelected;
}
void previewLayerClass::setResizeOrRotateButtonSelected(int handle) {
    QRN_LOG_IN(LogValues{{"handle", handle}});
    interaction.resizeOrRotateButtonSelected = handle;
}
int previewLayerClass::getRotateButtonSelected() {
    QRN_LOG_IN(std::nullopt);
    return interaction.rotateButtonSelected;
}
void previewLayerClass::setRotateButtonSelected(int handle) {
    QRN_LOG_IN(LogValues{{"handle", handle}});
    interaction.rotateButtonSelected = handle;
}
bool previewLayerClass::getResizeButtonSelected() {
    QRN_LOG_IN(std::nullopt);
    return interaction.resizeButtonSelected;
}
void previewLayerClass::setResizeButtonSelected(bool selected) {
    QRN_LOG_IN(LogValues{{"resizeButtonSelected", selected}});
    interaction.resizeButtonSelected = selected;
}
bool previewLayerClass::getMouseDown() {
    QRN_LOG_IN(std::nullopt);
    return interaction.mouseDown;
}
void previewLayerClass::setMouseDown(bool down) {
    QRN_LOG_IN(LogValues{{"down", down}});
    interaction.mouseDown = down;
}

void previewLayerClass::setMainPreviewViewArrayFromImport(std::optional<std::vector<double>> rect) {
    QRN_LOG_IN(std::nullopt);
    mainPreviewViewArrayFromImport = std::move(rect);
}

std::optional<std::vector<double>> previewLayerClass::getMainPreviewViewArrayFromImport() {
    QRN_LOG_IN(std::nullopt);
    return mainPreviewViewArrayFromImport;
}

std::shared_ptr<qrn::ui::View> previewLayerClass::getSuperviewOfTaggedPreviewView() {
    QRN_LOG_IN(std::nullopt);
    if (!previewLayerConfiguration || !previewLayerConfiguration->layerContainerView)
        return nullptr;
    auto tagged = previewLayerConfiguration->layerContainerView->viewWithTag(-5);
    return tagged ? tagged->superview() : nullptr;
}

previewInteractionState& previewLayerClass::getInteractionState() {
    return interaction;
}
void previewLayerClass::setImportMarker(bool importing) {
    QRN_LOG_IN(LogValues{{"importing", importing}});
    interaction.importMarker = importing;
}
bool previewLayerClass::getImportMarker() {
    QRN_LOG_IN(std::nullopt);
    return interaction.importMarker;
}
std::vector<std::shared_ptr<qrn::ui::View>> previewLayerClass::getAssetTileViewArray() {
    QRN_LOG_IN(std::nullopt);
    return assetTileViewArray;
}
void previewLayerClass::setAssetTileViewArray(std::vector<std::shared_ptr<qrn::ui::View>> views) {
    QRN_LOG_IN(std::nullopt);
    assetTileViewArray = std::move(views);
}

int previewLayerClass::getAssetIdCounter() {
    QRN_LOG_IN(std::nullopt);
    return assetIdCounter;
}
int previewLayerClass::getLayerIdCounter() {
    QRN_LOG_IN(std::nullopt);
    return layerIdCounter;
}
void previewLayerClass::setAssetIdCounter(int value) {
    QRN_LOG_IN(LogValues{{"value", value}});
    assetIdCounter = value;
}
void previewLayerClass::setLayerIdCounter(int value) {
    QRN_LOG_IN(LogValues{{"value", value}});
    layerIdCounter = value;
}

std::string previewLayerClass::takeNewAssetId() {
    QRN_LOG_IN(std::nullopt);
    // One counter serves asset ids, their container markers (id + 1) and layer ids, so no
    // preview tag is ever used twice.
    const int id = layerIdCounter;
    layerIdCounter += 2;
    assetIdCounter += 1;
    QRN_LOG_OUT(LogValues{{"assetString", std::to_string(id)}});
    return std::to_string(id);
}

std::string previewLayerClass::takeNewLayerId() {
    QRN_LOG_IN(std::nullopt);
    const int id = layerIdCounter;
    layerIdCounter += 1;
    selectedLayer = id;
    QRN_LOG_OUT(LogValues{{"layerString", std::to_string(id)}});
    return std::to_string(id);
}

layerAssetIndexAndVideoSelectedValues previewLayerClass::layerAssetIndexAndVideoSelectedParameterValues(
    const std::optional<layerAssetIndexAndVideoSelectedArray>& layer) {
    QRN_LOG_IN(std::nullopt);
    layerAssetIndexAndVideoSelectedValues result;
    if (layer) {
        const auto at = [&](size_t i) { return i < layer->size() ? (*layer)[i] : qrn::Value(); };
        result.videoSelected = at(0).toBool(false);
        result.assetIndex = at(1).isInteger() ? int(at(1).toInt()) : getSelectedAssetIndex();
        if (!result.videoSelected) {
            if (at(2).isInteger())
                result.layerIndex = int(at(2).toInt());
            else if (selectedLayer)
                result.layerIndex = getSelectedLayerIndex(false);
        }
        return result;
    }
    result.assetIndex = getSelectedAssetIndex();
    result.videoSelected = videoLayerSelected;
    if (!videoLayerSelected && selectedLayer)
        result.layerIndex = getSelectedLayerIndex(false);
    return result;
}

void previewLayerClass::setBundleImageLookup(bundleImageLookup lookup) {
    bundleImages = std::move(lookup);
}

void previewLayerClass::setEditingScreenClearHandler(std::function<void()> handler) {
    editingScreenClearHandler = std::move(handler);
}

previewLayerClass::layerRowsAccess previewLayerClass::layerRows() {
    return {LAYER_ARRAY,
            IMAGE_REFERENCE_ARRAY,
            LAYER_ORIGIN_SIZE_ARRAY,
            layerTransformedOrigin,
            layerTransformedSize,
            LAYER_ROTATE_ARRAY,
            LAYER_ORIGINAL_POS_SIZE_ROT,
            LAYER_IS_FLIPPED_ARRAY,
            LAYER_RESIZE_WITH_ASPECT_RATIO,
            ASSET_BACKGROUND_ID_ARRAY,
            ASSET_ARRAY,
            FIRST_LAYER_ABOVE_VIDEO_ARRAY};
}
