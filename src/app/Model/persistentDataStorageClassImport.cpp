// Opening a project: projectData.json is checked whole, then the stored rows are loaded and every
// asset and layer is re-created through the editor's own add operations, so the asset strip, the
// layer views, the ids and the filters come out as after a real edit.
#include "Model/persistentDataStorageClassImport.h"
#include "platform/ui/window.h"

#include <QImage>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Editing/SettingsPanel/layerSettingsClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/throwClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/package_commit.h"
#include "platform/ui/view.h"

namespace {

using qrn::Json;

// A shape error carries the key it was found under.
struct shapeError {
    std::string message;
};

[[noreturn]] void refuse(const std::string& key, const std::string& what) {
    throw shapeError{key + ": " + what};
}

const Json& arrayAt(const Json& document, const std::string& key) {
    const auto it = document.find(key);
    if (it == document.end())
        refuse(key, "missing");
    if (!it->is_array())
        refuse(key, "not an array");
    return *it;
}

double number(const Json& v, const std::string& key) {
    const auto n = qrn::json::asReal(v);
    if (!n)
        refuse(key, "not a number");
    return *n;
}

std::vector<double> numbers(const Json& v, const std::string& key, size_t atLeast = 0) {
    if (!v.is_array())
        refuse(key, "not a list of numbers");
    if (v.size() < atLeast)
        refuse(key, "fewer than " + std::to_string(atLeast) + " numbers");
    std::vector<double> out;
    out.reserve(v.size());
    for (const auto& e : v)
        out.push_back(number(e, key));
    return out;
}

// Stored geometry is brought into the range the layout can scale without leaving the finite
// numbers: a coordinate or size far beyond any screen, or a size so small that dividing by it
// overflows, would make the project impossible to write back.
constexpr double coordinateLimit = 1e6;
constexpr double smallestSize = 0.01;

double coordinate(double v) {
    return std::clamp(v, -coordinateLimit, coordinateLimit);
}

// 0 is a size not yet set (the camera's before it is placed) and stays 0.
double extent(double v) {
    return v <= 0 ? 0 : std::clamp(v, smallestSize, coordinateLimit);
}

void clampAll(std::vector<double>& values) {
    for (double& v : values)
        v = coordinate(v);
}

// [x, y, width, height, further values...]
std::vector<double> rectangle(std::vector<double> values, double smallest = 0) {
    clampAll(values);
    for (size_t i = 2; i < 4 && i < values.size(); ++i)
        values[i] = std::max(extent(values[i]), smallest);
    return values;
}

// Red, green and blue on 0...255, alpha on 0...1.
std::vector<double> colour(std::vector<double> values) {
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = std::clamp(values[i], 0.0, i == 3 ? 1.0 : 255.0);
    return values;
}

// Numbers anywhere inside a filter's values.
qrn::Value clampedValue(qrn::Value v) {
    if (v.isInteger())
        return qrn::Value(std::clamp<std::int64_t>(v.toInt(), -std::int64_t(coordinateLimit),
                                                   std::int64_t(coordinateLimit)));
    if (v.isReal())
        return qrn::Value(coordinate(v.toReal()));
    if (v.isList())
        for (auto& e : v.mutableList())
            e = clampedValue(std::move(e));
    return v;
}

std::vector<bool> flags(const Json& v, const std::string& key, size_t atLeast) {
    if (!v.is_array() || v.size() < atLeast)
        refuse(key, "not a list of at least " + std::to_string(atLeast) + " flags");
    std::vector<bool> out;
    for (const auto& e : v) {
        if (!e.is_boolean())
            refuse(key, "not a flag");
        out.push_back(e.get<bool>());
    }
    return out;
}

std::vector<std::string> strings(const Json& v, const std::string& key) {
    if (!v.is_array())
        refuse(key, "not a list of texts");
    std::vector<std::string> out;
    for (const auto& e : v) {
        if (!e.is_string())
            refuse(key, "not a text");
        out.push_back(e.get<std::string>());
    }
    return out;
}

std::vector<std::optional<std::string>> optionalStrings(const Json& v, const std::string& key) {
    std::vector<std::optional<std::string>> out;
    for (const auto& e : v) {
        if (e.is_null())
            out.emplace_back();
        else if (e.is_string())
            out.emplace_back(e.get<std::string>());
        else
            refuse(key, "neither a text nor null");
    }
    return out;
}

// A per-asset list must name every stored asset; entries past them are dropped.
const Json& perAsset(const Json& document, const std::string& key, size_t assets) {
    const Json& rows = arrayAt(document, key);
    if (rows.size() < assets)
        refuse(key, "fewer rows than assets");
    return rows;
}

// The same for one asset's row of a per-layer list.
const Json& perLayer(const Json& row, const std::string& key, size_t layers) {
    if (!row.is_array())
        refuse(key, "a row that is not a list");
    if (row.size() < layers)
        refuse(key, "a row shorter than its LAYER_ARRAY row");
    return row;
}

// One reference as the layer code reads it: an integer kind; a text layer ends in 1, a bundle
// image names itself at index 2, an animated symbol lists its frames, a file gives extension and
// name as text.
imageReferenceArray reference(const Json& v) {
    const std::string key = "IMAGE_REFERENCE_ARRAY";
    if (!v.is_array() || v.empty())
        refuse(key, "an empty reference");
    const auto kind = qrn::json::asInteger(v[0]);
    if (!kind)
        refuse(key, "a reference without a kind");
    const bool endsInOne = v.size() > 1 && qrn::json::asInteger(v.back()) == 1;
    if (*kind == 1) {
        if (!endsInOne && (v.size() < 3 || !v[2].is_string()))
            refuse(key, "a bundle image without a name");
    } else if (*kind == 2) {
        if (v.size() < 2)
            refuse(key, "an animated symbol without frames");
        for (size_t i = 1; i < v.size(); ++i)
            if (!v[i].is_string())
                refuse(key, "a frame name that is not a text");
    } else if ((v.size() > 1 && !v[1].is_string()) || (v.size() > 2 && !v[2].is_string())) {
        // A file without a name is a missing file; a name that is not text is no reference.
        refuse(key, "an image file named by something other than text");
    }
    imageReferenceArray out;
    for (const auto& e : v)
        out.push_back(qrn::json::toValue(e));
    return out;
}

// A filter's values entry: the writer stores empty slots as "", which become empty again.
filterValuesEntry valuesEntry(const Json& v, const std::string& key) {
    if (!v.is_array())
        refuse(key, "a values entry that is not a list");
    filterValuesEntry out;
    for (const auto& slot : v)
        out.push_back(slot.is_string() && slot.get<std::string>().empty()
                          ? qrn::Value()
                          : clampedValue(qrn::json::toValue(slot)));
    return out;
}

filterValuesArray valuesEntries(const Json& v, const std::string& key, size_t filtersCount) {
    if (!v.is_array() || v.size() < filtersCount)
        refuse(key, "fewer values entries than filters");
    filterValuesArray out;
    for (const auto& e : v)
        out.emplace_back(valuesEntry(e, key));
    return out;
}

// Settings are the settings pane's business: any list is carried through as it is.
qrn::Value::List opaqueList(const Json& v) {
    const qrn::Value value = qrn::json::toValue(v);
    return value.isList() ? value.toList() : qrn::Value::List{};
}

storedProjectData read(const Json& document, size_t filtersCount) {
    if (!document.is_object())
        refuse("projectData.json", "not an object");
    storedProjectData p;
    // Every key must be there, whatever the order of the checks below.
    for (const auto& key : persistentDataStorageClass::projectDataKeys())
        if (!document.contains(key))
            refuse(key, "missing");

    // The layers are scaled by the ratio of today's preview to this one: it is never narrower
    // than a point.
    p.previewRect = rectangle(
        numbers(arrayAt(document, "MAIN_PREVIEW_VIEW_RECT_ARRAY"), "MAIN_PREVIEW_VIEW_RECT_ARRAY"), 1);
    p.assets = strings(arrayAt(document, "ASSET_ARRAY"), "ASSET_ARRAY");
    if (p.assets.empty())
        refuse("ASSET_ARRAY", "no asset");
    const size_t n = p.assets.size();

    const Json& backgrounds = perAsset(document, "ASSET_BACKGROUND_ID_ARRAY", n - 1);
    p.backgroundIds = optionalStrings(backgrounds, "ASSET_BACKGROUND_ID_ARRAY");
    p.backgroundIds.resize(n - 1);
    const Json& colours = perAsset(document, "ASSET_BACKGROUND_COLOUR_ARRAY", n - 1);
    for (size_t a = 0; a + 1 < n; ++a)
        p.backgroundColours.push_back(colour(numbers(colours[a], "ASSET_BACKGROUND_COLOUR_ARRAY", 4)));

    const Json& layerRows = perAsset(document, "LAYER_ARRAY", n);
    const size_t maxLayers = size_t(std::max(0, globalAppSettingsClass().getMaxLayers()));
    for (size_t a = 0; a < n; ++a) {
        p.layers.push_back(strings(layerRows[a], "LAYER_ARRAY"));
        // The editor adds no more to an asset; the import could not re-create them.
        if (p.layers.back().size() > maxLayers)
            refuse("LAYER_ARRAY", "more layers in an asset than the editor allows");
    }
    p.firstLayerAboveVideo = optionalStrings(perAsset(document, "FIRST_LAYER_ABOVE_VIDEO_ARRAY", n),
                                             "FIRST_LAYER_ABOVE_VIDEO_ARRAY");
    p.firstLayerAboveVideo.resize(n);

    // Reads one per-layer list: for each asset, one checked entry per layer id.
    const auto eachLayer = [&](const std::string& key, auto readEntry) {
        const Json& rows = perAsset(document, key, n);
        using entryType = decltype(readEntry(rows[0][0]));
        std::vector<std::vector<entryType>> out(n);
        for (size_t a = 0; a < n; ++a) {
            const Json& row = perLayer(rows[a], key, p.layers[a].size());
            for (size_t l = 0; l < p.layers[a].size(); ++l)
                out[a].push_back(readEntry(row[l]));
        }
        return out;
    };
    p.imageReferences = eachLayer("IMAGE_REFERENCE_ARRAY", [](const Json& v) { return reference(v); });
    p.frames = eachLayer("LAYER_ORIGIN_SIZE_ARRAY", [](const Json& v) {
        return rectangle(numbers(v, "LAYER_ORIGIN_SIZE_ARRAY", 4), smallestSize);
    });
    p.rotations = eachLayer("LAYER_ROTATE_ARRAY",
                            [](const Json& v) { return coordinate(number(v, "LAYER_ROTATE_ARRAY")); });
    p.originals = eachLayer("LAYER_ORIGINAL_POS_SIZE_ROT", [](const Json& v) {
        return rectangle(numbers(v, "LAYER_ORIGINAL_POS_SIZE_ROT", 4), smallestSize);
    });
    p.flips = eachLayer("LAYER_IS_FLIPPED_ARRAY",
                        [](const Json& v) { return flags(v, "LAYER_IS_FLIPPED_ARRAY", 2); });
    p.aspectLocks = eachLayer("LAYER_RESIZE_WITH_ASPECT_RATIO", [](const Json& v) {
        auto values = numbers(v, "LAYER_RESIZE_WITH_ASPECT_RATIO");
        clampAll(values);
        return values;
    });

    p.videoFrame =
        rectangle(numbers(arrayAt(document, "VIDEO_ORIGIN_SIZE_ARRAY"), "VIDEO_ORIGIN_SIZE_ARRAY", 4));
    const auto origin = numbers(arrayAt(document, "cropOrigin"), "cropOrigin", 2);
    const auto size = numbers(arrayAt(document, "cropSize"), "cropSize", 2);
    p.cropOrigin = {coordinate(origin[0]), coordinate(origin[1])};
    p.cropSize = {extent(size[0]), extent(size[1])};

    p.videoFilter = flags(arrayAt(document, "VIDEO_FILTER"), "VIDEO_FILTER", filtersCount);
    p.layerFilter = eachLayer(
        "LAYER_FILTER", [filtersCount](const Json& v) { return flags(v, "LAYER_FILTER", filtersCount); });
    p.layerFilterOrder = eachLayer("LAYER_FILTER_ORDER", [](const Json& v) {
        if (!v.is_array())
            refuse("LAYER_FILTER_ORDER", "not a list of filter ids");
        std::vector<int> order;
        for (const auto& e : v) {
            const auto id = qrn::json::asInteger(e);
            if (!id || *id < 0 || *id > 1000)
                refuse("LAYER_FILTER_ORDER", "not a filter id");
            order.push_back(int(*id));
        }
        return order;
    });
    p.videoFilterValues =
        valuesEntries(arrayAt(document, "VIDEO_FILTER_VALUES"), "VIDEO_FILTER_VALUES", filtersCount);
    p.layerFilterValues = eachLayer("LAYER_FILTER_VALUES", [filtersCount](const Json& v) {
        return valuesEntries(v, "LAYER_FILTER_VALUES", filtersCount);
    });

    p.videoSettings = opaqueList(arrayAt(document, "VIDEO_SETTINGS_ARRAY"));
    for (const auto& asset : arrayAt(document, "LAYER_SETTINGS_ARRAY")) {
        std::vector<qrn::Value::List> rows;
        if (asset.is_array())
            for (const auto& layer : asset)
                rows.push_back(opaqueList(layer));
        p.layerSettings.push_back(std::move(rows));
    }
    return p;
}

std::function<void(std::optional<int>)> loadSettingsViewHook;
std::function<void(bool, bool, bool)> importHandler;
bool importRunning = false;
// Each import, and each reset of the model it fills, makes earlier delayed steps stale.
qrn::GenerationCounter importGeneration{10000};

// After an import stopped part-way the stored rows reach past the layers re-created so far; they
// are cut back so that every row stays in step with LAYER_ARRAY.
void trimRowsToLayers() {
    previewLayerClass model;
    const auto rows = previewLayerClass::layerRows();
    const size_t assets = rows.layers.size();
    const auto cut = [&](auto& table) {
        table.resize(assets);
        for (size_t a = 0; a < assets; ++a)
            if (table[a].size() > rows.layers[a].size())
                table[a].resize(rows.layers[a].size());
    };
    cut(rows.references);
    cut(rows.frames);
    cut(rows.rotations);
    cut(rows.originals);
    cut(rows.flips);
    cut(rows.locks);
    filterClass filters;
    auto flags = filters.getLayerFilter();
    auto orders = filters.getLayerFilterOrder();
    auto values = filters.getLayerFilterValues();
    cut(flags);
    cut(orders);
    cut(values);
    filters.setLayerFilter(flags);
    filters.setLayerFilterOrder(orders);
    filters.setLayerFilterValues(values);
    auto colours = model.getAssetBackgroundColour();
    colours.resize(assets > 0 ? assets - 1 : 0, std::vector<double>{0, 0, 0, 1});
    model.setAssetBackgroundColour(colours);
}

// The layers get stand-ins for their picture files while the import builds the screen; the
// pictures are decoded once it is built. An import that does not get that far drops them,
// however it ends.
struct picturesAfterImport {
    picturesAfterImport() { previewLayerPendingPictures::beginImport(); }
    ~picturesAfterImport() {
        if (previewLayerPendingPictures::isCollecting())
            previewLayerPendingPictures::cancel();
    }
    picturesAfterImport(const picturesAfterImport&) = delete;
    picturesAfterImport& operator=(const picturesAfterImport&) = delete;
};

// The layer lists wait for the end of the re-creation (previewLayerClass::holdLayerListsForImport),
// however it ends: a failed import's recovery selects an asset of its own, lists and all.
struct layerListsHeldForImport {
    layerListsHeldForImport() { previewLayerClass::holdLayerListsForImport(true); }
    ~layerListsHeldForImport() { previewLayerClass::holdLayerListsForImport(false); }
    layerListsHeldForImport(const layerListsHeldForImport&) = delete;
    layerListsHeldForImport& operator=(const layerListsHeldForImport&) = delete;
};

void logImportError(const std::string& message) {
    dataLoggingClass().logError("persistentDataStorageClass", message, __FILE__, "importDataAction");
}

// ".<name>.<UUID>.tmp": what our own atomic writes leave behind when they are interrupted.
bool isOwnTemporaryFile(const std::string& name) {
    constexpr size_t uuidLength = 36;
    const std::string suffix = ".tmp";
    if (name.size() < 1 + 1 + 1 + uuidLength + suffix.size() || name[0] != '.' ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const size_t uuidStart = name.size() - suffix.size() - uuidLength;
    if (name[uuidStart - 1] != '.')
        return false;
    for (size_t i = 0; i < uuidLength; ++i) {
        const char c = name[uuidStart + i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != '-' : !std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

// Interrupted writes of earlier sessions: no write of ours is under way while a project opens.
void removeStaleTemporaryFiles(const std::string& directory) {
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        const auto status = it->symlink_status(error);
        if (error || fs::is_directory(status) || !isOwnTemporaryFile(it->path().filename().string()))
            continue;
        std::error_code removed;
        if (fs::remove(it->path(), removed))
            logImportError("Removed the unfinished write " + it->path().string());
    }
}

// An alert about the project being opened waits for the window to show it: shown at once, it
// would stand over a screen not yet drawn, under the previous title.
void tellOnceOpened(const std::string& message) {
    qrn::MainQueue::post([message] { throwClass().showError(message); });
}

// Told once, after the import, which text files could not be read.
void tellAboutDamagedTextFiles() {
    const auto notices = attributedStringStorageClass::takeDamagedFileNotices();
    if (notices.empty())
        return;
    std::string message;
    for (const auto& notice : notices)
        message += (message.empty() ? "" : "\n") + notice;
    tellOnceOpened(message);
}

} // namespace

qrn::Result<storedProjectData> readProjectData(const Json& document, size_t filtersCount) {
    try {
        return read(document, filtersCount);
    } catch (const shapeError& e) {
        return qrn::Result<storedProjectData>::failure("projectData.json: " + e.message);
    } catch (const std::exception& e) {
        // A value of an unexpected kind deep inside (nlohmann reports those by throwing).
        return qrn::Result<storedProjectData>::failure(std::string("projectData.json: ") + e.what());
    }
}

namespace {

// The project file last found valid, as read then. A large deck's file takes longer to parse
// than the rest of its open; the check before an open and the import after it share one parse.
struct checkedProjectFile {
    std::string path;
    qrn::files::FileIdentity identity;
    size_t filtersCount = 0;
    std::optional<storedProjectData> stored;
};
checkedProjectFile lastChecked;

// As the last commit left it, and never through a link.
std::string projectFilePath(const std::string& directory) {
    return qrn::files::committedFile(directory, "projectData.json").string();
}

bool isLastChecked(const std::string& path, size_t filtersCount) {
    if (!lastChecked.stored || lastChecked.path != path || lastChecked.filtersCount != filtersCount)
        return false;
    const auto now = qrn::files::identify(path, qrn::files::Links::refuse);
    return now && *now == lastChecked.identity;
}

qrn::Result<storedProjectData> readAnew(const std::string& path, size_t filtersCount,
                                        qrn::files::FileIdentity* identity) {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, error)))
        return qrn::Result<storedProjectData>::failure("Unable to retrieve project directory");
    auto text = qrn::files::readText(path, qrn::json::maxFileBytes, qrn::files::Links::refuse, identity);
    if (!text)
        return qrn::Result<storedProjectData>::failure(text.error());
    std::string repeatedKey;
    auto document = qrn::json::parse(*text, &repeatedKey);
    text = std::string();
    if (!document)
        return qrn::Result<storedProjectData>::failure(document.error());
    auto stored = readProjectData(*document, filtersCount);
    if (stored)
        stored.value().repeatedKey = std::move(repeatedKey);
    return stored;
}

} // namespace

