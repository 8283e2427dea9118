// A layer's filters in the running application, set and kept through the editing screen's own
// controls (pictures dropped as files, the filter list's rows, the blur slider, tiles dragged in
// the layer list, the tile's menu, Undo and Redo) and seen where the presenter sees them: the
// preview, the studio's picture and a frame of the movie of a take.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QUrl>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/popupMenuClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/filterOrderedListClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "View/Editing/Popover/popupMenuControllers.h"
#include "View/Editing/SettingsPanel/layerSettingsController.h"
#include "View/Editing/editScreenTitleBarController.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Recording/recordViewController.h"
#include "app/studio/studio_fixture.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/renderer.h"
#include "platform/media/capture_session.h"
#include "platform/media/devices.h"
#include "platform/media/movie_reader.h"
#include "platform/ui/button.h"
#include "platform/ui/dragging.h"
#include "platform/ui/event.h"
#include "platform/ui/image_view.h"
#include "platform/ui/menu.h"
#include "platform/ui/pasteboard.h"
#include "platform/ui/popover.h"
#include "platform/ui/slider.h"
#include "take_fixture.h"

using qrn::ui::Event;
using qrn::ui::EventType;

namespace {

// A point of a layer, as fractions of the preview from its bottom left corner; the studio's
// picture and the movie frame show the preview's picture at their own size.
struct spot {
    double x, y;
};

// Every view of type T under `root`, depth first.
template <typename T> std::vector<std::shared_ptr<T>> viewsOf(const std::shared_ptr<qrn::ui::View>& root) {
    std::vector<std::shared_ptr<T>> found;
    if (!root)
        return found;
    if (auto v = std::dynamic_pointer_cast<T>(root))
        found.push_back(v);
    for (const auto& sub : root->subviews())
        for (auto& v : viewsOf<T>(sub))
            found.push_back(std::move(v));
    return found;
}

// What `view` shows at a spot of its bounds, drawn as its window draws it.
QColor shownIn(qrn::ui::View& root, qrn::ui::View& view, spot at) {
    root.displayIfNeeded();
    const QImage shot = qrn::graphics::Renderer().renderToImage(*root.layer(), root.bounds().size, 0);
    const qrn::Point p =
        view.convertPointToView({view.bounds().width() * at.x, view.bounds().height() * at.y}, &root);
    return shot.pixelColor(int(p.x), int(root.bounds().height() - p.y));
}

QColor shownInMovie(const std::string& movie, double t, spot at) {
    auto reader = qrn::media::VideoTrackReader::open(movie);
    if (!reader)
        return {};
    auto frame = reader.value()->frameAt(t);
    if (!frame)
        return {};
    const QImage image = reader.value()->image(frame.value());
    return image.pixelColor(int(image.width() * at.x), int(image.height() * (1 - at.y)));
}

testing::AssertionResult near(QColor a, QColor b) {
    if (std::abs(a.red() - b.red()) < 60 && std::abs(a.green() - b.green()) < 60 &&
        std::abs(a.blue() - b.blue()) < 60)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << a.name().toStdString() << " is not " << b.name().toStdString();
}

// Either side of the blurred picture's edge, the black and the white reach over it.
testing::AssertionResult blurred(QColor left, QColor right) {
    if (left.lightness() > 30 && right.lightness() < 225)
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "a sharp edge: " << left.name().toStdString() << " | " << right.name().toStdString();
}

QImage solid(int w, int h, QColor colour) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

class TakeWithFilters : public studiotest::StudioTest {
  protected:
    // A PNG of the test's own dropped from a file manager on the preview at fractions of it; the
    // new layer's id, "" when none came.
    std::string dropPicture(const QImage& picture, const std::string& name, spot at) {
        const QString file = dir.filePath(QString::fromStdString(name) + ".png");
        if (!picture.save(file, "PNG"))
            return "";
        auto& drop = *editingScreen()->dragView;
        const auto row = [] {
            previewLayerClass model;
            return model.getLayerArray()[size_t(model.getSelectedAssetIndex())];
        };
        const auto before = row();
        auto board = qrn::ui::Pasteboard::makeForDrag();
        board->writeItems({qrn::ui::PasteboardItem::withURL(QUrl::fromLocalFile(file))});
        qrn::ui::DraggingInfo info(
            drop.convertPointToView({drop.bounds().width() * at.x, drop.bounds().height() * at.y}, nullptr),
            board);
        info.setSequenceNumber(++drops);
        mainWindow()->draggingEntered(info);
        advance(0.1);
        if (!mainWindow()->performDrop(info))
            return "";
        qrn::MainQueue::runUntil([&] { return row().size() > before.size(); }, 10);
        advance(1.0);
        const auto after = row();
        return after.size() == before.size() + 1 ? after.back() : "";
    }

