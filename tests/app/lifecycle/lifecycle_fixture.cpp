#include "lifecycle_fixture.h"

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Editing/SettingsPanel/layerSettingsClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Landing/landingClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Landing/landingController.h"
#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/image_view.h"

namespace lifecycletest {

namespace fs = std::filesystem;

void LifecycleTest::SetUp() {
    EditingShellTest::SetUp();
    // The real import, not the recorder the shell tests use.
    persistentDataStorageClass::setImportHandler(nullptr);
}

void LifecycleTest::TearDown() {
    EditingShellTest::TearDown();
    // The settings pane's values of an opened project.
    layerSettingsClass settings;
    settings.setVideoSettings({});
    settings.setLayerSettings({});
}

std::string LifecycleTest::packagePath(const std::string& name) const {
    return dir.path().toStdString() + "/" + name + ".qrn3ks";
}

viewLoaderController* LifecycleTest::createProject(const std::string& name) {
    launch();
    panelAnswers.push_back(packagePath(name));
    landingClass::getLandingViewController()->createNewProject();
    advance(1.0);
    return editor();
}

viewLoaderController* LifecycleTest::editor() {
    return dynamic_cast<viewLoaderController*>(shownScreen());
}

void LifecycleTest::openWithMenu(const std::string& path, bool pictures) {
    panelAnswers.push_back(path);
    fileMenuClass().open();
    advance(2.0);
    if (!pictures)
        return;
    waitForPictures();
    // The write a second after the open waits for the file to be compared with the model.
    EXPECT_TRUE(
        qrn::MainQueue::runUntil([] { return !persistentDataStorageClass::isComparingWithFile(); }, 60.0));
}

void LifecycleTest::waitForPictures() {
    EXPECT_TRUE(
        qrn::MainQueue::runUntil([] { return previewLayerPendingPictures::pendingCount() == 0; }, 60.0));
}

qrn::Json LifecycleTest::writeAndRead() {
    persistentDataStorageClass storage;
    EXPECT_TRUE(storage.exportData(false));
    auto json = qrn::json::readFile(storage.getProjectDirectory() + "/projectData.json");
    EXPECT_TRUE(json.isOk());
    return json.isOk() ? *json : qrn::Json();
}

std::string LifecycleTest::writePackage(const std::string& name, const qrn::Json& document) {
    const std::string path = packagePath(name);
    fs::create_directories(path + "/images");
    std::ofstream(path + "/projectData.json") << document.dump();
    return path;
}

void LifecycleTest::refuseWrites(const std::string& folder) {
    qrn::files::setWriteFailureForTesting([folder](qrn::files::WriteStep step, const qrn::files::Path& p) {
        if (step != qrn::files::WriteStep::Open || (!folder.empty() && p.parent_path().filename() != folder))
            return false;
        errno = EROFS;
        return true;
    });
}

std::map<std::string, std::string> LifecycleTest::filesOf(const std::string& path) {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(path)) {
        std::error_code linkLoop;
        if (!entry.is_regular_file(linkLoop))
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        out[fs::relative(entry.path(), path).string()] = bytes.str();
    }
    return out;
}

