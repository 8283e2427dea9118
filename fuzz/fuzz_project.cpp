// A mutation fuzzer for opening projects. Each run takes a seed package file, mutates it (JSON
// values swapped for others of any kind, entries dropped or doubled, bytes flipped or cut), puts
// it in a package and runs the readers of projectData.json, autocueData.json and
// specialSymbolData.json, then the full import into a freshly reset preview, then a Save of
// what opened. It stops with the failing input saved when the import leaves the rows out of
// step or asset "0" anywhere but first, when a project that opened cannot be written back, when
// the process passes its memory limit, or crashes (the package folder then holds the input).
//
//   fuzz_project <seconds> <seed folder> [work folder] [-rss_limit_mb=2048] [-runs=N]
#include <QApplication>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Global/filterClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/persistentDataStorageClassImport.h"
#include "Model/undoRedoClass.h"
#include "app/preview/preview_fixture.h"
#include "fuzz_memory.h"
#include "platform/foundation/alerts.h"
#include "platform/foundation/json.h"
#include "platform/foundation/main_queue.h"

namespace fs = std::filesystem;
using qrn::Json;

namespace {

std::mt19937_64 rng;

size_t below(size_t n) {
    return n == 0 ? 0 : size_t(rng() % n);
}

// Numbers at the ends of what the layout can scale.
double extremeNumber() {
    static const double numbers[] = {1e300, -1.7e308, 5e-324, -5e-324, 2147483648.0, 1e6, 1e-300, 0.0};
    return numbers[below(std::size(numbers))];
}

Json randomValue() {
    switch (below(12)) {
    case 0:
        return nullptr;
    case 1:
        return bool(below(2));
    case 2:
        return int(below(5)) - 1;
    case 3:
        return extremeNumber();
    case 4:
        return -0.5;
    case 5:
        return "";
    case 6:
        return "../x";
    case 7:
        return Json::array();
    case 8:
        return Json::object();
    case 9:
        return Json{1, "png", "a"};
    case 10:
        return Json{2, "camera", "nope"};
    default:
        return std::to_string(below(40));
    }
}

// Every node of the document, so that one can be picked evenly.
void collect(Json& node, std::vector<Json*>& out) {
    out.push_back(&node);
    if (node.is_array() || node.is_object())
        for (auto& child : node)
            collect(child, out);
}

void mutateJson(Json& document) {
    std::vector<Json*> nodes;
    collect(document, nodes);
    // Stored geometry is mostly numbers: a third of the mutations give one of them an extreme value.
    if (below(3) == 0) {
        std::vector<Json*> numbers;
        for (Json* node : nodes)
            if (node->is_number())
                numbers.push_back(node);
        if (!numbers.empty()) {
            *numbers[below(numbers.size())] = extremeNumber();
            return;
        }
    }
    Json& node = *nodes[below(nodes.size())];
    switch (below(6)) {
    case 0:
        node = randomValue();
        break;
    case 1:
        if ((node.is_array() || node.is_object()) && !node.empty()) {
            auto it = node.begin();
            std::advance(it, below(node.size()));
            node.erase(it);
        }
        break;
    case 2:
        if (node.is_array() && !node.empty())
            node.push_back(node[below(node.size())]);
        break;
    case 3:
        if (node.is_array())
            node.push_back(randomValue());
        break;
    case 4:
        node = Json::array({node});
        break;
    default:
        if (node.is_array() && !node.empty())
            node.erase(node.begin() + std::ptrdiff_t(below(node.size())), node.end());
        break;
    }
}

std::string mutateBytes(std::string text) {
    if (text.empty())
        return text;
    switch (below(3)) {
    case 0:
        text[below(text.size())] = char(below(256));
        break;
    case 1:
        text.resize(below(text.size()));
        break;
    default:
        text.insert(below(text.size()), text.substr(below(text.size()), 8));
        break;
    }
    return text;
}

std::string mutated(const std::string& seed) {
    auto parsed = qrn::json::parse(seed);
    if (!parsed || below(8) == 0)
        return mutateBytes(seed);
    Json document = *parsed;
    for (size_t n = 1 + below(3); n > 0; --n)
        mutateJson(document);
    return document.dump();
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeAll(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Rows of every per-layer table match LAYER_ARRAY, per-asset tables match ASSET_ARRAY.
std::string checkModel() {
    previewLayerClass model;
    const auto assets = model.getAssetArray();
    const auto layers = model.getLayerArray();
    if (assets.empty() || assets[0] != "0")
        return "asset \"0\" is not first";
    if (layers.size() != assets.size())
        return "LAYER_ARRAY rows";
    const auto rows = [&](const char* name, const auto& table) -> std::string {
        if (table.size() != layers.size())
            return std::string(name) + " asset rows";
        for (size_t a = 0; a < layers.size(); ++a)
            if (table[a].size() != layers[a].size())
                return std::string(name) + " row " + std::to_string(a);
        return "";
    };
    filterClass filters;
    for (const auto& problem :
         {rows("IMAGE_REFERENCE_ARRAY", model.getImageReferenceArray()),
          rows("LAYER_ORIGIN_SIZE_ARRAY", model.getLayerOriginSizeArray()),
          rows("LAYER_ROTATE_ARRAY", model.getLayerRotateArray()),
          rows("LAYER_ORIGINAL_POS_SIZE_ROT", model.getLayerOriginalPosSize()),
          rows("LAYER_IS_FLIPPED_ARRAY", model.getLayerIsFlippedArray()),
          rows("LAYER_RESIZE_WITH_ASPECT_RATIO", model.getLayerResizeWithAspectRatioArray()),
          rows("layerTransformedOrigin", model.getLayerTransformedOrigin()),
          rows("layerTransformedSize", model.getLayerTransformedSize()),
          rows("LAYER_FILTER", filters.getLayerFilter()),
          rows("LAYER_FILTER_ORDER", filters.getLayerFilterOrder()),
          rows("LAYER_FILTER_VALUES", filters.getLayerFilterValues())})
        if (!problem.empty())
            return problem;
    if (model.getAssetBackgroundColour().size() + 1 != assets.size())
        return "ASSET_BACKGROUND_COLOUR_ARRAY";
    if (model.getAssetBackgroundIDArray().size() + 1 != assets.size())
        return "ASSET_BACKGROUND_ID_ARRAY";
    return "";
}

} // namespace

int main(int argc, char** argv) {
    std::vector<char*> positional;
    const long rssLimitMb = fuzzsupport::takeRssLimit(argc, argv, 2048, positional);
    const long runs = fuzzsupport::takeRuns(positional);
    if (positional.size() < 3) {
        std::cerr
            << "usage: fuzz_project <seconds> <seed folder> [work folder] [-rss_limit_mb=2048] [-runs=N]\n";
        return 64;
    }
    argc = int(positional.size());
    positional.push_back(nullptr);
    argv = positional.data();
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const double seconds = std::atof(argv[1]);
    const fs::path seeds = argv[2];
    QTemporaryDir temporary;
    const fs::path work = argc > 3 ? fs::path(argv[3]) : fs::path(temporary.path().toStdString());
    const fs::path package = work / "Fuzz.qrn3ks";
    fs::create_directories(package / "images");
    std::map<std::string, std::vector<std::string>> corpus;
    for (const auto& entry : fs::recursive_directory_iterator(seeds))
        if (entry.is_regular_file())
            corpus[entry.path().filename().string()].push_back(readAll(entry.path()));
    for (const char* name : {"projectData.json", "autocueData.json", "specialSymbolData.json"})
        if (corpus[name].empty())
            corpus[name].push_back("[]");
    const unsigned long long seed =
        std::getenv("QRN_FUZZ_SEED") ? std::stoull(std::getenv("QRN_FUZZ_SEED")) : std::random_device{}();
    rng.seed(seed);
    std::cout << "seed " << seed << std::endl;

    if (rssLimitMb > 0)
        fuzzsupport::watchMemory(rssLimitMb);
    qrn::MainQueue::useManualClock();
    qrn::setAlertPresenter([](const std::string&) {});
    persistentDataStorageClass storage;
    storage.setProjectDirectory(package.string());
    const size_t filters = filterClass().getFilterString().size();

    const auto start = std::chrono::steady_clock::now();
    long executions = 0;
    const auto keepFailure = [&](const std::string& problem) {
        const fs::path kept = work / ("failure-" + std::to_string(executions));
        fs::copy(package, kept, fs::copy_options::recursive);
        std::cout << "FAILED after " << executions << " executions: " << problem << "; input kept in " << kept
                  << std::endl;
    };
    while (runs > 0
               ? executions < runs
               : std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < seconds) {
        // Only the three files: what earlier runs set aside or left behind goes.
        for (const auto& entry : fs::directory_iterator(package))
            if (entry.path().filename() != "images")
                fs::remove_all(entry.path());
        std::map<std::string, std::string> input;
        for (const char* name : {"projectData.json", "autocueData.json", "specialSymbolData.json"}) {
            const auto& choices = corpus[name];
            input[name] = mutated(choices[below(choices.size())]);
            writeAll(package / name, input[name]);
        }
        // The readers alone.
        (void)readProjectDataFile(package.string(), filters);
        attributedStringStorageClass texts;
        texts.importAutocueText();
        (void)texts.importSymbolText(int(below(5)));

        // The whole import, into the model a project is opened into.
        {
            // Opened into a preview of another size than the file was written for, as often as not.
            static const qrn::Rect previews[] = {qrn::Rect(10, 164, 556, 313), qrn::Rect(0, 0, 1400, 788),
                                                 qrn::Rect(0, 0, 120, 68)};
            previewtest::previewScene scene(previews[below(std::size(previews))]);
            undoRedoClass().clearClass();
            storage.setProjectLoadFailed(false);
            previewLayerClass().setImportMarker(true);
            storage.importDataAction(true, true, false);
            const std::string problem = checkModel();
            if (!problem.empty()) {
                keepFailure(problem);
                return 1;
            }
            const bool opened = !storage.getProjectLoadFailed();
            // The delayed steps of an open (the layers laid out again) run before the save.
            qrn::MainQueue::advance(2.0);
            if (opened) {
                // What opened is written back whole.
                if (const qrn::Status saved = storage.saveProject(); !saved) {
                    for (const auto& [name, bytes] : input)
                        writeAll(package / name, bytes);
                    keepFailure("an opened project cannot be written back: " + saved.error());
                    return 1;
                }
            }
        }
        if (const long peak = fuzzsupport::residentMb(true); rssLimitMb > 0 && peak > rssLimitMb) {
            keepFailure("peak memory " + std::to_string(peak) + " MB");
            return 1;
        }
        ++executions;
    }
    std::cout << "executions " << executions << ", crashes 0, failures 0" << std::endl;
    return 0;
}
