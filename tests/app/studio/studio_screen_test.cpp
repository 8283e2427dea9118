// The studio's life cycle in the running application: opening borrows every layer view, leaving
// gives each back, the window's moves and resizes, minimising, hiding, and the title bar.
#include <gtest/gtest.h>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Controller/Recording/videoSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Global/screenTitleBarAccessoryViewController.h"
#include "View/Global/svgIconView.h"
#include "View/Recording/recordScreenTitleBarController.h"
#include "View/Recording/recordViewController.h"
#include "app/preview/preview_fixture.h"
#include "platform/foundation/user_defaults.h"
#include "platform/graphics/renderer.h"
#include "platform/media/video_layer.h"
#include "platform/ui/application.h"
#include "platform/ui/button.h"
#include "platform/ui/image_view.h"
#include "platform/ui/progress_indicator.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"
#include "platform/ui/window.h"
#include "studio_fixture.h"

using namespace studiotest;
using strings = std::vector<std::string>;

namespace {

class Studio : public StudioTest {
  protected:
    // Two assets besides the sticky one, a layer below the camera in each and one above it in
    // the first, and a sticky layer.
    void buildProject() {
        auto* editor = createProject(1);
        ASSERT_TRUE(editor);
        const auto& drop = editor->dragView;
        ids.push_back(previewtest::addLayer(drop, 1, {30, 150, 220, 130}));
        ids.push_back(
            previewtest::addLayer(drop, 1, {300, 40, 200, 110}, 0.3, previewtest::placement::above));
        ids.push_back(previewtest::addLayer(drop, 2, {60, 60, 100, 100}));
        ids.push_back(previewtest::addLayer(drop, 0, {400, 200, 80, 80}));
    }
    // Every asset container and layer view of the model lies in `in` exactly once.
    void expectEveryViewOnceIn(const qrn::ui::View& in) {
        previewLayerClass model;
        const auto assets = model.getAssetArray();
        for (size_t a = 1; a < assets.size(); ++a)
            EXPECT_EQ(countTag(in, std::stoi(assets[a]) + 1), 1) << "asset " << assets[a];
        for (const auto& row : model.getLayerArray())
            for (const auto& id : row)
                EXPECT_EQ(countTag(in, std::stoi(id)), 1) << "layer " << id;
    }
    std::shared_ptr<recordScreenTitleBarController> titleBar() {
        return std::dynamic_pointer_cast<recordScreenTitleBarController>(
            screenTitleBarAccessoryViewController::getCachedTitleBar(false));
    }
    strings ids;
};

} // namespace

