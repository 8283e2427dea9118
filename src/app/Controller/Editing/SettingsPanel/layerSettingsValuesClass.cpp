#include "Controller/Editing/SettingsPanel/layerSettingsValuesClass.h"

#include "Controller/Editing/Preview/previewLayerAnimatedPicture.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/animatedImagesClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Global/throwClass.h"
#include "Controller/Global/viewSizingClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Global/svgIconView.h"
#include "platform/foundation/colour.h"
#include "platform/ui/image_view.h"

namespace {
std::optional<layerSettingsValuesViewsRecord> layerSettingsValuesViews;
std::vector<std::shared_ptr<svgIconClass>> ICON_REFERENCE_ARRAY;
bool assetChange = false;
std::function<void(int)> actionHandler;

// The editing screen's crop switch, when it has one.
std::function<void()> videoCroppingEnabled;

std::shared_ptr<svgIconClass> makeIcon(const std::shared_ptr<qrn::ui::View>& target, const std::string& name,
                                       bool enabled) {
    auto icon = svgIconClass::make();
    icon->setIsButtonEnabled(enabled);
    if (!target)
        return icon;
    auto view = svgIconView::createIconView(icon, icon->defaultColourPalletIndex(), name, enabled ? 2 : 0,
                                            target->bounds(), 80);
    icon->setImageView(view);
    target->addSubview(view);
    return icon;
}

void highlight(size_t position, bool on) {
    // The icons exist only while the tools tab is shown.
    if (ICON_REFERENCE_ARRAY.size() == 6)
        ICON_REFERENCE_ARRAY[position]->keepChangedColour(on);
}

void saveWhenAsked() {
    if (globalAppSettingsClass().getSaveOnUserAction())
        persistentDataStorageClass().exportData(false);
}

void showThumbnail(qrn::ui::View& thumbnail, bool video) {
    if (video) {
        auto camera = svgIconClass::make();
        camera->setIsButtonEnabled(false);
        auto view = svgIconView::createIconView(camera, camera->defaultColourPalletIndex(), "camera", 0,
                                                thumbnail.bounds(), 80);
        camera->setImageView(view);
        thumbnail.addSubview(view);
        return;
    }
    qrn::Value picture;
    try {
        picture = previewLayerClass().getImageFromImageReferenceArray(std::nullopt);
    } catch (const std::exception& error) {
        dataLoggingClass().logError("layerSettingsValuesClass", error.what(), __FILE__, __func__);
        return;
    }
    const qrn::Rect b = thumbnail.bounds();
    if (picture.isImage() && picture.toImage()) {
        const auto& image = *picture.toImage();
        const qrn::Size fitted = viewSizingClass().resizeToBoundsWithAspectRatio(
            qrn::Size{double(image.width()), double(image.height())}, b, 1.0);
        auto view = qrn::ui::ImageView::make(qrn::Rect((b.width() - fitted.width) * 0.5,
                                                       (b.height() - fitted.height) * 0.5, fitted.width,
                                                       fitted.height));
        view->setImage(image);
        if (const auto id = previewLayerClass().getSelectedLayer())
            if (auto frames = movingPictureShownFor(*id))
                view->setAnimatedImageOnTimeline(std::move(*frames));
        thumbnail.addSubview(view);
    } else if (picture.isList()) {
        std::vector<qrn::ImageHandle> frames;
        for (const auto& frame : picture.toList())
            if (frame.isImage())
                frames.push_back(frame.toImage());
        auto parent = thumbnail.shared_from_this();
        if (auto view = animatedImages().createAnimatedImage(parent, 0.5, frames, {0, 0}, b.size, true, true))
            thumbnail.addSubview(view);
    }
}
} // namespace

void layerSettingsValuesClass::setViews(std::optional<layerSettingsValuesViewsRecord> views) {
    layerSettingsValuesViews = std::move(views);
}

