#include "Controller/Editing/Preview/previewLayerPendingPictures.h"

#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Model/persistentDataStorageClassImport.h"
#include "platform/foundation/main_queue.h"
#include "platform/imaging/picture_reader.h"
#include "platform/imaging/worker_pool.h"
#include "platform/ui/image_view.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/view.h"

namespace {

enum slotState : int { queued, taken, decoded };

struct pictureSlot {
    std::string file;
    imageReferenceArray reference;
    // Pixels of the largest frame a layer shows it at, in the movie; set before any worker
    // takes the slot.
    QSize drawn;
    // Main thread only.
    qrn::ImageHandle standIn;
    bool delivered = false;
    std::atomic<int> state{queued};
    // Written once by whoever took the slot, before it is marked decoded (under the batch's lock).
    std::optional<QImage> picture;
};

// The pictures of one opening. Workers hold it while they decode, so a cancelled batch they
// are still reading from stays alive until they are done with it.
struct pictureBatch {
    std::vector<std::unique_ptr<pictureSlot>> entries;
    std::vector<size_t> order;
    std::atomic<size_t> next{0};
    std::atomic<bool> cancelled{false};
    std::mutex mutex;
    std::condition_variable decodedOne;
    std::vector<size_t> ready;
    size_t decodedCount = 0;
    std::chrono::steady_clock::time_point lastDelivery;
};

std::shared_ptr<pictureBatch> currentBatch;
std::unordered_map<std::string, size_t> slotOfFile;
bool collecting = false;

void decodeSlot(pictureBatch& batch, size_t index) {
    pictureSlot& slot = *batch.entries[index];
    auto read = qrn::imaging::readPicture(slot.file, slot.drawn);
    std::lock_guard lock(batch.mutex);
    if (read)
        slot.picture = std::move(read).value();
    slot.state.store(decoded);
    batch.ready.push_back(index);
    ++batch.decodedCount;
    batch.decodedOne.notify_all();
}

// The next slot nobody has taken, in nearest-first order; none when all are taken.
std::optional<size_t> takeNext(pictureBatch& batch) {
    for (size_t k = batch.next.fetch_add(1); k < batch.order.size(); k = batch.next.fetch_add(1)) {
        const size_t index = batch.order[k];
        int expected = queued;
        if (batch.entries[index]->state.compare_exchange_strong(expected, taken))
            return index;
    }
    return std::nullopt;
}

// Every view below root, the root included.
void collectViews(const std::shared_ptr<qrn::ui::View>& root, std::vector<qrn::ui::View*>& out) {
    out.push_back(root.get());
    for (const auto& sub : root->subviews())
        collectViews(sub, out);
}

// The editing screen's views that can show a layer's picture: the preview, the thumbnails of
// the asset strip and the sticky asset, the layer list. A root inside another is walked once.
std::vector<std::shared_ptr<qrn::ui::View>> screenRoots() {
    std::vector<std::shared_ptr<qrn::ui::View>> roots;
    if (const auto preview = previewLayerClass().getConfiguration()) {
        roots.push_back(preview->parentPreviewView);
        roots.push_back(preview->layerContainerView);
    }
    editViewClass edit;
    if (const auto screen = edit.getConfiguration()) {
        roots.push_back(screen->stickyAsset);
        roots.push_back(std::static_pointer_cast<qrn::ui::View>(screen->assetTableView));
        roots.push_back(std::static_pointer_cast<qrn::ui::View>(screen->layerTableView));
    }
    roots.push_back(edit.getAssetHorizontalScrollView());
    roots.push_back(edit.getLayerScrollDocumentView());
    std::set<const qrn::ui::View*> all;
    for (const auto& root : roots)
        if (root)
            all.insert(root.get());
    std::vector<std::shared_ptr<qrn::ui::View>> outermost;
    std::set<const qrn::ui::View*> kept;
    for (const auto& root : roots) {
        if (!root || kept.count(root.get()))
            continue;
        bool inside = false;
        for (auto up = root->superview(); up && !inside; up = up->superview())
            inside = all.count(up.get()) > 0;
        if (!inside) {
            kept.insert(root.get());
            outermost.push_back(root);
        }
    }
    return outermost;
}

void replaceInViews(const std::map<qint64, qrn::ImageHandle>& pictureOf);

// Hands the pictures of `indexes` to every view and thumbnail that shows their stand-ins. A
// filtered layer filters its picture live, so it shows the new one filtered as it is drawn.
void deliver(pictureBatch& batch, const std::vector<size_t>& indexes) {
    // By the cache key of the stand-in, which its copies in every view share.
    std::map<qint64, qrn::ImageHandle> pictureOf;
    for (const size_t index : indexes) {
        pictureSlot& slot = *batch.entries[index];
        if (slot.delivered)
            continue;
        slot.delivered = true;
        QImage picture;
        if (slot.picture) {
            picture = std::move(*slot.picture);
        } else {
            // Reported and replaced as the import does with a file it cannot read.
            const auto fallback = pictureForReference(slot.reference);
            if (fallback.image)
                picture = fallback.image->convertToFormat(QImage::Format_ARGB32_Premultiplied);
        }
        slot.picture.reset();
        if (picture.isNull())
            continue;
        pictureOf[slot.standIn->cacheKey()] = std::make_shared<const QImage>(std::move(picture));
    }
    replaceInViews(pictureOf);
}

// Hands each picture to every view of the screen that shows the one whose cache key it is
// filed under; a moving picture keeps its frames.
void replaceInViews(const std::map<qint64, qrn::ImageHandle>& pictureOf) {
    if (pictureOf.empty())
        return;
    const auto replacement = [&](const QImage& image) -> const qrn::ImageHandle* {
        if (image.isNull())
            return nullptr;
        const auto found = pictureOf.find(image.cacheKey());
        return found == pictureOf.end() ? nullptr : &found->second;
    };
    std::vector<qrn::ui::View*> views;
    for (const auto& root : screenRoots())
        collectViews(root, views);
    for (qrn::ui::View* view : views) {
        if (auto* picture = dynamic_cast<qrn::ui::ImageView*>(view); picture && !picture->playsOnTimeline())
            if (const auto* found = replacement(picture->image()))
                picture->setImage(**found);
        if (const auto* found = replacement(view->layer()->contents()))
            view->layer()->setContents(**found);
    }
}

// A delivery walks the whole screen, so pictures are handed on a few at a time: once several
// are ready, once a while has passed since the last, and always with the last one.
enum class when { batched, now };

void deliverReady(const std::shared_ptr<pictureBatch>& batch, when timing) {
    constexpr size_t enough = 8;
    constexpr auto longest = std::chrono::milliseconds(40);
    const auto now = std::chrono::steady_clock::now();
    std::vector<size_t> ready;
    {
        std::lock_guard lock(batch->mutex);
        const bool due = timing == when::now || batch->ready.size() >= enough ||
                         batch->decodedCount == batch->entries.size() || now - batch->lastDelivery >= longest;
        if (!due || batch->ready.empty())
            return;
        ready.swap(batch->ready);
        batch->lastDelivery = now;
    }
    deliver(*batch, ready);
}

// How far an asset is from the one on screen: the sticky asset shows on every slide.
int distanceOf(size_t asset, int selected) {
    return asset == 0 ? 0 : 1 + std::abs(int(asset) - std::max(selected, 1));
}

} // namespace

