#pragma once
// Adding layers as the drop, import, duplicate and replay callers do, and the model check with
// texts counted per text layer.
#include <QImage>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "platform/foundation/geometry.h"

namespace layerstest {

qrn::ImageHandle picture(int width, int height, unsigned rgb = 0xff3366cc);

// Appends the reference a drop appends, then adds the layer as a drop on the preview does. The
// asset at that index is selected first. Returns the new id, or "" when nothing was added.
std::string dropImage(int assetIndex, qrn::Size size, qrn::Point at = {278, 156}, unsigned rgb = 0xff3366cc);
// The same with a picture of the caller's, and an animated picture of the caller's frames.
std::string dropImage(int assetIndex, qrn::ImageHandle image, qrn::Size size, qrn::Point at);
std::string dropAnimated(int assetIndex, std::vector<qrn::ImageHandle> frames, qrn::Size size, qrn::Point at);
// A picture file dropped on the preview: read as a drop reads it and copied into the project's
// images folder when the project has one; a file whose frames move (a GIF) plays. A drop lies
// under the camera's picture; `overCamera` makes it the slide's first layer over it, as the
// presenter puts it by the layer list.
std::string dropImageFile(int assetIndex, const std::string& file, qrn::Size size, qrn::Point at,
                          bool overCamera = false);
std::string dropText(int assetIndex, qrn::Point at = {278, 156});
std::string dropAnimated(int assetIndex, qrn::Size size, qrn::Point at = {278, 156});
// An image dropped on the asset's tile: it becomes (or replaces) the asset's background.
std::string dropBackground(int assetIndex, qrn::Size size, unsigned rgb = 0xff00aa00);

// The fixture's model check (texts shaped per layer for it), plus: one text per text layer.
void expectLayerInvariants();
int textLayerCount(int assetIndex);

std::vector<double> frameOf(const std::string& id);

} // namespace layerstest
