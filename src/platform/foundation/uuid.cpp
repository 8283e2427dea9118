#include "platform/foundation/uuid.h"

#include <QUuid>

#include "build_info.h"

namespace qrn {

std::string uuidString() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
}

std::string applicationVersion() {
    return QRN_VERSION_STRING;
}
std::string applicationBuild() {
    return QRN_BUILD_NUMBER_STRING;
}

} // namespace qrn
