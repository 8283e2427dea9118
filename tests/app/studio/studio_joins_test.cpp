// Where the studio meets the rest of the app, driven by clicks only: the editing strip's
// thumbnails lent to the next-asset card and given back, the autocue window opened from the
// studio's title bar, and clicks on the layers of the picture while recording.
#include <gtest/gtest.h>

#include <QColor>

#include <filesystem>
#include <fstream>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Recording/autocueDisplayClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Recording/autocueDisplayController.h"
#include "View/Recording/recordScreenTitleBarController.h"
#include "View/Recording/recordViewController.h"
#include "app/layers/layers_support.h"
#include "app/take/take_fixture.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/animated_value.h"
#include "platform/graphics/renderer.h"
#include "platform/media/devices.h"
#include "platform/ui/button.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view.h"
#include "platform/ui/window.h"
#include "studio_fixture.h"

using namespace studiotest;

namespace {

using views = std::vector<std::shared_ptr<qrn::ui::View>>;

// The view of an asset's tile in the editing strip that holds its thumbnail views.
std::shared_ptr<qrn::ui::View> thumbnailsOf(size_t asset) {
    editViewClass edit;
    if (asset == 0)
        return edit.getConfiguration()->stickyAsset->subviews().front()->subviews().back();
    const auto id = std::stoi(previewLayerClass().getAssetArray()[asset]);
    return edit.getAssetHorizontalScrollView()->viewWithTag(id)->superview()->subviews().back();
}

bool lit(const std::shared_ptr<svgButtonClass>& button) {
    return button && button->svgIconObj() && button->svgIconObj()->keepChangedColourValue();
}

bool open(const std::shared_ptr<autocueDisplayController>& controller) {
    return controller && controller->window() && !controller->window()->isClosed();
}

class StudioJoins : public StudioTest {
  protected:
    // Assets 1 ... n, each with one solid layer over the camera in its colour.
    void buildProject(int assets) {
        ASSERT_TRUE(createProject(assets - 1));
        previewLayerClass model;
        auto firstAbove = model.getFirstLayerAboveVideoArray();
        for (int a = 1; a <= assets; ++a) {
            const auto id = layerstest::dropImage(a, {278, 156}, {278, 156}, colours[a - 1].rgba());
            ASSERT_FALSE(id.empty());
            firstAbove[size_t(a)] = id;
        }
        model.setFirstLayerAboveVideoArray(firstAbove);
    }
    const QColor colours[3] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255)};
};

} // namespace

TEST_F(StudioJoins, TheNextAssetCardShowsTheNextSlideAndTheStripGetsItsThumbnailsBackRefitted) {
    buildProject(3);
    std::vector<views> lent;
    std::vector<std::vector<qrn::Rect>> frames;
    for (size_t a = 0; a < 4; ++a) {
        lent.push_back(thumbnailsOf(a)->subviews());
        frames.emplace_back();
        for (const auto& v : lent.back())
            frames.back().push_back(v->frame());
    }
    ASSERT_FALSE(lent[2].empty());

    for (int trip = 0; trip < 2; ++trip) {
        SCOPED_TRACE(trip);
        auto* screen = openStudio();
        ASSERT_TRUE(screen);
        // The strip's tiles are empty while the studio holds their views.
        for (size_t a = 0; a < 4; ++a)
            EXPECT_TRUE(thumbnailsOf(a)->subviews().empty()) << a;
        recordViewClass studio;
        ASSERT_EQ(studio.getAssetPreviewLayerArray().size(), 4u);
        EXPECT_EQ(studio.getAssetPreviewLayerArray()[2], lent[2]);

        // The card shows asset 2, fitted to the card, and the numbers say so.
        const auto& card = screen->nextAssetPreview;
        EXPECT_FALSE(card->isHidden());
        const double scale = card->bounds().width() / 108.58;
        for (size_t k = 0; k < lent[2].size(); ++k) {
            EXPECT_EQ(lent[2][k]->superview(), card);
            EXPECT_NEAR(lent[2][k]->frame().width(), frames[2][k].width() * scale, 1e-6);
        }
        // What the studio shows at the card's middle: the second slide's green layer.
        auto& root = *screen->mainView;
        root.displayIfNeeded();
        const QImage shot = qrn::graphics::Renderer().renderToImage(*root.layer(), root.bounds().size, 0);
        const qrn::Point middle = card->convertPointToView(card->bounds().center(), &root);
        const QColor centre = shot.pixelColor(int(middle.x), int(root.bounds().height() - middle.y));
        EXPECT_EQ(centre.rgb(), colours[1].rgb());
        EXPECT_EQ(screen->nextAssetNumberOne->string(), "2");
        EXPECT_EQ(screen->nextAssetNumberTwo->string(), "/  3");

        // Back in the editor every thumbnail is in its tile again at the strip's size.
        ASSERT_TRUE(backToEditing());
        EXPECT_TRUE(studio.getAssetPreviewLayerArray().empty());
        for (size_t a = 0; a < 4; ++a) {
            const auto shown = thumbnailsOf(a)->subviews();
            ASSERT_EQ(shown, lent[a]) << a;
            for (size_t k = 0; k < shown.size(); ++k) {
                EXPECT_NEAR(shown[k]->frame().minX(), frames[a][k].minX(), 1e-6) << a;
                EXPECT_NEAR(shown[k]->frame().width(), frames[a][k].width(), 1e-6) << a;
                EXPECT_NEAR(shown[k]->frame().height(), frames[a][k].height(), 1e-6) << a;
            }
        }
    }
}

