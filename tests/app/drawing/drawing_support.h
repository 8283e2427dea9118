#pragma once
// Pictures for the drawing tests: a GIF written to a file and the extent of the pixels a
// picture draws.
#include <QByteArray>
#include <QImage>
#include <QRect>

#include <functional>
#include <string>
#include <vector>

namespace drawingtest {

// Writes a looping GIF of solid colour frames (qrn::test::solidColourGif) to `path`; false when
// the file cannot be written.
bool writeSolidColourGif(const std::string& path, int width, int height, const std::vector<QRgb>& colours,
                         int delay);

// The bounding box of the pixels for which `drawn` holds, in image pixels; empty when none.
QRect inkExtent(const QImage& image, const std::function<bool(QRgb)>& drawn, QRect within = {});
// Pixels that are not transparent.
bool opaque(QRgb pixel);
// Pixels that stand out from black (the preview's ground).
bool notBlack(QRgb pixel);
// Pixels brighter than mid grey (light text on a dark ground).
bool light(QRgb pixel);

} // namespace drawingtest