    static std::shared_ptr<qrn::ui::View> tileOf(const std::string& id) {
        auto marker = editViewClass().getLayerScrollDocumentView()->viewWithTag(std::stoi(id));
        return marker ? marker->superview() : nullptr;
    }
    void send(EventType type, qrn::Point inWindow) { mainWindow()->sendEvent(Event::mouse(type, inWindow)); }
    // The tile of `id` pressed, dragged in steps onto the place of the tile of `onto` and let go.
    void dragTile(const std::string& id, const std::string& onto) {
        auto from = tileOf(id), to = tileOf(onto);
        ASSERT_TRUE(from && to);
        const qrn::Point a = from->convertPointToView(from->bounds().center(), nullptr);
        const qrn::Point b = to->convertPointToView(to->bounds().center(), nullptr);
        send(EventType::MouseMoved, a);
        send(EventType::MouseDown, a);
        for (int i = 1; i <= 8; ++i)
            send(EventType::MouseDragged, {a.x + (b.x - a.x) * i / 8, a.y + (b.y - a.y) * i / 8});
        send(EventType::MouseUp, b);
        advance(0.5);
    }
    // A click on the tile selects its layer, and the filter tab shows that layer's filters.
    void showFiltersOf(const std::string& id) {
        auto tile = tileOf(id);
        ASSERT_TRUE(tile);
        click(*tile, tile->bounds().center());
        advance(0.3);
        ASSERT_EQ(previewLayerClass().getSelectedLayer(), std::stoi(id));
        clickButton(*editScreenTitleBarController::current()->buttonLayerSettings);
        auto tabs = std::static_pointer_cast<layerSettingsMenuViewController>(
            settingsViewClass().getLayerSettingsViewReference());
        clickButton(*tabs->buttonLayerFilters);
        advance(0.3);
    }
    // The filter list's row of a filter ("ChromaKeyRgb", "BoxBlur").
    std::shared_ptr<qrn::ui::View> filterRow(const std::string& filter) {
        for (const auto& area : viewsOf<filterOrderedListSelectionArea>(editingScreen()->settingsView)) {
            auto row = area->superview();
            for (const auto& handle : viewsOf<filterOrderedListDraggableItemView>(row))
                for (const auto& icon : viewsOf<qrn::ui::ImageView>(handle))
                    if (icon->imageName() == filter)
                        return row;
        }
        return nullptr;
    }
    void tick(const std::string& filter) {
        auto row = filterRow(filter);
        ASSERT_TRUE(row);
        const auto areas = viewsOf<filterOrderedListSelectionArea>(row);
        ASSERT_EQ(areas.size(), 1u);
        click(*areas.front(), areas.front()->bounds().center());
        advance(0.3);
    }
    static bool menuItem(const std::string& title) {
        return qrn::mainMenu()->itemWithTitle("Edit")->submenu()->itemWithTitle(title)->perform();
    }
    static std::vector<std::string> layers() {
        previewLayerClass model;
        return model.getLayerArray()[size_t(model.getSelectedAssetIndex())];
    }
    // The spot of a layer at fractions of its own frame.
    static spot of(const std::string& id, double x, double y) {
        previewLayerClass model;
        const auto row = layers();
        const size_t l = size_t(std::find(row.begin(), row.end(), id) - row.begin());
        const auto f = model.getLayerOriginSizeArray()[size_t(model.getSelectedAssetIndex())][l];
        const auto preview = model.getConfiguration()->parentPreviewView->bounds();
        return {(f[0] + f[2] * x) / preview.width(), (f[1] + f[3] * y) / preview.height()};
    }
    int drops = 0;
};

} // namespace

