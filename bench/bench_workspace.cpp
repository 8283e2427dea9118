// The editing screen's re-layout on one core, for a project of 100 assets of 20 layers each:
// one call of the screen's re-layout (camera, every layer view, the overlay on a turned layer)
// at alternating preview sizes, and the deferred rebuild of every hit path that follows it.
#include <QApplication>

#include <benchmark/benchmark.h>

#include <memory>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "app/preview/preview_fixture.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/view.h"
#include "support/bench_cores.h"

namespace {

struct workspaceProject {
    previewtest::previewScene scene;
    workspaceProject() {
        scene.checkEachAdd = false;
        // The screen's logic over the scene's preview; it keeps the scene's sticky asset.
        editViewClass::setEditorOpensExistingProject(true);
        editViewClass(editViewConfiguration{}, nullptr, scene.parent, scene.drop);
        for (int a = 1; a < 100; ++a)
            scene.addAsset();
        for (int a = 0; a < 100; ++a)
            for (int l = 0; l < 20; ++l)
                scene.addLayer(a, {5.0 + l * 20, 5.0 + a, 40, 30}, 0.05 * l,
                               l % 2 ? previewtest::placement::above : previewtest::placement::below);
        previewLayerClass model;
        model.getVideoLayerView()->setHidden(false);
        scene.selectAssetAt(50);
        model.layerSelected(scene.layerView(model.getLayerArray()[50][7]));
    }
    ~workspaceProject() {
        editViewClass().clearClass(true);
        editViewClass::setEditorOpensExistingProject(false);
    }
};

std::unique_ptr<workspaceProject> sharedProject;

workspaceProject& theProject() {
    if (!sharedProject)
        sharedProject = std::make_unique<workspaceProject>();
    return *sharedProject;
}

void BM_RelayoutOfHundredAssetsOfTwentyLayers(benchmark::State& state) {
    auto& project = theProject();
    editViewClass edit;
    bool large = false;
    for (auto _ : state) {
        large = !large;
        project.scene.parent->setFrameSize(large ? qrn::Size{1112, 626} : qrn::Size{556, 313});
        edit.resizeAndPositionLayers(true);
    }
    state.counters["layers"] = 2000;
    if (!previewLayerClass().getSelectedLayer())
        state.SkipWithError("the layer lost its selection");
}

void BM_DeferredPathRebuildAfterARelayout(benchmark::State& state) {
    theProject();
    editViewClass edit;
    edit.resizeAndPositionLayers(true);
    for (auto _ : state)
        edit.updateLayerPaths(editViewClass::getLayerPathsCounter());
    state.counters["layers"] = 2000;
}

BENCHMARK(BM_RelayoutOfHundredAssetsOfTwentyLayers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeferredPathRebuildAfterARelayout)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runEditingBenchmarks(argc, argv, [] { sharedProject.reset(); });
}