qrn::Result<storedProjectData> readProjectDataFile(const std::string& directory, size_t filtersCount) {
    const std::string path = projectFilePath(directory);
    if (isLastChecked(path, filtersCount)) {
        storedProjectData stored = std::move(*lastChecked.stored);
        lastChecked = checkedProjectFile();
        return stored;
    }
    lastChecked = checkedProjectFile();
    return readAnew(path, filtersCount, nullptr);
}

qrn::Status checkProjectDataFile(const std::string& directory, size_t filtersCount) {
    const std::string path = projectFilePath(directory);
    if (isLastChecked(path, filtersCount))
        return qrn::Status::ok();
    // Let go of the one before first: two large decks are not held at once.
    lastChecked = checkedProjectFile();
    qrn::files::FileIdentity identity;
    auto stored = readAnew(path, filtersCount, &identity);
    if (!stored)
        return stored.status();
    lastChecked = checkedProjectFile{path, identity, filtersCount, std::move(stored).value()};
    return qrn::Status::ok();
}

const storedProjectData* checkedProjectData(const std::string& directory) {
    const std::string path = projectFilePath(directory);
    return isLastChecked(path, lastChecked.filtersCount) ? &*lastChecked.stored : nullptr;
}

layerPicture pictureForReference(const imageReferenceArray& reference) {
    previewLayerClass model;
    layerPicture out;
    try {
        const qrn::Value picture = model.getImageFromImageReferenceArray(reference);
        if (picture.isList()) {
            out.frames.emplace();
            for (const auto& frame : picture.toList())
                out.frames->push_back(frame.toImage());
        } else {
            out.image = picture.toImage();
        }
    } catch (const qrnError& e) {
        dataLoggingClass().logError("previewLayerClass", e.what(), __FILE__, __func__);
    }
    if (!out.image && !out.frames) {
        try {
            out.image = model.getImageFromImageReferenceArray(imageReferenceArray{1, "", "cancel"}).toImage();
        } catch (const qrnError&) {
        }
    }
    if (!out.image && !out.frames)
        out.image = std::make_shared<const QImage>(1, 1, QImage::Format_ARGB32_Premultiplied);
    return out;
}

