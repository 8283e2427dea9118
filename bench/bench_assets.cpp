// Assets on one core: selecting an asset of 100 layers (the layer list rebuilt with it), and
// laying out 100 assets of 20 layers into the preview, the asset strip with a thumbnail copy of
// every layer, and the layer list.
#include <QApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Model/attributedStringStorageClass.h"
#include "app/preview/preview_fixture.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/view.h"
#include "support/bench_cores.h"

namespace {

// The editing screen's views as the screen lays them out, without its window.
struct assetScreen {
    std::shared_ptr<qrn::ui::View> parent = qrn::ui::View::make(qrn::Rect(10, 164, 556, 313));
    std::shared_ptr<qrn::ui::View> drop = qrn::ui::View::make(qrn::Rect(0, 0, 556, 313));
    editViewConfiguration views{qrn::ui::View::make(qrn::Rect(54, 78, 77, 77)),
                                qrn::ui::ScrollView::make(qrn::Rect(134, 78, 432, 77)),
                                qrn::ui::View::make(qrn::Rect(10, 15, 37, 37)),
                                qrn::ui::View::make(qrn::Rect(54, 15, 37, 37)),
                                qrn::ui::ScrollView::make(qrn::Rect(98, 15, 468, 39)),
                                nullptr,
                                nullptr};

    assetScreen() {
        parent->addSubview(drop);
        editViewClass::setEditorOpensExistingProject(true);
        editViewClass(views, nullptr, parent, drop);
        previewLayerClass model;
        resizeAndPositionLayersClass().setBounds(parent->bounds());
        model.reloadVideoPreview(true);
        model.getVideoLayerView()->setHidden(false);
    }
    ~assetScreen() {
        previewLayerClass().clearClass(true);
        filterClass().clearClass();
        attributedStringStorageClass().clearClass();
        previewLayerViewPathCreationClass().setPathsArray({});
        previewLayerClass().setConfiguration(std::nullopt);
        previewLayerClass().setVideoLayerView(nullptr);
    }

    void addAsset() {
        previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, true, false, false);
    }
    // A layer in the model and the preview, as the fixture places it.
    std::string addModelLayer(int asset, int l) {
        return previewtest::addLayer(drop, asset, {5.0 + l * 20, 5.0 + asset % 50, 40, 30}, 0.05 * l,
                                     l % 2 ? previewtest::placement::above : previewtest::placement::below,
                                     false);
    }
    // Its thumbnail in the asset's tile, above the one before it.
    void addThumbnail(int asset, int l, const std::string& id) {
        previewLayerClass model;
        editViewClass edit;
        const auto& row = model.getLayerArrayReference()[size_t(asset)];
        const std::string anchor = row.size() > 1 ? row[row.size() - 2] : id;
        auto view = drop->viewWithTag(std::stoi(id))->superview();
        edit.addLayerToAssetScrollView(asset, model.getLayerArrayReference(),
                                       {edit.assetPreviewLayerView(view, std::stoi(id), std::nullopt)},
                                       anchor, 0.05 * l);
    }
    void addLayer(int asset, int l) { addThumbnail(asset, l, addModelLayer(asset, l)); }
};

std::shared_ptr<qrn::ui::View> tileOf(const std::string& id) {
    return editViewClass().getAssetHorizontalScrollView()->viewWithTag(std::stoi(id))->superview();
}

void BM_SelectAnAssetOfHundredLayers(benchmark::State& state) {
    assetScreen screen;
    screen.addAsset();
    screen.addAsset();
    for (int a : {1, 2})
        for (int l = 0; l < 100; ++l)
            screen.addLayer(a, l);
    previewLayerClass model;
    const auto assets = model.getAssetArray();
    bool first = false;
    for (auto _ : state) {
        first = !first;
        model.selectAsset(tileOf(assets[first ? 1 : 2]), false, true, false, true);
    }
    if (editViewClass().getLayerScrollDocumentView()->subviews().size() != 101)
        state.SkipWithError("the layer list does not hold 100 layers and the camera");
}

void BM_LayOutHundredAssetsOfTwentyLayers(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        {
            assetScreen screen;
            state.ResumeTiming();
            for (int a = 1; a < 100; ++a)
                screen.addAsset();
            for (int a = 0; a < 100; ++a)
                for (int l = 0; l < 20; ++l)
                    screen.addLayer(a, l);
            editViewClass().loadScrollViewLayers();
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
    state.counters["assets"] = benchmark::Counter(100, benchmark::Counter::kIsIterationInvariantRate);
}

// The same without the fixture's model writes of each layer (timing paused around them): the
// assets, the thumbnails and the list alone.
void BM_LayOutHundredAssetsOfTwentyLayersWithoutTheModelWrites(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        {
            assetScreen screen;
            state.ResumeTiming();
            for (int a = 1; a < 100; ++a)
                screen.addAsset();
            for (int a = 0; a < 100; ++a)
                for (int l = 0; l < 20; ++l) {
                    state.PauseTiming();
                    const auto id = screen.addModelLayer(a, l);
                    state.ResumeTiming();
                    screen.addThumbnail(a, l, id);
                }
            editViewClass().loadScrollViewLayers();
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
    state.counters["assets"] = benchmark::Counter(100, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_SelectAnAssetOfHundredLayers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayOutHundredAssetsOfTwentyLayers)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LayOutHundredAssetsOfTwentyLayersWithoutTheModelWrites)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    return runEditingBenchmarks(argc, argv);
}
