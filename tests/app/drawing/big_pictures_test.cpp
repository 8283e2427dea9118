// Pictures far larger than the preview, dropped on it as a presenter drops them: a photo from a
// 48-megapixel camera and a GIF of thousands of frames both become layers, held at a size the
// preview can use.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Model/globalAppSettingsClass.h"
#include "View/Editing/dragViewView.h"
#include "View/Editing/viewLoaderController.h"
#include "app/studio/studio_fixture.h"
#include "platform/foundation/alerts.h"
#include "platform/graphics/renderer.h"
#include "platform/imaging/decode_budget.h"
#include "platform/imaging/frame_stream.h"
#include "platform/ui/dragging.h"
#include "platform/ui/image_view.h"
#include "platform/ui/pasteboard.h"
#include "support/gif_writer.h"

namespace {

class BigPictures : public studiotest::StudioTest {
  protected:
    QTemporaryDir folder;
    std::vector<std::string> log;

    void SetUp() override {
        StudioTest::SetUp();
        qrn::setLogSinkForTesting([this](const std::string& l) { log.push_back(l); });
        globalAppSettingsClass::setShowLogsForTesting(true);
    }
    void TearDown() override {
        qrn::setLogSinkForTesting(nullptr);
        globalAppSettingsClass::setShowLogsForTesting(false);
        StudioTest::TearDown();
    }

    // Drops the file on the preview at `at` (preview points) through the editing screen's drop view.
    bool drop(viewLoaderController& editor, const QString& file, qrn::Point at) {
        return dropFile(editor, file, at);
    }
    // The picture view of the selected layer in the preview.
    static std::shared_ptr<qrn::ui::ImageView> selectedPicture() {
        previewLayerClass model;
        const auto id = model.getSelectedLayer();
        const auto configuration = model.getConfiguration();
        if (!id || !configuration)
            return nullptr;
        const auto tagged = configuration->layerContainerView->viewWithTag(*id);
        const auto holder = tagged ? tagged->superview() : nullptr;
        for (const auto& sub : holder ? holder->subviews() : decltype(holder->subviews()){})
            if (auto picture = std::dynamic_pointer_cast<qrn::ui::ImageView>(sub))
                return picture;
        return nullptr;
    }
    bool logged(const std::string& text) const {
        return std::any_of(log.begin(), log.end(),
                           [&](const auto& l) { return l.find(text) != std::string::npos; });
    }
};

} // namespace

TEST_F(BigPictures, AFortyEightMegapixelPhotoBecomesALayerAndOnlyAnUndecodableFileIsRefused) {
    auto* editor = createProject(1);
    ASSERT_TRUE(editor);
    previewLayerClass model;
    const qrn::Size preview = model.getVideoLayerView()->superview()->bounds().size;
    const qrn::Point centre{preview.width / 2, preview.height / 2};

    const QString photo = folder.filePath("camera.jpg");
    {
        QImage big(8000, 6000, QImage::Format_RGB888);
        big.fill(QColor(30, 140, 200));
        ASSERT_TRUE(big.save(photo, "JPG", 30));
    }
    const size_t slide = size_t(model.getSelectedAssetIndex());
    const size_t before = model.getLayerArrayReference()[slide].size();
    ASSERT_TRUE(drop(*editor, photo, centre));
    ASSERT_EQ(model.getLayerArrayReference()[slide].size(), before + 1);
    const auto picture = selectedPicture();
    ASSERT_TRUE(picture);
    const QImage held = picture->image();
    EXPECT_FALSE(held.isNull());
    // What covers the movie frame, no more: 1920 x 1440.
    EXPECT_LE(held.width(), 1920);
    EXPECT_LE(held.height(), 1440);
    EXPECT_NEAR(double(held.width()) / held.height(), 8000.0 / 6000.0, 0.01);
    EXPECT_NEAR(qBlue(held.pixel(held.width() / 2, held.height() / 2)), 200, 8);
    EXPECT_FALSE(logged("Unable to create image"));

    // A PNG by its first bytes whose body is not a picture at all.
    const QString broken = folder.filePath("broken.png");
    {
        QFile file(broken);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(4000, 'x'));
    }
    EXPECT_FALSE(drop(*editor, broken, centre));
    EXPECT_EQ(model.getLayerArrayReference()[slide].size(), before + 1);
    EXPECT_TRUE(logged("Unable to create image"));
    EXPECT_TRUE(alerts.empty());

    // A picture too large to read within the decode budget (a GIF of a 16384 x 16384 screen, which
    // Qt's reader makes whole) is refused and named.
    const QString huge = folder.filePath("huge.gif");
    {
        QByteArray gif = qrn::test::gif_detail::header(16384, 16384, {qRgb(0, 0, 255)});
        qrn::test::gif_detail::image(gif, {0, 0}, 1, 1, 0, 0);
        gif.append(char(0x3b));
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(gif);
    }
    EXPECT_FALSE(drop(*editor, huge, centre));
    EXPECT_EQ(model.getLayerArrayReference()[slide].size(), before + 1);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], "The picture \"huge.gif\" is too large to show.");
}