TEST_F(Studio, OpeningBorrowsEveryLayerViewOverTheFilteredCameraAndLeavingGivesThemBack) {
    buildProject();
    filterClass filters;
    auto videoFilter = filters.getVideoFilter();
    videoFilter.assign(3, false);
    videoFilter[1] = true; // box blur on the camera picture
    filters.setVideoFilter(videoFilter);

    auto* screen = openStudio();
    ASSERT_TRUE(screen);
    recordViewClass studio;
    EXPECT_TRUE(studio.getRecordViewSelected());
    EXPECT_FALSE(editViewClass().getEditViewSelected());
    EXPECT_EQ(persistentDataStorageClass().getActiveWindow(), "studioView");
    expectEveryViewOnceIn(*screen->recordingView);
    EXPECT_EQ(countTag(*editViewClass().getDragView(), std::stoi(ids[0])), 0);
    EXPECT_EQ(studio.getNextAssetIndex(), 2);
    EXPECT_EQ(studio.getAssetArray(), previewLayerClass().getAssetArray());
    EXPECT_EQ(studio.getLayerArray(), previewLayerClass().getLayerArray());
    // The first asset shows with the sticky layers; the second waits hidden.
    EXPECT_FALSE(screen->recordingView->viewWithTag(std::stoi(ids[0]))->superview()->isHidden());
    EXPECT_FALSE(screen->recordingView->viewWithTag(std::stoi(ids[3]))->superview()->isHidden());
    EXPECT_TRUE(screen->recordingView->viewWithTag(std::stoi(ids[2]))->superview()->isHidden());

    // The camera view between the groups, fitted to the recording view where the model says.
    const auto video = studio.getVideoView();
    ASSERT_EQ(video->superview(), screen->recordingView);
    EXPECT_FALSE(video->isHidden());
    const auto frame = previewLayerClass().getVideoOriginSizeArray();
    ASSERT_EQ(frame.size(), 4u);
    const auto box = video->layer()->frame();
    EXPECT_NEAR(box.midX(), frame[0] + frame[2] / 2, 0.5);
    EXPECT_NEAR(box.width(), frame[2], 0.5);
    EXPECT_GT(frame[2], 556); // refitted from the editing preview to the larger picture
    EXPECT_FALSE(video->layer()->contentFilters().empty());
    EXPECT_TRUE(waitForCameraPicture());
    EXPECT_EQ(captureSessionClass().getPreviewLayer()->superlayer()->superlayer(), video->layer());
    EXPECT_EQ(screen->timerTextView->string(), "00:00:00");
    EXPECT_TRUE(titleBar() && titleBar()->buttonDismissPlayback->isHidden());

    // Back to the editing screen: every view returns, the studio holds only its spinner and label.
    auto* editor = backToEditing();
    ASSERT_TRUE(editor);
    EXPECT_FALSE(studio.getRecordViewSelected());
    expectEveryViewOnceIn(*editor->dragView);
    EXPECT_EQ(studio.getAssetArray(), strings{"0"});
    EXPECT_EQ(studio.getLayerArray(), std::vector<strings>{{}});
    EXPECT_EQ(studio.getNextAssetIndex(), 1);
    EXPECT_EQ(screen->recordingView->subviews().size(), 2u);
    EXPECT_EQ(captureSessionClass().getPreviewLayer()->superlayer()->superlayer(),
              previewLayerClass().getVideoLayerView()->layer());
    previewtest::expectModelInvariants();

    // Again: one view per tag, and the camera is shown once more.
    auto* again = openStudio();
    ASSERT_TRUE(again);
    expectEveryViewOnceIn(*again->recordingView);
    EXPECT_EQ(countTag(*again->recordingView, -9), 1);
    EXPECT_EQ(countTag(*again->recordingView, -13), 1);
    EXPECT_EQ(studio.getNextAssetIndex(), 2);
}

TEST_F(Studio, ATakeUnderWayKeepsTheStudioOpen) {
    buildProject();
    auto* screen = openStudio();
    ASSERT_TRUE(screen);
    recordViewClass studio;
    studioRecordingFlags flags;
    recordViewClass::setRecordingFlagsHook([&] { return flags; });
    flags.startedRecordingTimer = true;
    studio.dismissView();
    advance(1.0);
    EXPECT_EQ(this->studio(), screen);
    EXPECT_TRUE(studio.getRecordingInProgress());
    flags = {};
    // While the take is played back the back button does nothing either.
    studio.setPlaybackShown(true);
    titleBar()->buttonEditingView->performClick();
    advance(1.0);
    EXPECT_EQ(this->studio(), screen);
    studio.setPlaybackShown(false);
    titleBar()->buttonEditingView->performClick();
    advance(1.0);
    EXPECT_TRUE(editingScreen());
}

TEST_F(Studio, MovesAndResizesAreSavedFromTheFirstAndRefitTheLayers) {
    buildProject();
    auto* screen = openStudio();
    ASSERT_TRUE(screen);
    auto* window = mainWindow();
    auto& defaults = qrn::UserDefaults::standard();
    defaults.remove("mainViewRect");
    // The set-up's own notifications came with the restore; the presenter's first move counts.
    window->hostDidMove({60, 50});
    EXPECT_TRUE(defaults.has("mainViewRect"));

    const auto before = previewLayerClass().getLayerOriginSizeArray()[1][0];
    const auto size = window->contentSize();
    const qrn::Rect pictureBefore = screen->recordingView->frame();
    window->hostDidResize({size.width + 200, size.height + 100}, false);
    const auto after = previewLayerClass().getLayerOriginSizeArray()[1][0];
    EXPECT_GT(after[2], before[2]);
    const auto layer = screen->recordingView->viewWithTag(std::stoi(ids[0]))->superview();
    EXPECT_NEAR(layer->frame().width(), after[2], 0.5);
    // The picture keeps the movie's shape, centred in the space that grew 200 by 100, and the
    // take's playback lies exactly over it; the layers grow with the picture, not the window.
    const qrn::Rect picture = screen->recordingView->frame();
    EXPECT_NEAR(picture.width() / picture.height(), 16.0 / 9.0, 0.005);
    EXPECT_NEAR(picture.midX(), pictureBefore.midX() + 100, 1.0);
    EXPECT_NEAR(picture.midY(), pictureBefore.midY() + 50, 1.0);
    EXPECT_EQ(screen->playbackView->frame(), picture);
    EXPECT_NEAR(after[2] / before[2], picture.width() / pictureBefore.width(), 0.01);
    EXPECT_EQ(defaults.arrayForKey("mainViewRect")->at(2).toReal(0), size.width + 200);

    // Not the screen on show: nothing is refitted.
    recordViewClass().setRecordViewSelected(false);
    recordViewClass().resizeAndPositionLayers(true, qrn::Rect(0, 0, 300, 200));
    EXPECT_EQ(previewLayerClass().getLayerOriginSizeArray()[1][0], after);
    recordViewClass().setRecordViewSelected(true);
}

