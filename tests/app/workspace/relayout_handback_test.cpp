// The editing screen refitting its preview, starting clean for New and Open in the same window,
// and taking its views back from the studio.
#include <QImage>

#include <cmath>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/viewLoaderClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/persistentDataStorageClass.h"
#include "app/layers/layers_support.h"
#include "app/preview/preview_fixture.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/renderer.h"
#include "platform/ui/menu.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_field.h"
#include "platform/ui/window.h"
#include "workspace_support.h"

using namespace workspacetest;
using strings = std::vector<std::string>;

namespace {

constexpr double quarterTurn = 3.14159265358979323846 / 4;

size_t builtPaths() {
    size_t n = 0;
    for (const auto& row : previewLayerViewPathCreationClass().getPathsArray())
        n += row.size();
    return n;
}

qrn::Point centreOf(const std::vector<double>& r) {
    return {r[0] + r[2] / 2, r[1] + r[3] / 2};
}

std::vector<double> frameOf(const std::string& id) {
    return layerstest::frameOf(id);
}

class PreviewRelayout : public WorkspaceTest {};

// The tile of an asset: the sticky tile, or the strip's tile labelled with the asset id.
std::shared_ptr<qrn::ui::View> tileOf(size_t asset) {
    editViewClass edit;
    if (asset == 0)
        return edit.getConfiguration()->stickyAsset->subviews().front();
    const auto id = std::stoi(previewLayerClass().getAssetArray()[asset]);
    return edit.getAssetHorizontalScrollView()->viewWithTag(id)->superview();
}

class ViewsHandBack : public WorkspaceTest {
  protected:
    // The studio fades out before the editing screen shows and takes its views back.
    bool untilTheEditingScreenIsBack() {
        for (int i = 0; i < 200 && recordViewClass().getRecordViewSelected(); ++i)
            advance(0.01);
        return screen() && !recordViewClass().getRecordViewSelected();
    }
    // To the studio and back by the two title bars' buttons.
    void roundTripThroughTheStudio() {
        pressStudioButton();
        advance(1.0);
        ASSERT_TRUE(recordViewClass().getRecordViewSelected());
        pressBackToEditingButton();
        advance(1.0);
        ASSERT_TRUE(screen());
    }
    // One view per order tag, the three lower ones below the camera view and two above it.
    void expectOneSetOfOrderViewsAroundTheCamera() {
        const auto order = previewtest::dropViewOrder(screen()->dragView);
        for (int tag = -13; tag <= -9; ++tag)
            EXPECT_EQ(directTagCount(tag), 1) << tag;
        const auto at = [&](const std::string& what) {
            return std::find(order.begin(), order.end(), what) - order.begin();
        };
        ASSERT_NE(at("camera"), long(order.size()));
        EXPECT_LT(at("-11"), at("camera"));
        EXPECT_GT(at("-12"), at("camera"));
    }
    // Whether the layer is drawn over the camera where both are.
    bool layerDrawnAboveCamera(const std::string& id) {
        previewLayerClass model;
        auto camera = model.getVideoLayerView();
        camera->setHidden(false);
        camera->layer()->setBackgroundColour(qrn::Colour{0, 1, 0, 1});
        auto& root = *screen()->mainView;
        root.displayIfNeeded();
        const QImage shot = qrn::graphics::Renderer().renderToImage(*root.layer(), root.bounds().size, 0);
        const auto layer = screen()->dragView->viewWithTag(std::stoi(id))->superview();
        const qrn::Point c = layer->convertPointToView(layer->bounds().center(), &root);
        const QColor pixel = shot.pixelColor(int(c.x), int(root.bounds().height() - c.y));
        // Anything but the camera's green: the layer is drawn over it.
        return !(pixel.green() > 200 && pixel.red() < 60);
    }
};

} // namespace

TEST_F(PreviewRelayout, ABurstOfRelayoutsRebuildsThePathsOnceAfterItsLastAndTheCounterWraps) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewtest::addLayer(editor->dragView, 1, {100, 100, 80, 60});
    previewLayerViewPathCreationClass paths;
    editViewClass edit;

    paths.setPathsArray({});
    for (int i = 0; i < 10; ++i) {
        edit.resizeAndPositionLayers(false);
        advance(0.03);
        EXPECT_EQ(builtPaths(), 0u) << "rebuilt before the burst ended, call " << i;
    }
    advance(0.08);
    EXPECT_EQ(builtPaths(), 1u);
    // No other rebuild was left waiting.
    paths.setPathsArray({});
    advance(1.0);
    EXPECT_EQ(builtPaths(), 0u);
    // A stale call does nothing.
    edit.updateLayerPaths((editViewClass::getLayerPathsCounter() + 1) % 10000);
    EXPECT_EQ(builtPaths(), 0u);

    editViewClass::setLayerPathsCounter(9999);
    edit.resizeAndPositionLayers(false);
    EXPECT_EQ(editViewClass::getLayerPathsCounter(), 0);
    advance(0.1);
    EXPECT_EQ(builtPaths(), 1u);
}