TEST_F(TakeWithFilters,
       AKeyAtItsDefaultsAfterAReorderAndABlurBackByUndoAndRedoShowInThePreviewStudioAndMovie) {
    using qrn::media::AccessStatus;
    qrn::media::CaptureAccess::scriptStatus(qrn::media::MediaType::Audio, AccessStatus::Authorized);
    qrn::media::CaptureAccess::scriptStatus(qrn::media::MediaType::Video, AccessStatus::Authorized);
    auto* editor = createProject(0);
    ASSERT_TRUE(editor);
    // A blue backdrop above the camera; over it a green frame round a red box, a photo larger
    // than the preview shows it (a move hands its view a sharper picture), and a small tile to
    // pass in the list.
    const std::string backdrop = dropPicture(solid(1600, 900, Qt::blue), "backdrop", {0.5, 0.5});
    ASSERT_FALSE(backdrop.empty());
    dragTile(backdrop, "-8");
    ASSERT_EQ(previewLayerClass().getFirstLayerAboveVideoArray()[1], backdrop);
    QImage framed = solid(1600, 1000, QColor(32, 255, 0));
    QPainter(&framed).fillRect(200, 200, 1200, 600, Qt::red);
    const std::string keyed = dropPicture(framed, "framed", {0.5, 0.5});
    const std::string other = dropPicture(solid(60, 40, Qt::yellow), "small", {0.1, 0.15});
    ASSERT_FALSE(keyed.empty() || other.empty());

    // The key ticked and left as it is, then the layer's tile taken past the other one.
    showFiltersOf(keyed);
    tick("ChromaKeyRgb");
    const spot band = of(keyed, 0.06, 0.5), box = of(keyed, 0.5, 0.5);
    auto& preview = *previewLayerClass().getConfiguration()->parentPreviewView;
    EXPECT_TRUE(near(shownIn(*editor->mainView, preview, band), Qt::blue)) << "keyed before the move";
    dragTile(keyed, other);
    ASSERT_EQ(layers().back(), keyed);
    advance(1.0);
    EXPECT_TRUE(near(shownIn(*editor->mainView, preview, band), Qt::blue)) << "keyed after the move";
    EXPECT_TRUE(near(shownIn(*editor->mainView, preview, box), Qt::red));

    // A blurred edge, taken away and brought back by Undo and Redo.
    QImage edge = solid(120, 80, Qt::black);
    QPainter(&edge).fillRect(60, 0, 60, 80, Qt::white);
    const std::string soft = dropPicture(edge, "edge", {0.85, 0.8});
    ASSERT_FALSE(soft.empty());
    showFiltersOf(soft);
    tick("BoxBlur");
    const auto sliders = viewsOf<qrn::ui::Slider>(filterRow("BoxBlur"));
    ASSERT_EQ(sliders.size(), 1u);
    const auto& slider = sliders.front();
    click(*slider, {slider->bounds().width() * 0.4, slider->bounds().height() / 2});
    advance(0.3);
    const auto radius = filterClass().getLayerFilterValues()[1].back()[1];
    ASSERT_TRUE(radius && radius->back().isNumber());
    EXPECT_NEAR(radius->back().toReal(), 20, 3);
    const spot left = of(soft, 0.47, 0.5), right = of(soft, 0.53, 0.5);
    const auto blurShown = [&] {
        return blurred(shownIn(*editor->mainView, preview, left), shownIn(*editor->mainView, preview, right));
    };
    EXPECT_TRUE(blurShown()) << "blurred by the slider";
    // Deleted from the tile's menu, back by Undo; its add undone and redone.
    auto* w = mainWindow();
    const auto tile = tileOf(soft);
    const qrn::Point at = tile->convertPointToView(tile->bounds().center(), nullptr);
    w->sendEvent(Event::mouse(EventType::RightMouseDown, at));
    w->sendEvent(Event::mouse(EventType::RightMouseUp, at));
    advance(0.3);
    auto menu = std::dynamic_pointer_cast<popupMenuControllerOne>(
        popupMenuClass::getPopover()->contentViewController());
    ASSERT_TRUE(menu);
    menu->deleteButton->performClick();
    advance(0.5);
    ASSERT_EQ(layers().back(), keyed);
    ASSERT_TRUE(menuItem("Undo"));
    advance(0.5);
    ASSERT_EQ(layers().back(), soft);
    EXPECT_TRUE(blurShown()) << "blurred after Undo of the delete";
    ASSERT_TRUE(menuItem("Undo"));
    advance(0.5);
    ASSERT_EQ(layers().back(), keyed);
    ASSERT_TRUE(menuItem("Redo"));
    advance(0.5);
    ASSERT_EQ(layers().back(), soft);
    EXPECT_TRUE(blurShown()) << "blurred after Redo of the add";
    EXPECT_TRUE(near(shownIn(*editor->mainView, preview, band), Qt::blue)) << "still keyed";

    // The studio shows both, and so does the movie of a take.
    auto* studio = openStudio();
    ASSERT_TRUE(studio);
    ASSERT_TRUE(waitForCameraPicture());
    auto& picture = *studio->recordingView;
    EXPECT_TRUE(near(shownIn(*studio->mainView, picture, band), Qt::blue)) << "keyed in the studio";
    EXPECT_TRUE(
        blurred(shownIn(*studio->mainView, picture, left), shownIn(*studio->mainView, picture, right)))
        << "blurred in the studio";
    recordViewClass take;
    click(*studio->recordButton, studio->recordButton->bounds().center());
    advance(4.5);
    ASSERT_TRUE(taketest::pumpUntil([&] { return take.getRecordingStartDate().has_value(); }, 10));
    const double end = qrn::media::captureClock() + 1.0;
    taketest::pumpUntil([&] { return qrn::media::captureClock() >= end; }, 6);
    click(*studio->recordButton, studio->recordButton->bounds().center());
    ASSERT_TRUE(taketest::pumpUntil([&] { return take.getPlaybackShown(); }, 120));
    const auto movie = *take.getPlaybackFileURL();
    EXPECT_TRUE(near(shownInMovie(movie, 0.5, band), Qt::blue)) << "keyed in the movie";
    EXPECT_TRUE(near(shownInMovie(movie, 0.5, box), Qt::red));
    EXPECT_TRUE(blurred(shownInMovie(movie, 0.5, left), shownInMovie(movie, 0.5, right)))
        << "blurred in the movie";
    take.dismissPlaybackCheck();
}
