#pragma once
// The composed pictures' last step before the encoder: 32-bit BGRA (alpha ignored) to planar
// 4:2:0 YUV of the same size, BT.601 studio range. The arithmetic is libswscale's own for this
// conversion (SWS_BILINEAR, as the writer asks for it), step for step, so a movie comes out the
// same whichever of the two made its pictures; this one does it in one pass over the picture
// instead of the library's several.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qrn::media {

// Whether bgraToYuv420 handles a picture of this size: even sides, at least 8 rows.
bool bgraToYuv420Handles(int width, int height);

// `bgra` holds `height` rows of `width` pixels, `bgraStride` bytes apart. The planes get
// width x height luma and (width / 2) x (height / 2) of each chroma.
void bgraToYuv420(const std::uint8_t* bgra, int bgraStride, int width, int height,
                  std::uint8_t* const planes[3], const int strides[3]);

// Premultiplied 32-bit pixels: `over` drawn over `under` into `out`, which may be `under`; the
// painter's own bytes for a picture drawn one to one. Where `over` is opaque `under` is not read.
void blendOver(const std::uint32_t* over, const std::uint32_t* under, std::uint32_t* out, int count);

// What shows through a premultiplied 32-bit picture converted as above, under each pixel
// (`through`, width x height, rows `width` apart) and under each chroma sample as the
// conversion weighs the pixels it covers (`chromaThrough`, half each way): 255 less the alpha.
void throughPlanes(const std::uint8_t* bgra, int bgraStride, int width, int height, std::uint8_t* through,
                   std::uint8_t* chromaThrough);

// `under` drawn under a converted premultiplied picture whose planes are `planes` (written in
// place), where `through` (planes laid out as the picture's: luma, then the one chroma for both)
// says how much of it shows: converting the 32-bit picture blended over `under` gives the same, to
// a level, wherever `under` does not change colour within the pixels one chroma sample covers.
void drawUnder(const std::uint8_t* const under[3], const int underStrides[3],
               const std::uint8_t* const through[2], const int throughStrides[2],
               std::uint8_t* const planes[3], const int strides[3], int width, int height);

// A premultiplied 32-bit picture made ready to be drawn over 4:2:0 YUV pictures of a given size,
// made once and drawn over many: its planes as the conversion above makes them, and how much of
// what lies under each sample shows through. Drawn over a converted picture it gives what
// converting the blend of the two would give, to a level, wherever the picture under it does
// not change colour within the pixels one chroma sample covers.
class YuvOverlay {
  public:
    // `bgra` holds `height` rows of `width` pixels, `bgraStride` bytes apart, to lie with its top
    // left at (x, y) on pictures of frameWidth x frameHeight; what falls outside is cut off.
    // False when the frame is not one the conversion handles.
    bool make(const std::uint8_t* bgra, int bgraStride, int width, int height, int x, int y, int frameWidth,
              int frameHeight);
    // Draws it over the picture's planes, laid out as bgraToYuv420 writes them.
    void drawOver(std::uint8_t* const planes[3], const int strides[3]) const;
    std::size_t bytes() const {
        return luma_.size() + lumaThrough_.size() + chroma_.size() + chromaThrough_.size();
    }

  private:
    int x0_ = 0, y0_ = 0, width_ = 0, height_ = 0; // where it lies, even, with clear margins
    // Per pixel: the luma it adds and what shows through of the one under it (0 to 255); per
    // chroma sample alike, for both chroma planes.
    std::vector<std::uint8_t> luma_, lumaThrough_;
    std::vector<std::uint8_t> chroma_, chromaThrough_; // u and v side by side per row
    std::vector<bool> rowDrawn_;                       // a luma row with something to draw
};

// The same conversion with the picture handed over a row at a time, top to bottom, so that each
// row can be converted as soon as it is made, while it is still in the cache; the same bytes.
class BgraToYuv420Rows {
  public:
    BgraToYuv420Rows(int width, int height, std::uint8_t* const planes[3], const int strides[3]);
    // The next row's `width` pixels; the row may be reused once this returns.
    void push(const std::uint8_t* bgraRow);

  private:
    int width_, height_;
    std::uint8_t* planes_[3];
    int strides_[3];
    std::vector<std::int16_t> ring_;
    int pushed_ = 0, chromaDone_ = 0;
};

} // namespace qrn::media
