#pragma once
// Keeps the preview's layer views, the camera view and the thumbnail copies in step with the
// preview's bounds. Stored layer rectangles are in the coordinates of the fitting bounds that
// were current when they were last fitted; a refit scales them (and the original rectangles)
// by new / old and draws each view at its new size through its backing layer's transform.
// The view frames themselves stay until a layer's stored frame is re-applied.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/geometry.h"

namespace qrn::ui {
class View;
}

class resizeAndPositionLayersClass {
  public:
    using ViewPtr = std::shared_ptr<qrn::ui::View>;

    // Stores the fitting bounds. An empty rectangle is refused: nothing can be fitted from or
    // into it, and keeping the last usable bounds keeps the stored rectangles meaningful.
    void setBounds(const qrn::Rect& bounds);
    std::optional<qrn::Rect> getBounds();
    // The bounds are kept for the whole process; a test starts with none, as the app does.
    static void forgetBoundsForTesting();
    // Centres the view's backing layer on its stored rectangle grown by newRect, turns it by
    // angleR and scales it by cgSize (factors), with the stored flips on top. i absent: the
    // camera view; else asset i, layer k.
    void layerTransforms(const ViewPtr& layer, qrn::Point cgPoint, qrn::Size cgSize, double angleR,
                         const qrn::Rect& newRect, std::optional<int> i, std::optional<int> k);
    // Refits every asset's container and layers found in imageView from the stored bounds to
    // bounds, then stores bounds.
    void resizeAndPositionLayers(const ViewPtr& imageView, const std::vector<std::string>& assets,
                                 const std::vector<std::vector<std::string>>& layers,
                                 const qrn::Rect& bounds);
    // Refits the camera view; stores nothing, so it must run before resizeAndPositionLayers.
    void resizeAndPositionVideo(const ViewPtr& videoView, const qrn::Rect& bounds);
    // Refits thumbnail copies of layers: from explicit frames, or scaled from old to new bounds.
    // `assetOfLayers`, when the caller knows it, is the asset whose row holds the layers: looked
    // at first, so that a copy made for each layer of an opened deck does not search every row.
    void resizeAndPositionAssetPreviewLayers(const std::vector<std::vector<ViewPtr>>& previewLayers,
                                             std::optional<qrn::Rect> oldBounds,
                                             std::optional<qrn::Rect> newBounds,
                                             const std::optional<std::vector<std::vector<qrn::Rect>>>& values,
                                             std::optional<double> rotationValue,
                                             std::optional<size_t> assetOfLayers = std::nullopt);

    // Draws a layer view at rect turned by angle, flipped by flips ([horizontal, vertical]):
    // the view takes the rectangle as its frame and what it shows is fitted to it
    // (fitLayerContent) for a preview of previewSize.
    static void placeLayerView(qrn::ui::View& view, const qrn::Rect& rect, double angle,
                               const std::vector<bool>& flips, qrn::Size previewSize);
    // Lays out what a layer view shows inside it, for every kind of layer: a picture or an
    // animation fills it; a text keeps the layout it has in the 560 x 315 reference preview
    // and is drawn scaled to previewSize, so that it keeps its share of the picture in the
    // editing preview, the studio and the movie alike.
    static void fitLayerContent(qrn::ui::View& view, qrn::Size previewSize);
    // Size of the reference preview that text layers are laid out in.
    static constexpr double textReferenceWidth = 560.0;
    static constexpr double textReferenceHeight = 315.0;
    // The transform that draws a layer turned by angle and scaled, with flips applied.
    static qrn::AffineTransform layerTransform(double angle, qrn::Size scale, const std::vector<bool>& flips);
};
