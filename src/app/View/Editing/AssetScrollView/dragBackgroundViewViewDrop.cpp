// Drops on an asset tile: the first image file of the drag, or a picker symbol that carries its
// address, becomes the asset's background layer. The drag's own data is read; the clipboard is
// never touched.
#include <QFile>
#include <QFileInfo>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/imageClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/AssetScrollView/dragBackgroundViewView.h"
#include "View/Global/iconViewView.h"
#include "platform/imaging/picture_reader.h"
#include "platform/ui/dragging.h"
#include "platform/ui/file_url.h"
#include "platform/ui/pasteboard.h"

namespace {

int assetIdOf(const qrn::ui::View& tile) {
    return tile.subviews().empty() ? 0 : tile.subviews()[0]->tag().value_or(0);
}

// The picture of a dropped file; one too large to read is named in a notice.
std::optional<QImage> imageFrom(const QByteArray& data, const std::string& name = {}) {
    auto image = qrn::imaging::decodePicture(data, previewLayerPendingPictures::moviePixels());
    if (!image) {
        if (!name.empty() && qrn::imaging::isTooLargeToRead(image.error()))
            previewLayerPendingPictures::tellTooLarge({name});
        return std::nullopt;
    }
    return std::move(image).value();
}

// An asset's background layer id with its row and references.
struct backgroundState {
    std::optional<std::string> id;
    std::vector<std::string> layers;
    std::vector<imageReferenceArray> references;
};

backgroundState backgroundOf(int a) {
    previewLayerClass model;
    backgroundState state;
    const auto backgrounds = model.getAssetBackgroundIDArray();
    if (a >= 1 && size_t(a - 1) < backgrounds.size())
        state.id = backgrounds[size_t(a - 1)];
    const auto& layers = model.getLayerArrayReference();
    if (a >= 0 && size_t(a) < layers.size())
        state.layers = layers[size_t(a)];
    const auto references = model.getImageReferenceArray();
    if (a >= 0 && size_t(a) < references.size())
        state.references = references[size_t(a)];
    return state;
}

} // namespace

unsigned dragBackgroundViewView::draggingEntered(qrn::ui::DraggingInfo& info) {
    return info.draggingSourceOperationMask();
}

bool dragBackgroundViewView::prepareForDragOperation(qrn::ui::DraggingInfo& info) {
    info.setAnimatesToDestination(false);
    dropTaken = false;
    // During an import the drop is let through and then refused, with nothing changed.
    if (!persistentDataStorageClass().getInProgressBool())
        return true;
    const qrn::Point center = convertPointFromView(info.draggingLocation(), nullptr);
    // Only files whose contents are pictures are read; a web address is not a file's contents.
    std::vector<QUrl> files;
    for (const auto& url : info.draggingPasteboard().readURLs(true))
        if (url.isLocalFile())
            files.push_back(url);
    dropTaken = files.empty() ? dropSymbol(info, center) : dropFile(files, center);
    return true;
}

bool dragBackgroundViewView::dropFile(const std::vector<QUrl>& urls, qrn::Point center) {
    const QUrl& url = urls.front();
    bool good = false;
    imageClass().verifyURL(url.toString().toStdString(), [&good](bool usable) { good = usable; });
    if (!good) {
        QRN_LOG_ERROR(std::string("Unable to verify image URL"));
        return false;
    }
    QFile file;
    if (!qrn::imaging::openFileForReading(file, qrn::ui::localFilePath(url))) {
        QRN_LOG_ERROR(std::string("Unable to initialise image data"));
        return false;
    }
    const QByteArray data = file.readAll();
    if (imageFormatOfData(data) == imageFormat::unknown) {
        QRN_LOG_ERROR(std::string("Unrecognisable image extension"));
        return false;
    }
    const auto image = imageFrom(data, url.fileName().toStdString());
    if (!image) {
        QRN_LOG_ERROR(std::string("Unable to create image"));
        return false;
    }
    qrn::Value::List names;
    for (const auto& each : urls)
        names.emplace_back(each.toString().toStdString());
    if (!setImageReferenceArray(names, QFileInfo(url.path()).suffix().toStdString()))
        return false;
    return processImageURLs(*image, url, center, qrn::Size{double(image->width()), double(image->height())});
}

bool dragBackgroundViewView::dropSymbol(qrn::ui::DraggingInfo& info, qrn::Point center) {
    const auto symbol = iconViewView::readDragContents(info.draggingPasteboard());
    const auto data = info.draggingPasteboard().data(qrn::ui::pasteboard_type::tiff);
    if (!symbol || !data)
        return false;
    previewLayerClass model;
    const int selected = model.getSelectedAssetIndex();
    const auto& layers = model.getLayerArrayReference();
    if (selected >= 0 && size_t(selected) < layers.size() && layers[size_t(selected)].empty() &&
        model.getSelectedAsset() != 0)
        return false;
    const imageFormat format = imageFormatOfData(*data);
    if (format == imageFormat::unknown) {
        QRN_LOG_ERROR(std::string("Unrecognisable image extension"));
        return false;
    }
    const auto image = imageFrom(*data);
    if (!image) {
        QRN_LOG_ERROR(std::string("Unable to create image"));
        return false;
    }
    // A symbol known only by its name has no file to become a background.
    if (!symbol->url)
        return false;
    if (!setImageReferenceArray(qrn::Value::List{symbol->url->toString().toStdString()},
                                imageFormatRawValue(format)))
        return false;
    return processImageURLs(*image, *symbol->url, center,
                            qrn::Size{double(image->width()), double(image->height())});
}

bool dragBackgroundViewView::performDragOperation(qrn::ui::DraggingInfo&) {
    return persistentDataStorageClass().getInProgressBool() && dropTaken;
}

bool dragBackgroundViewView::setImageReferenceArray(const qrn::Value::List& images,
                                                    const std::string& fileExtension) {
    const auto strip = editViewClass().getAssetHorizontalScrollView();
    const auto label = strip ? strip->viewWithTag(assetIdOf(*this)) : nullptr;
    const auto tile = label ? label->superview() : nullptr;
    if (!tile)
        return false;
    previewLayerClass model;
    model.selectAsset(tile, false, true, false, true);
    const int i = model.getSelectedAssetIndex();
    const auto before = backgroundOf(i);
    if (before.id) {
        const auto at = std::find(before.layers.begin(), before.layers.end(), *before.id);
        const size_t position = size_t(at - before.layers.begin());
        if (at != before.layers.end() && position < before.references.size()) {
            undoRedoClass undo;
            // The replaced picture is what undo puts back; nothing older may stand in for it.
            undo.setValuesCompare(std::nullopt);
            undo.compareValuesBeforeAndAfter(undoValueList{before.references[position]}, std::nullopt);
        }
    }
    model.setImageReferenceArray(3, images, fileExtension);
    return true;
}

bool dragBackgroundViewView::processImageURLs(const QImage& image, const QUrl& url, qrn::Point center,
                                              qrn::Size size) {
    previewLayerClass model;
    const int steps = undoRedoClass::getUndoPosition();
    const std::string path = url.isLocalFile() ? qrn::ui::localFilePath(url) : url.toString().toStdString();
    model.addLayer(std::make_shared<const QImage>(image), std::nullopt, path, size, true, true, center,
                   std::nullopt, 0, false, false, false, false);
    // A background made or replaced is one new step of the history.
    return backgroundOf(model.getSelectedAssetIndex()).id.has_value() &&
           undoRedoClass::getUndoPosition() > steps;
}
