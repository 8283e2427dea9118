#pragma once
// What the application tells about itself: its version, build and the addresses of its web
// pages, all kept here.
#include <map>
#include <optional>
#include <string>

class bundleInformationClass {
  public:
    // "CFBundleShortVersionString" (the version) and "CFBundleVersion" (the build); none for
    // any other key.
    std::optional<std::string> infoValue(const std::string& key);
    // "Version " + version + " Build " + build, "unknown" standing in for a missing value.
    std::string versionAndBuildLine();
    // The installed version, never empty.
    std::string applicationVersion();

    static std::string downloadPageAddress(); // ends in "?version="
    static std::string acknowledgementsPageAddress();
    static std::string termsPageAddress();

    // Tests describe other bundles; none restores the built-in values.
    static void setInfoForTesting(std::optional<std::map<std::string, std::string>> info);
};
