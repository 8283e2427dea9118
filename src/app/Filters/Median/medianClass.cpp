#include "Filters/Median/medianClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "platform/imaging/filters.h"

std::optional<filterResult> medianClass::medianFilter(const qrn::Value& image, bool returnFilter) {
    QRN_LOG_IN(LogValues{{"image", image}});
    auto filter = std::make_shared<qrn::imaging::MedianFilter>();
    const filterResult result = filterResultFor(filter, image, returnFilter);
    QRN_LOG_OUT(filterResultLogValues(result));
    return result;
}
