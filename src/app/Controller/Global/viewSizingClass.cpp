#include "Controller/Global/viewSizingClass.h"

#include "Controller/Global/dataLoggingClass.h"

qrn::Size viewSizingClass::resizeToBoundsWithAspectRatio(qrn::Size sizeValue, const qrn::Rect& bounds,
                                                         std::optional<double> boundsAspectRatio) {
    QRN_LOG_IN(LogValues{{"width", sizeValue.width}, {"height", sizeValue.height}});
    const double w = sizeValue.width, h = sizeValue.height;
    const double W = bounds.size.width, H = bounds.size.height;
    if (w <= 0 || h <= 0)
        return sizeValue;
    const double r = w / h;
    const double A = boundsAspectRatio.value_or(H != 0 ? W / H : r);
    qrn::Size result;
    if (W >= w && H >= h)
        result = r * H <= W ? qrn::Size{r * H, H} : qrn::Size{W, (h / w) * W};
    else
        result = r > A ? qrn::Size{W, W / r} : qrn::Size{r * H, H};
    QRN_LOG_OUT(LogValues{{"width", result.width}, {"height", result.height}});
    return result;
}