// The studio's own numbering, set as a take's reset sets it.
TEST_F(StudioJoins, WithOneSlideTheNextNumbersReadNoneAlsoAfterATakesReset) {
    buildProject(1);
    auto* screen = openStudio();
    ASSERT_TRUE(screen);
    EXPECT_TRUE(screen->nextAssetPreview->isHidden());
    EXPECT_EQ(screen->nextAssetNumberOne->string(), "0");
    EXPECT_EQ(screen->nextAssetNumberTwo->string(), "/  0");
    recordViewClass studio;
    studio.setNextAssetIndex(1);
    studio.reloadAssetPreviews();
    EXPECT_EQ(screen->nextAssetNumberOne->string(), "0");
    EXPECT_TRUE(screen->nextAssetPreview->isHidden());
}

TEST_F(StudioJoins, TheAutocueButtonOpensTheWindowOnTheFirstScriptLitWhileShownAndLeavingClosesIt) {
    buildProject(2);
    attributedStringStorageClass().setAutocueStringArray(
        {qrn::AttributedString("First slide"), qrn::AttributedString("Second slide")});
    ASSERT_TRUE(openStudio());
    auto bar = studioTitleBar();
    ASSERT_TRUE(bar);
    EXPECT_FALSE(open(autocueDisplayController::current()));
    EXPECT_FALSE(lit(bar->buttonAutocueSettingsView));

    clickButton(*bar->buttonAutocueSettingsView);
    auto autocue = autocueDisplayController::current();
    ASSERT_TRUE(open(autocue));
    EXPECT_TRUE(autocue->window()->isKeyWindow());
    EXPECT_EQ(persistentDataStorageClass().getActiveWindow(), "autocueDisplay");
    EXPECT_EQ(autocueDisplayClass().getAutocueText().string(), "First slide");
    EXPECT_DOUBLE_EQ(autocue->textFieldTopConstraint()->value(), 234);
    EXPECT_FALSE(autocueDisplayClass().getAnimationIsPlaying());
    EXPECT_TRUE(lit(bar->buttonAutocueSettingsView));
    EXPECT_TRUE(lit(autocue->buttonPauseAnimation()));
    // A second press brings the same window forward.
    clickButton(*bar->buttonAutocueSettingsView);
    EXPECT_EQ(autocueDisplayController::current(), autocue);
    advance(0.5);

    // Leaving the studio closes the window and puts the button out.
    ASSERT_TRUE(backToEditing());
    EXPECT_FALSE(open(autocue));
    EXPECT_FALSE(autocueDisplayClass().getWindowIsOpen());
    EXPECT_FALSE(lit(bar->buttonAutocueSettingsView));
}

TEST_F(StudioJoins, TheAutocueOpenedDuringATakeShowsTheScriptOfTheSlideOnScreen) {
    using qrn::media::AccessStatus;
    qrn::media::CaptureAccess::scriptStatus(qrn::media::MediaType::Audio, AccessStatus::Authorized);
    qrn::media::CaptureAccess::scriptStatus(qrn::media::MediaType::Video, AccessStatus::Authorized);
    buildProject(3);
    attributedStringStorageClass().setAutocueStringArray({qrn::AttributedString("First slide"),
                                                          qrn::AttributedString("Second slide"),
                                                          qrn::AttributedString("Third slide")});
    auto* screen = openStudio();
    ASSERT_TRUE(screen);
    ASSERT_TRUE(waitForCameraPicture());
    recordViewClass studio;
    click(*screen->recordButton, screen->recordButton->bounds().center());
    advance(4.5);
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getRecordingStartDate().has_value(); }, 10));
    ASSERT_TRUE(taketest::pumpUntil([&] { return screen->playbackView->isHidden(); }, 10));
    // On to the second slide, then the presenter opens the autocue.
    click(*screen->nextAssetPreview, screen->nextAssetPreview->bounds().center());
    ASSERT_EQ(studio.getNextAssetIndex(), 3);
    auto bar = studioTitleBar();
    ASSERT_TRUE(bar);
    clickButton(*bar->buttonAutocueSettingsView);
    auto autocue = autocueDisplayController::current();
    ASSERT_TRUE(open(autocue));
    EXPECT_EQ(autocueDisplayClass().getAutocueText().string(), "Second slide");
    EXPECT_DOUBLE_EQ(autocue->textFieldTopConstraint()->value(), 234);
    advance(0.5);
    EXPECT_EQ(autocueDisplayClass().getAutocueText().string(), "Second slide");
    // The next step goes on from there.
    click(*screen->nextAssetPreview, screen->nextAssetPreview->bounds().center());
    EXPECT_EQ(autocueDisplayClass().getAutocueText().string(), "Third slide");

    click(*screen->recordButton, screen->recordButton->bounds().center());
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getPlaybackShown(); }, 120));
    // Reset for the next take: the first script again.
    EXPECT_EQ(autocueDisplayClass().getAutocueText().string(), "First slide");
    studio.dismissPlaybackCheck();
    autocueDisplayClass().closeWindow();
}

