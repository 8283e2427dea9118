#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "../preview/preview_fixture.h"
#include "Controller/Editing/imageClass.h"
#include "View/Editing/dragViewView.h"
#include "View/Global/iconViewView.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/dragging.h"
#include "platform/ui/file_url.h"
#include "platform/ui/pasteboard.h"
#include "support/log_capture.h"
#include "support/picture_server.h"

using namespace previewtest;

namespace {

using qrn::test::pictureServer;

bool runUntil(const std::function<bool()>& done) {
    return qrn::test::runEventsAndQueueUntil(done);
}

class ImageDrop : public qrn::test::LogCapture {
  protected:
    previewScene scene;
    std::shared_ptr<dragViewView> view = qrn::ui::makeView<dragViewView>(qrn::Rect(0, 0, 556, 313));
    std::vector<droppedLayer> added;
    QTemporaryDir folder;
    int sequence = 0;

    void SetUp() override {
        LogCapture::SetUp();
        scene.addAsset();
        dragViewView::setAddLayerHook([this](const droppedLayer& layer) { added.push_back(layer); });
    }
    void TearDown() override {
        dragViewView::setAddLayerHook(nullptr);
        dragViewView::setGetImagesHook(nullptr);
        LogCapture::TearDown();
    }
    QUrl file(const char* name, const QByteArray& bytes) {
        QFile f(folder.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return QUrl::fromLocalFile(f.fileName());
    }
    qrn::ui::DraggingInfo dragOf(std::vector<qrn::ui::PasteboardItem> items) {
        auto board = qrn::ui::Pasteboard::makeForDrag();
        board->writeItems(std::move(items));
        qrn::ui::DraggingInfo info({200, 100}, board);
        info.setSequenceNumber(++sequence);
        return info;
    }
    bool logged(const std::string& text) const {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }
};

} // namespace

TEST_F(ImageDrop, AFileDropAddsTheFirstPictureOnlyAndLeavesTheClipboardAlone) {
    const int clipboard = qrn::ui::Pasteboard::general().changeCount();
    auto info = dragOf({qrn::ui::PasteboardItem::withURL(file("a.png", qrn::test::pngBytes(30, 10, Qt::red))),
                        qrn::ui::PasteboardItem::withURL(file("b.png", qrn::test::pngBytes(8, 8, Qt::red)))});
    EXPECT_EQ(view->draggingEntered(info), unsigned(qrn::ui::DragOperationCopy));
    ASSERT_TRUE(view->prepareForDragOperation(info));
    EXPECT_TRUE(view->performDragOperation(info));
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].size, (qrn::Size{30, 10}));
    EXPECT_TRUE(added[0].url->path().endsWith("a.png"));
    EXPECT_EQ(added[0].center, (qrn::Point{200, 100}));
    EXPECT_EQ(qrn::ui::Pasteboard::general().changeCount(), clipboard);
}

// A file manager hands over a file in a folder whose name is not valid UTF-8 by its bytes,
// percent-encoded: the picture is read, and the layer stores that file, not one of a name with
// replacement characters.
TEST_F(ImageDrop, APictureInAFolderWhoseNameIsNotUtf8IsDropped) {
    const std::string inside = folder.path().toStdString() + "/photos_\xff\xfe";
    std::filesystem::create_directory(inside);
    const QByteArray png = qrn::test::pngBytes(14, 6, Qt::red);
    std::ofstream(inside + "/e.png", std::ios::binary).write(png.constData(), png.size());
    const QUrl url =
        QUrl::fromEncoded("file://" + QByteArray::fromStdString(inside + "/e.png").toPercentEncoding("/"));
    auto info = dragOf({qrn::ui::PasteboardItem::withURL(url)});
    EXPECT_EQ(view->draggingEntered(info), unsigned(qrn::ui::DragOperationCopy));
    ASSERT_TRUE(view->prepareForDragOperation(info));
    EXPECT_TRUE(view->performDragOperation(info));
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].size, (qrn::Size{14, 6}));
    EXPECT_EQ(qrn::ui::localFilePath(*added[0].url), inside + "/e.png");
    // Qt cannot name it to remove it.
    std::filesystem::remove_all(inside);
}

TEST_F(ImageDrop, APictureOfUnknownKindIsRefusedAndTheReasonLogged) {
    auto info = dragOf({qrn::ui::PasteboardItem::withURL(file("old.png", QByteArray("BM\x00\x00", 4)))});
    EXPECT_EQ(view->draggingEntered(info), unsigned(qrn::ui::DragOperationNone));
    EXPECT_FALSE(view->prepareForDragOperation(info));
    EXPECT_TRUE(added.empty());
    EXPECT_TRUE(logged("Unrecognisable image extension"));
}