TEST_F(PreviewRelayout, AfterNarrowingThePreviewAPressInTheCornerOfATurnedLayerSelectsItWithTheOverlayOnIt) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    const auto turned = previewtest::addLayer(editor->dragView, 1, {200, 100, 160, 80}, quarterTurn,
                                              previewtest::placement::above);
    press(centreOf(frameOf(turned)));
    ASSERT_EQ(model.getSelectedLayer(), std::stoi(turned));
    const auto overlay = model.getSuperviewOfTaggedPreviewView();

    // Nothing selected: a re-layout leaves the overlay where it was.
    press({5, 300});
    ASSERT_FALSE(model.getSelectedLayer());
    const qrn::Rect resting = overlay->frame();
    mainWindow()->setContentSize({1000, 700});
    editViewClass().resizeAndPositionLayers(true);
    advance(0.2);
    EXPECT_EQ(overlay->frame(), resting);
    ASSERT_LT(editor->parentPreviewView->bounds().width(), 556);

    // The layer shrank with the preview; its turned corner lies outside its upright frame.
    const auto frame = frameOf(turned);
    ASSERT_LT(frame[2], 160);
    const qrn::Point c = centreOf(frame);
    const double dx = frame[2] / 2 * 0.85, dy = frame[3] / 2 * 0.85;
    const qrn::Point corner{c.x + dx * std::cos(quarterTurn) - dy * std::sin(quarterTurn),
                            c.y + dx * std::sin(quarterTurn) + dy * std::cos(quarterTurn)};
    ASSERT_GT(corner.y, frame[1] + frame[3]);
    press(corner);
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(turned));
    EXPECT_FALSE(overlay->isHidden());
    EXPECT_NEAR(overlay->frame().midX(), c.x, 0.5);
    EXPECT_NEAR(overlay->frame().midY(), c.y, 0.5);
    EXPECT_NEAR(overlay->frameCenterRotation(), 45.0, 1e-6);

    // Narrowed again with the layer selected: the overlay follows, still turned.
    mainWindow()->setContentSize({900, 650});
    editViewClass().resizeAndPositionLayers(true);
    advance(0.2);
    const qrn::Point c2 = centreOf(frameOf(turned));
    EXPECT_NEAR(overlay->frame().midX(), c2.x, 0.5);
    EXPECT_NEAR(overlay->frame().midY(), c2.y, 0.5);
    EXPECT_NEAR(overlay->frameCenterRotation(), 45.0, 1e-6);
}

TEST_F(PreviewRelayout, TheCropSwitchActsOnlyWhileTheCameraIsSelected) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    const auto layer = previewtest::addLayer(editor->dragView, 1, {100, 100, 80, 60});
    press(centreOf(frameOf(layer)));
    ASSERT_EQ(model.getSelectedLayer(), std::stoi(layer));
    const auto cameraFrame = editor->dragView->viewWithTag(-4)->superview();
    editViewClass().videoCroppingEnabled();
    EXPECT_FALSE(model.getVideoCropState());
    EXPECT_TRUE(cameraFrame->isHidden());

    ASSERT_TRUE(model.displayVideo());
    ASSERT_TRUE(model.getVideoLayerSelected());
    editViewClass().videoCroppingEnabled();
    EXPECT_TRUE(model.getVideoCropState());
    EXPECT_FALSE(cameraFrame->isHidden());
    editViewClass().videoCroppingEnabled();
    EXPECT_FALSE(model.getVideoCropState());
    EXPECT_TRUE(cameraFrame->isHidden());
}

