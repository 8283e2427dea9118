#pragma once
// The picture the studio benchmarks draw over the camera: gradient layers of random size, turn
// and opacity, the same for every run (fixed seed), and the camera's three filters.
#include <QImage>

#include "platform/graphics/layer.h"

namespace benchsupport {

QImage gradientPicture(int width, int height, int seed);
// Adds `count` tilted picture layers inside (0, 0, width, height) to root.
void addTiltedPictureLayers(qrn::graphics::Layer& root, int count, double width, double height);
// Chroma key, box blur and median, as a presenter would set them on the camera.
std::vector<qrn::graphics::ContentFilterPtr> cameraFilters();

} // namespace benchsupport
