// Reordering on one core: one asset moved across a project of 100 assets of 20 layers (every
// per-asset list, then projectData.json, autocueData.json and specialSymbolData.json written),
// and one layer moved across an asset of 90 layers (every per-layer row, the restack and the
// project write).
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "Controller/Editing/AssetScrollView/assetZPositionClass.h"
#include "Controller/Editing/LayerScrollView/layerZPositionClass.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "app/preview/preview_fixture.h"
#include "platform/foundation/main_queue.h"
#include "support/bench_cores.h"

namespace {

// A project of `assets` regular assets of `layers` layers each, written into a folder of its own.
struct project {
    QTemporaryDir folder;
    previewtest::previewScene scene;
    std::vector<std::string> firstLayers;

    project(int assets, int layers) {
        scene.checkEachAdd = false;
        persistentDataStorageClass().setProjectDirectory(folder.path().toStdString());
        for (int a = 1; a <= assets; ++a) {
            scene.addAsset();
            for (int l = 0; l < layers; ++l) {
                const auto id = scene.addLayer(a, {5.0 + l * 4, 5.0 + a % 50, 40, 30}, 0.05 * l,
                                               l >= layers / 2 ? previewtest::placement::above
                                                               : previewtest::placement::below);
                if (l == 0)
                    firstLayers.push_back(id);
            }
        }
        // The fixture keeps a text per layer; the project keeps one per text layer (none here).
        attributedStringStorageClass texts;
        auto rows = texts.getTextSymbolStringArray();
        for (auto& row : rows)
            row.clear();
        texts.setTextSymbolStringArray(rows, 0);
    }
    ~project() { persistentDataStorageClass().setProjectDirectory(""); }
};

void BM_MoveOneAssetOfHundredAssetsOfTwentyLayers(benchmark::State& state) {
    project p(99, 20);
    const int last = int(previewLayerClass().getAssetArray().size()) - 1;
    bool forwards = true;
    for (auto _ : state) {
        assetZPositionClass().revertUndoRedoAction(forwards ? 1 : last, forwards ? last : 1);
        forwards = !forwards;
    }
    // One more move must show: a refused move would have measured nothing.
    const auto before = previewLayerClass().getAssetArray();
    assetZPositionClass().revertUndoRedoAction(forwards ? 1 : last, forwards ? last : 1);
    if (previewLayerClass().getAssetArray().size() != 100 || previewLayerClass().getAssetArray() == before)
        state.SkipWithError("the asset did not move");
}

void BM_MoveOneLayerOfNinetyLayers(benchmark::State& state) {
    project p(1, 90);
    const int id = std::stoi(p.firstLayers[0]);
    bool forwards = true;
    for (auto _ : state) {
        // Slot 0 to the last slot (90: the camera has one too) and back.
        layerZPositionClass().revertAnUndoRedoAction(1, std::nullopt, id, forwards ? 90 : 0, 45);
        forwards = !forwards;
        state.PauseTiming();
        qrn::MainQueue::advance(0.2);
        state.ResumeTiming();
    }
    const auto before = previewLayerClass().getLayerArray()[1];
    layerZPositionClass().revertAnUndoRedoAction(1, std::nullopt, id, forwards ? 90 : 0, 45);
    if (previewLayerClass().getLayerArray()[1].size() != 90 ||
        previewLayerClass().getLayerArray()[1] == before)
        state.SkipWithError("the layer did not move");
}

BENCHMARK(BM_MoveOneAssetOfHundredAssetsOfTwentyLayers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoveOneLayerOfNinetyLayers)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runEditingBenchmarks(argc, argv);
}
