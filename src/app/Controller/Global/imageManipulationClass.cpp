#include "Controller/Global/imageManipulationClass.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/directoryAndFilePathsClass.h"
#include "Controller/Global/throwClass.h"
#include "Model/persistentDataStorageClass.h"
#include "platform/foundation/files.h"
#include "platform/foundation/json.h"
#include "platform/foundation/package_commit.h"

namespace {

std::vector<std::vector<std::string>> permanentlyRemoveImageArray;
std::function<bool(const std::string&, const std::string&)> imageStillNeeded;

std::string imagesFolder() {
    return persistentDataStorageClass().getProjectDirectory() + "/images/";
}

// Without a project folder the images folder would be "/images/" at the root of the disk.
bool haveProjectFolder() {
    return !persistentDataStorageClass().getProjectDirectory().empty();
}

// The package's own images folder. One that is a link could lead anywhere on the disk: it counts
// as missing, so nothing is read from, stored in or deleted from where it leads.
bool haveOwnImagesFolder() {
    if (!haveProjectFolder())
        return false;
    std::error_code error;
    const std::string folder = persistentDataStorageClass().getProjectDirectory() + "/images";
    return std::filesystem::is_directory(std::filesystem::symlink_status(folder, error));
}

// A package copied without its images folder gets one at its first picture, as a new package
// has; a folder that has gone is not made again here.
void makeMissingImagesFolder() {
    if (!haveProjectFolder())
        return;
    std::error_code error;
    const std::string project = persistentDataStorageClass().getProjectDirectory();
    const std::string folder = project + "/images";
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(project, error)) ||
        std::filesystem::exists(std::filesystem::symlink_status(folder, error)))
        return;
    if (auto made = qrn::files::createDirectories(folder); !made)
        dataLoggingClass().logError("imageManipulationClass", made.error(), __FILE__, __func__);
}

LogValues fileValues(const std::optional<std::pair<std::string, std::string>>& file) {
    if (!file)
        return {{"imageName", qrn::Value()}};
    return {{"imageName", file->first}, {"imageExtension", file->second}};
}

// The stored file a reference names, when it is a project file with a usable name.
std::optional<std::pair<std::string, std::string>> storedFile(const imageReferenceArray& reference) {
    if (reference.size() < 3 || reference[0].toInt() != 3 || !reference[1].isString() ||
        !reference[2].isString())
        return std::nullopt;
    const std::string& ext = reference[1].toString();
    const std::string& name = reference[2].toString();
    if (!isSafeImageFileName(name, ext))
        return std::nullopt;
    return std::make_pair(name, ext);
}

bool namedByAnyLayer(const std::string& name, const std::string& ext) {
    for (const auto& row : previewLayerClass().getImageReferenceArray())
        for (const auto& reference : row)
            if (auto file = storedFile(reference); file && file->first == name && file->second == ext)
                return true;
    return imageStillNeeded && imageStillNeeded(name, ext);
}

// Whether the project file as last saved names a picture. A layer removed while the folder
// refused the write is still in the project on disk, and so is its picture when the presenter
// leaves without saving. A file that cannot be read keeps every picture.
std::function<bool(const std::string&)> namesInStoredProject() {
    const auto file =
        qrn::files::committedFile(persistentDataStorageClass().getProjectDirectory(), "projectData.json");
    if (!qrn::files::exists(file))
        return [](const std::string&) { return false; };
    auto text = qrn::files::readText(file, qrn::json::maxFileBytes, qrn::files::Links::refuse);
    if (!text)
        return [](const std::string&) { return true; };
    return [text = std::make_shared<const std::string>(std::move(text).value())](const std::string& name) {
        return text->find("\"" + name + "\"") != std::string::npos;
    };
}

} // namespace

bool imageManipulationClass::isInImagesFolder(const std::string& file) {
    if (!haveOwnImagesFolder())
        return false;
    std::error_code error;
    const auto folder = std::filesystem::canonical(imagesFolder(), error);
    if (error)
        return false;
    const auto real = std::filesystem::canonical(file, error);
    return !error && real.parent_path() == folder && std::filesystem::is_regular_file(real, error);
}

