// Slides named in what the presenter is told: by the number their tile shows, never by the
// names of the files behind them, which the presenter never sees.
#include <algorithm>
#include <filesystem>

#include "Controller/Editing/Preview/previewLayerClass.h"

std::string slideNames(std::vector<size_t> assets) {
    std::sort(assets.begin(), assets.end());
    assets.erase(std::unique(assets.begin(), assets.end()), assets.end());
    std::vector<std::string> parts;
    const bool sticky = !assets.empty() && assets.front() == 0;
    if (sticky) {
        parts.push_back("the sticky slide");
        assets.erase(assets.begin());
    }
    if (!assets.empty()) {
        std::string numbered = assets.size() == 1 ? "slide " : "slides ";
        for (size_t i = 0; i < assets.size(); ++i)
            numbered += (i == 0 ? "" : i + 1 == assets.size() ? " and " : ", ") + std::to_string(assets[i]);
        parts.push_back(numbered);
    }
    if (parts.size() == 2)
        return parts[0] + " and " + parts[1];
    return parts.empty() ? std::string() : parts[0];
}

std::vector<size_t> slidesShowingPicture(const std::string& fileName) {
    std::vector<size_t> assets;
    const auto& rows = previewLayerClass().getImageReferenceArray();
    for (size_t a = 0; a < rows.size(); ++a)
        for (const auto& reference : rows[a])
            if (auto file = projectPictureFileOf(reference);
                file && std::filesystem::path(*file).filename() == fileName) {
                assets.push_back(a);
                break;
            }
    return assets;
}
