// The editing title bar, the context menus and how the editing screen routes keys, presses and
// drops, all through the window as the presenter uses them.
#include <QImage>
#include <QTemporaryDir>

#include <cmath>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/Preview/previewLayerViewPathCreationClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/popupMenuClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/stylingClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/Popover/popupMenuControllers.h"
#include "View/Editing/Preview/dragViewImageView.h"
#include "View/Editing/dragViewView.h"
#include "View/Editing/editScreenTitleBarController.h"
#include "View/Editing/viewLoaderView.h"
#include "View/Global/iconViewClass.h"
#include "View/Global/svgIconView.h"
#include "app/layers/layers_support.h"
#include "app/preview/preview_fixture.h"
#include "platform/ui/button.h"
#include "platform/ui/dragging.h"
#include "platform/ui/panels.h"
#include "platform/ui/pasteboard.h"
#include "platform/ui/popover.h"
#include "platform/ui/scene_registry.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/window.h"
#include "workspace_support.h"

using namespace workspacetest;
using qrn::ui::EventType;
namespace keycode = qrn::ui::keycode;

namespace {

constexpr double quarterTurn = 3.14159265358979323846 / 4;

qrn::Point centreOf(const std::string& id) {
    const auto r = layerstest::frameOf(id);
    return {r[0] + r[2] / 2, r[1] + r[3] / 2};
}

bool kept(const std::shared_ptr<svgButtonClass>& button) {
    return button->svgIconObj()->keepChangedColourValue();
}

// The tint the icon's picture is drawn in now.
std::optional<qrn::Colour> tintOf(const std::shared_ptr<svgButtonClass>& button) {
    auto view = button->svgIconObj()->getImageView();
    auto picture = std::dynamic_pointer_cast<qrn::ui::ImageView>(view->subviews()[0]);
    return picture->contentTintColour();
}

bool menuShown(const std::string& identifier) {
    return popupMenuClass().isPopoverDisplayed() && popupMenuClass::getLoadedIdentifier() == identifier;
}

class EditingTitleBar : public WorkspaceTest {
  protected:
    std::shared_ptr<editScreenTitleBarController> bar() { return editScreenTitleBarController::current(); }
};

class ContextMenus : public WorkspaceTest {
  protected:
    std::shared_ptr<qrn::ui::View> tileOf(int assetIndex) {
        const auto id = std::stoi(previewLayerClass().getAssetArray()[size_t(assetIndex)]);
        return editViewClass().getAssetHorizontalScrollView()->viewWithTag(id)->superview();
    }
};

class InputRouting : public WorkspaceTest {
  protected:
    // A spot of the root view that no other view covers.
    void pressRoot(EventType down = EventType::MouseDown) { pressIn(*screen()->mainView, {3, 600}, down); }
};

} // namespace

TEST_F(EditingTitleBar, AFreshProjectHasUndoAndRedoDisabledAndTheSymbolsIconLitAfterHalfASecond) {
    ASSERT_TRUE(createProject());
    auto shown = bar();
    ASSERT_TRUE(shown);
    EXPECT_FALSE(shown->buttonUndo->svgIconObj()->getIsButtonEnabled());
    EXPECT_FALSE(shown->buttonRedo->svgIconObj()->getIsButtonEnabled());
    EXPECT_TRUE(kept(shown->buttonSymbolSettings));
    EXPECT_EQ(editScreenTitleBarController::getDisplayVideoButton(), shown->buttonDisplayVideo);
    // Nothing prints.
    EXPECT_FALSE(shown->buttonPrint->isEnabled());

    // A bar made now lights the symbols icon at 0.5 s, not before.
    auto made = std::dynamic_pointer_cast<editScreenTitleBarController>(
        qrn::ui::SceneRegistry::instantiateViewController("editScreenTitleBarController"));
    ASSERT_TRUE(made);
    made->view();
    advance(0.45);
    EXPECT_FALSE(kept(made->buttonSymbolSettings));
    advance(0.1);
    EXPECT_TRUE(kept(made->buttonSymbolSettings));
}

