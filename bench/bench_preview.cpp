// The preview engine on one core: a click that selects the lowest of 100 turned layers (the
// hit test walks all of them), one refit of the camera and 100 assets of 20 layers each, and
// the rebuild of every hit path after it.
#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "app/preview/preview_fixture.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/view.h"
#include "support/bench_cores.h"

namespace {

void BM_ClickSelectsTheLowestOfHundredTurnedLayers(benchmark::State& state) {
    previewtest::previewScene scene;
    scene.checkEachAdd = false;
    scene.addOverlay();
    scene.addAsset();
    // The lowest layer lies under the click; the 99 above it are turned and lie beside it.
    const auto lowest = scene.addLayer(1, {20, 20, 60, 40}, 0.3);
    for (int i = 1; i < 100; ++i)
        scene.addLayer(1, {120.0 + (i % 10) * 40, 20.0 + (i / 10) * 28, 30, 20}, 0.1 * i,
                       previewtest::placement::above);
    previewLayerClass model;
    for (auto _ : state) {
        model.setSelectedLayer(std::nullopt);
        model.layerHitTestAtPoint({50, 40});
    }
    if (model.getSelectedLayer() != std::stoi(lowest))
        state.SkipWithError("the click did not select the lowest layer");
}

struct largeProject {
    previewtest::previewScene scene;
    largeProject() {
        scene.checkEachAdd = false;
        for (int a = 1; a < 100; ++a)
            scene.addAsset();
        for (int a = 0; a < 100; ++a)
            for (int l = 0; l < 20; ++l)
                scene.addLayer(a, {5.0 + l * 20, 5.0 + a, 40, 30}, 0.05 * l,
                               l % 2 ? previewtest::placement::above : previewtest::placement::below);
        previewLayerClass().getVideoLayerView()->setHidden(false);
    }
};

// Built once for both benchmarks that use it (it takes a while), let go before the program ends.
std::unique_ptr<largeProject> sharedProject;

largeProject& theLargeProject() {
    if (!sharedProject)
        sharedProject = std::make_unique<largeProject>();
    return *sharedProject;
}

void BM_RefitCameraAndHundredAssetsOfTwentyLayers(benchmark::State& state) {
    auto& project = theLargeProject();
    previewLayerClass model;
    resizeAndPositionLayersClass fitting;
    const auto assets = model.getAssetArray();
    const auto layers = model.getLayerArray();
    bool large = false;
    for (auto _ : state) {
        large = !large;
        const qrn::Rect bounds = large ? qrn::Rect(0, 0, 1112, 626) : qrn::Rect(0, 0, 556, 313);
        fitting.resizeAndPositionVideo(model.getVideoLayerView(), bounds);
        fitting.resizeAndPositionLayers(project.scene.drop, assets, layers, bounds);
    }
    state.counters["layers"] = 2000;
}

void BM_RebuildEveryHitPathAfterARefit(benchmark::State& state) {
    auto& project = theLargeProject();
    previewLayerClass model;
    resizeAndPositionLayersClass().resizeAndPositionLayers(project.scene.drop, model.getAssetArray(),
                                                           model.getLayerArray(), qrn::Rect(0, 0, 1112, 626));
    for (auto _ : state) {
        model.createOrUpdateLayerPath(layerAssetIndexAndVideoSelectedArray{true, qrn::Value(), qrn::Value()},
                                      false, 0, true);
        model.rebuildAllLayerPaths();
    }
    state.counters["layers"] = 2000;
}

BENCHMARK(BM_ClickSelectsTheLowestOfHundredTurnedLayers)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefitCameraAndHundredAssetsOfTwentyLayers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildEveryHitPathAfterARefit)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runEditingBenchmarks(argc, argv, [] { sharedProject.reset(); });
}
