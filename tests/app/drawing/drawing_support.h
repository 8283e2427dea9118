#pragma once
// Pictures for the drawing tests: a GIF made here (Qt reads GIFs but cannot write them) and
// the extent of the pixels a picture draws.
#include <QByteArray>
#include <QImage>
#include <QRect>

#include <functional>
#include <string>
#include <vector>

namespace drawingtest {

// A looping GIF of width x height whose frames are solid colours, each shown for `delay`
// hundredths of a second.
QByteArray solidColourGif(int width, int height, const std::vector<QRgb>& colours, int delay);
// Writes it to `path`; false when the file cannot be written.
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