TEST_F(EditingTitleBar, TheCameraButtonShowsAndHidesTheCameraAndHidingSelectsTheFirstLayer) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    const auto first = previewtest::addLayer(editor->dragView, 1, {40, 40, 80, 60});
    previewtest::addLayer(editor->dragView, 1, {300, 40, 80, 60}, 0, previewtest::placement::above);
    previewLayerClass model;
    auto shown = bar();
    shown->buttonDisplayVideo->performClick();
    EXPECT_TRUE(shown->videoDisplayed);
    EXPECT_TRUE(kept(shown->buttonDisplayVideo));
    EXPECT_FALSE(model.getVideoLayerView()->isHidden());
    EXPECT_TRUE(model.getVideoLayerSelected());

    shown->buttonDisplayVideo->performClick();
    EXPECT_FALSE(shown->videoDisplayed);
    EXPECT_FALSE(kept(shown->buttonDisplayVideo));
    EXPECT_TRUE(model.getVideoLayerView()->isHidden());
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(first));
}

TEST_F(EditingTitleBar, APaneButtonLoadsItsPaneOnceAndTheHighlightsComeBackAfterTheStudio) {
    ASSERT_TRUE(createProject());
    int loads = 0, paneShown = 0;
    editScreenTitleBarController::setLoadSettingsViewHook([&](std::optional<int> pane) {
        if (!pane || *pane == paneShown)
            return false;
        paneShown = *pane;
        ++loads;
        return true;
    });
    auto shown = bar();
    shown->buttonScriptSettings->performClick();
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(shown->settingsMenuSelected, 1);
    EXPECT_TRUE(kept(shown->buttonScriptSettings));
    EXPECT_FALSE(kept(shown->buttonSymbolSettings));
    EXPECT_FALSE(kept(shown->buttonLayerSettings));
    const auto before = tintOf(shown->buttonScriptSettings);
    shown->buttonScriptSettings->performClick();
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(tintOf(shown->buttonScriptSettings), before);
    EXPECT_TRUE(kept(shown->buttonScriptSettings));

    // Off to the studio and back: the camera and pane icons light again, undo and redo untouched.
    shown->buttonLayerSettings->performClick();
    shown->buttonDisplayVideo->performClick();
    const auto lit = shown->buttonLayerSettings->svgIconObj()->changedTint();
    const auto undoTint = tintOf(shown->buttonUndo);
    shown->iconsLooseColours();
    EXPECT_NE(tintOf(shown->buttonLayerSettings), lit);
    EXPECT_NE(tintOf(shown->buttonDisplayVideo), lit);
    EXPECT_EQ(tintOf(shown->buttonUndo), undoTint);
    shown->iconsSelected();
    EXPECT_EQ(tintOf(shown->buttonLayerSettings), lit);
    EXPECT_EQ(tintOf(shown->buttonDisplayVideo), shown->buttonDisplayVideo->svgIconObj()->changedTint());
    EXPECT_NE(tintOf(shown->buttonScriptSettings), lit);
}

TEST_F(EditingTitleBar, TheCameraSettingsIconFollowsItsPanelAndGuardedActionsWaitForTheImport) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    auto shown = bar();
    bool panelLoaded = true;
    editScreenTitleBarController::setVideoSettingsIsViewLoadedHook([&] { return panelLoaded; });
    shown->loadContent();
    EXPECT_TRUE(kept(shown->videoSettings));
    panelLoaded = false;
    shown->loadContent();
    EXPECT_FALSE(kept(shown->videoSettings));

    previewtest::addLayer(editor->dragView, 1, {40, 40, 80, 60});
    previewLayerClass model;
    persistentDataStorageClass storage;
    storage.setInProgressBool(false);
    shown->buttonDisplayVideo->performClick();
    EXPECT_TRUE(model.getVideoLayerView()->isHidden());
    EXPECT_FALSE(shown->videoDisplayed);
    const int position = undoRedoClass::getUndoPosition();
    shown->buttonUndo->performClick();
    shown->buttonRedo->performClick();
    shown->videoRecordView();
    EXPECT_EQ(undoRedoClass::getUndoPosition(), position);
    EXPECT_EQ(shownScreen(), editor);
    storage.setInProgressBool(true);
    shown->buttonDisplayVideo->performClick();
    EXPECT_TRUE(shown->videoDisplayed);
}

