#include "Controller/Editing/Preview/previewLayerPendingPictures.h"

#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
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
#include "Controller/Global/imageManipulationClass.h"
#include "Controller/Global/throwClass.h"
#include "Model/persistentDataStorageClass.h"
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
    // Assets whose layers show it, for the nearest-first order.
    std::vector<size_t> assets;
    // Main thread only.
    qrn::ImageHandle standIn;
    // Whether the file holds frames that move, which its layers then play.
    bool moves = false;
    bool delivered = false;
    // The rest under the batch's lock.
    int state = queued;
    std::optional<QImage> picture;
    bool tooLarge = false;
};

// The pictures of one opening. Workers hold it while they decode, so a cancelled batch they
// are still reading from stays alive until they are done with it.
struct pictureBatch {
    // Added to on the main thread only, under the lock; workers reach a slot through takeNext.
    std::vector<std::unique_ptr<pictureSlot>> entries;
    std::atomic<bool> cancelled{false};
    // Decodes under way, and how many may be: one core is left to the import while it builds the
    // screen, every core is used once it is built.
    std::atomic<int> running{0};
    std::atomic<int> limit{1};
    std::mutex mutex;
    std::condition_variable decodedOne;
    // The asset the order is nearest to, and the slots in the order they were taken.
    int selected = 0;
    std::vector<size_t> takenOrder;
    // Slots nobody has taken, and decode tasks posted that have not yet looked for one.
    size_t queuedCount = 0;
    size_t tasksStarting = 0;
    std::vector<size_t> ready;
    size_t decodedCount = 0;
    std::chrono::steady_clock::time_point lastDelivery;
    // Main thread only. A walk of the whole screen costs as much as a few decodes, so the views
    // showing a stand-in are found once, when the first pictures are handed on; the last
    // delivery walks the screen again with every picture, for views made in between.
    std::optional<std::unordered_map<qint64, std::vector<std::weak_ptr<qrn::ui::View>>>> showing;
    std::map<qint64, qrn::ImageHandle> handed;
    // Files whose pictures could not be read within the decode budget, told once all arrived.
    std::vector<std::string> tooLarge;
    // Main thread only: each file's slot, the files of the opening that do not start as
    // pictures, and whether the import has looked through the layers for their files.
    std::unordered_map<std::string, size_t> slotOfFile;
    std::set<std::string> notPictures;
    bool planned = false;
    // Started when the presenter chose the project, before its import began: the project folder
    // it was planned for.
    std::optional<std::string> foreseenFor;
};

std::shared_ptr<pictureBatch> currentBatch;
// The pictures of a project the presenter chose, decoding while the screen changes, until its
// import takes them over.
std::shared_ptr<pictureBatch> foreseenBatch;
bool collecting = false;
// Long past the slowest change of screens (from the studio, on a busy machine): an opening that
// never imported lets go of its pictures.
constexpr double foreseenPatience = 5.0;

// Its own image, so its cache key tells its layers' views from every other file's. It carries the
// file's size, read from its header, which the layers' filters count their pixels in from the
// start.
qrn::ImageHandle taggedStandIn(QSize own) {
    QImage standIn(1, 1, QImage::Format_ARGB32_Premultiplied);
    standIn.fill(Qt::transparent);
    qrn::imaging::setOwnPictureSize(standIn, own);
    return std::make_shared<const QImage>(std::move(standIn));
}

// A slot for `file`, which is looked at once for all the opening needs to know of it; none when
// it is not a picture of the project's images folder, as the import itself would refuse it.
std::unique_ptr<pictureSlot> slotFor(const std::string& file) {
    if (!imageManipulationClass::isInImagesFolder(file))
        return nullptr;
    const auto look = qrn::imaging::lookAtPicture(file);
    if (!look.readable)
        return nullptr;
    auto slot = std::make_unique<pictureSlot>();
    slot->file = file;
    slot->moves = look.moves;
    slot->standIn = taggedStandIn(look.size);
    return slot;
}

