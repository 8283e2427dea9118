// The editing logic's services to the preview: the camera frame, the layer holders, the
// background boxes and colour, the cursor and the camera filters.
#include "Controller/Editing/editViewClass.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/mouseCursorClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Filters/filterServices.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/stylingClass.h"
#include "platform/graphics/shape_layer.h"
#include "platform/ui/panels.h"
#include "platform/ui/view.h"

void editViewClass::addExistingFiltersToVideo(bool exportData) {
    QRN_LOG_IN(LogValues{{"exportData", exportData}});
    filterClass filters;
    const auto names = filters.getFilterString();
    auto flags = filters.getVideoFilter();
    auto values = filters.getVideoFilterValues();
    // Tables written by an older project may be shorter than the filter list.
    flags.resize(std::max(flags.size(), names.size()), false);
    values.resize(std::max(values.size(), names.size()));
    for (size_t i = 0; i < names.size(); ++i)
        filterEditing().applyFilter(flags[i], int(i), values[i].value_or(filterValuesEntry{qrn::Value()}),
                                    true, exportData);
}

void editViewClass::stripedBorderFrameChange(std::optional<qrn::Point> origin,
                                             std::optional<qrn::Size> size) {
    QRN_LOG_IN(std::nullopt);
    const auto dragView = getDragView();
    if (!dragView)
        return;
    const qrn::Rect videoFrame = previewLayerClass().getVideoLayerView()->layer()->frame();
    const qrn::Point o = origin.value_or(videoFrame.origin);
    const qrn::Size s = size.value_or(videoFrame.size);
    auto tagged = dragView->viewWithTag(-4);
    auto frameView = tagged ? tagged->superview() : nullptr;
    if (!frameView)
        return;
    frameView->setFrame(qrn::Rect(o, s));
    if (frameView->layer()->sublayers().empty())
        return;
    auto dashes = std::dynamic_pointer_cast<qrn::graphics::ShapeLayer>(frameView->layer()->sublayers()[0]);
    if (!dashes)
        return;
    const qrn::Rect inner(0, 0, s.width - 1, s.height - 1);
    dashes->setFrame(inner);
    dashes->setPath(qrn::Path::rect(inner));
}

editViewClass::ViewPtr editViewClass::getBackgroundImageView(std::optional<int> tag) {
    const auto dragView = getDragView();
    if (!tag || !dragView)
        return dragView;
    auto tagged = dragView->viewWithTag(*tag);
    return tagged ? tagged->superview() : nullptr;
}

void editViewClass::displayBackgroundColourAndLayer(bool display) {
    QRN_LOG_IN(LogValues{{"display", display}});
    const auto configuration = getConfiguration();
    if (!configuration || !configuration->backgroundColourView || !configuration->backgroundLayerView)
        return;
    auto& colour = *configuration->backgroundColourView->layer();
    auto& layer = *configuration->backgroundLayerView->layer();
    colour.setBackgroundColour(display ? qrn::Colour::black() : qrn::Colour::clear());
    layer.setBackgroundColour(qrn::Colour::clear());
    const qrn::Colour border =
        qrn::namedColour(display ? "text_colour_dark_dark" : "border_colour_dark_dark", true)
            .value_or(qrn::Colour::black());
    colour.setBorderColour(border);
    layer.setBorderColour(border);
}

void editViewClass::updateMouseCursor() {
    previewLayerClass model;
    const int handle = model.getResizeOrRotateButtonSelected();
    if (handle == -1 || handle == -2)
        mouseCursorClass().changeCursor(qrn::ui::CursorShape::ClosedHand);
    else if (!model.getMouseDown())
        mouseCursorClass().changeCursor(std::nullopt);
}

void editViewClass::updateMouseDownValue(bool down) {
    previewLayerClass().setMouseDown(down);
    updateMouseCursor();
}

void editViewClass::changeAssetBackgroundColour(const qrn::Colour& colour, bool fromUndo) {
    changeAssetBackgroundColour(std::nullopt, colour, fromUndo);
}

void editViewClass::showAssetColourInPanel(const void* target,
                                           std::function<void(const qrn::Colour&)> onPick) {
    QRN_LOG_IN(std::nullopt);
    const auto c = previewLayerClass().getSelectedAssetBackgroundColour();
    auto& panel = qrn::ColourPanel::shared();
    panel.setTarget(target);
    panel.setAction([target, onPick = std::move(onPick)](qrn::ColourPanel& p) {
        if (p.target() == target && onPick)
            onPick(p.colour());
    });
    if (c.size() >= 4)
        panel.setColour(stylingClass().arrayToColour(c));
    panel.orderFront();
}