TEST_F(ContextMenus, OnlyTheLeftControlKeyMakesAClickOnTheSelectedLayerAContextClick) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    const auto layer = previewtest::addLayer(editor->dragView, 1, {200, 100, 120, 80});
    press(centreOf(layer));
    ASSERT_EQ(previewLayerClass().getSelectedLayer(), std::stoi(layer));

    flags(keycode::RightControl, qrn::ui::ModifierControl);
    EXPECT_FALSE(editViewClass().getControlKeyPressed());
    press(centreOf(layer));
    advance(0.3);
    EXPECT_FALSE(popupMenuClass().isPopoverDisplayed());
    flags(keycode::RightControl, 0);

    flags(keycode::Control, qrn::ui::ModifierControl);
    EXPECT_TRUE(editViewClass().getControlKeyPressed());
    press(centreOf(layer));
    advance(0.3);
    EXPECT_TRUE(menuShown("popupMenuControllerOne"));
    flags(keycode::Control, 0);
    EXPECT_FALSE(editViewClass().getControlKeyPressed());

    // The left Shift key counts, the right one does not.
    flags(keycode::RightShift, qrn::ui::ModifierShift);
    EXPECT_FALSE(editViewClass().getShiftKeyPressed());
    flags(keycode::Shift, qrn::ui::ModifierShift);
    EXPECT_TRUE(editViewClass().getShiftKeyPressed());
}

TEST_F(ContextMenus, ARightClickBesideATurnedLayerClosesTheMenuAndOpensNone) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    const auto layer = previewtest::addLayer(editor->dragView, 1, {200, 100, 160, 80}, quarterTurn,
                                             previewtest::placement::above);
    rightClick(centreOf(layer));
    advance(0.3);
    ASSERT_TRUE(menuShown("popupMenuControllerOne"));
    // Inside the upright frame, outside the turned one.
    const auto c = centreOf(layer);
    // Left of the pointer: the menu opens to its right.
    rightClick({c.x - 78, c.y - 38});
    EXPECT_FALSE(popupMenuClass().isPopoverDisplayed());
    advance(0.3);
    EXPECT_FALSE(popupMenuClass().isPopoverDisplayed());
    EXPECT_FALSE(previewLayerClass().getSelectedLayer());
}

TEST_F(ContextMenus, TheSameMenuMovesToAnotherLayerAtOnceAndASwitchShowsAfterAFifthOfASecond) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    const auto a = previewtest::addLayer(editor->dragView, 1, {40, 40, 80, 60});
    const auto b = previewtest::addLayer(editor->dragView, 1, {360, 180, 80, 60});
    rightClick(centreOf(a));
    advance(0.1);
    EXPECT_FALSE(popupMenuClass().isPopoverDisplayed());
    advance(0.15);
    ASSERT_TRUE(menuShown("popupMenuControllerOne"));
    auto* popover = popupMenuClass::getPopover();
    const auto controller = popover->contentViewController();
    const auto firstPlace = popover->frameInWindow();

    // The closing click goes on to the other layer, and the same menu shows there at once.
    rightClick(centreOf(b));
    EXPECT_EQ(previewLayerClass().getSelectedLayer(), std::stoi(b));
    EXPECT_TRUE(menuShown("popupMenuControllerOne"));
    EXPECT_EQ(popover->contentViewController(), controller);
    EXPECT_NE(popover->frameInWindow(), firstPlace);

    // The asset menu replaces it 0.2 s later.
    pressIn(*tileOf(1), {38, 38}, EventType::RightMouseDown);
    EXPECT_FALSE(popupMenuClass().isPopoverDisplayed());
    advance(0.19);
    EXPECT_FALSE(popupMenuClass().isPopoverDisplayed());
    advance(0.02);
    EXPECT_TRUE(menuShown("popupMenuControllerTwo"));

    // Asset menu asked for, then the layer menu within 0.2 s: the layer menu is what stays.
    rightClick(centreOf(a));
    advance(0.25);
    ASSERT_TRUE(menuShown("popupMenuControllerOne"));
    editViewClass().showPopover(eventAt(*tileOf(1), {38, 38}), 1, false);
    advance(0.1);
    rightClick(centreOf(a));
    EXPECT_TRUE(menuShown("popupMenuControllerOne"));
    advance(0.3);
    EXPECT_TRUE(menuShown("popupMenuControllerOne"));

    // A menu still loading when the window closes is never shown.
    pressIn(*tileOf(1), {38, 38}, EventType::RightMouseDown);
    mainWindow()->performClose();
    advance(1.0);
    EXPECT_FALSE(popupMenuClass().isPopoverDisplayed());
    EXPECT_EQ(popupMenuClass::getLoadedIdentifier(), "popupMenuControllerOne");
}

