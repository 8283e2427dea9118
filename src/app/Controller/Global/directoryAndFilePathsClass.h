#pragma once
// Free file names in a folder.
#include <optional>
#include <string>
#include <utility>

class directoryAndFilePathsClass {
  public:
    // A fresh upper-case UUID whose file "<path><uuid>.<fileType>" does not exist yet, with that
    // file's path. Nothing is created. path is a folder path ending in "/".
    std::optional<std::pair<std::string, std::string>>
    createFileWithUniqueID(const std::string& fileType, const std::string& path,
                           std::optional<int> recursionValue = std::nullopt);
};
