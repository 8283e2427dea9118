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

    // A key: every entry either its own colour, opaque, or clear. Then a lookup of an opaque
    // pixel need not read the table, which at 16 bytes an entry misses the cache on varied
    // pictures: most colours lie in cells whose corners all keep their colour or all clear,
    // and the colours of the cells with corners of both kinds, the key's edge, are blended
    // once when the table is made, so a lookup never blends. A table too coarse for that
    // (over 15 values between two positions) or too fine (over 65 positions) is not a key.
    bool isKey() const { return !blocks_.empty(); }
    // Per axis (red, green, blue: 256 words each) and opaque 8-bit value, fields that add up
    // over a colour's three axes without carries: bits 0-11 its row, the cells along one axis
    // with the other two positions fixed; bits 12-19 its value along that axis; the value's
    // place among those of its position on the second axis (bits 20-23) and the third (bits
    // 24-27); and how many values that position of the second axis holds (bits 28-31).
    const std::uint32_t* axisWords() const { return axisWords_.data(); }
    // Two words a row. The first: where the row's edge colours start in edgeColours() (bits
    // 0-23); whether the cells before its edge keep their colour (bit 24), and those after it
    // (bit 25). The second: the row's edge, its first value along the row (bits 0-8, 256 when
    // there is none) and its last (bits 9-17). The colours from the first value to the last lie
    // along the row fastest, then by place on the second axis, then on the third.
    const std::uint32_t* rowWords() const { return rowWords_.data(); }
    // The results for the rows' edges as BGRA words.
    const std::uint32_t* edgeColours() const { return edgeColours_.data(); }
    // Opaque 8-bit colours by their top five bits a channel (red fastest): 0 when every cell such
    // a colour can fall in is clear, 1 when every one keeps its colour, 2 when it takes a look
    // at its row. 32 KiB that stay in the cache. Only for a key. Three bytes over at the end, so
    // a lookup may read four bytes from any entry.
    const std::uint8_t* blocks() const { return blocks_.data(); }

  private:
    void findKey(const std::vector<std::uint8_t>& kind);

    int dimension_;
    std::vector<float> data_;
    bool valid_;
    // (dimension - 1)^3 cells, red fastest.
    std::vector<Cell> cells_;
    std::vector<std::uint32_t> axisWords_, rowWords_, edgeColours_;
    std::vector<std::uint8_t> blocks_;
};

struct KeyTables;

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
    void lookUpKeyByFour(const KeyTables& tables, const std::uint8_t* src, std::uint8_t* dst,
                         int width) const;

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