TEST_F(ContextMenus, BackgroundLayersScrolledStripsForceAndTheStickyAssetChooseTheirMenus) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    editViewClass edit;
    const auto background = layerstest::dropBackground(1, {556, 313});
    ASSERT_FALSE(background.empty());
    model.layerSelected(editor->dragView->viewWithTag(std::stoi(background))->superview());
    ASSERT_EQ(model.getSelectedLayer(), std::stoi(background));
    edit.showPopover(eventAt(*editor->dragView, {20, 20}), 0, false);
    advance(0.3);
    EXPECT_TRUE(menuShown("popupMenuControllerThree"));

    // Enough assets that the strip scrolls; the seventh tile is hit where it is shown.
    for (int i = 0; i < 8; ++i)
        model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    editor->assetTableView->scrollToPoint({400, 0});
    model.selectAsset(tileOf(7), true, true, false, true);
    const auto hit = eventAt(*tileOf(7), {38, 38});
    edit.showPopover(hit, 1, false);
    advance(0.3);
    EXPECT_TRUE(menuShown("popupMenuControllerTwo"));
    edit.showPopover(eventAt(*tileOf(5), {38, 38}), 1, false);
    EXPECT_FALSE(popupMenuClass().isPopoverDisplayed());
    // Forced, the location does not matter.
    edit.showPopover(eventAt(*tileOf(5), {38, 38}), 1, true);
    EXPECT_TRUE(menuShown("popupMenuControllerTwo"));

    // The sticky asset has no tile in the strip: the menu closes, nothing else happens.
    model.selectAsset(editor->stickyAsset->subviews().front(), true, true, false, true);
    ASSERT_EQ(model.getSelectedAsset(), 0);
    edit.showPopover(hit, 1, false);
    EXPECT_FALSE(popupMenuClass().isPopoverDisplayed());
    edit.showPopover(hit, 1, true);
    advance(0.3);
    EXPECT_FALSE(popupMenuClass().isPopoverDisplayed());

    // A forced preview request for a layer without a hit path still opens the layer menu.
    const auto pathless = previewtest::addLayer(editor->dragView, 0, {300, 40, 80, 60}, 0,
                                                previewtest::placement::below, false);
    model.layerSelected(editor->dragView->viewWithTag(std::stoi(pathless))->superview());
    previewLayerViewPathCreationClass().setPathsArray({});
    edit.showPopover(eventAt(*editor->dragView, {500, 300}), 0, false);
    EXPECT_FALSE(popupMenuClass().isPopoverDisplayed());
    edit.showPopover(eventAt(*editor->dragView, {500, 300}), 0, true);
    advance(0.3);
    EXPECT_TRUE(menuShown("popupMenuControllerOne"));
    popupMenuClass().closePopover();

    // A forced layer-list request for a layer opens the layer menu wherever it lands.
    const auto layer =
        previewtest::addLayer(editor->dragView, 0, {40, 40, 80, 60}, 0, previewtest::placement::below, false);
    model.layerSelected(editor->dragView->viewWithTag(std::stoi(layer))->superview());
    edit.loadScrollViewLayers();
    edit.showPopover(eventAt(*editor->dragView, {500, 300}), 2, true);
    advance(0.3);
    EXPECT_TRUE(menuShown("popupMenuControllerOne"));
}