TEST_F(ViewsHandBack, NewOpenAndHandBacksInOneWindowKeepOneSetOfOrderViewsAndLayersAboveTheCameraOnTop) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    // The import puts the camera back as the package's import does.
    persistentDataStorageClass::setImportHandler([](bool, bool, bool) {
        previewLayerClass().reloadVideoPreview(true);
        editViewClass().resizeAndPositionLayers(true);
    });
    previewtest::addLayer(editor->dragView, 1, {100, 100, 80, 60}, 0, previewtest::placement::above);
    // A sticky layer leaves its thumbnail in the sticky tile.
    const auto sticky = layerstest::dropImage(0, {50, 40});
    ASSERT_TRUE(tileOf(0)->subviews().back()->viewWithTag(std::stoi(sticky)));

    panelAnswers.push_back(projectPath("Second"));
    fileMenuClass().newProject();
    advance(1.0);
    ASSERT_EQ(screen(), editor);
    expectOneSetOfOrderViewsAroundTheCamera();
    // The old project's tiles and thumbnails are gone: the sticky tile is the new project's.
    ASSERT_EQ(editor->stickyAsset->subviews().size(), 1u);
    EXPECT_EQ(tileOf(0)->subviews().back()->viewWithTag(std::stoi(sticky)), nullptr);
    const auto above =
        previewtest::addLayer(editor->dragView, 1, {200, 100, 120, 80}, 0, previewtest::placement::above);
    EXPECT_TRUE(layerDrawnAboveCamera(above));

    panelAnswers.push_back(makeProject("Stored"));
    fileMenuClass().open();
    advance(1.0);
    ASSERT_EQ(screen(), editor);
    expectOneSetOfOrderViewsAroundTheCamera();

    roundTripThroughTheStudio();
    expectOneSetOfOrderViewsAroundTheCamera();
}

TEST_F(ViewsHandBack, ClearingKeepsTheScreenViewsAndEitherReplacesOrKeepsTheLists) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewtest::addLayer(editor->dragView, 1, {100, 100, 80, 60});
    editViewClass edit;
    const auto strip = edit.getAssetHorizontalScrollView();
    const auto list = edit.getLayerScrollDocumentView();

    edit.clearClass(false);
    EXPECT_EQ(edit.getAssetHorizontalScrollView(), strip);
    EXPECT_EQ(edit.getLayerScrollDocumentView(), list);
    EXPECT_TRUE(strip->subviews().empty());
    EXPECT_EQ(strip->frame().size, (qrn::Size{78, 77}));
    // The list is rebuilt for the new project's sticky asset: only the camera tile.
    ASSERT_EQ(list->subviews().size(), 1u);
    EXPECT_TRUE(list->viewWithTag(-8));
    EXPECT_EQ(previewLayerClass().getAssetArray(), strings{"0"});

    const auto drop = editor->dragView;
    edit.clearClass(true);
    ASSERT_EQ(drop->subviews().size(), 7u);
    for (int tag : {-5, -4, -9, -10, -11, -12, -13})
        EXPECT_TRUE(drop->viewWithTag(tag)) << tag;
    EXPECT_NE(edit.getAssetHorizontalScrollView(), strip);
    EXPECT_NE(edit.getLayerScrollDocumentView(), list);
    EXPECT_TRUE(edit.getAssetHorizontalScrollView()->subviews().empty());
    EXPECT_EQ(edit.getLayerScrollDocumentView()->frame().size, (qrn::Size{39, 39}));
}

