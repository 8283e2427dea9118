#include "Controller/Global/directoryAndFilePathsClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "platform/foundation/files.h"
#include "platform/foundation/uuid.h"

std::optional<std::pair<std::string, std::string>>
directoryAndFilePathsClass::createFileWithUniqueID(const std::string& fileType, const std::string& path,
                                                   std::optional<int> recursionValue) {
    QRN_LOG_IN(
        LogValues({{"fileType", fileType}, {"path", path}, {"recursionValue", recursionValue.value_or(-1)}}));
    const int r = recursionValue.value_or(0);
    if (r == 20 && path.empty())
        return std::nullopt;
    // A clash of random UUIDs is practically impossible; a bounded retry keeps a broken file
    // system from looping for ever.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string uniqueID = qrn::uuidString();
        const std::string candidate = path + uniqueID + "." + fileType;
        if (!qrn::files::exists(candidate)) {
            QRN_LOG_OUT(LogValues({{"uniqueID", uniqueID}, {"url", candidate}}));
            return std::make_pair(uniqueID, candidate);
        }
    }
    return std::nullopt;
}