// How far an asset is from the one on screen: the sticky asset shows on every slide.
int distanceOf(size_t asset, int selected) {
    return asset == 0 ? 0 : 1 + std::abs(int(asset) - std::max(selected, 1));
}

int distanceOf(const pictureSlot& slot, int selected) {
    int nearest = std::numeric_limits<int>::max();
    for (const size_t asset : slot.assets)
        nearest = std::min(nearest, distanceOf(asset, selected));
    return nearest;
}

void decodeSlot(pictureBatch& batch, size_t index) {
    pictureSlot* slot;
    {
        std::lock_guard lock(batch.mutex);
        slot = batch.entries[index].get();
    }
    auto read = qrn::imaging::readPicture(slot->file, slot->drawn);
    std::lock_guard lock(batch.mutex);
    if (read)
        slot->picture = std::move(read).value();
    else
        slot->tooLarge = qrn::imaging::isTooLargeToRead(read.error());
    slot->state = decoded;
    batch.ready.push_back(index);
    ++batch.decodedCount;
    batch.decodedOne.notify_all();
}

// The queued slot nearest the selected asset (the earliest known among equals); none when all
// are taken.
std::optional<size_t> takeNext(pictureBatch& batch, bool byTask = false) {
    std::lock_guard lock(batch.mutex);
    if (byTask)
        --batch.tasksStarting;
    std::optional<size_t> best;
    int bestDistance = std::numeric_limits<int>::max();
    for (size_t i = 0; i < batch.entries.size(); ++i) {
        const pictureSlot& slot = *batch.entries[i];
        if (slot.state != queued)
            continue;
        const int distance = distanceOf(slot, batch.selected);
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    if (best) {
        --batch.queuedCount;
        batch.entries[*best]->state = taken;
        batch.takenOrder.push_back(*best);
    }
    return best;
}

// A delivery walks the whole screen, so pictures are handed on a few at a time: once several
// are ready, once a while has passed since the last, and always with the last one.
enum class when { batched, now };

void deliverReady(const std::shared_ptr<pictureBatch>& batch, when timing);

// Every view below root, the root included.
void collectViews(const std::shared_ptr<qrn::ui::View>& root, std::vector<qrn::ui::View*>& out) {
    out.push_back(root.get());
    for (const auto& sub : root->subviews())
        collectViews(sub, out);
}

// The editing screen's views that can show a layer's picture: the preview, the thumbnails of
// the asset strip and the sticky asset, the layer list and the background picture's box. A root
// inside another is walked once.
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
        roots.push_back(screen->backgroundLayerView);
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

// Gives `view` the picture filed under the cache key of the one it shows, if any; a moving
// picture keeps its frames.
void replaceIn(qrn::ui::View& view, const std::map<qint64, qrn::ImageHandle>& pictureOf) {
    const auto replacement = [&](const QImage& image) -> const qrn::ImageHandle* {
        if (image.isNull())
            return nullptr;
        const auto found = pictureOf.find(image.cacheKey());
        return found == pictureOf.end() ? nullptr : &found->second;
    };
    if (auto* picture = dynamic_cast<qrn::ui::ImageView*>(&view); picture && !picture->playsOnTimeline())
        if (const auto* found = replacement(picture->image()))
            picture->setImage(**found);
    if (const auto* found = replacement(view.layer()->contents()))
        view.layer()->setContents(**found);
}

// Hands each picture to every view of the screen that shows the one whose cache key it is
// filed under.
void replaceInViews(const std::map<qint64, qrn::ImageHandle>& pictureOf) {
    if (pictureOf.empty())
        return;
    std::vector<qrn::ui::View*> views;
    for (const auto& root : screenRoots())
        collectViews(root, views);
    for (qrn::ui::View* view : views)
        replaceIn(*view, pictureOf);
}

// Every view of the screen that shows one of the batch's stand-ins, by the stand-in's cache key.
void indexStandIns(pictureBatch& batch) {
    auto& showing = batch.showing.emplace();
    for (const auto& slot : batch.entries)
        showing[slot->standIn->cacheKey()];
    std::vector<std::shared_ptr<qrn::ui::View>> pending;
    for (const auto& root : screenRoots())
        pending.push_back(root);
    while (!pending.empty()) {
        auto view = std::move(pending.back());
        pending.pop_back();
        const auto note = [&](const QImage& image) {
            if (image.isNull())
                return;
            if (const auto found = showing.find(image.cacheKey()); found != showing.end())
                found->second.push_back(view);
        };
        if (const auto* picture = dynamic_cast<const qrn::ui::ImageView*>(view.get()))
            note(picture->image());
        note(view->layer()->contents());
        for (const auto& sub : view->subviews())
            pending.push_back(sub);
    }
}

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
            if (slot.tooLarge)
                batch.tooLarge.push_back(std::filesystem::path(slot.file).filename().string());
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
    batch.handed.insert(pictureOf.begin(), pictureOf.end());
    const bool last = std::all_of(batch.entries.begin(), batch.entries.end(),
                                  [](const auto& slot) { return slot->delivered; });
    if (last) {
        replaceInViews(batch.handed);
        batch.handed.clear();
        batch.showing.reset();
        // Said once the screen has every picture: the layers show the missing-picture mark.
        previewLayerPendingPictures::tellTooLargeOnSlides(batch.tooLarge);
        batch.tooLarge.clear();
        return;
    }
    if (pictureOf.empty())
        return;
    if (!batch.showing)
        indexStandIns(batch);
    for (const auto& [key, picture] : pictureOf) {
        const auto found = batch.showing->find(key);
        if (found == batch.showing->end())
            continue;
        for (const auto& weak : found->second)
            if (const auto view = weak.lock())
                replaceIn(*view, pictureOf);
        batch.showing->erase(found);
    }
}

