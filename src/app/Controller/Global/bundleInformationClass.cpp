#include "Controller/Global/bundleInformationClass.h"

#include "build_info.h"

namespace {
std::optional<std::map<std::string, std::string>> testInfo;
const char* const siteAddress = "https://qrn-studio.org";
} // namespace

std::optional<std::string> bundleInformationClass::infoValue(const std::string& key) {
    if (testInfo) {
        auto it = testInfo->find(key);
        return it == testInfo->end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    if (key == "CFBundleShortVersionString")
        return std::string(QRN_VERSION_STRING);
    if (key == "CFBundleVersion")
        return std::string(QRN_BUILD_NUMBER_STRING);
    return std::nullopt;
}

std::string bundleInformationClass::versionAndBuildLine() {
    return "Version " + infoValue("CFBundleShortVersionString").value_or("unknown") + " Build " +
           infoValue("CFBundleVersion").value_or("unknown");
}

std::string bundleInformationClass::applicationVersion() {
    auto version = infoValue("CFBundleShortVersionString");
    return version && !version->empty() ? *version : std::string(QRN_VERSION_STRING);
}

std::string bundleInformationClass::downloadPageAddress() {
    return std::string(siteAddress) + "/download/linux?version=";
}

std::string bundleInformationClass::acknowledgementsPageAddress() {
    return std::string(siteAddress) + "/acknowledgements/" + QRN_VERSION_STRING;
}

std::string bundleInformationClass::termsPageAddress() {
    return std::string(siteAddress) + "/terms";
}

void bundleInformationClass::setInfoForTesting(std::optional<std::map<std::string, std::string>> info) {
    testInfo = std::move(info);
}