TEST_F(StudioJoins, ClicksOnAPictureOrTextLayerStepWhileRecordingAndTheBareCameraDoesNot) {
    using qrn::media::AccessStatus;
    qrn::media::CaptureAccess::scriptStatus(qrn::media::MediaType::Audio, AccessStatus::Authorized);
    qrn::media::CaptureAccess::scriptStatus(qrn::media::MediaType::Video, AccessStatus::Authorized);
    buildProject(3);
    // A text layer on the second slide, clear of its picture.
    const auto text = layerstest::dropText(2, {90, 285});
    ASSERT_FALSE(text.empty());
    auto* screen = openStudio();
    ASSERT_TRUE(screen);
    ASSERT_TRUE(waitForCameraPicture());
    auto& picture = *screen->recordingView;
    const auto textHolder = picture.viewWithTag(std::stoi(text))->superview();
    ASSERT_EQ(textHolder->superview().get(), &picture);
    const qrn::Point onText = textHolder->frame().center();
    const qrn::Point middle = picture.bounds().center();

    recordViewClass studio;
    click(*screen->recordButton, screen->recordButton->bounds().center());
    advance(4.5);
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getRecordingStartDate().has_value(); }, 10));
    // The countdown clip lies over the picture until it has played.
    ASSERT_TRUE(taketest::pumpUntil([&] { return screen->playbackView->isHidden(); }, 10));
    // The camera picture alone is no layer.
    click(picture, {10, 40});
    EXPECT_EQ(studio.getAssetTimingArray().size(), 1u);
    // The first slide's picture, then the second slide's text, each take a step.
    click(picture, middle);
    EXPECT_EQ(studio.getAssetTimingArray().size(), 2u);
    EXPECT_FALSE(textHolder->isHidden());
    // The press lands on the text itself.
    const auto* onTheText = picture.hitTest(picture.convertPointToView(onText, picture.superview().get()));
    ASSERT_TRUE(dynamic_cast<const qrn::ui::TextView*>(onTheText));
    ASSERT_EQ(onTheText->superview(), textHolder);
    click(picture, onText);
    EXPECT_EQ(studio.getAssetTimingArray().size(), 3u);
    EXPECT_EQ(studio.getNextAssetIndex(), 4);
    EXPECT_TRUE(textHolder->isHidden());

    click(*screen->recordButton, screen->recordButton->bounds().center());
    ASSERT_TRUE(taketest::pumpUntil([&] { return studio.getPlaybackShown(); }, 120));
    studio.dismissPlaybackCheck();
}

TEST_F(StudioJoins, ANewProjectFromTheStudioTakesNoThumbnailOfTheOldOne) {
    buildProject(2);
    // A sticky layer has a thumbnail in every tile.
    ASSERT_FALSE(layerstest::dropImage(0, {60, 40}, {500, 280}).empty());
    ASSERT_TRUE(openStudio());
    ASSERT_FALSE(recordViewClass().getAssetPreviewLayerArray().empty());
    const auto oldLent = recordViewClass().getAssetPreviewLayerArray();

    panelAnswers.push_back(dir.path().toStdString() + "/Next.qrn3ks");
    fileMenuClass().newProject();
    advance(2.0);
    ASSERT_TRUE(editingScreen());
    EXPECT_TRUE(recordViewClass().getAssetPreviewLayerArray().empty());
    const auto assets = previewLayerClass().getAssetArray();
    ASSERT_EQ(assets.size(), 2u);
    for (size_t a = 0; a < assets.size(); ++a)
        for (const auto& shown : thumbnailsOf(a)->subviews())
            for (const auto& old : oldLent)
                EXPECT_EQ(std::find(old.begin(), old.end(), shown), old.end()) << a;
}

