#pragma once
// A colour cube: a table mapping a colour to a new premultiplied colour, looked up with
// trilinear interpolation.
//
// Choices the table itself does not settle, fixed here:
// - The lookup takes the input's un-premultiplied colour (channel / alpha, capped at 1) in the
//   image's own RGB values, with no colour-space conversion or gamma step.
// - Position k of an axis holds the value k / (dimension - 1); between positions the eight
//   surrounding entries are blended linearly along red, then green, then blue, in float.
// - The blended entry is already premultiplied by the table's alpha; it is then scaled by the
//   input's alpha (a transparent pixel stays transparent, a half-covered one stays half-covered),
//   rounded to the nearest 8-bit value, and the colour capped at the alpha so the result is a
//   valid premultiplied pixel.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/imaging/image.h"

namespace qrn::imaging {

// The usual RGB-to-HSB hue of a colour with components 0...1: 0 up to (not including) 1, red
// at 0, green at 1/3, blue at 2/3; 0 for greys, black and white.
double hueOf(double red, double green, double blue);

class ColourCube {
  public:
    // `data` holds dimension^3 entries of four floats (red, green, blue, alpha), premultiplied,
    // red varying fastest, then green, then blue. A dimension below 2, or data of the wrong
    // size, makes an invalid cube that leaves images unchanged.
    ColourCube(int dimension, std::vector<float> data);

    bool isValid() const { return valid_; }
    int dimension() const { return dimension_; }
    const std::vector<float>& data() const { return data_; }
    // Index of the first float of entry (r, g, b).
    std::size_t offsetOf(int r, int g, int b) const {
        return 4 * (static_cast<std::size_t>(r) +
                    static_cast<std::size_t>(dimension_) * (g + static_cast<std::size_t>(dimension_) * b));
    }
    std::array<float, 4> entry(int r, int g, int b) const;

    // What blending inside a cell (the eight entries from (r, g, b) to (r + 1, g + 1, b + 1))
    // can give, so that opaque pixels in the commonest cells skip the blend: cells whose
    // entries all leave their colour as it is and opaque give the input back, cells whose
    // entries are all clear give clear. Both give exactly what the blend would.
    enum class Cell : std::uint8_t { Blend = 0, Unchanged = 1, Clear = 2 };
    const Cell* cells() const { return cells_.data(); }

    // A key: every entry either its own colour, opaque, or clear. Then a cell is told by which
    // of its corners keep their colour, and a lookup need not read the table itself, which at
    // 16 bytes an entry misses the cache on varied pictures. The colours of the cells with
    // corners of both kinds, the key's edge, are blended once when the table is made, so a
    // lookup never blends: a picture on the edge costs a read more than one off it.
    bool isKey() const { return !cellWords_.empty(); }
    // Per cell, red fastest: bits 0-7 which corners keep their colour, bit (dr | dg << 1 | db << 2)
    // for corner (r + dr, g + dg, b + db); above them, for a cell on the edge, where its colours
    // start in edgeColours(). Only for a key.
    const std::uint32_t* cellWords() const { return cellWords_.data(); }
    // Per axis (red, green, blue: 256 words each) and opaque 8-bit value: bits 0-23 the offset
    // of its lower table position in the cells, so that a colour's cell is the sum of its three
    // axes' offsets; bits 24-27 the value's place among those of that position and bits 28-31
    // how many that is, when an edge table is kept. A cell's colours lie red fastest: place
    // r + count r * (place g + count g * place b). Only for a key.
    const std::uint32_t* axisWords() const { return axisWords_.data(); }
    // The results for the opaque colours of the edge cells as BGRA words, or null when there
    // would be too many (a coarse table whose cells are mostly on the edge): those blend.
    const std::uint32_t* edgeColours() const { return edgeColours_.empty() ? nullptr : edgeColours_.data(); }
    // Opaque 8-bit colours by their top five bits a channel (red fastest): 0 when every cell such
    // a colour can fall in is clear, 1 when every one keeps its colour, 2 when it takes a look
    // at the cell. 32 KiB that stay in the cache, where the cells take 32 times that. Only for
    // a key. Three bytes over at the end, so a lookup may read four bytes from any entry.
    const std::uint8_t* blocks() const { return blocks_.data(); }

  private:
    void findKey(const std::vector<std::uint8_t>& kind);
    void findEdgeColours();

    int dimension_;
    std::vector<float> data_;
    bool valid_;
    // (dimension - 1)^3 cells, red fastest.
    std::vector<Cell> cells_;
    std::vector<std::uint32_t> cellWords_, axisWords_, edgeColours_;
    std::vector<std::uint8_t> blocks_;
};

// The lookup a row at a time, for callers that make their rows one by one; what every row
// shares is worked out once. Keeps a reference to the cube.
class ColourCubeRows {
  public:
    // Which vector instructions a key's lookup may use, at most: those every x86-64 has, AVX2
    // eight pixels at a time, or AVX-512 sixteen. All give the same bytes.
    enum class Kernels { Baseline, Avx2, Avx512 };
    // The widest this processor has.
    static Kernels widest();
    ColourCubeRows(const ColourCube& cube, ChannelOrder srcOrder, ChannelOrder dstOrder,
                   Kernels kernels = widest());
    // `width` pixels of dst from those of src.
    void operator()(const std::uint8_t* src, std::uint8_t* dst, int width) const;
    // The same by blending the table's entries, without what a key knows of its cells.
    void blend(const std::uint8_t* src, std::uint8_t* dst, int width) const;
    // The lower table position along an axis of dimension `dimension` for an opaque value.
    static int opaqueCell(int value, int dimension);

  private:
    struct AxisPosition {
        int index;    // lower table position, so index + 1 is always inside the table
        float weight; // share of the upper position
    };
    static AxisPosition axisPosition(float unit, int dimension);
    void copy(const std::uint8_t* src, std::uint8_t* dst, int width) const;
    template <ChannelOrder Src, ChannelOrder Dst>
    void lookUp(const std::uint8_t* src, std::uint8_t* dst, int width) const;
    template <ChannelOrder Src, ChannelOrder Dst>
    void lookUpKey(const std::uint8_t* src, std::uint8_t* dst, int width) const;
    template <ChannelOrder Src, ChannelOrder Dst>
    void lookUpKeyByFour(const std::uint8_t* src, std::uint8_t* dst, int width) const;

    const ColourCube& cube_;
    ChannelOrder srcOrder_, dstOrder_;
    // Opaque pixels, the common case for a camera picture, look their positions up here; the
    // same arithmetic as for other alphas, so the result does not depend on the path.
    AxisPosition opaque_[256];
    Kernels kernels_ = Kernels::Baseline;
};

// Rows [rowBegin, rowEnd) of dst from the same rows of src (same size; layouts may differ).
void applyColourCube(const ColourCube& cube, ConstImageView src, ImageView dst, int rowBegin, int rowEnd);
// The whole image, spread over `threads` bands.
Image applyColourCube(const ColourCube& cube, const Image& src, int threads = 1);

} // namespace qrn::imaging
