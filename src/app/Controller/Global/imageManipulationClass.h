#pragma once
// The image files of the project's images folder: dropped files are copied in under fresh
// UUID names (or an identical stored file is reused), and files of removed layers are first
// marked, then deleted together later, unless a layer still names them.
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Controller/Editing/Preview/previewLayerClass.h"

struct imageLayerInformation {
    int layerIndex = 0;
    std::string fileExt;
    std::string fileName;
    std::string fileLocation;
};

class imageManipulationClass {
  public:
    // (name, extension) of a stored file holding the same bytes as the file at `path` (with the
    // same extension, compared exactly), skipping the layer the operation is about.
    std::optional<std::pair<std::string, std::string>>
    checkIfImageAlreadyExists(const std::string& path, bool addNewImage, bool replaceLayer,
                              std::optional<int> layerIndex, std::optional<int> assetIndex = std::nullopt);
    std::vector<std::vector<imageReferenceArray>>
    addImageNameAndExtensionToArray(std::vector<std::vector<imageReferenceArray>> IMAGE_REFERENCE_VALUE_ARRAY,
                                    bool replaceLayer, int assetArrayIndex, std::optional<int> layerIndex,
                                    const std::string& fileName, const std::string& fileExtension,
                                    int imageReferenceArrayLastIndex);
    // Stores the dropped file at `path` for the layer whose reference [3, extension] was just
    // appended (or that a replacing drop names) and completes the reference. False, with the
    // reference left naming no file, when the file could not be stored.
    bool saveImage(const std::optional<layerAssetIndexAndVideoSelectedArray>& layer,
                   const qrn::ImageHandle& image, const std::string& path, bool replaceLayer);
    std::optional<imageLayerInformation>
    retrieveLayerInformation(const std::optional<layerAssetIndexAndVideoSelectedArray>& layer);
    // Marks the layer's file for removal unless another layer uses it.
    void softDeleteImage(const std::optional<layerAssetIndexAndVideoSelectedArray>& layer);
    void markImageForPermanentRemoval(const std::string& imageName, const std::string& imageExtension);
    void markedImageNeedsToBeKept(const std::optional<layerAssetIndexAndVideoSelectedArray>& layer);
    // Takes a file off the removal list (a layer names it again).
    void unmarkImage(const std::string& imageName, const std::string& imageExtension);
    // Deletes the marked files that no layer names any more, and empties the list.
    void permanentlyRemoveImagesMarkedForRemoval();
    void clearPermanentlyRemoveImageArray();
    std::vector<std::vector<std::string>> getPermanentlyRemoveImageArray();

    // True when the file exists and its real path (links resolved) lies in the project's images
    // folder; a file that leads elsewhere counts as missing.
    static bool isInImagesFolder(const std::string& file);

    // Undo keeps layers outside the model; it tells the purge which files they still name.
    static void
    setImageStillNeededCheck(std::function<bool(const std::string& name, const std::string& ext)> check);
};
