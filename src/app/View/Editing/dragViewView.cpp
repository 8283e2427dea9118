#include "View/Editing/dragViewView.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/imageClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "View/Global/iconViewView.h"
#include "platform/foundation/http.h"
#include "platform/imaging/picture_reader.h"
#include "platform/ui/dragging.h"
#include "platform/ui/event.h"
#include "platform/ui/file_url.h"
#include "platform/ui/pasteboard.h"
#include "platform/ui/tracking_area.h"

namespace {

std::function<std::optional<int>()> getDraggedLayerTagHook;
std::function<void()> clearSymbolTagHook;
std::function<void(const droppedLayer&)> addLayerHook;
std::function<std::vector<std::pair<std::string, QImage>>(int)> getImagesHook;

// A web image is downloaded whole, up to this size.
constexpr std::int64_t maximumImageBytes = 64 * 1024 * 1024;

// The downloaded picture as a file of its own kind, so the layer refers to a project image file
// like any dropped file instead of to the web address.
std::optional<QUrl> storeDownloadedImage(const QByteArray& bytes, imageFormat format) {
    const QString path =
        QDir::temp().filePath("qrn-drop-" + QUuid::createUuid().toString(QUuid::WithoutBraces) + "." +
                              QString::fromStdString(imageFormatRawValue(format)));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return std::nullopt;
    return QUrl::fromLocalFile(path);
}

bool layerListDragRunning() {
    return getDraggedLayerTagHook && getDraggedLayerTagHook().has_value();
}

void resizeOrRotate(bool rotate, const qrn::ui::Event& event) {
    previewLayerClass().resizeOrRotateLayer(rotate, std::nullopt, true, std::nullopt, true, false, false,
                                            true, event.locationInWindow.x, event.locationInWindow.y, false,
                                            false);
}

void drag(bool ends, const qrn::ui::Event& event) {
    previewLayerClass().dragLayerInVideoViewLayer(event.locationInWindow, ends, std::nullopt, false, true,
                                                  std::nullopt, false, true, false);
}

} // namespace

dragViewView::~dragViewView() {
    forgetDownload();
}

void dragViewView::forgetDownload() {
    if (downloadedFile)
        QFile::remove(*downloadedFile);
    downloadedFile.reset();
}

void dragViewView::draggingExited(qrn::ui::DraggingInfo&) {
    // An answer still on its way belongs to a drag that left; entering again asks anew.
    dragSequence = -1;
    forgetDownload();
}

void dragViewView::draggingEnded(qrn::ui::DraggingInfo&) {
    // By now a drop has copied the picture into the project.
    dragSequence = -1;
    forgetDownload();
}

dragViewView::dragViewView(const qrn::Rect& frame) : View(frame) {
    registerForDraggedTypes({qrn::ui::pasteboard_type::fileURL, qrn::ui::pasteboard_type::data,
                             qrn::ui::pasteboard_type::symbol});
    addTrackingArea(bounds(), qrn::ui::TrackingMouseEnteredAndExited | qrn::ui::TrackingActiveInKeyWindow |
                                  qrn::ui::TrackingInVisibleRect);
}

void dragViewView::setGetDraggedLayerTagHook(std::function<std::optional<int>()> hook) {
    getDraggedLayerTagHook = std::move(hook);
}

void dragViewView::setClearSymbolTagHook(std::function<void()> hook) {
    clearSymbolTagHook = std::move(hook);
}

void dragViewView::mouseDown(const qrn::ui::Event& event) {
    editViewClass().updateMouseDownValue(true);
    View::mouseDown(event);
    // A drag moves by what the mouse travelled since the press, so that a quick drag made of
    // few events loses none of its first movement.
    previewLayerClass model;
    if (model.getDraggingLayer() && model.getRotateButtonSelected() == 0)
        model.getInteractionState().dragStartLocation =
            std::make_pair(event.locationInWindow.x, event.locationInWindow.y);
}

void dragViewView::mouseDragged(const qrn::ui::Event& event) {
    if (layerListDragRunning())
        return;
    previewLayerClass model;
    const int handle = model.getRotateButtonSelected();
    if (handle != 0) {
        model.setRotatedStarted(true);
        resizeOrRotate(handle == -1, event);
        model.setResizeButtonSelected(false);
        return;
    }
    drag(false, event);
}

void dragViewView::mouseUp(const qrn::ui::Event& event) {
    if (layerListDragRunning())
        return;
    endGesture(event, true);
}

