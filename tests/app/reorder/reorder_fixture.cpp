#include "reorder_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "Controller/Editing/AssetScrollView/assetZPositionClass.h"
#include "Controller/Editing/LayerScrollView/layerZPositionClass.h"
#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Landing/landingClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Landing/landingController.h"
#include "platform/foundation/files.h"
#include "platform/graphics/renderer.h"
#include "platform/ui/event.h"
#include "platform/ui/text_field.h"
#include "platform/ui/window.h"

namespace reordertest {

QImage solid(int width, int height, unsigned rgb) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor::fromRgba(rgb));
    return image;
}

std::string writePng(const std::string& path, int width, int height, unsigned rgb) {
    solid(width, height, rgb).save(QString::fromStdString(path), "PNG");
    return path;
}

modelSnapshot snapshot() {
    previewLayerClass model;
    filterClass filters;
    attributedStringStorageClass storage;
    modelSnapshot s;
    s.assets = model.getAssetArray();
    s.layers = model.getLayerArray();
    s.firsts = model.getFirstLayerAboveVideoArray();
    s.backgrounds = model.getAssetBackgroundIDArray();
    s.colours = model.getAssetBackgroundColour();
    s.references = model.getImageReferenceArray();
    s.frames = model.getLayerOriginSizeArray();
    s.rotations = model.getLayerRotateArray();
    s.flips = model.getLayerIsFlippedArray();
    s.locks = model.getLayerResizeWithAspectRatioArray();
    s.originals = model.getLayerOriginalPosSize();
    s.filterFlags = filters.getLayerFilter();
    s.filterOrders = filters.getLayerFilterOrder();
    for (const auto& script : storage.getAutocueStringArray())
        s.scripts.push_back(script.string());
    for (const auto& row : storage.getTextSymbolStringArray()) {
        s.texts.emplace_back();
        for (const auto& text : row)
            s.texts.back().push_back(text.string());
    }
    for (const auto& row : previewLayerViewPathCreationClass().getPathsArray()) {
        s.pathOwners.emplace_back();
        for (const auto& entry : row) {
            const auto marker =
                entry.view && !entry.view->subviews().empty() ? entry.view->subviews()[0] : nullptr;
            s.pathOwners.back().push_back(marker && marker->tag() ? std::to_string(*marker->tag()) : "?");
        }
    }
    return s;
}

void ReorderTest::SetUp() {
    EditingShellTest::SetUp();
    qrn::files::setWriteFailureForTesting([this](qrn::files::WriteStep step, const std::filesystem::path& p) {
        if (step == qrn::files::WriteStep::Open)
            ++written[p.filename().string()];
        return false;
    });
}

void ReorderTest::TearDown() {
    qrn::files::setWriteFailureForTesting(nullptr);
    EditingShellTest::TearDown();
}

void ReorderTest::createProject() {
    launch();
    panelAnswers.push_back(projectPath());
    landingClass::getLandingViewController()->createNewProject();
    advance(1.0);
    editor = dynamic_cast<viewLoaderController*>(shownScreen());
    ASSERT_TRUE(editor);
    for (int i = 0; i < 3; ++i)
        previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    advance(1.0);
    select(1);
    ASSERT_EQ(previewLayerClass().getAssetArray(), (strings{"0", "2", "4", "6", "8"}));
}

void ReorderTest::select(int assetIndex) {
    const auto id = previewLayerClass().getAssetArray()[size_t(assetIndex)];
    previewLayerClass().selectAsset(assetIndex == 0 ? editor->stickyAsset->subviews().front() : assetTile(id),
                                    false, true, false, true);
}

std::string ReorderTest::addLayer(int a, qrn::Point at, unsigned rgb, bool firstAbove) {
    select(a);
    previewLayerClass model;
    model.setImageReferenceArray(3, qrn::Value::List{"file:///layer.png"}, "png");
    model.addLayer(std::make_shared<const QImage>(solid(30, 30, rgb)), std::nullopt, std::nullopt,
                   qrn::Size{30, 30}, false, false, at, std::nullopt, 0, false, false, firstAbove, false);
    advance(0.2);
    return std::to_string(*model.getSelectedLayer());
}

std::string ReorderTest::addText(int a, const std::string& text, qrn::Point at) {
    select(a);
    previewLayerClass model;
    model.setImageReferenceArray(1, qrn::Value::List{"text_main"}, std::nullopt);
    model.addLayer(std::make_shared<const QImage>(solid(10, 10, 0xffffffff)), std::nullopt, std::nullopt,
                   qrn::Size{10, 10}, false, false, at, std::nullopt, 0, false, false, false, false);
    const std::string id = std::to_string(*model.getSelectedLayer());
    editViewClass().updateSelectedTextSymbolText(qrn::AttributedString(text), std::nullopt);
    advance(1.0);
    return id;
}

strings ReorderTest::buildLayeredAsset() {
    select(1);
    previewLayerClass model;
    model.setImageReferenceArray(3, qrn::Value::List{"file:///background.png"}, "png");
    model.addLayer(std::make_shared<const QImage>(solid(160, 90, 0xff203040)), std::nullopt, std::nullopt,
                   qrn::Size{160, 90}, false, true, {0, 0}, std::nullopt, 0, false, false, false, false);
    const std::string background = std::to_string(*model.getSelectedLayer());
    // Side by side, each overlapping the next, so a rendering shows which of two lies on top.
    const std::string a = addLayer(1, {115, 150}, 0xffff0000);
    const std::string b = addLayer(1, {135, 150}, 0xff00ff00);
    const std::string c = addLayer(1, {155, 150}, 0xff0000ff, true);
    const std::string d = addLayer(1, {175, 150}, 0xffffff00);
    editViewClass().loadScrollViewLayers();
    advance(1.0);
    return {background, a, b, c, d};
}

