#pragma once
// Picture files as the preview draws them: decoded once into premultiplied ARGB32, the form the
// renderer and the layer filters work in, so the layers that show a file share one copy and
// nothing converts it again while drawing. Safe to call from any thread.
#include <QImage>

#include <string>

#include "platform/foundation/result.h"

namespace qrn::imaging {

// Whether the file starts as a picture that can be read: only its header is looked at, so a
// project's many pictures can be told apart from stray files without decoding them.
bool looksLikePicture(const std::string& path);

// The file's picture, premultiplied ARGB32; a failure when it cannot be opened or decoded.
Result<QImage> readPicture(const std::string& path);

} // namespace qrn::imaging