std::optional<std::pair<std::string, std::string>>
imageManipulationClass::checkIfImageAlreadyExists(const std::string& path, bool addNewImage,
                                                  bool replaceLayer, std::optional<int> layerIndex,
                                                  std::optional<int> assetIndex) {
    QRN_LOG_IN(LogValues({{"url", path}, {"addNewImage", addNewImage}, {"replaceLayer", replaceLayer}}));
    if (!haveProjectFolder()) {
        QRN_LOG_OUT(fileValues(std::nullopt));
        return std::nullopt;
    }
    previewLayerClass model;
    const auto references = model.getImageReferenceArray();
    const int asset = assetIndex.value_or(model.getSelectedAssetIndex());
    std::optional<int> excluded;
    if (!addNewImage)
        excluded = layerIndex;
    else if (replaceLayer && asset >= 0 && size_t(asset) < references.size())
        excluded = int(references[size_t(asset)].size()) - 1;
    else if (!replaceLayer && model.getSelectedLayer())
        excluded = model.getSelectedLayerIndex(false);

    const auto dot = path.find_last_of('.');
    const auto slash = path.find_last_of('/');
    const std::optional<std::string> extension =
        dot == std::string::npos || (slash != std::string::npos && dot < slash)
            ? std::nullopt
            : std::optional(path.substr(dot + 1));
    for (size_t a = 0; a < references.size(); ++a) {
        for (size_t l = 0; l < references[a].size(); ++l) {
            if (excluded && int(a) == asset && int(l) == *excluded)
                continue;
            auto file = storedFile(references[a][l]);
            if (!file || (extension && *extension != file->second))
                continue;
            const std::string stored = imagesFolder() + file->first + "." + file->second;
            if (!isInImagesFolder(stored) || !qrn::files::exists(path)) {
                QRN_LOG_ERROR("Unable to compare " + stored + " with " + path);
                continue;
            }
            // Same size is not enough: two different pictures can have the same length.
            if (qrn::files::sameContents(stored, path)) {
                QRN_LOG_OUT(fileValues(file));
                return file;
            }
        }
    }
    QRN_LOG_OUT(fileValues(std::nullopt));
    return std::nullopt;
}

std::vector<std::vector<imageReferenceArray>> imageManipulationClass::addImageNameAndExtensionToArray(
    std::vector<std::vector<imageReferenceArray>> references, bool replaceLayer, int assetArrayIndex,
    std::optional<int> layerIndex, const std::string& fileName, const std::string& fileExtension,
    int imageReferenceArrayLastIndex) {
    QRN_LOG_IN(LogValues({{"fileName", fileName}, {"fileExtension", fileExtension}}));
    if (assetArrayIndex < 0 || size_t(assetArrayIndex) >= references.size())
        return references;
    auto& row = references[size_t(assetArrayIndex)];
    if (!replaceLayer) {
        if (imageReferenceArrayLastIndex >= 0 && size_t(imageReferenceArrayLastIndex) < row.size()) {
            // The extension is set as well: a stored file found equal to a dropped file without
            // an extension of its own may carry another one.
            auto& reference = row[size_t(imageReferenceArrayLastIndex)];
            reference.resize(2);
            reference[1] = fileExtension;
            reference.emplace_back(fileName);
        }
        return references;
    }
    int target = layerIndex.value_or(-1);
    if (!layerIndex) {
        previewLayerClass model;
        const auto ids = model.getLayerArray();
        if (const auto selected = model.getSelectedLayer();
            selected && size_t(assetArrayIndex) < ids.size()) {
            const auto& idRow = ids[size_t(assetArrayIndex)];
            auto it = std::find(idRow.begin(), idRow.end(), std::to_string(*selected));
            if (it != idRow.end())
                target = int(it - idRow.begin());
        }
    }
    if (target >= 0 && size_t(target) < row.size()) {
        auto& reference = row[size_t(target)];
        reference.resize(std::max<size_t>(reference.size(), 3));
        reference[2] = fileName;
        reference[1] = fileExtension;
    }
    // The replacing drop appended a reference of its own at the end of the row.
    if (!row.empty())
        row.pop_back();
    QRN_LOG_OUT(std::nullopt);
    return references;
}