strings ReorderTest::tilesBySlot() {
    std::vector<std::pair<double, std::string>> placed;
    for (const auto& tile : editViewClass().getLayerScrollDocumentView()->subviews())
        if (!tile->subviews().empty() && tile->subviews().back()->tag())
            placed.emplace_back(tile->frame().origin.x, std::to_string(*tile->subviews().back()->tag()));
    std::sort(placed.begin(), placed.end());
    strings ids;
    for (const auto& [x, id] : placed)
        ids.push_back(id);
    return ids;
}

ViewPtr ReorderTest::layerTile(const std::string& id) {
    auto marker = editViewClass().getLayerScrollDocumentView()->viewWithTag(std::stoi(id));
    return marker ? marker->superview() : nullptr;
}

ViewPtr ReorderTest::assetTile(const std::string& id) {
    auto marker = editViewClass().getAssetHorizontalScrollView()->viewWithTag(std::stoi(id));
    return marker ? marker->superview() : nullptr;
}

std::string ReorderTest::assetLabel(const std::string& id) {
    auto label = std::dynamic_pointer_cast<qrn::ui::TextField>(
        editViewClass().getAssetHorizontalScrollView()->viewWithTag(std::stoi(id)));
    return label ? label->stringValue() : "";
}

strings ReorderTest::modelTileOrder(int a) {
    previewLayerClass model;
    const auto row = model.getLayerArray()[size_t(a)];
    const auto first = model.getFirstLayerAboveVideoArray()[size_t(a)];
    const auto background = model.getAssetBackgroundIDArray()[size_t(a - 1)];
    strings order;
    for (const auto& id : row) {
        if (id == background)
            continue;
        if (id == first)
            order.push_back("-8");
        order.push_back(id);
    }
    if (std::find(order.begin(), order.end(), "-8") == order.end())
        order.push_back("-8");
    return order;
}

strings ReorderTest::previewOrder(int a) const {
    const auto row = previewLayerClass().getLayerArray()[size_t(a)];
    const auto video = previewLayerClass().getVideoLayerView();
    strings order;
    for (const auto& view : editor->dragView->subviews()) {
        if (view == video) {
            order.push_back("-8");
            continue;
        }
        if (view->subviews().empty() || !view->subviews()[0]->tag())
            continue;
        const std::string id = std::to_string(*view->subviews()[0]->tag());
        if (std::find(row.begin(), row.end(), id) != row.end())
            order.push_back(id);
    }
    return order;
}

qrn::Point ReorderTest::inMain(const ViewPtr& view, qrn::Point p) const {
    if (p.x < 0)
        p = {view->bounds().size.width / 2, view->bounds().size.height / 2};
    return view->convertPointToView(p, editor->mainView.get());
}

namespace {
qrn::Point toWindow(viewLoaderController* editor, qrn::Point inMainView) {
    return editor->mainView->convertPointToView(inMainView, nullptr);
}
} // namespace

void ReorderTest::moveTo(qrn::Point p) {
    editor->mainView->window()->sendEvent(
        qrn::ui::Event::mouse(qrn::ui::EventType::MouseMoved, toWindow(editor, p)));
}

void ReorderTest::press(const ViewPtr& view, qrn::Point inBounds, unsigned modifiers) {
    // The pointer comes to the view before it presses there.
    moveTo(inMain(view, inBounds));
    editor->mainView->window()->sendEvent(qrn::ui::Event::mouse(
        qrn::ui::EventType::MouseDown, toWindow(editor, inMain(view, inBounds)), modifiers));
}

void ReorderTest::rightPress(const ViewPtr& view) {
    moveTo(inMain(view, {-1, -1}));
    editor->mainView->window()->sendEvent(
        qrn::ui::Event::mouse(qrn::ui::EventType::RightMouseDown, toWindow(editor, inMain(view, {-1, -1}))));
}

void ReorderTest::dragTo(qrn::Point p) {
    editor->mainView->window()->sendEvent(
        qrn::ui::Event::mouse(qrn::ui::EventType::MouseDragged, toWindow(editor, p)));
}

void ReorderTest::releaseAt(qrn::Point p) {
    editor->mainView->window()->sendEvent(
        qrn::ui::Event::mouse(qrn::ui::EventType::MouseUp, toWindow(editor, p)));
}

void ReorderTest::exitAt(qrn::Point p) {
    // What the screen's tracking area reports when the pointer leaves it.
    editor->mouseExited(qrn::ui::Event::mouse(qrn::ui::EventType::MouseExited, toWindow(editor, p)));
}

qrn::Point ReorderTest::layerSlotPoint(int slot, double grab) {
    // The list starts at x 99 of the main view; a tile's picture is pressed at its middle.
    return {99 + slot * layerZPositionClass::layerWidth + grab, 34};
}

void ReorderTest::saveShot(const std::string& name) {
    const char* folder = std::getenv("QRN_SHOT_DIR");
    if (!folder)
        return;
    editor->mainView->displayIfNeeded();
    const QImage shot = qrn::graphics::Renderer().renderToImage(*editor->mainView->layer(),
                                                                editor->mainView->bounds().size, 0);
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(shot.save(QString::fromStdString(std::string(folder) + "/" + name + ".png")));
}

int ReorderTest::writes(const std::string& name) const {
    const auto it = written.find(name);
    return it == written.end() ? 0 : it->second;
}

size_t ReorderTest::entries() const {
    return undoRedoClass::getUndoList().size();
}

} // namespace reordertest
