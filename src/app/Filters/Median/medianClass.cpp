#include "Filters/Median/medianClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "platform/imaging/filters.h"

std::optional<filterResult> medianClass::medianFilter(const qrn::Value& image, bool returnFilter) {
    QRN_LOG_IN(LogValues{{"image", image}});
    auto filter = std::make_shared<qrn::imaging::MedianFilter>();
    if (image.isImage() && image.toImage() && !returnFilter) {
        auto out = std::make_shared<const QImage>(filter->apply(*image.toImage()));
        QRN_LOG_OUT(LogValues{{"image", qrn::Value(qrn::ImageHandle(out))}});
        return filterResult(qrn::ImageHandle(out));
    }
    QRN_LOG_OUT(LogValues{{"filter", qrn::Value(filter->name())}});
    return filterResult(qrn::graphics::ContentFilterPtr(filter));
}
