#include <gtest/gtest.h>

#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/undoRedoClass.h"
#include "app/preview/preview_fixture.h"
#include "layers_support.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/image_view.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view.h"

using namespace layerstest;
using previewtest::previewScene;

namespace {

std::vector<double> rounded(std::vector<double> v) {
    for (auto& x : v)
        x = std::round(x * 1000) / 1000;
    return v;
}

} // namespace

TEST(AddLayer, MinimumSizesScaleToThePreviewAndWidenText) {
    previewScene scene;
    previewLayerClass model;
    EXPECT_EQ(model.getMinSize(false, {10, 40}), (qrn::Size{30, 120}));
    EXPECT_EQ(model.getMinSize(true, {10, 10}), (qrn::Size{120, 30}));
    EXPECT_EQ(model.getMinSize(false, {100, 50}), (qrn::Size{100, 50}));
}

TEST(AddLayer, DroppedImagesAreFittedOrEnlargedAndCentredOnTheDrop) {
    previewScene scene;
    scene.addAsset();
    const auto wide = dropImage(1, {4000, 1000});
    EXPECT_EQ(rounded(frameOf(wide)), (std::vector<double>{0, 86.5, 556, 139}));
    const auto tall = dropImage(1, {1000, 4000});
    EXPECT_EQ(rounded(frameOf(tall)), rounded({278 - 78.25 / 2, -0.5, 78.25, 313}));
    const auto tiny = dropImage(1, {5, 5}, {100, 100});
    EXPECT_EQ(frameOf(tiny), (std::vector<double>{85, 85, 30, 30}));
    expectLayerInvariants();
    // Each is drawn where its frame says and answers a click there.

    previewLayerClass().layerHitTestAtPoint({100, 100});
    EXPECT_EQ(previewLayerClass().getSelectedLayer(), std::stoi(tiny));
}

TEST(AddLayer, EveryKindGetsItsViewItsRowsAndAnUndoEntry) {
    previewScene scene;
    scene.addAsset();
    const auto image = dropImage(1, {100, 50});
    const auto animated = dropAnimated(1, {60, 60});
    const auto text = dropText(1);
    ASSERT_FALSE(image.empty());
    ASSERT_FALSE(animated.empty());
    ASSERT_FALSE(text.empty());
    expectLayerInvariants();
    EXPECT_EQ(previewLayerClass().getLayerArray()[1], (std::vector<std::string>{image, animated, text}));

    auto imageView = scene.layerView(image);
    ASSERT_TRUE(imageView);
    ASSERT_EQ(imageView->subviews().size(), 2u);
    EXPECT_TRUE(std::dynamic_pointer_cast<qrn::ui::ImageView>(imageView->subviews()[1]));
    EXPECT_EQ(scene.layerView(animated)->subviews()[1]->subviews().size(), 3u) << "one subview per frame";
    auto textView = std::dynamic_pointer_cast<qrn::ui::TextView>(scene.layerView(text)->subviews().back());
    ASSERT_TRUE(textView);
    EXPECT_EQ(textView->string(), "text symbol");
    EXPECT_FALSE(textView->isEditable());
    EXPECT_EQ(textView->attributedString().runs().front().attributes.font->family, "Helvetica Neue");
    EXPECT_EQ(editViewClass().getSelectedTextSymbolText(std::vector<qrn::Value>{false, 1, 2})->string(),
              "text symbol");
    // One transformed size per layer, text layers included.
    EXPECT_EQ(previewLayerClass().getLayerTransformedSize()[1].size(), 3u);
    // The new text layer is 120 x 30 at the 560-wide reference, stored at the preview's scale.
    const auto f = frameOf(text);
    EXPECT_NEAR(f[2], 120 * 556 / 560.0, 1e-9);
    EXPECT_NEAR(f[3], 30 * 313 / 315.0, 1e-9);

    const auto& entries = undoRedoClass::getUndoList();
    ASSERT_GE(entries.size(), 3u);
    EXPECT_EQ(entries.back().actionType, "addLayer");
    EXPECT_EQ(previewLayerClass().getSelectedLayer(), std::stoi(text));
}

TEST(AddLayer, ANewTextLayerOnAWidePreviewIsDrawnAtTheSizeItShows) {
    // Twice the reference width: the text box shows at about twice its laid-out size.
    previewScene scene(qrn::Rect(10, 164, 1112, 626));
    scene.addAsset();
    const auto text = dropText(1);
    qrn::MainQueue::advance(1.1);
    const auto f = frameOf(text);
    auto textView = std::dynamic_pointer_cast<qrn::ui::TextView>(scene.layerView(text)->subviews().back());
    ASSERT_TRUE(textView);
    textView->display();
    // Drawn with as many pixels as the box shows points, not stretched from a smaller picture.
    EXPECT_GE(textView->layer()->contents().width(), int(f[2]));
    EXPECT_GE(textView->layer()->contents().height(), int(f[3]));
}

TEST(AddLayer, StickyLayersShowOverEveryAssetAndOthersOnlyInTheirOwn) {
    previewScene scene;
    scene.addAsset();
    scene.addAsset();
    const auto regular = dropImage(1, {50, 50});
    const auto sticky = dropImage(0, {50, 50});
    // From the asset holding the regular layer to the next one.
    scene.selectAssetAt(1);
    scene.selectAssetAt(2);
    // Hidden itself or through its asset's container: either way not drawn.
    auto shown = [](const std::shared_ptr<qrn::ui::View>& view) {
        for (auto v = view; v; v = v->superview())
            if (v->isHidden())
                return false;
        return true;
    };
    EXPECT_FALSE(shown(scene.layerView(regular)));
    EXPECT_TRUE(shown(scene.layerView(sticky)));
    expectLayerInvariants();
}

TEST(AddLayer, DeferredPlacementSkipsALayerGoneMeanwhile) {
    previewScene scene;
    scene.addAsset();
    const auto first = dropImage(1, {50, 50}, {100, 100});
    const auto second = dropImage(1, {60, 60}, {300, 200});
    // The first layer leaves before its delayed step; the second must still get its own.
    previewLayerClass model;
    auto layers = model.getLayerArray();
    scene.layerView(first)->removeFromSuperview();
    qrn::MainQueue::advance(1.0);
    auto view = scene.layerView(second);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->frame(), qrn::Rect(270, 170, 60, 60));
}
