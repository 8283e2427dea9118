#pragma once
// Images that ship with QRN, by name. Icons (resources/icons/<name>.svg) are template images:
// one colour on transparent, drawn in whatever tint the interface asks for. Symbols
// (resources/icons/symbols/<name>.svg) are full-colour pictures placed on slides.
// Named colours live in foundation/colour.h.
#include <QImage>

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/colour.h"
#include "platform/foundation/geometry.h"

namespace qrn {

class NamedImages {
  public:
    static bool exists(const std::string& name);
    // True for the icons that are meant to be tinted.
    static bool isTemplate(const std::string& name);
    // Every name, icons first, each group sorted.
    static std::vector<std::string> names();
    // The picture's own size in points; none for an unknown name.
    static std::optional<Size> naturalSize(const std::string& name);
    // The picture drawn to fill `pixels` (its natural size when empty), tinted when `tint` is
    // given. A null image for an unknown name.
    static QImage render(const std::string& name, Size pixels = {},
                         std::optional<Colour> tint = std::nullopt);
    // Resource path (":/icons/...svg"), empty for an unknown name.
    static std::string resourcePath(const std::string& name);
};

// Replaces every pixel's colour by `tint`, keeping the coverage (alpha times tint alpha).
QImage tintedImage(const QImage& image, const Colour& tint);

} // namespace qrn