TEST_F(ContextMenus, DuplicateAndDeleteActAndCloseGroupStaysOpenAndAsset) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    const auto layer = layerstest::dropText(1, {150, 150});
    ASSERT_FALSE(layer.empty());
    rightClick(centreOf(layer));
    advance(0.3);
    ASSERT_TRUE(menuShown("popupMenuControllerOne"));
    auto menu = std::dynamic_pointer_cast<popupMenuControllerOne>(
        popupMenuClass::getPopover()->contentViewController());
    ASSERT_TRUE(menu);

    menu->groupButton->performClick();
    EXPECT_TRUE(popupMenuClass().isPopoverDisplayed());
    EXPECT_EQ(model.getLayerArray()[1].size(), 1u);
    menu->duplicateButton->performClick();
    EXPECT_FALSE(popupMenuClass().isPopoverDisplayed());
    EXPECT_EQ(model.getLayerArray()[1].size(), 2u);

    rightClick(centreOf(model.getLayerArray()[1][1]));
    EXPECT_TRUE(menuShown("popupMenuControllerOne"));
    menu->deleteButton->performClick();
    EXPECT_FALSE(popupMenuClass().isPopoverDisplayed());
    EXPECT_EQ(model.getLayerArray()[1].size(), 1u);
    layerstest::expectLayerInvariants();

    // The asset menu acts on the asset under the pointer, or the selected one.
    std::optional<int> hovered;
    popupMenuControllerTwo::setHoveredAssetTagHook([&] { return hovered; });
    pressIn(*tileOf(1), {38, 38}, EventType::RightMouseDown);
    advance(0.3);
    ASSERT_TRUE(menuShown("popupMenuControllerTwo"));
    auto assetMenu = std::dynamic_pointer_cast<popupMenuControllerTwo>(
        popupMenuClass::getPopover()->contentViewController());
    // Its separator parts Duplicate from Delete, inside the menu's rounded edge.
    const auto buttons = assetMenu->duplicateButton->superview();
    ASSERT_TRUE(buttons);
    int separators = 0;
    for (const auto& view : buttons->subviews())
        if (view != assetMenu->duplicateButton && view != assetMenu->deleteButton) {
            ++separators;
            EXPECT_GE(view->frame().minY(), assetMenu->deleteButton->frame().maxY());
            EXPECT_LE(view->frame().maxY(), assetMenu->duplicateButton->frame().minY());
        }
    EXPECT_EQ(separators, 1);
    assetMenu->duplicateButton->performClick();
    EXPECT_FALSE(popupMenuClass().isPopoverDisplayed());
    ASSERT_EQ(model.getAssetArray().size(), 3u);
    hovered = std::stoi(model.getAssetArray()[2]);
    pressIn(*tileOf(1), {38, 38}, EventType::RightMouseDown);
    assetMenu->deleteButton->performClick();
    EXPECT_EQ(model.getAssetArray().size(), 2u);
    EXPECT_FALSE(popupMenuClass().isPopoverDisplayed());
}

TEST_F(InputRouting, AHeldHandleKeepsLeftClicksFromThePreviewButNotRightClicks) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    const auto a = previewtest::addLayer(editor->dragView, 1, {40, 40, 80, 60});
    const auto b = previewtest::addLayer(editor->dragView, 1, {360, 180, 80, 60});
    press(centreOf(a));
    model.setResizeOrRotateButtonSelected(-2);
    editor->parentPreviewView->mouseDown(eventAt(*editor->dragView, centreOf(b), EventType::MouseDown));
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(a));
    flags(keycode::Control, qrn::ui::ModifierControl);
    editor->parentPreviewView->mouseDown(eventAt(*editor->dragView, centreOf(a), EventType::MouseDown));
    advance(0.3);
    EXPECT_FALSE(popupMenuClass().isPopoverDisplayed());
    flags(keycode::Control, 0);
    editor->parentPreviewView->rightMouseDown(eventAt(*editor->dragView, centreOf(a)));
    advance(0.3);
    EXPECT_EQ(model.getSelectedLayer(), std::stoi(a));
    EXPECT_TRUE(menuShown("popupMenuControllerOne"));
    model.setResizeOrRotateButtonSelected(0);
}