bool imageManipulationClass::saveImage(const std::optional<layerAssetIndexAndVideoSelectedArray>& layer,
                                       const qrn::ImageHandle& image, const std::string& path,
                                       bool replaceLayer) {
    QRN_LOG_IN(LogValues({{"image", qrn::Value(image)}, {"url", path}, {"replaceLayer", replaceLayer}}));
    previewLayerClass model;
    const auto where = model.layerAssetIndexAndVideoSelectedParameterValues(layer);
    auto references = model.getImageReferenceArray();
    if (where.assetIndex < 0 || size_t(where.assetIndex) >= references.size() ||
        references[size_t(where.assetIndex)].empty())
        return false;
    const int last = int(references[size_t(where.assetIndex)].size()) - 1;

    if (auto found = checkIfImageAlreadyExists(path, true, replaceLayer, std::nullopt, where.assetIndex)) {
        model.setEntireImageReferenceArray(addImageNameAndExtensionToArray(
            references, replaceLayer, where.assetIndex, where.layerIndex, found->first, found->second, last));
        unmarkImage(found->first, found->second);
        QRN_LOG_OUT(LogValues({{"saved", true}, {"imageName", found->first}}));
        return true;
    }

    const auto& dropped = references[size_t(where.assetIndex)][size_t(last)];
    const std::string extension = dropped.size() > 1 ? dropped[1].toString() : "";
    makeMissingImagesFolder();
    auto stored = isSafeImageFileComponent(extension) && haveOwnImagesFolder()
                      ? directoryAndFilePathsClass().createFileWithUniqueID(extension, imagesFolder())
                      : std::nullopt;
    qrn::Status copied =
        stored                 ? qrn::files::copyFile(path, stored->second)
        : !haveProjectFolder() ? qrn::Status::failure("No project folder to store the image in")
        : !haveOwnImagesFolder()
            ? qrn::Status::failure("No images folder of the project's own to store the image in: " +
                                   imagesFolder())
            : qrn::Status::failure("No free file name for the image in " + imagesFolder());
    if (!copied) {
        // Leave no reference to a file that is not there: a new layer keeps its unsaved
        // reference, a replacing drop keeps the layer's old picture.
        QRN_LOG_ERROR(copied.error());
        // The layer shows the picture now; the presenter must not take it for kept.
        throwClass().showError(
            "The picture \"" + std::filesystem::path(path).filename().string() +
            "\" could not be stored in the project: " + copied.error() +
            (replaceLayer ? ". Its layer will show the earlier picture" : ". It will be missing") +
            " when the project is opened again; add it again once the project's folder "
            "can take it.");
        if (replaceLayer) {
            references[size_t(where.assetIndex)].pop_back();
            model.setEntireImageReferenceArray(references);
            markedImageNeedsToBeKept(layer);
        }
        QRN_LOG_OUT(LogValues({{"saved", false}}));
        return false;
    }
    model.setEntireImageReferenceArray(addImageNameAndExtensionToArray(
        references, replaceLayer, where.assetIndex, where.layerIndex, stored->first, extension, last));
    QRN_LOG_OUT(LogValues({{"saved", true}, {"imageName", stored->first}}));
    return true;
}

std::optional<imageLayerInformation> imageManipulationClass::retrieveLayerInformation(
    const std::optional<layerAssetIndexAndVideoSelectedArray>& layer) {
    QRN_LOG_IN(std::nullopt);
    previewLayerClass model;
    const auto where = model.layerAssetIndexAndVideoSelectedParameterValues(layer);
    if (!where.layerIndex)
        return std::nullopt;
    const auto references = model.getImageReferenceArray();
    if (where.assetIndex < 0 || size_t(where.assetIndex) >= references.size() || *where.layerIndex < 0 ||
        size_t(*where.layerIndex) >= references[size_t(where.assetIndex)].size())
        return std::nullopt;
    auto file = storedFile(references[size_t(where.assetIndex)][size_t(*where.layerIndex)]);
    if (!file)
        return std::nullopt;
    QRN_LOG_OUT(
        LogValues({{"layerIndex", *where.layerIndex}, {"fileExt", file->second}, {"fileName", file->first}}));
    return imageLayerInformation{*where.layerIndex, file->second, file->first,
                                 imagesFolder() + file->first + "." + file->second};
}