QSize previewLayerPendingPictures::moviePixels() {
    return {1920, 1080};
}

QSize previewLayerPendingPictures::moviePixelsOf(qrn::Size points, double radians) {
    // Layer frames are kept in the points of the preview they are fitted to. What lies beyond
    // the movie's frame is never shown: along each side of a turned layer, that is the movie's
    // extent measured along that side, which grows with the turn (a quarter turn lays the
    // layer's height along the movie's width).
    const auto preview = editViewClass().getMainPreviewViewRectAsArray();
    const QSize movie = moviePixels();
    const double scale = preview.size() >= 4 && preview[2] > 0 && preview[3] > 0
                             ? std::max(movie.width() / preview[2], movie.height() / preview[3])
                             : 1;
    const double c = std::isfinite(radians) ? std::abs(std::cos(radians)) : 1;
    const double s = std::isfinite(radians) ? std::abs(std::sin(radians)) : 0;
    const int alongWidth = int(std::ceil(movie.width() * c + movie.height() * s - 1e-9));
    const int alongHeight = int(std::ceil(movie.width() * s + movie.height() * c - 1e-9));
    return {std::clamp(int(std::ceil(points.width * scale)), 1, alongWidth),
            std::clamp(int(std::ceil(points.height * scale)), 1, alongHeight)};
}

bool previewLayerPendingPictures::sharpen(const std::string& file, const QImage& held, QSize drawn) {
    // A stand-in is replaced when its picture arrives, at the size the layers then have.
    if (held.isNull() || (held.width() == 1 && held.height() == 1))
        return false;
    // Small differences are rounding: not worth decoding the file again.
    const auto covers = [&](QSize wanted) {
        return wanted.width() <= held.width() * 1.1 && wanted.height() <= held.height() * 1.1;
    };
    if (covers(drawn))
        return false;
    if (const auto found = slotOfFile.find(file);
        currentBatch && found != slotOfFile.end() && !currentBatch->entries[found->second]->delivered)
        return false;
    const QSize own = QImageReader(QString::fromStdString(file)).size();
    const QSize wanted = qrn::imaging::decodedPictureSize(own, drawn);
    if (!wanted.isValid() || covers(wanted))
        return false;
    auto read = qrn::imaging::readPicture(file, drawn);
    if (!read)
        return false;
    replaceInViews({{held.cacheKey(), std::make_shared<const QImage>(std::move(read).value())}});
    return true;
}

void previewLayerPendingPictures::beginImport() {
    cancel();
    currentBatch = std::make_shared<pictureBatch>();
    collecting = true;
}

void previewLayerPendingPictures::cancel() {
    if (currentBatch)
        currentBatch->cancelled.store(true);
    currentBatch.reset();
    slotOfFile.clear();
    collecting = false;
}