TEST_F(ImageDrop, AWebPictureBecomesDroppableAfterItsCheckAndIsKeptAsAFile) {
    pictureServer server;
    auto info = dragOf({qrn::ui::PasteboardItem::withURL(server.url("/pic"))});
    EXPECT_EQ(view->draggingEntered(info), unsigned(qrn::ui::DragOperationNone));
    ASSERT_TRUE(runUntil([&] { return view->fileTypeIsOk; }));
    EXPECT_EQ(view->draggingUpdated(info), unsigned(qrn::ui::DragOperationCopy));
    ASSERT_TRUE(view->prepareForDragOperation(info));
    ASSERT_EQ(added.size(), 1u);
    ASSERT_TRUE(added[0].url && added[0].url->isLocalFile());
    EXPECT_TRUE(added[0].url->path().endsWith(".png"));
    QFile stored(added[0].url->toLocalFile());
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), server.picture);
    stored.remove();
}

TEST_F(ImageDrop, ALateAnswerAboutAnEarlierDragChangesNothing) {
    pictureServer server;
    auto web = dragOf({qrn::ui::PasteboardItem::withURL(server.url("/pic"))});
    view->draggingEntered(web);
    auto local =
        dragOf({qrn::ui::PasteboardItem::withURL(file("c.png", qrn::test::pngBytes(12, 6, Qt::red)))});
    EXPECT_EQ(view->draggingEntered(local), unsigned(qrn::ui::DragOperationCopy));
    // Give the web check every chance to arrive.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        qrn::MainQueue::runPending();
    }
    ASSERT_TRUE(view->imageURL);
    EXPECT_TRUE(view->imageURL->path().endsWith("c.png"));
    // A missing web picture is refused.
    auto missing = dragOf({qrn::ui::PasteboardItem::withURL(server.url("/none"))});
    view->draggingEntered(missing);
    ASSERT_TRUE(runUntil([&] { return view->messageString == std::string("Unable to verify image URL"); }));
    EXPECT_FALSE(view->fileTypeIsOk);
}

TEST_F(ImageDrop, ASymbolDropCarriesItsOwnTagAndAnAnimatedOneStartsAtTheMinimumSize) {
    dragViewView::setGetImagesHook([](int tag) {
        QImage frame(4, 4, QImage::Format_ARGB32);
        frame.fill(Qt::blue);
        return std::vector<std::pair<std::string, QImage>>{{"spin" + std::to_string(tag) + "a", frame},
                                                           {"spin" + std::to_string(tag) + "b", frame}};
    });
    qrn::ui::PasteboardItem item;
    item.set(qrn::ui::pasteboard_type::symbol, QJsonDocument(QJsonObject{{"tag", 7}}).toJson());
    auto info = dragOf({item});
    EXPECT_EQ(view->draggingEntered(info), unsigned(qrn::ui::DragOperationCopy));
    ASSERT_TRUE(view->prepareForDragOperation(info));
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].frames.size(), 2u);
    EXPECT_EQ(added[0].size, (qrn::Size{10, 10}));
    EXPECT_FALSE(added[0].saveImageToProject);

    // A symbol picture keeps its proportions: 200 x 100 stays 2:1.
    QImage wide(200, 100, QImage::Format_ARGB32);
    wide.fill(Qt::green);
    qrn::ui::PasteboardItem picture;
    picture.set(qrn::ui::pasteboard_type::tiff, iconViewView::tiffData(wide));
    picture.set(qrn::ui::pasteboard_type::symbol, QJsonDocument(QJsonObject{{"name", "star"}}).toJson());
    auto drawn = dragOf({picture});
    view->draggingEntered(drawn);
    ASSERT_TRUE(view->prepareForDragOperation(drawn));
    ASSERT_EQ(added.size(), 2u);
    EXPECT_DOUBLE_EQ(added[1].size.width / added[1].size.height, 2.0);

    // A later file drag is a file drop, whatever the picker last held.
    auto later =
        dragOf({qrn::ui::PasteboardItem::withURL(file("d.png", qrn::test::pngBytes(5, 5, Qt::red)))});
    view->draggingEntered(later);
    ASSERT_TRUE(view->prepareForDragOperation(later));
    ASSERT_EQ(added.size(), 3u);
    EXPECT_TRUE(added[2].url.has_value());
}
