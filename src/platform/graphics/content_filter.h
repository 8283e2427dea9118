#pragma once
// A filter applied to the rendered image of a layer and its sublayers (a layer's content
// filters run in order). The image filters and the renderer meet here.
#include <QImage>
#include <QSize>
#include <QSizeF>

#include <memory>
#include <string>

namespace qrn::graphics {

class ContentFilter {
  public:
    virtual ~ContentFilter() = default;
    virtual std::string name() const = 0;
    // `image` is QImage::Format_ARGB32_Premultiplied; the result has the same size and format.
    virtual QImage apply(const QImage& image) const = 0;
    // The same for a picture drawn at `scale` times its own size (pixels of `image` per pixel of
    // the picture's own): parameters that count in the picture's own pixels, such as a blur's
    // radius, follow the size it is drawn at, so it looks the same at every size. Filters whose
    // parameters hold at any size need not override it.
    virtual QImage applyScaled(const QImage& image, double scale) const {
        (void)scale;
        return apply(image);
    }

    // The size in pixels of the picture whose pixels the parameters count in: the picture's own
    // size, whatever size it is held or drawn at. Empty: they count in the pixels of the image
    // the filter is given. Set before the filter is handed out.
    QSize ownSize() const { return ownSize_; }
    void setOwnSize(QSize size) { ownSize_ = size; }
    // The scale for applyScaled of a picture of `own` pixels drawn over `drawn` pixels: as large
    // as it fits, its shape kept (a picture stretched out of shape gets the smaller of the two).
    // 1 when either size is unknown.
    static double drawnScale(QSizeF own, QSizeF drawn) {
        if (!(own.width() > 0) || !(own.height() > 0) || !(drawn.width() > 0) || !(drawn.height() > 0))
            return 1.0;
        const double sx = drawn.width() / own.width(), sy = drawn.height() / own.height();
        return sx < sy ? sx : sy;
    }

  private:
    QSize ownSize_;
};

using ContentFilterPtr = std::shared_ptr<ContentFilter>;

} // namespace qrn::graphics