TEST_F(Studio, AWindowFrameRestoredAsTheStudioOpensLeavesTheLayersWhereTheyWereOnThePicture) {
    buildProject();
    const auto editing = resizeAndPositionLayersClass().getBounds();
    ASSERT_TRUE(editing);
    const auto before = previewLayerClass().getLayerOriginSizeArray()[1][0];
    // The frame kept from a larger window comes back as the studio opens.
    const qrn::Size size = mainWindow()->contentSize();
    qrn::UserDefaults::standard().set(
        "mainViewRect",
        qrn::Value(qrn::Value::List{qrn::Value(40.0), qrn::Value(30.0), qrn::Value(size.width + 400),
                                    qrn::Value(size.height + 200)}));
    auto* screen = openStudio();
    ASSERT_TRUE(screen);
    const qrn::Rect picture = screen->recordingView->bounds();
    ASSERT_GT(picture.width(), editing->width() + 100);
    const auto after = previewLayerClass().getLayerOriginSizeArray()[1][0];
    EXPECT_NEAR(after[0] / picture.width(), before[0] / editing->width(), 0.002);
    EXPECT_NEAR(after[2] / picture.width(), before[2] / editing->width(), 0.002);
    const auto layer = screen->recordingView->viewWithTag(std::stoi(ids[0]))->superview();
    EXPECT_NEAR(layer->frame().width(), after[2], 0.5);
}

TEST_F(Studio, InANarrowerOrWiderWindowTheTimeStaysBesideTheRecordButtonUnderThePicture) {
    buildProject();
    auto* screen = openStudio();
    ASSERT_TRUE(screen);
    auto* window = mainWindow();
    const auto size = window->contentSize();
    for (const double change : {-280.0, 640.0}) {
        window->hostDidResize({size.width + change, size.height}, false);
        const qrn::Rect button = screen->recordButton->frame(), time = screen->timerTextView->frame();
        EXPECT_NEAR(button.midX(), screen->recordingView->frame().midX(), 1.0) << change;
        EXPECT_NEAR(time.minX() - button.maxX(), 10.0, 1.0) << change;
    }
}

TEST_F(Studio, TheBusyIconAndTheMessageFollowThePictureInALargerWindow) {
    buildProject();
    auto* screen = openStudio();
    ASSERT_TRUE(screen);
    const auto size = mainWindow()->contentSize();
    mainWindow()->hostDidResize({size.width + 640, size.height + 300}, false);
    const qrn::Rect picture = screen->recordingView->bounds();
    EXPECT_EQ(screen->videoLoadingIcon->frame().center(), picture.center());
    EXPECT_EQ(screen->videoLabel->frame().width(), picture.width());

    // A message reads over a bright picture: its strip is dark beside the text too.
    screen->recordingView->layer()->setBackgroundColour(qrn::Colour::white());
    captureSessionClass().changeErrorMessage("The take could not be recorded.", std::nullopt, std::nullopt,
                                             MessageType::error);
    auto& root = *screen->mainView;
    root.displayIfNeeded();
    const QImage shot = qrn::graphics::Renderer().renderToImage(*root.layer(), root.bounds().size, 0);
    const qrn::Rect strip = screen->videoLabel->frame();
    const qrn::Point besideText =
        screen->recordingView->convertPointToView({strip.maxX() - 20, strip.midY()}, &root);
    const QColor under = shot.pixelColor(int(besideText.x), int(root.bounds().height() - besideText.y));
    EXPECT_LT(under.lightness(), 128) << under.name().toStdString();
}