void layerSettingsValuesClass::initialiseViews() {
    QRN_LOG_IN();
    if (!layerSettingsValuesViews)
        return;
    const auto& v = *layerSettingsValuesViews;
    previewLayerClass model;
    const bool video = model.getVideoLayerSelected();
    const std::optional<int> selected = model.getSelectedLayer();
    const bool layer = !video && selected.has_value();
    if (v.layerImageView) {
        auto frame = v.layerImageView->layer();
        frame->setBorderWidth(1.0);
        frame->setBorderColour(
            qrn::namedColour("border_colour_light_dark", true).value_or(qrn::Colour::black()));
        frame->setCornerRadius(4.0);
        if (video || layer)
            showThumbnail(*v.layerImageView, video);
    }
    if (!video && v.videoCropping)
        v.videoCropping->setHidden(true);

    const bool special = layer && editViewClass().selectedLayerSpecialSymbolType(std::nullopt) != 0;
    const bool any = video || layer;
    ICON_REFERENCE_ARRAY = {makeIcon(v.revertView, "revert", any),
                            makeIcon(v.aspectRatioResizeView, "aspect_ratio", any && !special),
                            makeIcon(v.videoCropping, "crop", any),
                            makeIcon(v.lockView, "unlock", false),
                            makeIcon(v.flipHorizontalView, "flip_horizontal", any),
                            makeIcon(v.flipVerticalView, "flip_vertical", any)};
    if (video) {
        highlight(aspectRatioIcon, true);
        highlight(cropIcon, model.getVideoCropState());
        const auto flips = model.getVideoIsFlippedArray();
        highlight(flipHorizontalIcon, flips.size() > 0 && flips[0]);
        highlight(flipVerticalIcon, flips.size() > 1 && flips[1]);
    } else if (layer) {
        const auto lock = model.getSelectedLayerResizeWithAspectRatio();
        highlight(aspectRatioIcon, special || (!lock.empty() && lock[0] == 1.0));
        highlight(flipHorizontalIcon, model.checkIfLayerIsFlipped(true, std::nullopt));
        highlight(flipVerticalIcon, model.checkIfLayerIsFlipped(false, std::nullopt));
    }
    QRN_LOG_OUT();
}

bool layerSettingsValuesClass::getAssetChange() {
    return assetChange;
}

void layerSettingsValuesClass::setAssetChange(bool change) {
    QRN_LOG_IN(LogValues{{"assetChange", change}});
    assetChange = change;
}

void layerSettingsValuesClass::layerSettingOnclick(int number) {
    QRN_LOG_IN(LogValues{{"setting", number}});
    if (actionHandler) {
        actionHandler(number);
        return;
    }
    previewLayerClass model;
    if (!model.getVideoLayerSelected() && !model.getSelectedLayer())
        return;
    switch (number) {
    case 0:
        highlight(aspectRatioIcon, model.resizeLayerWithAspectRatio(std::nullopt, true, std::nullopt, false));
        saveWhenAsked();
        break;
    case 1:
        model.revertLayerToOriginal();
        break;
    case 2:
        if (videoCroppingEnabled)
            videoCroppingEnabled();
        else if (model.getVideoLayerSelected())
            model.setVideoCropState(!model.getVideoCropState());
        highlight(cropIcon, model.getVideoCropState());
        break;
    case 3:
        model.mirrorLayer(true, std::nullopt, false);
        highlight(flipHorizontalIcon, model.checkIfLayerIsFlipped(true, std::nullopt));
        break;
    default:
        model.mirrorLayer(false, std::nullopt, false);
        highlight(flipVerticalIcon, model.checkIfLayerIsFlipped(false, std::nullopt));
        break;
    }
}

void layerSettingsValuesClass::undoRedoActionForLayerSetting(int setting,
                                                             const std::optional<qrn::Value::List>& layer,
                                                             const qrn::Value& value) {
    QRN_LOG_IN(LogValues{{"setting", setting}, {"value", value}});
    previewLayerClass model;
    const auto target = model.layerAssetIndexAndVideoSelectedParameterValues(layer);
    // The icons show the selected layer of the selected asset only: the same position in another
    // asset is another layer.
    const bool selectedLayer = !target.videoSelected && model.getSelectedLayer().has_value() &&
                               target.layerIndex && target.assetIndex == model.getSelectedAssetIndex() &&
                               *target.layerIndex == model.getSelectedLayerIndex(false);
    const bool selectedVideo = target.videoSelected && model.getVideoLayerSelected();
    if (setting == 0) {
        const double stored = value.toReal();
        model.resizeLayerWithAspectRatio(layer, true, stored, true);
        if (selectedLayer)
            highlight(aspectRatioIcon, stored == 1.0);
    } else if (setting == 1 || setting == 2) {
        const bool horizontal = setting == 1;
        model.mirrorLayer(horizontal, layer, true);
        if (selectedLayer || selectedVideo)
            highlight(horizontal ? flipHorizontalIcon : flipVerticalIcon,
                      model.checkIfLayerIsFlipped(horizontal, layer));
    }
    saveWhenAsked();
}

std::vector<std::shared_ptr<svgIconClass>> layerSettingsValuesClass::getIconReferenceArray() {
    return ICON_REFERENCE_ARRAY;
}

void layerSettingsValuesClass::clearIconReferenceArray() {
    QRN_LOG_IN();
    ICON_REFERENCE_ARRAY.clear();
}

void layerSettingsValuesClass::iconsReverted(bool cameraPicture) {
    highlight(aspectRatioIcon, true);
    if (cameraPicture)
        highlight(cropIcon, false);
    highlight(flipHorizontalIcon, false);
    highlight(flipVerticalIcon, false);
}

void layerSettingsValuesClass::setActionHandler(std::function<void(int)> handler) {
    actionHandler = std::move(handler);
}

void layerSettingsValuesClass::setVideoCroppingEnabledHook(std::function<void()> hook) {
    videoCroppingEnabled = std::move(hook);
}
