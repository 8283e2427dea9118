#include "Controller/Editing/Preview/previewLayerAnimatedPicture.h"

#include <QFile>
#include <QImageReader>

#include <cstring>

#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Model/persistentDataStorageClass.h"
#include "platform/foundation/files.h"
#include "platform/imaging/picture_reader.h"
#include "platform/ui/view.h"

namespace {

std::string textAt(const imageReferenceArray& reference, size_t index) {
    if (index >= reference.size())
        return {};
    const qrn::Value& v = reference[index];
    return v.isString() ? v.toString() : std::string();
}

// Whether the file starts as a PNG: Qt reads those as still pictures whatever the file's name,
// and telling so from eight bytes spares every picture layer of an opened project a reader.
bool startsAsPng(const std::string& path) {
    static constexpr unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    QFile file;
    if (!qrn::imaging::openFileForReading(file, path))
        return false;
    unsigned char head[8] = {};
    return file.read(reinterpret_cast<char*>(head), sizeof head) == qint64(sizeof head) &&
           std::memcmp(head, signature, sizeof head) == 0;
}

std::optional<qrn::ui::AnimatedImage> framesOf(const std::string& path, QSize drawnSize) {
    if (startsAsPng(path))
        return std::nullopt;
    const auto probe = qrn::imaging::openPictureFile(path);
    // Only files that say they move are read twice.
    if (!probe->reader.supportsAnimation() || probe->reader.imageCount() == 1)
        return std::nullopt;
    auto frames = qrn::ui::AnimatedImage::load(path, drawnSize);
    if (!frames || frames.value().frameCount() < 2)
        return std::nullopt;
    return std::move(frames).value();
}

} // namespace

std::optional<qrn::ui::AnimatedImage> animatedPictureOf(const imageReferenceArray& reference,
                                                        const std::optional<std::string>& file,
                                                        QSize drawnSize) {
    if (reference.empty() || !reference[0].isInteger() || reference[0].toInt() == 1 ||
        reference[0].toInt() == 2)
        return std::nullopt;
    if (file)
        return framesOf(*file, drawnSize);
    const std::string extension = textAt(reference, 1), name = textAt(reference, 2);
    if (!isSafeImageFileName(name, extension))
        return std::nullopt;
    const std::string path =
        persistentDataStorageClass().getProjectDirectory() + "/images/" + name + "." + extension;
    // An opening looked at each of its files once already.
    if (previewLayerPendingPictures::isStillPicture(path))
        return std::nullopt;
    if (!imageManipulationClass::isInImagesFolder(path) || !qrn::files::exists(path))
        return std::nullopt;
    return framesOf(path, drawnSize);
}

std::optional<qrn::ui::AnimatedImage> movingPictureShownFor(int layerId) {
    const auto configuration = previewLayerClass().getConfiguration();
    if (!configuration || !configuration->layerContainerView)
        return std::nullopt;
    const auto tagged = configuration->layerContainerView->viewWithTag(layerId);
    const auto holder = tagged ? tagged->superview() : nullptr;
    if (!holder)
        return std::nullopt;
    for (const auto& sub : holder->subviews())
        if (auto picture = std::dynamic_pointer_cast<qrn::ui::ImageView>(sub);
            picture && picture->playsOnTimeline())
            return picture->animatedImage();
    return std::nullopt;
}