void persistentDataStorageClass::setImportHandler(std::function<void(bool, bool, bool)> handler) {
    importHandler = std::move(handler);
}

void persistentDataStorageClass::setLoadSettingsViewHook(std::function<void(std::optional<int>)> hook) {
    loadSettingsViewHook = std::move(hook);
}

bool persistentDataStorageClass::getImportRunning() {
    return importRunning;
}

void persistentDataStorageClass::addLayers(const std::string& path, std::optional<int> loopIndex, int i,
                                           int j, const imageReferenceArray& IMAGE_REFERENCE_ARRAY) {
    QRN_LOG_IN(LogValues{{"path", path},
                         {"loopIndex", loopIndex ? qrn::Value(*loopIndex) : qrn::Value()},
                         {"i", i},
                         {"j", j},
                         {"IMAGE_REFERENCE_ARRAY", qrn::Value(IMAGE_REFERENCE_ARRAY)}});
    previewLayerClass model;
    const int kind = IMAGE_REFERENCE_ARRAY.empty() ? 0 : int(IMAGE_REFERENCE_ARRAY[0].toInt());
    const bool isFile = kind != 1 && kind != 2;
    if (isFile && IMAGE_REFERENCE_ARRAY.size() >= 3) {
        const std::string name = IMAGE_REFERENCE_ARRAY[2].toString();
        const std::string extension = IMAGE_REFERENCE_ARRAY[1].toString();
        // A name no file can have (too long, a separator or NUL in it) is a missing picture.
        const auto file = projectPictureFileOf(IMAGE_REFERENCE_ARRAY);
        std::error_code error;
        const bool reachable = file && std::filesystem::exists(*file, error);
        // A test that cannot tell (a folder that cannot be read) stops the import.
        if (error && error != std::errc::no_such_file_or_directory && error != std::errc::not_a_directory &&
            error != std::errc::filename_too_long)
            throw throwClass().error(error.message());
        if (!reachable)
            QRN_LOG_ERROR("Unable to retrieve remote regular image " + name + "." + extension);
    }

    const auto [image, frames] = pictureForReference(IMAGE_REFERENCE_ARRAY);
    // The layer's views show its stored filters as they are made.
    model.addLayer(image, frames, std::nullopt, std::nullopt, false, isFile && loopIndex.has_value(),
                   qrn::Point{}, std::vector<int>{i, j}, 0, false, false, false, false);
    QRN_LOG_OUT();
}

