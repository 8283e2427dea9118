// Writing and reading back a large project: 100 assets with 20 layers each, with scripts and
// text-layer texts.
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/filterClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "platform/foundation/files.h"

namespace {

constexpr int assets = 100;
constexpr int layersPerAsset = 20;

template <typename T> std::vector<std::vector<T>> table(const T& value) {
    return std::vector<std::vector<T>>(assets, std::vector<T>(layersPerAsset, value));
}

void buildProject() {
    previewLayerClass model;
    model.clearClass(false);
    std::vector<std::string> ids{"0"};
    std::vector<std::vector<std::string>> layers(assets);
    int next = 1;
    for (int a = 0; a < assets; ++a) {
        if (a > 0) {
            ids.push_back(std::to_string(next));
            next += 2;
        }
        for (int l = 0; l < layersPerAsset; ++l)
            layers[size_t(a)].push_back(std::to_string(next++));
    }
    model.setAssetArray(ids);
    model.setLayerArray(layers);
    model.setFirstLayerAboveVideoArray(std::vector<std::optional<std::string>>(assets));
    model.setAssetBackgroundIDArray(std::vector<std::optional<std::string>>(assets - 1));
    model.setAssetBackgroundColour(std::vector<std::vector<double>>(assets - 1, {12, 34, 56, 1}));
    model.setEntireImageReferenceArray(
        table<imageReferenceArray>({3, "png", "0F5B3C1E-7A2D-4E9B-8C61-3D2F1A0B9C8D"}));
    model.setLayerOriginSizeArray(table<std::vector<double>>({10.5, 20.25, 320, 180}));
    model.setLayerTransformedOrigin(table(qrn::Point{}));
    model.setLayerRotateArray(table(12.5));
    model.setLayerTransformedSize(table(qrn::Size{}));
    model.setLayerOriginalPosSize(table<std::vector<double>>({10.5, 20.25, 320, 180, 0}));
    model.setLayerIsFlippedArray(table<std::vector<bool>>({false, true}));
    model.setLayerResizeWithAspectRatioArray(table<std::vector<double>>({1, 1.7777}));
    filterClass filters;
    filters.setLayerFilter(table<std::vector<bool>>({true, false, true}));
    filters.setLayerFilterOrder(table<std::vector<int>>({0, 1, 2}));
    filters.setLayerFilterValues(
        table<filterValuesArray>({filterValuesEntry{qrn::Value::colour(32, 255, 0, 1), 10.0, 0, 0},
                                  filterValuesEntry{4.5}, filterValuesEntry{qrn::Value()}}));

    qrn::TextAttributes colour;
    colour.foregroundColour = qrn::Colour{1, 0.5, 0, 0.8};
    qrn::AttributedString script("Good morning and welcome to this part of the presentation.");
    script.addAttributes(colour, {5, 20});
    attributedStringStorageClass texts;
    texts.setTextSymbolStringArray(std::vector<std::vector<qrn::AttributedString>>(assets, {script, script}),
                                   0);
    texts.setAutocueStringArray(std::vector<qrn::AttributedString>(assets - 1, script));
}

struct projectFolder {
    QTemporaryDir dir;
    projectFolder() {
        const std::string path = dir.path().toStdString() + "/Bench.qrn3ks";
        (void)qrn::files::createDirectories(path + "/images");
        persistentDataStorageClass().setProjectDirectory(path);
    }
};

void BM_WriteProject(benchmark::State& state) {
    projectFolder folder;
    buildProject();
    for (auto _ : state) {
        bool ok = persistentDataStorageClass().exportData(false);
        ok = attributedStringStorageClass().exportSymbolText() && ok;
        attributedStringStorageClass texts;
        texts.setAutocueStringArray(texts.getAutocueStringArray());
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(BM_WriteProject)->Unit(benchmark::kMillisecond);

void BM_ReadProject(benchmark::State& state) {
    projectFolder folder;
    buildProject();
    (void)persistentDataStorageClass().exportData(false);
    const std::string path = persistentDataStorageClass().getProjectDirectory();
    for (auto _ : state) {
        persistentDataStorageClass storage;
        bool ok = storage.checkIfProjectDataIsValid(path);
        auto json = qrn::json::readFile(path + "/projectData.json");
        previewLayerClass model;
        model.setLayerArray((*json)["LAYER_ARRAY"].get<std::vector<std::vector<std::string>>>());
        model.setLayerOriginSizeArray(
            (*json)["LAYER_ORIGIN_SIZE_ARRAY"].get<std::vector<std::vector<std::vector<double>>>>());
        std::vector<std::vector<imageReferenceArray>> references;
        for (const auto& row : (*json)["IMAGE_REFERENCE_ARRAY"]) {
            references.emplace_back();
            for (const auto& reference : row)
                references.back().push_back(qrn::json::toValue(reference).toList());
        }
        model.setEntireImageReferenceArray(std::move(references));
        attributedStringStorageClass texts;
        texts.importAutocueText();
        ok = texts.importSymbolText(assets - 1) && ok;
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(BM_ReadProject)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