TEST_F(InputRouting, TheRootViewCountsPressesKeepsTheSymbolThroughADoubleClickAndFeedsBothDrags) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    std::vector<std::string> drags;
    viewLoaderView::setDragEngines(
        {[&](const qrn::ui::Event&, int stage) { drags.push_back("layer " + std::to_string(stage)); },
         [&](const qrn::ui::Event&, bool dragging) {
             drags.push_back(dragging ? "asset on" : "asset off");
         }});

    viewLoaderView::setMouseDownCounter(9999);
    pressRoot();
    EXPECT_EQ(viewLoaderView::getMouseDownCounter(), 0);
    EXPECT_EQ(drags, (std::vector<std::string>{"layer 2", "asset off"}));

    iconViewClass icons;
    icons.setTag(7);
    pressRoot();
    advance(0.1);
    pressRoot();
    advance(0.15);
    EXPECT_EQ(icons.getTag(), 7) << "the second press of a double-click keeps it";
    advance(0.1);
    EXPECT_FALSE(icons.getTag());

    undoRedoClass().setValuesCompare(undoValueList{});
    auto* w = mainWindow();
    const auto at = editor->mainView->convertPointToView({3, 600}, nullptr);
    w->sendEvent(qrn::ui::Event::mouse(EventType::MouseDown, at));
    drags.clear();
    w->sendEvent(qrn::ui::Event::mouse(EventType::MouseDragged, {at.x, at.y + 5}));
    EXPECT_EQ(drags, (std::vector<std::string>{"layer 1", "asset on"}));
    w->sendEvent(qrn::ui::Event::mouse(EventType::MouseUp, at));
    advance(0.005);
    EXPECT_TRUE(undoRedoClass::getValuesCompare().has_value());
    advance(0.01);
    EXPECT_FALSE(undoRedoClass::getValuesCompare().has_value());

    icons.setTag(3);
    drags.clear();
    w->mouseLeftWindow();
    EXPECT_FALSE(icons.getTag());
    EXPECT_EQ(drags, (std::vector<std::string>{"layer 2", "asset on"}));
}

TEST_F(InputRouting, TheBackgroundBoxOpensThePanelOnTheAssetColourButNotForTheStickyAsset) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    auto& panel = qrn::ColourPanel::shared();
    panel.close();
    model.selectAsset(editor->stickyAsset->subviews().front(), true, true, false, true);
    panel.close();
    pressIn(*editor->backgroundColourView, {10, 10}, EventType::MouseDown);
    EXPECT_FALSE(panel.isVisible());

    model.setAssetBackgroundColour({{255, 0, 0, 255}});
    model.selectAsset(editor->assetTableView->documentView()->subviews().front(), true, true, false, true);
    panel.close();
    panel.setShowsAlpha(true);
    pressIn(*editor->backgroundColourView, {10, 10}, EventType::MouseDown);
    EXPECT_TRUE(panel.isVisible());
    EXPECT_FALSE(panel.showsAlpha());
    EXPECT_EQ(panel.colour(), stylingClass().arrayToColour({255, 0, 0, 255}));
    EXPECT_EQ(panel.target(), editor);
}