void persistentDataStorageClass::importDataAction(bool resizeLayers, bool stopOtherProcesses,
                                                  bool keepUndoHistory) {
    QRN_LOG_IN(LogValues{{"resizeLayers", resizeLayers},
                         {"stopOtherProcesses", stopOtherProcesses},
                         {"keepUndoHistory", keepUndoHistory}});
    if (importHandler) {
        importHandler(resizeLayers, stopOtherProcesses, keepUndoHistory);
        return;
    }
    previewLayerClass model;
    if (importRunning) {
        QRN_LOG_ERROR("An import is already running");
        return;
    }
    importRunning = true;
    (void)attributedStringStorageClass::takeWriteHeldForImport();
    importGeneration.increment();
    const picturesAfterImport pictures;
    const auto window = getMainWindow();
    // Every asset and layer the import adds changes the tree: the pointer's areas are settled
    // once, at the end.
    const auto configuration = model.getConfiguration();
    const qrn::ui::Window::TrackingBatch tracking(configuration && configuration->layerContainerView
                                                      ? configuration->layerContainerView->window()
                                                      : nullptr);
    if (stopOtherProcesses) {
        if (window)
            window->setResizable(false);
        setInProgressBool(false);
    }
    filterClass filters;
    const size_t filtersCount = filters.getFilterString().size();
    const std::string directory = getProjectDirectory();

    const auto finish = [&] {
        model.layOutAssetStripAfterImport();
        if (window)
            window->setResizable(true);
        if (!keepUndoHistory)
            undoRedoClass().clearClass();
        setInProgressBool(true);
        setTempLayerArray(std::nullopt);
        model.setImportMarker(false);
        importRunning = false;
    };
    const auto recover = [&](const std::string& message) {
        logImportError(message);
        // Nothing may be written over the package until a project loads: the near-empty model
        // the recovery leaves would replace the stored one.
        setProjectLoadFailed(true);
        model.reloadVideoPreview(true);
        trimRowsToLayers();
        model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
        if (window)
            window->setResizable(true);
        if (loadSettingsViewHook)
            loadSettingsViewHook(std::nullopt);
        // The layers re-created before the failure stay, and get their pictures.
        previewLayerPendingPictures::startDecoding();
        finish();
        // Nothing the import held back is written over the package.
        (void)attributedStringStorageClass::takeWriteHeldForImport();
        throwClass().showError("Project Failed to Load");
        tellAboutDamagedTextFiles();
    };

    // Notices of reads outside this import are no business of this project, a failed load's
    // alert included.
    (void)attributedStringStorageClass::takeDamagedFileNotices();
    auto stored = readProjectDataFile(directory, filtersCount);
    if (!stored) {
        recover(stored.error());
        QRN_LOG_OUT();
        return;
    }
    // The rows the model keeps are moved into it; what only the import reads goes once it is built.
    storedProjectData p = std::move(stored).value();
    // A key held twice lost what its first value held: the file is kept as it was before any
    // write can replace it, and the presenter hears of it with the other damaged files.
    if (!p.repeatedKey.empty())
        attributedStringStorageClass::keepCopyOfDamagedFile(
            "projectData", "projectData.json holds " + p.repeatedKey +
                               " twice; the project opened with the second, and may lack slides or layers.");
    removeStaleTemporaryFiles(directory);
    if (std::error_code error;
        std::filesystem::is_directory(std::filesystem::symlink_status(directory + "/images", error)))
        removeStaleTemporaryFiles(directory + "/images");

    model.setMainPreviewViewArrayFromImport(p.previewRect);
    model.setAssetBackgroundColour(std::move(p.backgroundColours));
    setTempLayerArray(p.layers);
    setTempFirstLayerAboveVideoArray(p.firstLayerAboveVideo);
    model.setEntireImageReferenceArray(p.imageReferences);
    model.setLayerOriginSizeArray(std::move(p.frames));
    model.setLayerRotateArray(std::move(p.rotations));
    model.setLayerOriginalPosSize(std::move(p.originals));
    model.setLayerIsFlippedArray(std::move(p.flips));
    model.setLayerResizeWithAspectRatioArray(std::move(p.aspectLocks));
    model.setVideoOriginSizeArray(p.videoFrame);
    model.reloadVideoPreview(false);
    model.setVideoCropSizeAndOrigin(p.cropSize, p.cropOrigin);
    filters.setVideoFilter(p.videoFilter);
    filters.setLayerFilter(p.layerFilter);
    filters.setLayerFilterOrder(p.layerFilterOrder);
    filters.setVideoFilterValues(p.videoFilterValues);
    filters.setLayerFilterValues(p.layerFilterValues);

    attributedStringStorageClass texts;
    const size_t assetCount = p.assets.size();
    texts.importAutocueText(assetCount);
    const bool symbolsFound = texts.importSymbolText(int(assetCount) - 1);

    // Every stored asset and layer must come back, or the rows loaded above fall out of step.
    const auto expectCreated = [&](size_t a, size_t layers) {
        const auto& rows = model.getLayerArrayReference();
        if (model.getAssetArrayReference().size() <= a || rows.size() <= a || rows[a].size() != layers)
            throw throwClass().error("A stored layer of asset " + std::to_string(a) +
                                     " could not be re-created");
    };
    try {
        const layerListsHeldForImport held;
        for (size_t j = 0; j < p.layers[0].size(); ++j) {
            addLayers(directory, std::nullopt, 0, int(j), p.imageReferences[0][j]);
            expectCreated(0, j + 1);
        }
        for (size_t a = 1; a < assetCount; ++a) {
            model.addAsset(true, false, true, std::nullopt, std::nullopt, false, false, false);
            expectCreated(a, 0);
            for (size_t j = 0; j < p.layers[a].size(); ++j) {
                const auto& background = p.backgroundIds[a - 1];
                const std::optional<int> loopIndex =
                    background && *background == p.layers[a][j] ? std::optional<int>(int(a)) : std::nullopt;
                addLayers(directory, loopIndex, int(a), int(j), p.imageReferences[a][j]);
                expectCreated(a, j + 1);
            }
        }
        previewLayerClass::loadSettingsPaneAfterImport();
    } catch (const qrnError& e) {
        recover(e.what());
        QRN_LOG_OUT();
        return;
    }
    setTempLayerArray(std::nullopt);
    model.fillSelectedAssetOrderedLayerArray();
    // Layers re-created during the import leave the list alone; it shows the selected asset's now,
    // its background picture in the box beside it too.
    model.reloadLayerList();
    editViewClass().addSingleLayerToLayerScrollView(std::nullopt, true, std::nullopt, 0);
    layerSettingsClass settings;
    settings.setVideoSettings(p.videoSettings);
    settings.setLayerSettings(std::move(p.layerSettings));
    p = storedProjectData();
    setProjectLoadFailed(false);
    if (assetCount == 1)
        model.addAsset(true, true, false, std::nullopt, std::nullopt, false, false, false);
    if (resizeLayers) {
        const std::weak_ptr<qrn::ui::View> screen = editViewClass().getDragView();
        const int generation = importGeneration.value();
        qrn::MainQueue::after(1.0, [screen, directory, generation] {
            if (screen.expired() || screen.lock() != editViewClass().getDragView() ||
                !importGeneration.isCurrent(generation) ||
                directory != persistentDataStorageClass().getProjectDirectory())
                return;
            editViewClass().resizeAndPositionLayers(true);
        });
    }
    if (window)
        window->setResizable(true);
    // The screen is built: the pictures follow, nearest the selected asset first.
    previewLayerPendingPictures::startDecoding();
    finish();
    // The texts as opened (defaults for a missing or damaged file), once the project is in.
    if (attributedStringStorageClass::takeWriteHeldForImport() || !symbolsFound) {
        // A folder already known to refuse writes (said when it was taken) is not said again.
        const bool alreadyRefused = hasUnwrittenChanges();
        packageCommitScope toldOnceOpened(true);
        qrn::Status written = texts.writeTextsNow();
        if (written)
            written = toldOnceOpened.commit();
        if (!written) {
            logImportError(written.error());
            if (!alreadyRefused)
                tellOnceOpened(persistentDataStorageClass::writeFailureMessage(written.error()));
        }
    }
    editViewClass().exportProjectAfterDelay();
    tellAboutDamagedTextFiles();
    QRN_LOG_OUT();
}