void imageManipulationClass::softDeleteImage(
    const std::optional<layerAssetIndexAndVideoSelectedArray>& layer) {
    QRN_LOG_IN(std::nullopt);
    auto info = retrieveLayerInformation(layer);
    if (!info)
        return;
    const int asset = previewLayerClass().layerAssetIndexAndVideoSelectedParameterValues(layer).assetIndex;
    // Another layer still shows an equal file: keep it.
    if (!checkIfImageAlreadyExists(info->fileLocation, false, false, info->layerIndex, asset))
        markImageForPermanentRemoval(info->fileName, info->fileExt);
    QRN_LOG_OUT(std::nullopt);
}

void imageManipulationClass::markImageForPermanentRemoval(const std::string& imageName,
                                                          const std::string& imageExtension) {
    QRN_LOG_IN(LogValues({{"imageName", imageName}, {"imageExtension", imageExtension}}));
    if (!isSafeImageFileName(imageName, imageExtension))
        return;
    const std::vector<std::string> entry{imageName, imageExtension};
    if (std::find(permanentlyRemoveImageArray.begin(), permanentlyRemoveImageArray.end(), entry) ==
        permanentlyRemoveImageArray.end())
        permanentlyRemoveImageArray.push_back(entry);
    QRN_LOG_OUT(std::nullopt);
}

void imageManipulationClass::markedImageNeedsToBeKept(
    const std::optional<layerAssetIndexAndVideoSelectedArray>& layer) {
    QRN_LOG_IN(std::nullopt);
    if (auto info = retrieveLayerInformation(layer))
        unmarkImage(info->fileName, info->fileExt);
    QRN_LOG_OUT(std::nullopt);
}

void imageManipulationClass::unmarkImage(const std::string& imageName, const std::string& imageExtension) {
    QRN_LOG_IN(LogValues({{"imageName", imageName}, {"imageExtension", imageExtension}}));
    const std::vector<std::string> entry{imageName, imageExtension};
    auto it = std::find(permanentlyRemoveImageArray.begin(), permanentlyRemoveImageArray.end(), entry);
    if (it != permanentlyRemoveImageArray.end())
        permanentlyRemoveImageArray.erase(it);
    QRN_LOG_OUT(std::nullopt);
}

void imageManipulationClass::permanentlyRemoveImagesMarkedForRemoval() {
    QRN_LOG_IN(std::nullopt);
    if (permanentlyRemoveImageArray.empty())
        return;
    if (!haveProjectFolder()) {
        // The marks cannot belong to any folder now; forget them rather than guess one.
        QRN_LOG_ERROR("No project folder to remove marked images from");
        permanentlyRemoveImageArray.clear();
        return;
    }
    const std::string folder = imagesFolder();
    const auto stored = namesInStoredProject();
    for (const auto& entry : permanentlyRemoveImageArray) {
        if (entry.size() < 2 || !isSafeImageFileName(entry[0], entry[1]))
            continue;
        // A layer brought back (by undo, or a drop that found this very file) still needs it.
        if (namedByAnyLayer(entry[0], entry[1]) || stored(entry[0]))
            continue;
        // A link that leads out of the folder is left alone, and removing a link never
        // touches what it leads to.
        const std::string file = folder + entry[0] + "." + entry[1];
        if (!isInImagesFolder(file))
            continue;
        if (auto removed = qrn::files::remove(file); !removed)
            QRN_LOG_ERROR(removed.error());
    }
    permanentlyRemoveImageArray.clear();
    QRN_LOG_OUT(std::nullopt);
}

void imageManipulationClass::clearPermanentlyRemoveImageArray() {
    QRN_LOG_IN(std::nullopt);
    permanentlyRemoveImageArray.clear();
    QRN_LOG_OUT(std::nullopt);
}

std::vector<std::vector<std::string>> imageManipulationClass::getPermanentlyRemoveImageArray() {
    return permanentlyRemoveImageArray;
}

void imageManipulationClass::setImageStillNeededCheck(
    std::function<bool(const std::string& name, const std::string& ext)> check) {
    imageStillNeeded = std::move(check);
}
