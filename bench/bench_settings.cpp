// The settings panel on one core: building the symbol grid of "weather" (21 tiles, 12 of them
// animated), building the filter list with every panel, and one keystroke in the text tab on a
// text of 5,000 characters (recoloured, written back into the editor and stored).
#include <benchmark/benchmark.h>

#include <memory>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/LayerSettings/layerSettingsTextClass.h"
#include "Controller/Editing/SettingsPanel/Symbols/imagePickerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/filterOrderedListClass.h"
#include "app/layers/layers_support.h"
#include "app/preview/preview_fixture.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/combo_box.h"
#include "platform/ui/progress_indicator.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_view.h"
#include "support/bench_cores.h"

namespace {

void BM_BuildTheWeatherGrid(benchmark::State& state) {
    auto strip = qrn::ui::View::make(qrn::Rect(0, 0, 694, 46));
    auto grid = qrn::ui::View::make(qrn::Rect(0, 0, 694, 686));
    imagePickerClass picker;
    picker.setViews(grid, strip);
    picker.initializeScrollViews();
    for (auto _ : state) {
        picker.scrollViewSymbols(0);
        benchmark::DoNotOptimize(grid->subviews().size());
    }
    imagePickerClass::resetForTesting();
}

void BM_BuildTheFilterList(benchmark::State& state) {
    settingsViewClass::registerScenes();
    filterClass filters;
    const auto flags = filters.getVideoFilter();
    filters.setVideoFilter({true, true, false});
    auto pane = qrn::ui::View::make(qrn::Rect(0, 0, 694, 682));
    for (auto _ : state) {
        auto list = filterOrderedListClass().constructOrderedList(pane, true);
        if (list->documentView()->subviews().size() != 3)
            state.SkipWithError("the list has no rows");
    }
    filters.setVideoFilter(flags);
}

void BM_KeystrokeInTheTextTabOn5000Characters(benchmark::State& state) {
    previewtest::previewScene scene;
    scene.checkEachAdd = false;
    scene.addAsset();
    const std::string id = layerstest::dropText(1);
    previewLayerClass model;
    auto tagged = model.getConfiguration()->layerContainerView->viewWithTag(std::stoi(id));
    model.layerSelected(tagged->superview());
    layerSettingsTextViews views{qrn::ui::ComboBox::make(), qrn::ui::ColourWell::make(),
                                 qrn::ui::ComboBox::make(),
                                 qrn::ui::TextView::make(qrn::Rect(0, 0, 654, 596))};
    views.fontColourInput->setColour(qrn::Colour{1, 0, 0, 1});
    layerSettingsTextClass text;
    text.setViews(views, nullptr);
    std::string words;
    while (words.size() < 5000)
        words += "The forecast for tomorrow: sunshine. ";
    words.resize(5000);
    editViewClass().updateSelectedTextSymbolText(qrn::AttributedString(words), std::nullopt);
    text.initialiseViews();
    qrn::AttributedString typed = views.textView->attributedString();
    for (auto _ : state) {
        typed.replaceCharacters({2500, 0}, QString("x"));
        text.textChanged(typed);
        state.PauseTiming();
        typed = views.textView->attributedString();
        const auto stored = editViewClass().getSelectedTextSymbolText(std::nullopt);
        if (typed.length() < 5001 || !stored || stored->length() < 5001)
            state.SkipWithError("the keystroke was lost");
        typed.replaceCharacters({2500, 1}, QString());
        qrn::MainQueue::advance(1.0);
        state.ResumeTiming();
    }
    layerSettingsTextClass::resetForTesting();
}

BENCHMARK(BM_BuildTheWeatherGrid)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildTheFilterList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeystrokeInTheTextTabOn5000Characters)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runEditingBenchmarks(argc, argv, [] { settingsViewClass::resetForTesting(); });
}
