#include "View/Global/iconViewClass.h"

#include "Controller/Global/dataLoggingClass.h"

namespace {
std::optional<int> draggedSymbolTag;
std::optional<std::string> draggedSymbolName;
std::optional<QUrl> draggedSymbolURL;

qrn::Value tagValue(const std::optional<int>& tag) {
    return tag ? qrn::Value(*tag) : qrn::Value("nil");
}
qrn::Value nameValue(const std::optional<std::string>& name) {
    return name ? qrn::Value(*name) : qrn::Value("nil");
}
qrn::Value urlValue(const std::optional<QUrl>& url) {
    return url ? qrn::Value(url->toString().toStdString()) : qrn::Value("nil");
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

void iconViewClass::setName(std::optional<std::string> name) {
    QRN_LOG_IN({{"name", nameValue(name)}});
    draggedSymbolName = std::move(name);
}

std::optional<std::string> iconViewClass::getName() {
    QRN_LOG_IN();
    QRN_LOG_OUT({{"name", nameValue(draggedSymbolName)}});
    return draggedSymbolName;
}

void iconViewClass::setURL(std::optional<QUrl> url) {
    QRN_LOG_IN({{"url", urlValue(url)}});
    draggedSymbolURL = std::move(url);
}

std::optional<QUrl> iconViewClass::getURL() {
    QRN_LOG_IN();
    QRN_LOG_OUT({{"url", urlValue(draggedSymbolURL)}});
    return draggedSymbolURL;
}
