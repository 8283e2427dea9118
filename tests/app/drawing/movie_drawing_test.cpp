// The same layers in the editing preview, the studio and the composed movie: a text keeps its
// share of the picture's width, and a dropped GIF plays in all three.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QUrl>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "View/Editing/dragViewView.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Recording/recordViewController.h"
#include "app/layers/layers_support.h"
#include "app/studio/studio_fixture.h"
#include "app/take/take_fixture.h"
#include "drawing_support.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/renderer.h"
#include "platform/media/capture_session.h"
#include "platform/media/devices.h"
#include "platform/media/movie_reader.h"
#include "platform/ui/dragging.h"
#include "platform/ui/pasteboard.h"
#include "platform/ui/view.h"

namespace {

class DrawingInTheMovie : public studiotest::StudioTest {};

constexpr QRgb red = 0xffff0000, blue = 0xff0000ff;

// What a view's layers draw, one point per pixel, at time t.
QImage drawn(qrn::ui::View& view, double t) {
    view.displayIfNeeded();
    qrn::graphics::Renderer renderer;
    return renderer.snapshot(*view.layer(), t);
}

std::optional<QImage> movieFrame(const std::string& path, double t) {
    auto reader = qrn::media::VideoTrackReader::open(path);
    if (!reader)
        return std::nullopt;
    auto frame = reader.value()->frameAt(t);
    if (!frame)
        return std::nullopt;
    return reader.value()->image(frame.value());
}

// Mostly red or mostly blue.
char hue(QRgb p) {
    if (qRed(p) > 150 && qBlue(p) < 100)
        return 'r';
    if (qBlue(p) > 150 && qRed(p) < 100)
        return 'b';
    return '?';
}

// Width of the light text in the left half of a picture, as a share of the picture's width.
double textShare(const QImage& picture) {
    const QRect ink = drawingtest::inkExtent(picture, drawingtest::light,
                                             QRect(0, 0, picture.width() / 2, picture.height()));
    return ink.isEmpty() ? 0 : double(ink.width()) / picture.width();
}

} // namespace

TEST_F(DrawingInTheMovie, TextKeepsItsShareOfThePictureAndAGifPlaysInPreviewStudioAndMovie) {
    using qrn::media::AccessStatus;
    qrn::media::CaptureAccess::scriptStatus(qrn::media::MediaType::Audio, AccessStatus::Authorized);
    qrn::media::CaptureAccess::scriptStatus(qrn::media::MediaType::Video, AccessStatus::Authorized);
    auto* editor = createProject(1);
    ASSERT_TRUE(editor);
    previewLayerClass model;
    const qrn::Rect preview = model.getVideoLayerView()->superview()->bounds();
    const double W = preview.width(), H = preview.height();
    // A black ground over the camera, a text on its left and a GIF on its right.
    const auto ground = layerstest::dropImage(1, {W, H}, {W / 2, H / 2}, 0xff000000);
    ASSERT_FALSE(ground.empty());
    auto firstAbove = model.getFirstLayerAboveVideoArray();
    firstAbove[1] = ground;
    model.setFirstLayerAboveVideoArray(firstAbove);
    ASSERT_FALSE(layerstest::dropText(1, {W * 0.25, H * 0.7}).empty());

    // The GIF comes as a file dropped on the preview: red for half a second, then blue.
    QTemporaryDir folder;
    const std::string gif = folder.filePath("moving.gif").toStdString();
    ASSERT_TRUE(drawingtest::writeSolidColourGif(gif, 40, 40, {red, blue}, 50));
    auto board = qrn::ui::Pasteboard::makeForDrag();
    board->writeItems({qrn::ui::PasteboardItem::withURL(QUrl::fromLocalFile(QString::fromStdString(gif)))});
    auto& drop = *editor->dragView;
    const qrn::Point gifCentre{W * 0.75, H * 0.3};
    qrn::ui::DraggingInfo info(drop.convertPointToView(gifCentre, nullptr), board);
    drop.draggingEntered(info);
    ASSERT_TRUE(drop.prepareForDragOperation(info));
    ASSERT_TRUE(drop.performDragOperation(info));
    drop.draggingEnded(info);
    advance(1.5);
    ASSERT_EQ(model.getLayerArrayReference()[1].size(), 3u);

    // The preview: the GIF's frame changes with time; the text is whole.
    const int gx = int(gifCentre.x), gy = int(H - gifCentre.y);
    EXPECT_EQ(hue(drawn(drop, 0.2).pixel(gx, gy)), 'r');
    EXPECT_EQ(hue(drawn(drop, 0.7).pixel(gx, gy)), 'b');
    const double previewShare = textShare(drawn(drop, 0.2));
    EXPECT_GT(previewShare * W, 85.0);

    // The studio: the same share, the same GIF.
    auto* screen = openStudio();
    ASSERT_TRUE(screen);
    ASSERT_TRUE(waitForCameraPicture());
    auto& studio = *screen->recordingView;
    const qrn::Size S = studio.bounds().size;
    const int sx = int(S.width * 0.75), sy = int(S.height * 0.7);
    EXPECT_EQ(hue(drawn(studio, 1.2).pixel(sx, sy)), 'r');
    EXPECT_EQ(hue(drawn(studio, 1.7).pixel(sx, sy)), 'b');
    const double studioShare = textShare(drawn(studio, 1.2));
    EXPECT_NEAR(studioShare / previewShare, 1.0, 0.03) << studioShare << " " << previewShare;

    // The movie.
    recordViewClass record;
    screen->startRecording();
    advance(4.5);
    ASSERT_TRUE(captureSessionClass().getStartedRecording());
    ASSERT_TRUE(taketest::pumpUntil([&] { return record.getRecordingStartDate().has_value(); }, 10));
    const double end = qrn::media::captureClock() + 2.0;
    taketest::pumpUntil([&] { return qrn::media::captureClock() >= end; }, 7);
    screen->startRecording();
    ASSERT_TRUE(taketest::pumpUntil([&] { return record.getPlaybackShown(); }, 120));
    const auto movie = *record.getPlaybackFileURL();
    const auto early = movieFrame(movie, 0.6), late = movieFrame(movie, 1.1);
    ASSERT_TRUE(early && late);
    const int mx = int(early->width() * 0.75), my = int(early->height() * 0.7);
    EXPECT_EQ(hue(early->pixel(mx, my)), 'b');
    EXPECT_EQ(hue(late->pixel(mx, my)), 'r');
    const double movieShare = textShare(*late);
    EXPECT_NEAR(movieShare / studioShare, 1.0, 0.02) << movieShare << " " << studioShare;
    std::printf("text width share: preview %.4f (%.1f of %.0f), studio %.4f (of %.0f), movie %.4f (of %d)\n",
                previewShare, previewShare * W, W, studioShare, S.width, movieShare, late->width());
    record.dismissPlaybackCheck();
}
