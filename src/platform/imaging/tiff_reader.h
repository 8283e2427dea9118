#pragma once
// A reader for TIFF files that reads a strip (or a row of tiles) at a time and averages it down
// to the size asked for as it goes, so what it holds besides the picture it makes is a few rows
// and one strip of the file as stored, never the whole image at its own size. Scans and prints
// are often far larger than a picture is ever drawn. It takes grey, palette and RGB pictures of
// 1 to 16 bits a sample, with or without alpha, stored in strips or tiles, in any compression
// libtiff reads; whatever else it leaves to Qt's reader.
#include <QImage>
#include <QSize>

#include <cstddef>
#include <optional>
#include <string>

#include "platform/foundation/result.h"

class QIODevice;

namespace qrn::imaging {

// Whether `start` (the first 4 bytes of a file at least) says it is a TIFF.
bool startsAsTiff(const unsigned char* start, std::size_t size);

// The picture of the TIFF `device` holds (open for reading, at its start), premultiplied ARGB32,
// averaged down to decodedPictureSize(own size, drawn), read within the decode budget. None
// when it is a kind this reader does not take, or libtiff cannot read it: Qt's reader may.
// `what` names the file in failures.
std::optional<Result<QImage>> readTiff(QIODevice& device, const std::string& what, QSize drawn = {});

} // namespace qrn::imaging