void dragViewView::mouseExited(const qrn::ui::Event& event) {
    if (layerListDragRunning())
        return;
    endGesture(event, false);
}

void dragViewView::endGesture(const qrn::ui::Event& event, bool clearSymbolTag) {
    previewLayerClass model;
    editViewClass().updateMouseDownValue(false);
    const int handle = model.getRotateButtonSelected();
    if (handle != 0) {
        if (handle == -1)
            model.setRotatedStarted(false);
        // A press and release without motion changes nothing: the handle's last call would
        // otherwise turn or resize the layer to the release point. Its before-values go too,
        // so the next action keeps its own.
        if (model.getResizeButtonSelected())
            undoRedoClass().setValuesCompare(std::nullopt);
        else
            resizeOrRotate(handle == -1, event);
        model.setRotateButtonSelected(0);
        model.setResizeButtonSelected(true);
    } else {
        drag(true, event);
        model.setDraggingLayer(false);
    }
    if (clearSymbolTag && clearSymbolTagHook)
        clearSymbolTagHook();
}

void dragViewView::setAddLayerHook(std::function<void(const droppedLayer&)> hook) {
    addLayerHook = std::move(hook);
}

void dragViewView::setGetImagesHook(std::function<std::vector<std::pair<std::string, QImage>>(int)> hook) {
    getImagesHook = std::move(hook);
}

unsigned dragViewView::draggingEntered(qrn::ui::DraggingInfo& info) {
    return checkExtension(info) ? qrn::ui::DragOperationCopy : qrn::ui::DragOperationNone;
}

unsigned dragViewView::draggingUpdated(qrn::ui::DraggingInfo&) {
    return fileTypeIsOk ? qrn::ui::DragOperationCopy : qrn::ui::DragOperationNone;
}

bool dragViewView::checkExtension(qrn::ui::DraggingInfo& info) {
    forgetDownload();
    fileTypeIsOk = false;
    fileTypeInt = 0;
    imageData.clear();
    imageURL.reset();
    symbolName.reset();
    dragSequence = info.sequenceNumber();
    const auto urls = info.draggingPasteboard().readURLs(true);
    if (!urls.empty()) {
        const QUrl url = urls.front();
        const int sequence = dragSequence;
        const std::weak_ptr<qrn::ui::View> weak = weak_from_this();
        // Each answer is taken only while this view shows the same drag.
        auto current = [weak, sequence]() -> dragViewView* {
            auto view = std::dynamic_pointer_cast<dragViewView>(weak.lock());
            return view && view->dragSequence == sequence ? view.get() : nullptr;
        };
        auto accept = [current, url](std::optional<QByteArray> bytes, bool downloaded) {
            auto* view = current();
            if (!view)
                return;
            if (!bytes) {
                view->refuse("Unable to initialise image data");
                return;
            }
            const auto format = imageFormatOfData(*bytes);
            if (format == imageFormat::unknown) {
                view->refuse("Unrecognisable image extension");
                return;
            }
            std::optional<QUrl> file = url;
            if (downloaded && !(file = storeDownloadedImage(*bytes, format))) {
                view->refuse("Unable to initialise image data");
                return;
            }
            if (downloaded) {
                view->forgetDownload();
                view->downloadedFile = file->toLocalFile();
            }
            view->fileTypeIsOk = true;
            view->fileTypeInt = 1;
            view->imageData = *bytes;
            view->imageURL = file;
        };
        imageClass().verifyURL(url.toString().toStdString(), [current, url, accept](bool ok) {
            auto* view = current();
            if (!view)
                return;
            if (!ok) {
                view->refuse("Unable to verify image URL");
                return;
            }
            if (url.isLocalFile()) {
                QFile file;
                accept(qrn::imaging::openFileForReading(file, qrn::ui::localFilePath(url))
                           ? std::optional<QByteArray>(file.readAll())
                           : std::nullopt,
                       false);
                return;
            }
            qrn::Http::get(url.toString().toStdString(), 60, maximumImageBytes,
                           [accept](std::optional<QByteArray> body) { accept(std::move(body), true); });
        });
        return fileTypeIsOk;
    }
    // A symbol from the picker carries its tag, name and picture in the drag itself.
    if (const auto symbol = iconViewView::readDragContents(info.draggingPasteboard())) {
        if (symbol->tag) {
            fileTypeIsOk = true;
            fileTypeInt = 2;
            imageData = QByteArray::number(*symbol->tag);
            return true;
        }
        if (!symbol->picture.isNull() && (symbol->name || symbol->url)) {
            fileTypeIsOk = true;
            fileTypeInt = 3;
            imageData = iconViewView::tiffData(symbol->picture);
            symbolName = symbol->name;
            imageURL = symbol->url;
        }
    }
    // A still symbol is accepted as well: refused here, the window never lets it drop.
    return fileTypeIsOk;
}