// A take cannot be made again: only the presenter's dismiss deletes one. A new project started
// from the studio, or quitting, puts the movie on show away and leaves it in its folder.
TEST_F(StudioJoins, AnUnsavedTakeOnShowStaysInTheProjectFolderAtNewAndQuit) {
    buildProject(1);
    ASSERT_TRUE(openStudio());
    const auto movie = [](const std::string& folder, const std::string& name) {
        const std::string path = folder + "/" + name + ".mov";
        std::ofstream(path) << "a take";
        return path;
    };
    recordViewClass studio;
    const std::string first = movie(projectPath(), "1B9A2C3D-0000-4000-8000-00000000000A");
    studio.playbackRecording(first, "1B9A2C3D-0000-4000-8000-00000000000A");
    ASSERT_TRUE(studio.getPlaybackShown());

    const std::string next = dir.path().toStdString() + "/Next.qrn3ks";
    panelAnswers.push_back(next);
    fileMenuClass().newProject();
    advance(2.0);
    ASSERT_TRUE(editingScreen());
    EXPECT_TRUE(std::filesystem::exists(first));
    EXPECT_FALSE(studio.getPlaybackShown());

    ASSERT_TRUE(openStudio());
    const std::string second = movie(next, "1B9A2C3D-0000-4000-8000-00000000000B");
    studio.playbackRecording(second, "1B9A2C3D-0000-4000-8000-00000000000B");
    ASSERT_TRUE(studio.getPlaybackShown());
    delegate.applicationWillTerminate();
    EXPECT_TRUE(std::filesystem::exists(second));
    EXPECT_FALSE(studio.getPlaybackShown());
    EXPECT_TRUE(std::filesystem::exists(first));
}

// Screen space, y up; a window manager's frame of a 24-point title bar and 1-point borders, and a
// 22-point menu bar in the studio's window.
TEST(AutocuePlacement, BesideTheStudioWhereThereIsRoomAboveItElseAtTheTopClearOfItsControls) {
    using qrn::Rect;
    autocueDisplayController::studioPlacement studio;
    studio.surroundings.frame = qrn::EdgeInsets{24, 1, 1, 1};
    studio.surroundings.menuBar = 22;
    studio.surroundings.screenArea = Rect(0, 0, 2560, 1400);
    const auto outer = [](const Rect& r) { return r.inset(qrn::EdgeInsets{-24, -1, -1, -1}); };

    // Room on the right of a studio at the left: beside it, from the screen's top.
    studio.studio = Rect(100, 300, 1280, 800);
    Rect frame = autocueDisplayController::firstWindowFrame(studio);
    EXPECT_EQ(frame.size, (qrn::Size{649, 480}));
    EXPECT_GT(frame.minX() - 1, studio.studio.maxX() + 1);
    EXPECT_DOUBLE_EQ(outer(frame).maxY(), 1400);
    // More room on the left: there, also when it has to be narrower than usual.
    studio.studio = Rect(620, 300, 1800, 800);
    frame = autocueDisplayController::firstWindowFrame(studio);
    EXPECT_LT(outer(frame).maxX(), 620 - 1);
    EXPECT_GE(outer(frame).minX(), 0);
    EXPECT_GE(frame.width(), 600);

    // No room beside, some above a low studio: across from the camera, only as tall as the room.
    studio.surroundings.screenArea = Rect(0, 0, 1920, 1080);
    studio.studio = Rect(320, 0, 1280, 560);
    frame = autocueDisplayController::firstWindowFrame(studio);
    EXPECT_DOUBLE_EQ(frame.midX(), 960);
    EXPECT_DOUBLE_EQ(outer(frame).maxY(), 1080);
    EXPECT_GT(outer(frame).minY(), 560 + 47);
    EXPECT_GE(frame.height(), 400);

    // No room at all: at the top edge, the nearest place to the camera that covers no control.
    studio.studio = Rect(320, 100, 1280, 900);
    studio.controls = {Rect(900, 700, 200, 300), Rect(330, 1000, 100, 30)};
    frame = autocueDisplayController::firstWindowFrame(studio);
    EXPECT_DOUBLE_EQ(outer(frame).maxY(), 1080);
    for (const auto& control : studio.controls)
        EXPECT_FALSE(outer(frame).intersects(control));
    EXPECT_DOUBLE_EQ(outer(frame).minX(), 1100 + 8);
    // Without a place clear of them it stays across from the camera.
    studio.controls.push_back(Rect(0, 1000, 1920, 10));
    EXPECT_DOUBLE_EQ(autocueDisplayController::firstWindowFrame(studio).midX(), 960);
}
