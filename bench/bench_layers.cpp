// Adding layers on one core: the 100th layer of an asset dropped on the preview, and an opened
// project of 100 assets of 20 layers laid out into preview, strip and list as the import does.
#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/filterClass.h"
#include "Model/attributedStringStorageClass.h"
#include "app/layers/layers_support.h"
#include "app/preview/preview_fixture.h"
#include "platform/foundation/main_queue.h"
#include "support/bench_cores.h"

namespace {

void BM_AddTheHundredthLayerOfAnAsset(benchmark::State& state) {
    previewtest::previewScene scene;
    scene.checkEachAdd = false;
    scene.addAsset();
    for (int i = 0; i < 99; ++i)
        layerstest::dropImage(1, {40, 30}, {100.0 + i, 100});
    previewLayerClass model;
    const auto image = layerstest::picture(40, 30);
    for (auto _ : state) {
        auto references = model.getImageReferenceArray();
        references[1].push_back(imageReferenceArray{3, "png", "layer"});
        model.setEntireImageReferenceArray(references);
        model.addLayer(image, std::nullopt, std::nullopt, qrn::Size{40, 30}, false, false, {200, 150},
                       std::nullopt, 0, false, false, false, false);
        state.PauseTiming();
        if (model.getLayerArrayReference()[1].size() != 100)
            state.SkipWithError("the 100th layer was not added");
        model.removeLayer(std::vector<qrn::Value>{false, 1, 99}, true);
        qrn::MainQueue::advance(1.0);
        state.ResumeTiming();
    }
}

// The rows an opened project has read before its layers are made.
void fillStoredRows(int assets, int layersPerAsset) {
    previewLayerClass model;
    std::vector<std::vector<imageReferenceArray>> references(static_cast<size_t>(assets));
    std::vector<std::vector<std::vector<double>>> frames(static_cast<size_t>(assets));
    std::vector<std::vector<double>> rotations(static_cast<size_t>(assets));
    std::vector<std::vector<std::vector<bool>>> flips(static_cast<size_t>(assets));
    std::vector<std::vector<std::vector<double>>> locks(static_cast<size_t>(assets));
    layerFilterArray flags(static_cast<size_t>(assets));
    layerFilterOrderArray orders(static_cast<size_t>(assets));
    layerFilterValuesArray values(static_cast<size_t>(assets));
    for (int a = 0; a < assets; ++a)
        for (int l = 0; l < layersPerAsset; ++l) {
            references[size_t(a)].push_back(imageReferenceArray{3, "png", "layer"});
            frames[size_t(a)].push_back({5.0 + l * 20, 5.0 + a, 40, 30});
            rotations[size_t(a)].push_back(0.05 * l);
            flips[size_t(a)].push_back({false, false});
            locks[size_t(a)].push_back({1.0, 4.0 / 3.0});
            flags[size_t(a)].push_back({false, false, false});
            orders[size_t(a)].push_back({0, 1, 2});
            values[size_t(a)].push_back(filterValuesArray(3, filterValuesEntry{qrn::Value()}));
        }
    model.setEntireImageReferenceArray(references);
    model.setLayerOriginSizeArray(frames);
    model.setLayerOriginalPosSize(frames);
    model.setLayerRotateArray(rotations);
    model.setLayerIsFlippedArray(flips);
    model.setLayerResizeWithAspectRatioArray(locks);
    filterClass filters;
    filters.setLayerFilter(flags);
    filters.setLayerFilterOrder(orders);
    filters.setLayerFilterValues(values);
    attributedStringStorageClass().setTextSymbolStringArray(
        std::vector<std::vector<qrn::AttributedString>>(size_t(assets)), 0);
    model.setMainPreviewViewArrayFromImport(std::vector<double>{0, 0, 556, 313});
}

void BM_LayOutHundredAssetsOfTwentyLayers(benchmark::State& state) {
    const auto image = layerstest::picture(40, 30);
    for (auto _ : state) {
        state.PauseTiming();
        {
            previewtest::previewScene scene;
            scene.checkEachAdd = false;
            fillStoredRows(100, 20);
            previewLayerClass model;
            state.ResumeTiming();
            for (int a = 1; a < 100; ++a)
                model.addAsset(true, false, false, std::nullopt, std::nullopt, true, false, false);
            for (int a = 0; a < 100; ++a)
                for (int l = 0; l < 20; ++l)
                    model.addLayer(image, std::nullopt, std::nullopt, std::nullopt, false, false, {},
                                   std::vector<int>{a, l}, 0, false, false, false, false);
            state.PauseTiming();
            if (model.getLayerArrayReference().size() != 100 ||
                model.getLayerArrayReference()[99].size() != 20)
                state.SkipWithError("the project was not laid out");
            qrn::MainQueue::advance(2.0);
        }
        state.ResumeTiming();
    }
    state.counters["layers"] = 2000;
}

BENCHMARK(BM_AddTheHundredthLayerOfAnAsset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayOutHundredAssetsOfTwentyLayers)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    return runEditingBenchmarks(argc, argv);
}
