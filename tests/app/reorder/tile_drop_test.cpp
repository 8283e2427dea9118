#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>

#include <fstream>

#include "Controller/Editing/AssetScrollView/assetZPositionClass.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/undoRedoClass.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Global/iconViewView.h"
#include "platform/qt/host_window.h"
#include "platform/ui/dragging.h"
#include "platform/ui/event.h"
#include "platform/ui/pasteboard.h"
#include "platform/ui/window.h"
#include "reorder_fixture.h"

using namespace reordertest;

namespace {

class TileDrop : public ReorderTest {
  protected:
    void SetUp() override {
        ReorderTest::SetUp();
        // The user's clipboard holds something of their own throughout.
        qrn::ui::Pasteboard::general().clearContents();
        qrn::ui::Pasteboard::general().writeItems(
            {qrn::ui::PasteboardItem::withData(qrn::ui::pasteboard_type::string, "the user's text")});
        clipboardCount = qrn::ui::Pasteboard::general().changeCount();
    }
    void TearDown() override {
        EXPECT_EQ(qrn::ui::Pasteboard::general().changeCount(), clipboardCount)
            << "the clipboard was touched";
        EXPECT_EQ(qrn::ui::Pasteboard::general().data(qrn::ui::pasteboard_type::string),
                  QByteArray("the user's text"));
        editViewClass::setControlKeyPressedHook(nullptr);
        editViewClass::setShowPopoverHook(nullptr);
        ReorderTest::TearDown();
    }
    // Enters the window over the tile's middle and drops there; whether the drop was taken.
    bool drop(const std::string& assetId, std::vector<qrn::ui::PasteboardItem> items) {
        auto board = qrn::ui::Pasteboard::makeForDrag();
        board->writeItems(std::move(items));
        const auto tile = assetTile(assetId);
        qrn::ui::DraggingInfo info(tile->convertPointToView({38, 38}, nullptr), board,
                                   qrn::ui::DragOperationCopy);
        auto* window = editor->mainView->window();
        EXPECT_EQ(window->draggingEntered(info), unsigned(qrn::ui::DragOperationCopy));
        EXPECT_EQ(window->dragDestination(), tile.get());
        return window->performDrop(info);
    }
    static qrn::ui::PasteboardItem file(const std::string& path) {
        return qrn::ui::PasteboardItem::withURL(QUrl::fromLocalFile(QString::fromStdString(path)));
    }
    static qrn::ui::PasteboardItem symbol(const QJsonObject& fields) {
        qrn::ui::PasteboardItem item;
        item.set(qrn::ui::pasteboard_type::tiff, iconViewView::tiffData(solid(40, 40, 0xff0080ff)));
        item.set(qrn::ui::pasteboard_type::symbol, QJsonDocument(fields).toJson(QJsonDocument::Compact));
        return item;
    }
    std::string png(const std::string& name, unsigned rgb) {
        return writePng(dir.path().toStdString() + "/" + name, 64, 36, rgb);
    }
    // The screen joins the real Control key and menus when it loads; these record them instead.
    void createProject() {
        ReorderTest::createProject();
        editViewClass::setControlKeyPressedHook([this] { return control; });
        editViewClass::setShowPopoverHook(
            [this](const qrn::ui::Event&, int type, bool force) { popovers.emplace_back(type, force); });
    }
    bool control = false;
    std::vector<std::pair<int, bool>> popovers;
    int clipboardCount = 0;
};

} // namespace

TEST_F(TileDrop, ControlClickSelectsAndOpensTheMenuARightClickAlsoNamesTheTileTheStickyTileOnlySelects) {
    createProject();
    control = true;
    press(assetTile("6"));
    EXPECT_EQ(previewLayerClass().getSelectedAsset(), 6);
    EXPECT_EQ(popovers, (std::vector<std::pair<int, bool>>{{1, false}}));
    EXPECT_FALSE(assetZPositionClass().getDraggedAsset()) << "no drag starts";
    releaseAt({300, 110});
    control = false;

    rightPress(assetTile("8"));
    EXPECT_EQ(previewLayerClass().getSelectedAsset(), 8);
    EXPECT_EQ(editViewClass::getHoveredAssetTag(), 8);
    EXPECT_EQ(popovers.size(), 2u);
    assetTile("8")->mouseExited(qrn::ui::Event::mouse(qrn::ui::EventType::MouseExited, {}));
    EXPECT_EQ(editViewClass::getHoveredAssetTag(), std::nullopt);

    const auto sticky = editor->stickyAsset->subviews().front();
    press(sticky);
    EXPECT_EQ(previewLayerClass().getSelectedAsset(), 0);
    dragTo({400, 110});
    releaseAt({400, 110});
    EXPECT_EQ(sticky->frame().origin.x, 0);
    EXPECT_EQ(previewLayerClass().getAssetArray(), (strings{"0", "2", "4", "6", "8"}));
    EXPECT_EQ(popovers.size(), 2u);

    // While the studio shows, a press selects nothing more and drags nothing.
    recordViewClass::setStudioState(true, false);
    press(assetTile("4"));
    EXPECT_FALSE(assetZPositionClass().getDraggedAsset());
    recordViewClass::setStudioState(false, false);
}