TEST_F(Studio, MinimisingAndHidingKeepTheTakeOnShowAndTheMarkersClearAfterTheReturn) {
    buildProject();
    auto* screen = openStudio();
    ASSERT_TRUE(screen);
    recordViewClass studio;
    auto* window = mainWindow();
    studio.flipRecordIcon(true);
    const QImage recordingIcon = screen->recordButton->image();
    screen->playbackView->setHidden(false);

    window->miniaturize();
    EXPECT_TRUE(studio.getRecordViewController());
    advance(1.0);
    window->deminiaturize();
    advance(0.005);
    EXPECT_TRUE(studio.getRecordViewController());
    advance(0.01);
    EXPECT_FALSE(studio.getRecordViewController());
    EXPECT_EQ(screen->recordButton->image(), recordingIcon);
    EXPECT_FALSE(screen->playbackView->isHidden());
    expectEveryViewOnceIn(*screen->recordingView);

    // Hiding minimises every window; the hide marker keeps the studio as it is.
    qrn::ui::Application::shared().hide();
    EXPECT_TRUE(studio.getViewLoaderObject());
    advance(1.0);
    EXPECT_TRUE(studio.getRecordViewSelected());
    window->deminiaturize();
    advance(0.02);
    EXPECT_FALSE(studio.getViewLoaderObject());
    EXPECT_FALSE(studio.getRecordViewController());
    EXPECT_EQ(screen->recordButton->image(), recordingIcon);
    EXPECT_FALSE(screen->playbackView->isHidden());

    // Left while minimised (from the menu), the studio opens afresh next time all the same.
    screen->playbackView->setHidden(true);
    window->miniaturize();
    studio.dismissView();
    advance(1.0);
    ASSERT_TRUE(editingScreen());
    auto* again = openStudio();
    ASSERT_TRUE(again);
    EXPECT_NE(again, screen);
    expectEveryViewOnceIn(*again->recordingView);
    EXPECT_NE(again->recordButton->image(), recordingIcon);
    EXPECT_EQ(studio.getRecordingView(), again->recordingView);
}

TEST_F(Studio, TheTitleBarIconsClearAfterBackAndDisabledButtonsDoNothing) {
    buildProject();
    ASSERT_TRUE(openStudio());
    auto bar = titleBar();
    ASSERT_TRUE(bar);
    int dismissed = 0, saved = 0;
    recordViewClass::setDismissPlaybackCheckHook([&] { ++dismissed; });
    recordViewClass::setSaveRecordingHook([&] { ++saved; });
    bar->buttonDismissPlayback->setHidden(false);
    bar->buttonSavePlayback->setHidden(false);
    bar->buttonDismissPlayback->layout();
    bar->buttonSavePlayback->layout();
    bar->buttonDismissPlayback->svgIconObj()->enableButton(false);
    bar->buttonSavePlayback->svgIconObj()->enableButton(false);
    bar->dismissPlayback();
    bar->savePlayback();
    EXPECT_EQ(dismissed + saved, 0);
    bar->buttonDismissPlayback->svgIconObj()->enableButton(true);
    bar->buttonSavePlayback->svgIconObj()->enableButton(true);
    bar->dismissPlayback();
    bar->savePlayback();
    EXPECT_EQ(dismissed, 1);
    EXPECT_EQ(saved, 1);

    // Back to the editor: the tints go half a second later.
    const auto icon = bar->buttonVideoSettingsView->svgIconObj();
    icon->keepChangedColour(true);
    auto tint = [&] {
        auto picture =
            std::dynamic_pointer_cast<qrn::ui::ImageView>(icon->getImageView()->subviews().front());
        return picture->contentTintColour();
    };
    const auto highlighted = tint();
    bar->dismiss();
    advance(0.4);
    EXPECT_EQ(tint(), highlighted);
    advance(0.2);
    EXPECT_NE(tint(), highlighted);
}