void deliverReady(const std::shared_ptr<pictureBatch>& batch, when timing) {
    // A picture handed on while the import still builds the screen would miss the layers made
    // after it.
    if (collecting)
        return;
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

// Starts decodes on the pool up to the batch's limit. One task per picture: a thread goes back
// to the pool between two pictures, so band work of a frame never waits behind the whole project.
void pump(const std::shared_ptr<pictureBatch>& batch) {
    for (;;) {
        if (batch->cancelled.load())
            return;
        int running = batch->running.load();
        if (running >= batch->limit.load())
            return;
        {
            std::lock_guard lock(batch->mutex);
            if (batch->queuedCount <= batch->tasksStarting)
                return;
            if (!batch->running.compare_exchange_weak(running, running + 1))
                continue;
            ++batch->tasksStarting;
        }
        qrn::imaging::WorkerPool::shared().post([batch] {
            const auto index = takeNext(*batch, true);
            if (index && !batch->cancelled.load()) {
                decodeSlot(*batch, *index);
                const std::weak_ptr<pictureBatch> weak = batch;
                qrn::MainQueue::post([weak] {
                    const auto alive = weak.lock();
                    // Another project opened, or the model was reset, since this picture was asked for.
                    if (!alive || alive != currentBatch || alive->cancelled.load())
                        return;
                    deliverReady(alive, when::batched);
                });
            }
            batch->running.fetch_sub(1);
            if (index)
                pump(batch);
        });
    }
}

// The asset the screen shows once the import has built it: the import selects each asset it
// adds, so the last one.
int selectedAfterImport(size_t assets) {
    return assets > 1 ? int(assets) - 1 : 0;
}

// The rows of a project that say which picture files its layers show and how large.
struct layerRows {
    const std::vector<std::vector<imageReferenceArray>>& references;
    const std::vector<std::vector<std::vector<double>>>& frames;
    const std::vector<std::vector<double>>& rotations;
    // The preview the frames were stored for.
    std::optional<std::vector<double>> stored;
};

struct plannedFile {
    std::string file;
    const imageReferenceArray* reference = nullptr;
    QSize drawn;
    std::vector<size_t> assets;
};

// Every picture file the project's layers show, in the order first shown, with the size it is
// drawn at and the assets that show it. Reads no file.
std::vector<plannedFile> planFiles(const layerRows& rows) {
    std::vector<plannedFile> files;
    std::unordered_map<std::string, size_t> index;
    for (size_t a = 0; a < rows.references.size(); ++a)
        for (size_t l = 0; l < rows.references[a].size(); ++l) {
            const auto file = projectPictureFileOf(rows.references[a][l]);
            if (!file)
                continue;
            const auto [found, added] = index.emplace(*file, files.size());
            if (added)
                files.push_back({*file, &rows.references[a][l], {}, {}});
            plannedFile& planned = files[found->second];
            if (planned.assets.empty() || planned.assets.back() != a)
                planned.assets.push_back(a);
            // A layer without a frame of its own fills the movie.
            const std::vector<double> frame = a < rows.frames.size() && l < rows.frames[a].size()
                                                  ? rows.frames[a][l]
                                                  : std::vector<double>{};
            const double turn =
                a < rows.rotations.size() && l < rows.rotations[a].size() ? rows.rotations[a][l] : 0;
            const QSize here =
                frame.size() >= 4 && frame[2] > 0 && frame[3] > 0
                    ? previewLayerPendingPictures::moviePixelsOf({frame[2], frame[3]}, turn, rows.stored)
                    : previewLayerPendingPictures::moviePixels();
            planned.drawn = planned.drawn.expandedTo(here);
        }
    return files;
}

// A slot for each planned file, which is looked at once; the layers' rows of `assets` assets.
// Slots are made before any is decoded, so that the layers can be made while they decode.
void fillBatch(pictureBatch& batch, std::vector<plannedFile>& files, size_t assets) {
    for (auto& planned : files) {
        auto slot = slotFor(planned.file);
        if (!slot) {
            batch.notPictures.insert(planned.file);
            continue;
        }
        slot->reference = *planned.reference;
        slot->drawn = planned.drawn;
        slot->assets = std::move(planned.assets);
        std::lock_guard lock(batch.mutex);
        batch.slotOfFile.emplace(planned.file, batch.entries.size());
        batch.entries.push_back(std::move(slot));
        ++batch.queuedCount;
    }
    std::lock_guard lock(batch.mutex);
    batch.selected = selectedAfterImport(assets);
}

// Whether a batch foreseen from the project file as it was chosen holds just what the import
// plans now: the file may have changed in between.
bool holdsThePlan(const pictureBatch& batch, const std::vector<plannedFile>& files) {
    if (files.size() != batch.entries.size() + batch.notPictures.size())
        return false;
    for (const auto& planned : files) {
        if (batch.notPictures.count(planned.file))
            continue;
        const auto found = batch.slotOfFile.find(planned.file);
        if (found == batch.slotOfFile.end())
            return false;
        const pictureSlot& slot = *batch.entries[found->second];
        if (slot.drawn != planned.drawn || slot.assets != planned.assets)
            return false;
    }
    return true;
}

void dropBatch(std::shared_ptr<pictureBatch>& batch) {
    if (batch)
        batch->cancelled.store(true);
    batch.reset();
}

} // namespace