TEST_F(TileDrop, ThreePicturesMakeOneBackgroundFromTheFirstAndASecondDropReplacesItUndoably) {
    createProject();
    const size_t steps = entries();
    EXPECT_TRUE(drop("6", {file(png("one.png", 0xffff0000)), file(png("two.png", 0xff00ff00)),
                           file(png("three.png", 0xff0000ff))}));
    previewLayerClass model;
    EXPECT_EQ(model.getSelectedAsset(), 6);
    const auto background = model.getAssetBackgroundIDArray()[2];
    ASSERT_TRUE(background);
    EXPECT_EQ(model.getLayerArray()[3], (strings{*background}));
    EXPECT_EQ(entries(), steps + 1);
    EXPECT_EQ(undoRedoClass::getUndoList().back().actionType, "addLayer");
    const auto firstReference = model.getImageReferenceArray()[3][0];

    EXPECT_TRUE(drop("6", {file(png("four.png", 0xffffff00))}));
    EXPECT_EQ(model.getAssetBackgroundIDArray()[2], background);
    EXPECT_EQ(model.getLayerArray()[3], (strings{*background})) << "replaced in place";
    EXPECT_NE(model.getImageReferenceArray()[3][0], firstReference);
    ASSERT_EQ(entries(), steps + 2);
    const auto& entry = undoRedoClass::getUndoList().back();
    EXPECT_EQ(entry.actionType, "replaceBackgroundLayer");
    ASSERT_GE(entry.beforeValues.size(), 2u);
    EXPECT_EQ(std::get<imageReferenceArray>(entry.beforeValues[1]), firstReference)
        << "undo puts the first picture back";
    // The tile shows the background once, the picture in use; the one replaced would cover it.
    const auto copies = [&] {
        int n = 0;
        for (const auto& view : assetTile("6")->subviews().back()->subviews())
            n += !view->subviews().empty() && view->subviews().front()->tag() == std::stoi(*background);
        return n;
    };
    EXPECT_EQ(copies(), 1);
    undoRedoClass().undo();
    EXPECT_EQ(model.getImageReferenceArray()[3][0], firstReference);
    EXPECT_EQ(copies(), 1);
    undoRedoClass().redo();
    EXPECT_EQ(copies(), 1);
}

TEST_F(TileDrop, AFakePictureADropDuringAnImportAndANameOnlySymbolChangeNothing) {
    createProject();
    const auto before = snapshot();
    const size_t steps = entries();
    const std::string fake = dir.path().toStdString() + "/notes.png";
    std::ofstream(fake) << "just some text";
    EXPECT_FALSE(drop("4", {file(fake)}));
    EXPECT_FALSE(drop("4", {symbol(QJsonObject{{"name", "star"}})}));
    EXPECT_FALSE(drop("4", {symbol(QJsonObject{{"tag", 3}})}));

    persistentDataStorageClass().setInProgressBool(false);
    EXPECT_FALSE(drop("4", {file(png("real.png", 0xff00ff00))}));
    persistentDataStorageClass().setInProgressBool(true);

    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(entries(), steps);
}

TEST_F(TileDrop, ASymbolWithItsAddressBecomesTheBackground) {
    createProject();
    addLayer(2, {100, 100}, 0xff808080);
    const std::string address = "file://" + png("symbol.png", 0xff0080ff);
    EXPECT_TRUE(drop("4", {symbol(QJsonObject{{"name", "star"}, {"url", QString::fromStdString(address)}})}));
    const auto reference = previewLayerClass().getImageReferenceArray()[2].back();
    EXPECT_EQ(reference[1].toString(), "tiff") << "the kind the data is";
    EXPECT_TRUE(previewLayerClass().getAssetBackgroundIDArray()[1]);
}

TEST_F(TileDrop, APictureDroppedThroughTheHostWindowBecomesTheBackground) {
    qrn::qt::installQtHost();
    createProject();
    auto* host = qrn::qt::hostWidget(*editor->mainView->window());
    ASSERT_NE(host, nullptr);
    const qrn::Point at = assetTile("4")->convertPointToView({38, 38}, nullptr);
    const QPoint qtAt(int(at.x), int(host->height() - at.y));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(png("host.png", 0xff00ffff)))});
    QDragEnterEvent enter(qtAt, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(host, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent dropped(QPointF(qtAt), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(host, &dropped);
    EXPECT_TRUE(dropped.isAccepted());
    EXPECT_TRUE(previewLayerClass().getAssetBackgroundIDArray()[1]);
    for (auto& w : qrn::ui::Window::openWindows())
        w->close();
    qrn::ui::Window::setHostFactory(nullptr);
    qrn::ui::setDragDriver(nullptr);
}

TEST_F(TileDrop, AfterAMoveADroppedPictureShowsInItsTilesThumbnail) {
    createProject();
    for (int a = 1; a <= 4; ++a)
        addLayer(a, {180.0 + 40 * a, 160}, 0xff000000u | unsigned(0x3f * a) << 16);
    // Asset 2 to slot 4, then a picture onto the tile now in slot 2.
    press(assetTile("4"));
    dragTo({134 + 198, 110});
    dragTo({134 + 278, 110});
    releaseAt({134 + 278, 110});
    ASSERT_EQ(previewLayerClass().getAssetArray(), (strings{"0", "2", "6", "8", "4"}));
    EXPECT_TRUE(drop("6", {file(png("sunset.png", 0xffff8000))}));
    const auto background = previewLayerClass().getAssetBackgroundIDArray()[1];
    ASSERT_TRUE(background);
    EXPECT_TRUE(assetTile("6")->subviews().back()->viewWithTag(std::stoi(*background)))
        << "the tile's thumbnail holds the new background";
    saveShot("asset_move_and_drop");
}