TEST(LayerPictureDrop, ADropOnALayerPictureIsTheDropViewsAndLeavesThePictureAlone) {
    std::vector<droppedLayer> added;
    dragViewView::setAddLayerHook([&](const droppedLayer& layer) { added.push_back(layer); });
    QTemporaryDir folder;
    QImage dropped(12, 8, QImage::Format_ARGB32);
    dropped.fill(Qt::red);
    ASSERT_TRUE(dropped.save(folder.filePath("dropped.png")));
    auto dragOf = [&] {
        auto board = qrn::ui::Pasteboard::makeForDrag();
        board->writeItems(
            {qrn::ui::PasteboardItem::withURL(QUrl::fromLocalFile(folder.filePath("dropped.png")))});
        return qrn::ui::DraggingInfo({20, 20}, board);
    };
    QImage own(4, 4, QImage::Format_ARGB32);
    own.fill(Qt::blue);

    auto drop = qrn::ui::makeView<dragViewView>(qrn::Rect(0, 0, 556, 313));
    auto holder = qrn::ui::View::make(qrn::Rect(10, 10, 100, 60));
    auto picture = dragViewImageView::makeDropView(holder->bounds());
    picture->setImage(own);
    holder->addSubview(picture);
    drop->addSubview(holder);
    auto info = dragOf();
    EXPECT_EQ(picture->draggingEntered(info), drop->draggingEntered(info));
    EXPECT_TRUE(picture->prepareForDragOperation(info));
    EXPECT_TRUE(picture->performDragOperation(info));
    picture->draggingEnded(info);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].size, (qrn::Size{12, 8}));
    EXPECT_EQ(picture->image(), own);

    // With no drop view above it the picture refuses the drop and keeps its picture.
    auto orphan = dragViewImageView::makeDropView(qrn::Rect(0, 0, 50, 50));
    orphan->setImage(own);
    auto lost = dragOf();
    EXPECT_EQ(orphan->draggingEntered(lost), unsigned(qrn::ui::DragOperationNone));
    EXPECT_FALSE(orphan->prepareForDragOperation(lost));
    EXPECT_FALSE(orphan->performDragOperation(lost));
    orphan->draggingEnded(lost);
    EXPECT_EQ(orphan->image(), own);
    EXPECT_EQ(added.size(), 1u);
    dragViewView::setAddLayerHook(nullptr);
}

// Three assets, a turned picture and a text layer: the layer menu beside the turned layer, the
// window narrowed with the overlay still on it, and the asset menu over a tile. With
// QRN_SHOT_DIR set the pictures are saved there.
TEST_F(ContextMenus, TheMenusAndTheOverlayAsShownInTheWindow) {
    auto* editor = createProject();
    ASSERT_TRUE(editor);
    previewLayerClass model;
    model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    model.addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    model.selectAsset(tileOf(1), true, true, false, true);
    layerstest::dropText(1, {90, 60});
    // The text layer settles in its frame a second after it is added.
    advance(1.2);
    const auto turned =
        previewtest::addLayer(editor->dragView, 1, {260, 90, 180, 110}, 0.5, previewtest::placement::above);
    QImage picture(180, 110, QImage::Format_ARGB32);
    picture.fill(QColor(40, 120, 220));
    for (int y = 0; y < 110; y += 22)
        for (int x = 0; x < 180; ++x)
            picture.setPixelColor(x, y, QColor(250, 250, 250));
    editor->dragView->viewWithTag(std::stoi(turned))->superview()->layer()->setContents(picture);
    model.fillSelectedAssetOrderedLayerArray();
    const char* folder = std::getenv("QRN_SHOT_DIR");
    auto save = [&](const char* name) {
        if (!folder)
            return;
        mainWindow()->displayIfNeeded();
        EXPECT_TRUE(mainWindow()->snapshot(0).save(QString(folder) + "/" + name));
    };

    rightClick(centreOf(turned));
    advance(0.3);
    ASSERT_TRUE(menuShown("popupMenuControllerOne"));
    const auto panel = popupMenuClass::getPopover()->frameInWindow();
    const auto click = editor->dragView->convertPointToView(centreOf(turned), nullptr);
    EXPECT_NEAR(panel.minX(), click.x + 4, 8) << "the menu opens to the right of the pointer";
    save("layer-menu.png");

    popupMenuClass().closePopover();
    mainWindow()->setContentSize({1040, 700});
    editViewClass().resizeAndPositionLayers(true);
    advance(0.3);
    const auto overlay = model.getSuperviewOfTaggedPreviewView();
    EXPECT_FALSE(overlay->isHidden());
    EXPECT_NEAR(overlay->frame().midX(), centreOf(turned).x, 0.5);
    EXPECT_NEAR(overlay->frameCenterRotation(), 0.5 * 360 / 6.283185307179586, 1e-6);
    save("narrowed.png");

    pressIn(*tileOf(1), {38, 38}, EventType::RightMouseDown);
    advance(0.3);
    EXPECT_TRUE(menuShown("popupMenuControllerTwo"));
    save("asset-menu.png");
}