void previewLayerPendingPictures::tellTooLarge(std::vector<std::string> names) {
    if (names.empty())
        return;
    std::sort(names.begin(), names.end());
    std::string message;
    if (names.size() == 1) {
        message = "The picture \"" + names.front() + "\" is too large to show.";
    } else {
        for (const auto& name : names)
            message += (message.empty() ? "These pictures are too large to show: \"" : ", \"") + name + "\"";
        message += ".";
    }
    qrn::MainQueue::post([message] { throwClass().showError(message); });
}

void previewLayerPendingPictures::tellTooLargeOnSlides(const std::vector<std::string>& files) {
    if (files.empty())
        return;
    std::vector<size_t> slides;
    for (const auto& file : files)
        for (const size_t slide : slidesShowingPicture(file))
            slides.push_back(slide);
    if (slides.empty()) {
        tellTooLarge(files);
        return;
    }
    const std::string message =
        files.size() == 1
            ? "A picture on " + slideNames(slides) +
                  " is too large to show, so its layer shows the mark of a missing picture. A smaller "
                  "copy of the picture can take its place."
            : "Pictures on " + slideNames(slides) +
                  " are too large to show, so their layers show the mark of a missing picture. Smaller "
                  "copies of the pictures can take their place.";
    qrn::MainQueue::post([message] { throwClass().showError(message); });
}

