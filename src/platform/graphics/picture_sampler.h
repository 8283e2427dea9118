#pragma once
// Draws a premultiplied ARGB32 picture under an affine map straight into premultiplied pixels:
// bilinear samples (edge texels repeat), edges antialiased by the area each pixel has inside the
// mapped picture, an opacity, source-over. The renderer uses it for turned and scaled pictures
// where the processor has AVX2: there it beats the raster painter, and drawing straight into a
// band of the frame spares the painter's setup per layer. Each row visits only the pixels the
// picture reaches there, so a band pays only for the part of a layer it shows. The portable
// rows give the same bytes, for the odd pixels and for checking the AVX2 ones.
#include <QImage>
#include <QRect>
#include <QTransform>

#include <cstdint>

namespace qrn::graphics {

// Premultiplied ARGB32 pixels to draw into; only `clip` (in the buffer's pixels) is written.
struct PixelTarget {
    uchar* bits = nullptr;
    qsizetype stride = 0; // bytes per row
    QRect clip;

    bool isNull() const { return bits == nullptr || clip.isEmpty(); }
};

struct PictureDraw {
    // Format_ARGB32_Premultiplied: canSample says whether this one can be drawn here.
    const QImage* picture = nullptr;
    // Picture pixels (the picture covers (0, 0)-(width, height)) to target pixels, y down.
    QTransform toTarget;
    double opacity = 1;
    // Rounds the picture's corners, in picture pixels on each axis (an ellipse quarter when the
    // picture is stretched unevenly). 0: square corners.
    double cornerX = 0, cornerY = 0;
};

// Which code draws the rows. Both give the same pixels; AVX2 is taken only where the processor
// has it.
enum class SamplerPath { Automatic, Portable, Avx2 };

// Whether this processor runs the AVX2 rows.
bool samplerHasAvx2();

class PictureSampler {
  public:
    // False for what is left to the painter: other formats, pictures too large for the
    // sampler's coordinates, maps that flatten the picture or are not finite.
    static bool canSample(const QImage& picture, const QTransform& toTarget);

    // Draws `draw` into `target` (which canSample must have allowed).
    static void draw(const PixelTarget& target, const PictureDraw& draw,
                     SamplerPath path = SamplerPath::Automatic);
};

} // namespace qrn::graphics
