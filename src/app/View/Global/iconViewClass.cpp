#include "View/Global/iconViewClass.h"

#include "Controller/Global/dataLoggingClass.h"

namespace {
std::optional<int> draggedSymbolTag;

qrn::Value tagValue(const std::optional<int>& tag) {
    return tag ? qrn::Value(*tag) : qrn::Value("nil");
}
} // namespace

void iconViewClass::setTag(std::optional<int> tag) {
    QRN_LOG_IN({{"tag", tagValue(tag)}});
    draggedSymbolTag = tag;
}

std::optional<int> iconViewClass::getTag() {
    QRN_LOG_IN();
    QRN_LOG_OUT({{"tag", tagValue(draggedSymbolTag)}});
    return draggedSymbolTag;
}