QSize previewLayerPendingPictures::moviePixels() {
    return {1920, 1080};
}

QSize previewLayerPendingPictures::moviePixelsOf(qrn::Size points, double radians,
                                                 const std::optional<std::vector<double>>& fittedTo) {
    // Layer frames are kept in the points of the preview they are fitted to. What lies beyond
    // the movie's frame is never shown: along each side of a turned layer, that is the movie's
    // extent measured along that side, which grows with the turn (a quarter turn lays the
    // layer's height along the movie's width).
    const auto preview = fittedTo && fittedTo->size() >= 4 && (*fittedTo)[2] > 0 && (*fittedTo)[3] > 0
                             ? *fittedTo
                             : editViewClass().getMainPreviewViewRectAsArray();
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
    // The layer of a missing picture holds the cancel image: a link in its place that leads out
    // of the package must not fill it in.
    if (!imageManipulationClass::isInImagesFolder(file))
        return false;
    if (currentBatch)
        if (const auto found = currentBatch->slotOfFile.find(file);
            found != currentBatch->slotOfFile.end() && !currentBatch->entries[found->second]->delivered)
            return false;
    const QSize own = qrn::imaging::shownPictureSize(qrn::imaging::openPictureFile(file)->reader);
    const QSize wanted = qrn::imaging::decodedPictureSize(own, drawn);
    if (!wanted.isValid() || covers(wanted))
        return false;
    auto read = qrn::imaging::readPicture(file, drawn);
    if (!read)
        return false;
    replaceInViews({{held.cacheKey(), std::make_shared<const QImage>(std::move(read).value())}});
    return true;
}

void previewLayerPendingPictures::foresee() {
    dropBatch(foreseenBatch);
    const std::string directory = persistentDataStorageClass().getProjectDirectory();
    const storedProjectData* stored = checkedProjectData(directory);
    if (!stored)
        return;
    auto batch = std::make_shared<pictureBatch>();
    auto files = planFiles({stored->imageReferences, stored->frames, stored->rotations, stored->previewRect});
    fillBatch(*batch, files, stored->imageReferences.size());
    if (batch->entries.empty())
        return;
    batch->foreseenFor = directory;
    // Nothing else needs the cores while the screen fades.
    batch->limit.store(std::max(1, qrn::imaging::WorkerPool::shared().threadCount()));
    foreseenBatch = batch;
    pump(batch);
    const std::weak_ptr<pictureBatch> weak = batch;
    qrn::MainQueue::after(foreseenPatience, [weak] {
        if (const auto alive = weak.lock(); alive && alive == foreseenBatch)
            dropBatch(foreseenBatch);
    });
}

void previewLayerPendingPictures::cancelForeseen() {
    dropBatch(foreseenBatch);
}

void previewLayerPendingPictures::beginImport() {
    cancel();
    // The pictures of the project chosen are on their way already, unless another was chosen since.
    auto foreseen = std::move(foreseenBatch);
    foreseenBatch.reset();
    if (foreseen && foreseen->foreseenFor == persistentDataStorageClass().getProjectDirectory())
        currentBatch = std::move(foreseen);
    else
        dropBatch(foreseen);
    if (!currentBatch)
        currentBatch = std::make_shared<pictureBatch>();
    // One core stays with the import while it builds the screen.
    currentBatch->limit.store(std::max(1, qrn::imaging::WorkerPool::shared().threadCount() - 1));
    collecting = true;
}

void previewLayerPendingPictures::cancel() {
    dropBatch(currentBatch);
    collecting = false;
}

bool previewLayerPendingPictures::isCollecting() {
    return collecting && currentBatch;
}

bool previewLayerPendingPictures::isStillPicture(const std::string& file) {
    if (!isCollecting())
        return false;
    const auto found = currentBatch->slotOfFile.find(file);
    return found != currentBatch->slotOfFile.end() && !currentBatch->entries[found->second]->moves;
}