bool dragViewView::prepareForDragOperation(qrn::ui::DraggingInfo& info) {
    if (layerListDragRunning())
        return false;
    info.setAnimatesToDestination(false);
    if (!fileTypeIsOk) {
        if (messageString)
            QRN_LOG_ERROR(*messageString);
        return false;
    }
    const qrn::Point center = convertPointFromView(info.draggingLocation(), nullptr);
    previewLayerClass model;
    switch (fileTypeInt) {
    case 1: {
        auto decoded = qrn::imaging::decodePicture(imageData, previewLayerPendingPictures::moviePixels());
        if (!decoded || !imageURL) {
            QRN_LOG_ERROR(std::string("Unable to create image"));
            if (!decoded && imageURL && qrn::imaging::isTooLargeToRead(decoded.error()))
                previewLayerPendingPictures::tellTooLarge({imageURL->fileName().toStdString()});
            return false;
        }
        const QImage image = std::move(decoded).value();
        model.setImageReferenceArray(3, qrn::Value::List{imageURL->toString().toStdString()},
                                     QFileInfo(imageURL->path()).suffix().toStdString());
        processImageURLs(image, imageURL, std::nullopt,
                         qrn::Size{double(image.width()), double(image.height())}, center);
        return true;
    }
    case 2: {
        const auto images = getImagesHook ? getImagesHook(imageData.toInt()) : decltype(getImagesHook(0)){};
        qrn::Value::List names;
        std::vector<QImage> frames;
        for (const auto& [name, picture] : images) {
            names.push_back(name);
            frames.push_back(picture);
        }
        model.setImageReferenceArray(2, names, std::nullopt);
        processImageURLs(std::nullopt, std::nullopt, frames, std::nullopt, center);
        return true;
    }
    case 3: {
        auto decoded = qrn::imaging::decodePicture(imageData, previewLayerPendingPictures::moviePixels());
        if (!decoded) {
            QRN_LOG_ERROR(std::string("Unable to create image"));
            return false;
        }
        const QImage image = std::move(decoded).value();
        const std::string extension = imageFormatRawValue(imageFormatOfData(imageData));
        if (!imageURL && symbolName) {
            model.setImageReferenceArray(1, qrn::Value::List{*symbolName}, extension);
            // The picture keeps its own proportions; the add-layer step fits it.
            const double ratio = image.height() > 0 ? double(image.width()) / image.height() : 1;
            processImageURLs(image, std::nullopt, std::nullopt, qrn::Size{ratio, 1}, center);
        } else if (imageURL) {
            model.setImageReferenceArray(3, qrn::Value::List{imageURL->toString().toStdString()}, extension);
            processImageURLs(image, std::nullopt, std::nullopt,
                             qrn::Size{double(image.width()), double(image.height())}, center);
        }
        return true;
    }
    default:
        return false;
    }
}

void dragViewView::processImageURLs(std::optional<QImage> image, std::optional<QUrl> url,
                                    std::optional<std::vector<QImage>> frames,
                                    std::optional<qrn::Size> sizeValue, qrn::Point center) {
    QRN_LOG_IN(LogValues{{"image", image.has_value()},
                         {"url", url.has_value()},
                         {"IMAGES_ARRAY", frames.has_value()},
                         {"sizeValue", sizeValue.has_value()},
                         {"center", center.x}});
    if (!sizeValue) {
        const double m = globalAppSettingsClass().getMinimumLayerSize();
        sizeValue = qrn::Size{m, m};
    }
    if (!addLayerHook)
        return;
    if (image)
        addLayerHook(droppedLayer{image, {}, url, *sizeValue, true, center});
    else if (frames)
        addLayerHook(droppedLayer{std::nullopt, *frames, std::nullopt, *sizeValue, false, center});
}

bool dragViewView::performDragOperation(qrn::ui::DraggingInfo& info) {
    if (layerListDragRunning())
        return false;
    if (!persistentDataStorageClass().getInProgressBool())
        return false;
    return !info.draggingPasteboard().readURLs(true).empty() ||
           iconViewView::readDragContents(info.draggingPasteboard()).has_value();
}
