#include "Controller/Editing/imageClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "platform/foundation/http.h"
#include "platform/ui/pasteboard.h"

namespace {

double requestTimeout = 60.0;

} // namespace

std::string imageFormatRawValue(imageFormat format) {
    switch (format) {
    case imageFormat::png:
        return "png";
    case imageFormat::jpg:
        return "jpg";
    case imageFormat::gif:
        return "gif";
    case imageFormat::tiff:
        return "tiff";
    case imageFormat::unknown:
        break;
    }
    return "unknown";
}

std::optional<imageFormat> imageFormatFromRawValue(const std::string& raw) {
    for (auto format :
         {imageFormat::unknown, imageFormat::png, imageFormat::jpg, imageFormat::gif, imageFormat::tiff})
        if (imageFormatRawValue(format) == raw)
            return format;
    return std::nullopt;
}

imageFormat imageFormatOfData(const QByteArray& data) {
    if (data.isEmpty())
        return imageFormat::unknown;
    switch (static_cast<unsigned char>(data[0])) {
    case 0x89:
        return imageFormat::png;
    case 0xFF:
        return imageFormat::jpg;
    case 0x47:
        return imageFormat::gif;
    case 0x49:
    case 0x4D:
        return imageFormat::tiff;
    default:
        return imageFormat::unknown;
    }
}

const std::vector<std::string>& imagePasteboardTypes() {
    static const std::vector<std::string> types{qrn::ui::pasteboard_type::fileURL,
                                                qrn::ui::pasteboard_type::data};
    return types;
}

void imageClass::verifyURL(const std::string& url, std::function<void(bool)> completion) {
    QRN_LOG_IN(std::nullopt);
    if (url.rfind("file://", 0) == 0) {
        completion(true);
        return;
    }
    qrn::Http::head(url, requestTimeout, std::move(completion));
}

void imageClass::setRequestTimeout(double seconds) {
    requestTimeout = seconds;
}