qrn::Json projectDocument(const std::vector<std::string>& assets,
                          const std::vector<std::vector<std::string>>& layers) {
    using qrn::Json;
    Json d = Json::object();
    d["MAIN_PREVIEW_VIEW_RECT_ARRAY"] = {0, 0, 556, 313};
    d["ASSET_ARRAY"] = assets;
    d["ASSET_BACKGROUND_ID_ARRAY"] = Json::array();
    d["ASSET_BACKGROUND_COLOUR_ARRAY"] = Json::array();
    for (size_t a = 1; a < assets.size(); ++a) {
        d["ASSET_BACKGROUND_ID_ARRAY"].push_back(nullptr);
        d["ASSET_BACKGROUND_COLOUR_ARRAY"].push_back({10.0 * double(a), 20, 30, 1});
    }
    d["LAYER_ARRAY"] = layers;
    d["FIRST_LAYER_ABOVE_VIDEO_ARRAY"] = Json::array();
    for (const char* key :
         {"IMAGE_REFERENCE_ARRAY", "LAYER_ORIGIN_SIZE_ARRAY", "LAYER_ROTATE_ARRAY",
          "LAYER_ORIGINAL_POS_SIZE_ROT", "LAYER_IS_FLIPPED_ARRAY", "LAYER_RESIZE_WITH_ASPECT_RATIO",
          "LAYER_FILTER", "LAYER_FILTER_ORDER", "LAYER_FILTER_VALUES"})
        d[key] = Json::array();
    for (size_t a = 0; a < layers.size(); ++a) {
        d["FIRST_LAYER_ABOVE_VIDEO_ARRAY"].push_back(nullptr);
        Json references = Json::array(), frames = Json::array(), rotations = Json::array(),
             originals = Json::array(), flips = Json::array(), locks = Json::array(), flags = Json::array(),
             orders = Json::array(), values = Json::array();
        for (size_t l = 0; l < layers[a].size(); ++l) {
            references.push_back({1, "png", "camera"});
            const double x = 20.0 + 30.0 * double(l);
            frames.push_back({x, 40, 80, 60});
            rotations.push_back(0);
            originals.push_back({x, 40, 80, 60, 0});
            flips.push_back({false, false});
            locks.push_back({1, 80.0 / 60.0});
            flags.push_back({false, false, false});
            orders.push_back({0, 1, 2});
            values.push_back({Json::array({""}), Json::array({""}), Json::array({""})});
        }
        d["IMAGE_REFERENCE_ARRAY"].push_back(references);
        d["LAYER_ORIGIN_SIZE_ARRAY"].push_back(frames);
        d["LAYER_ROTATE_ARRAY"].push_back(rotations);
        d["LAYER_ORIGINAL_POS_SIZE_ROT"].push_back(originals);
        d["LAYER_IS_FLIPPED_ARRAY"].push_back(flips);
        d["LAYER_RESIZE_WITH_ASPECT_RATIO"].push_back(locks);
        d["LAYER_FILTER"].push_back(flags);
        d["LAYER_FILTER_ORDER"].push_back(orders);
        d["LAYER_FILTER_VALUES"].push_back(values);
    }
    d["VIDEO_ORIGIN_SIZE_ARRAY"] = {0, 0, 556, 313};
    d["cropOrigin"] = {0, 0};
    d["cropSize"] = {100, 100};
    d["VIDEO_FILTER"] = {false, false, false};
    d["VIDEO_FILTER_VALUES"] = {Json::array({""}), Json::array({""}), Json::array({""})};
    d["VIDEO_SETTINGS_ARRAY"] = Json::array();
    d["LAYER_SETTINGS_ARRAY"] = Json::array();
    return d;
}

void setReference(qrn::Json& document, size_t asset, size_t layer, const qrn::Json& reference) {
    document["IMAGE_REFERENCE_ARRAY"][asset][layer] = reference;
}

bool nearlyEqual(const qrn::Json& a, const qrn::Json& b, std::string* where) {
    const auto fail = [&](const std::string& at) {
        if (where)
            *where = at;
        return false;
    };
    if (a.is_number() && b.is_number())
        return std::abs(a.get<double>() - b.get<double>()) < 1e-6 ? true : fail(a.dump() + " vs " + b.dump());
    if (a.type() != b.type())
        return fail(a.dump() + " vs " + b.dump());
    if (a.is_array()) {
        if (a.size() != b.size())
            return fail(a.dump() + " vs " + b.dump());
        for (size_t i = 0; i < a.size(); ++i)
            if (!nearlyEqual(a[i], b[i], where)) {
                if (where)
                    *where = "[" + std::to_string(i) + "]" + *where;
                return false;
            }
        return true;
    }
    if (a.is_object()) {
        if (a.size() != b.size())
            return fail("keys");
        for (auto it = a.begin(); it != a.end(); ++it) {
            if (!b.contains(it.key()))
                return fail(it.key() + " missing");
            if (!nearlyEqual(it.value(), b[it.key()], where)) {
                if (where)
                    *where = it.key() + *where;
                return false;
            }
        }
        return true;
    }
    return a == b ? true : fail(a.dump() + " vs " + b.dump());
}

std::vector<unsigned> shownLayerColours() {
    std::vector<unsigned> colours;
    previewLayerClass model;
    const auto preview = model.getConfiguration()->layerContainerView;
    for (const auto& row : model.getLayerArray())
        for (const auto& id : row) {
            const auto marker = preview->viewWithTag(std::stoi(id));
            const auto holder = marker ? marker->superview() : nullptr;
            const auto picture = holder && holder->subviews().size() > 1
                                     ? std::dynamic_pointer_cast<qrn::ui::ImageView>(holder->subviews()[1])
                                     : nullptr;
            colours.push_back(picture && !picture->image().isNull() ? picture->image().pixel(2, 2) & 0xffffff
                                                                    : 0u);
        }
    return colours;
}

} // namespace lifecycletest