TEST_F(ViewsHandBack, TheStudioReturnsLayerViewsAndThumbnailsInOrderRefittedWithTheTileHighlighted) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    layerstest::dropImage(1, {120, 80});
    layerstest::dropImage(1, {60, 60}, {100, 100});
    layerstest::dropImage(0, {50, 40}, {400, 200});
    model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    layerstest::dropImage(2, {90, 50});
    previewLayerClass().selectAsset(tileOf(1), true, true, false, true);
    const auto label = std::dynamic_pointer_cast<qrn::ui::TextField>(tileOf(1)->subviews()[0]);

    // The overlay and the camera frame stay on top whatever their place in the list.
    const auto layerOrder = [&] {
        auto order = previewtest::dropViewOrder(editor->dragView);
        order.erase(std::remove_if(order.begin(), order.end(),
                                   [](const std::string& s) { return s == "overlay" || s == "-4"; }),
                    order.end());
        return order;
    };
    const auto order = layerOrder();
    std::vector<std::vector<qrn::Rect>> thumbnailFrames;
    std::vector<size_t> thumbnailCounts;
    for (size_t a = 0; a < 3; ++a) {
        thumbnailCounts.push_back(tileOf(a)->subviews().back()->subviews().size());
        std::vector<qrn::Rect> frames;
        for (const auto& v : tileOf(a)->subviews().back()->subviews())
            frames.push_back(v->frame());
        thumbnailFrames.push_back(frames);
    }

    pressStudioButton();
    advance(1.0);
    for (size_t a = 0; a < 3; ++a)
        EXPECT_TRUE(tileOf(a)->subviews().back()->subviews().empty()) << a;
    // The first asset's tile highlighted no more, as when the presenter clicked about meanwhile.
    label->setDrawsBackground(false);
    pressBackToEditingButton();
    ASSERT_TRUE(untilTheEditingScreenIsBack());

    EXPECT_EQ(layerOrder(), order);
    EXPECT_TRUE(recordViewClass().getAssetPreviewLayerArray().empty());
    for (size_t a = 0; a < 3; ++a) {
        const auto& views = tileOf(a)->subviews().back()->subviews();
        ASSERT_EQ(views.size(), thumbnailCounts[a]) << a;
        for (size_t k = 0; k < views.size(); ++k) {
            EXPECT_NEAR(views[k]->frame().minX(), thumbnailFrames[a][k].minX(), 1e-6);
            EXPECT_NEAR(views[k]->frame().width(), thumbnailFrames[a][k].width(), 1e-6);
        }
    }
    EXPECT_TRUE(label->drawsBackground());
    // The shown asset's layers show; the other asset's are hidden.
    const auto layers = model.getLayerArray();
    for (const auto& id : layers[1])
        EXPECT_FALSE(editor->dragView->viewWithTag(std::stoi(id))->superview()->isHidden());
    for (const auto& id : layers[2])
        EXPECT_TRUE(editor->dragView->viewWithTag(std::stoi(id))->superview()->isHidden());
    advance(0.3);
    layerstest::expectLayerInvariants();
}

TEST_F(ViewsHandBack, AOneAssetProjectTouchesOnlyTheStickyTileAndClosingRightAfterDoesNotCrash) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    model.removeAsset(std::nullopt, false);
    ASSERT_EQ(model.getAssetArray(), strings{"0"});
    layerstest::dropImage(0, {50, 40});
    const size_t sticky = tileOf(0)->subviews().back()->subviews().size();

    pressStudioButton();
    advance(1.0);
    ASSERT_EQ(recordViewClass().getAssetPreviewLayerArray().size(), 1u);
    EXPECT_TRUE(tileOf(0)->subviews().back()->subviews().empty());
    pressBackToEditingButton();
    ASSERT_TRUE(untilTheEditingScreenIsBack());
    EXPECT_EQ(tileOf(0)->subviews().back()->subviews().size(), sticky);
    EXPECT_TRUE(editViewClass().getAssetHorizontalScrollView()->subviews().empty());

    advance(0.05);
    mainWindow()->performClose();
    advance(1.0);
    EXPECT_FALSE(editViewClass().getEditViewSelected());
}

TEST_F(ViewsHandBack, TheViewMenusGoToItemsMakeTheSameRoundTripAsTheButtons) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    const auto choose = [](const std::string& title) {
        auto item = qrn::mainMenu()->itemWithTitle("View")->submenu()->itemWithTitle(title);
        return item && item->isEnabled() && !item->isHidden() && item->perform();
    };
    ASSERT_TRUE(choose("Go To Studio"));
    advance(1.0);
    EXPECT_TRUE(recordViewClass().getRecordViewSelected());
    EXPECT_NE(shownScreen(), editor);
    ASSERT_TRUE(choose("Go To Editor"));
    ASSERT_TRUE(untilTheEditingScreenIsBack());
    EXPECT_EQ(shownScreen(), editor);
    EXPECT_TRUE(editViewClass().getEditViewSelected());
}

TEST_F(ViewsHandBack, ARoundTripThroughTheStudioBringsTheLayersBackAndTheScreenActsAgain) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    const auto layer =
        previewtest::addLayer(editor->dragView, 1, {100, 100, 80, 60}, 0, previewtest::placement::above);
    pressStudioButton();
    advance(1.0);
    ASSERT_NE(shownScreen(), editor);
    EXPECT_FALSE(editViewClass().getEditViewSelected());
    pressBackToEditingButton();
    advance(1.0);
    ASSERT_EQ(shownScreen(), editor);
    EXPECT_TRUE(editViewClass().getEditViewSelected());
    EXPECT_EQ(editor->dragView->viewWithTag(std::stoi(layer))->superview()->superview(), editor->dragView);
    expectOneSetOfOrderViewsAroundTheCamera();
}