TEST_F(BigPictures, AGifOfFiveThousandFramesPlaysEveryFrameWithinItsBudget) {
    auto* editor = createProject(1);
    ASSERT_TRUE(editor);
    previewLayerClass model;
    const qrn::Size preview = model.getVideoLayerView()->superview()->bounds().size;

    // 400 x 400 pixels, every frame a tenth of a second: held whole, 5000 frames would take 3.2 GB.
    constexpr int side = 400, cell = 5, frames = 5000;
    const QString gif = folder.filePath("long.gif");
    {
        QFile file(gif);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(qrn::test::steppingGif(side, side, frames, cell, 10));
    }
    ASSERT_TRUE(drop(*editor, gif, {preview.width / 2, preview.height / 2}));
    const auto picture = selectedPicture();
    ASSERT_TRUE(picture);
    ASSERT_TRUE(picture->playsOnTimeline());
    const auto& animation = picture->animatedImage();
    ASSERT_EQ(animation.frameCount(), size_t(frames));
    EXPECT_NEAR(animation.totalDuration(), frames * 0.1, 1e-6);

    // What the layer draws at the middle of frame k: cell k lit, cell k + 1 not yet.
    const qrn::Rect shown = picture->imageRect();
    const auto lit = [&](const QImage& drawn, int k) {
        const QPoint c = qrn::test::steppingCell(k, side, cell);
        const double x = shown.origin.x + (c.x() + cell / 2.0) * shown.size.width / side;
        const double y = shown.origin.y + (c.y() + cell / 2.0) * shown.size.height / side;
        return qGray(drawn.pixel(int(x), int(y))) > 128;
    };
    qrn::graphics::Renderer renderer;
    // Each frame decoded as it is drawn takes its lease too.
    qrn::imaging::resetPeakLeasedBytes();
    renderer.snapshot(*picture->layer(), 250.05);
    EXPECT_GE(qrn::imaging::peakLeasedBytes(), qrn::imaging::frameDecodeBytes(QSize(side, side), {}));
    for (const int k : {1, 2, 777, 2500, 4998, 4999}) {
        const QImage drawn = renderer.snapshot(*picture->layer(), (k + 0.5) * 0.1);
        EXPECT_TRUE(lit(drawn, k)) << "frame " << k;
        if (k + 1 < frames) {
            EXPECT_FALSE(lit(drawn, k + 1)) << "frame " << k;
        }
    }
    // Round again: the first frames come back.
    EXPECT_FALSE(lit(renderer.snapshot(*picture->layer(), frames * 0.1 + 0.05), 1));
    EXPECT_LE(animation.heldBytes(), qrn::ui::AnimatedImage::kBudgetBytes);
    EXPECT_GT(animation.heldBytes(), 0u);
}