namespace {

// The opening's slots, from the rows the import has put in the model: those decoding since the
// project was chosen when they are still what the rows show, fresh ones otherwise.
void planImport() {
    previewLayerClass model;
    auto files = planFiles({model.getImageReferenceArray(), model.getLayerOriginSizeArray(),
                            model.getLayerRotateArray(), model.getMainPreviewViewArrayFromImport()});
    if (currentBatch->foreseenFor) {
        if (holdsThePlan(*currentBatch, files)) {
            currentBatch->planned = true;
            return;
        }
        // The project file changed since it was chosen: what was decoded for it goes.
        const int limit = currentBatch->limit.load();
        dropBatch(currentBatch);
        currentBatch = std::make_shared<pictureBatch>();
        currentBatch->limit.store(limit);
    }
    currentBatch->planned = true;
    fillBatch(*currentBatch, files, model.getImageReferenceArray().size());
}

} // namespace

qrn::ImageHandle previewLayerPendingPictures::standInFor(const std::string& file,
                                                         const imageReferenceArray& reference) {
    if (!isCollecting())
        return nullptr;
    // The first layer that asks finds every file of the project, and their decoding starts (or
    // goes on, when it started as the project was chosen).
    if (!currentBatch->planned) {
        planImport();
        pump(currentBatch);
    }
    pictureBatch& batch = *currentBatch;
    if (const auto found = batch.slotOfFile.find(file); found != batch.slotOfFile.end())
        return batch.entries[found->second]->standIn;
    if (batch.notPictures.count(file))
        return nullptr;
    // A file the stored layers did not name when the import began: decoded at the movie's size.
    auto slot = slotFor(file);
    if (!slot) {
        batch.notPictures.insert(file);
        return nullptr;
    }
    slot->reference = reference;
    slot->drawn = moviePixels();
    auto handle = slot->standIn;
    {
        std::lock_guard lock(batch.mutex);
        batch.slotOfFile.emplace(file, batch.entries.size());
        batch.entries.push_back(std::move(slot));
        ++batch.queuedCount;
    }
    pump(currentBatch);
    return handle;
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
    // Nearest the asset on screen first, now that it is known; every core may decode.
    {
        std::lock_guard lock(batch->mutex);
        batch->selected = previewLayerClass().getSelectedAssetIndex();
    }
    batch->limit.store(std::max(1, qrn::imaging::WorkerPool::shared().threadCount()));
    pump(batch);
    // What was decoded while the screen was built is handed on now.
    const std::weak_ptr<pictureBatch> weak = batch;
    qrn::MainQueue::post([weak] {
        const auto alive = weak.lock();
        if (alive && alive == currentBatch && !alive->cancelled.load())
            deliverReady(alive, when::batched);
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
    size_t pending = 0;
    for (const auto* batch : {&currentBatch, &foreseenBatch})
        if (*batch)
            pending += size_t(std::count_if((*batch)->entries.begin(), (*batch)->entries.end(),
                                            [](const auto& slot) { return !slot->delivered; }));
    return pending;
}

std::vector<std::string> previewLayerPendingPictures::decodeOrder() {
    std::vector<std::string> files;
    if (!currentBatch)
        return files;
    pictureBatch& batch = *currentBatch;
    std::lock_guard lock(batch.mutex);
    // Those taken, then the rest in the order they will be taken.
    std::vector<size_t> order = batch.takenOrder;
    std::vector<size_t> rest;
    for (size_t i = 0; i < batch.entries.size(); ++i)
        if (batch.entries[i]->state == queued)
            rest.push_back(i);
    std::stable_sort(rest.begin(), rest.end(), [&](size_t x, size_t y) {
        return distanceOf(*batch.entries[x], batch.selected) < distanceOf(*batch.entries[y], batch.selected);
    });
    order.insert(order.end(), rest.begin(), rest.end());
    for (const size_t index : order)
        files.push_back(batch.entries[index]->file);
    return files;
}