bool previewLayerPendingPictures::isCollecting() {
    return collecting && currentBatch;
}

qrn::ImageHandle previewLayerPendingPictures::standInFor(const std::string& file,
                                                         const imageReferenceArray& reference) {
    if (!isCollecting())
        return nullptr;
    if (const auto found = slotOfFile.find(file); found != slotOfFile.end())
        return currentBatch->entries[found->second]->standIn;
    if (!qrn::imaging::looksLikePicture(file))
        return nullptr;
    auto slot = std::make_unique<pictureSlot>();
    slot->file = file;
    slot->reference = reference;
    // Its own image, so its cache key tells its layers' views from every other file's.
    QImage standIn(1, 1, QImage::Format_ARGB32_Premultiplied);
    standIn.fill(Qt::transparent);
    slot->standIn = std::make_shared<const QImage>(std::move(standIn));
    slotOfFile.emplace(file, currentBatch->entries.size());
    currentBatch->entries.push_back(std::move(slot));
    return currentBatch->entries.back()->standIn;
}

void previewLayerPendingPictures::startDecoding() {
    if (!isCollecting())
        return;
    collecting = false;
    auto batch = currentBatch;
    if (batch->entries.empty()) {
        cancel();
        return;
    }
    // Nearest first: a file takes the distance of the nearest asset that shows it.
    previewLayerClass model;
    const int selected = model.getSelectedAssetIndex();
    std::vector<int> distance(batch->entries.size(), std::numeric_limits<int>::max());
    const auto references = model.getImageReferenceArray();
    const auto frames = model.getLayerOriginSizeArray();
    const auto rotations = model.getLayerRotateArray();
    // A picture is held at the size it is drawn at: its layer's share of the movie, the largest
    // of the places that show it. The preview, the studio and the strip draw it smaller.
    for (size_t a = 0; a < references.size(); ++a)
        for (size_t l = 0; l < references[a].size(); ++l) {
            const auto file = projectPictureFileOf(references[a][l]);
            const auto found = file ? slotOfFile.find(*file) : slotOfFile.end();
            if (found == slotOfFile.end())
                continue;
            distance[found->second] = std::min(distance[found->second], distanceOf(a, selected));
            QSize& drawn = batch->entries[found->second]->drawn;
            const std::vector<double> frame =
                a < frames.size() && l < frames[a].size() ? frames[a][l] : std::vector<double>{};
            // A layer without a frame of its own fills the movie.
            const double turn = a < rotations.size() && l < rotations[a].size() ? rotations[a][l] : 0;
            const QSize here = frame.size() >= 4 && frame[2] > 0 && frame[3] > 0
                                   ? moviePixelsOf({frame[2], frame[3]}, turn)
                                   : moviePixels();
            drawn = drawn.expandedTo(here);
        }
    batch->order.resize(batch->entries.size());
    for (size_t i = 0; i < batch->order.size(); ++i)
        batch->order[i] = i;
    std::stable_sort(batch->order.begin(), batch->order.end(),
                     [&](size_t x, size_t y) { return distance[x] < distance[y]; });

    // One task per picture: a thread goes back to the pool between two pictures, so band work
    // of a frame never waits behind the whole project.
    auto& pool = qrn::imaging::WorkerPool::shared();
    for (size_t i = 0; i < batch->order.size(); ++i)
        pool.post([batch] {
            if (batch->cancelled.load())
                return;
            const auto index = takeNext(*batch);
            if (!index)
                return;
            decodeSlot(*batch, *index);
            const std::weak_ptr<pictureBatch> weak = batch;
            qrn::MainQueue::post([weak] {
                const auto alive = weak.lock();
                // Another project opened, or the model was reset, since this picture was asked for.
                if (!alive || alive != currentBatch || alive->cancelled.load())
                    return;
                deliverReady(alive, when::batched);
            });
        });
}

void previewLayerPendingPictures::deliverAllNow() {
    const auto batch = currentBatch;
    if (!batch || collecting)
        return;
    std::vector<size_t> mine;
    while (const auto index = takeNext(*batch))
        mine.push_back(*index);
    qrn::imaging::WorkerPool::shared().forEach(int(mine.size()), 0,
                                               [&](int k) { decodeSlot(*batch, mine[size_t(k)]); });
    waitUntilDecoded();
    deliverReady(batch, when::now);
}

void previewLayerPendingPictures::waitUntilDecoded() {
    const auto batch = currentBatch;
    if (!batch || collecting)
        return;
    std::unique_lock lock(batch->mutex);
    batch->decodedOne.wait(lock, [&] { return batch->decodedCount == batch->entries.size(); });
}

std::size_t previewLayerPendingPictures::pendingCount() {
    if (!currentBatch)
        return 0;
    return size_t(std::count_if(currentBatch->entries.begin(), currentBatch->entries.end(),
                                [](const auto& slot) { return !slot->delivered; }));
}

std::vector<std::string> previewLayerPendingPictures::decodeOrder() {
    std::vector<std::string> files;
    if (currentBatch)
        for (const size_t index : currentBatch->order)
            files.push_back(currentBatch->entries[index]->file);
    return files;
}
