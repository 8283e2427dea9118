#pragma once
// A filter applied to the rendered image of a layer and its sublayers (a layer's content
// filters run in order). The image filters and the renderer meet here.
#include <QImage>

#include <memory>
#include <string>

namespace qrn::graphics {

class ContentFilter {
  public:
    virtual ~ContentFilter() = default;
    virtual std::string name() const = 0;
    // `image` is QImage::Format_ARGB32_Premultiplied; the result has the same size and format.
    virtual QImage apply(const QImage& image) const = 0;
};

using ContentFilterPtr = std::shared_ptr<ContentFilter>;

} // namespace qrn::graphics
