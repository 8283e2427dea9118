#pragma once
// Images for the filters: premultiplied, 8 bits per channel, four channels. The pixels live in
// a QImage, so an image made from a QImage in one of the two premultiplied 8-bit layouts shares
// its pixels instead of copying them, and converting back shares them too.
#include <QImage>

#include <cstddef>
#include <cstdint>

namespace qrn::imaging {

// Where each channel sits in a pixel's four bytes. QImage::Format_ARGB32_Premultiplied is
// B, G, R, A in memory on little-endian machines; Format_RGBA8888_Premultiplied is R, G, B, A.
enum class ChannelOrder { BGRA, RGBA };

struct Rgba8 {
    std::uint8_t r = 0, g = 0, b = 0, a = 0;
    friend bool operator==(const Rgba8&, const Rgba8&) = default;
};

// Read-only pixels of rows, as the kernels see them; `stride` is in bytes.
struct ConstImageView {
    const std::uint8_t* data = nullptr;
    int width = 0, height = 0;
    std::ptrdiff_t stride = 0;
    ChannelOrder order = ChannelOrder::BGRA;
    const std::uint8_t* row(int y) const { return data + y * stride; }
};

// Writable pixels; several threads may write disjoint rows of one view.
struct ImageView {
    std::uint8_t* data = nullptr;
    int width = 0, height = 0;
    std::ptrdiff_t stride = 0;
    ChannelOrder order = ChannelOrder::BGRA;
    std::uint8_t* row(int y) const { return data + y * stride; }
    operator ConstImageView() const { return {data, width, height, stride, order}; }
};

class Image {
  public:
    Image() = default;
    // Transparent black.
    Image(int width, int height, ChannelOrder order = ChannelOrder::BGRA);

    // Shares the pixels of a premultiplied 8-bit image; any other format is converted to
    // Format_ARGB32_Premultiplied.
    static Image fromQImage(const QImage& image);
    // Shares the pixels.
    QImage toQImage() const { return image_; }

    bool isNull() const { return image_.isNull(); }
    int width() const { return image_.width(); }
    int height() const { return image_.height(); }
    ChannelOrder order() const { return order_; }

    ConstImageView view() const;
    // Takes the pixels for itself first when they are shared.
    ImageView mutableView();

    Rgba8 pixel(int x, int y) const;
    void setPixel(int x, int y, Rgba8 p);

  private:
    QImage image_;
    ChannelOrder order_ = ChannelOrder::BGRA;
};

// A new image of the same size and layout, contents undefined; the kernels fill every row.
Image makeLike(const Image& image);

// Byte offsets of red, green, blue and alpha inside a pixel.
struct ChannelOffsets {
    int r, g, b, a;
};
constexpr ChannelOffsets channelOffsets(ChannelOrder order) {
    return order == ChannelOrder::BGRA ? ChannelOffsets{2, 1, 0, 3} : ChannelOffsets{0, 1, 2, 3};
}

} // namespace qrn::imaging
