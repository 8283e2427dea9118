// Drag destinations driven by hand-built dragging infos, drag sources, and pasteboards.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTemporaryDir>

#include "platform/foundation/main_queue.h"
#include "platform/ui/window.h"

using namespace qrn;
using namespace qrn::ui;

namespace {

// A drop target that refuses until told the content is fine, like a check that finishes later.
class DropTarget : public View {
  public:
    DropTarget(Rect frame, std::vector<std::string>& log) : View(frame), log_(log) {
        registerForDraggedTypes({pasteboard_type::fileURL, pasteboard_type::url});
    }
    unsigned draggingEntered(DraggingInfo& info) override {
        log_.push_back("entered");
        lastLocation = convertPointFromView(info.draggingLocation(), nullptr);
        return ready ? DragOperationCopy : DragOperationNone;
    }
    unsigned draggingUpdated(DraggingInfo&) override {
        log_.push_back("updated");
        return ready ? DragOperationCopy : DragOperationNone;
    }
    void draggingExited(DraggingInfo&) override { log_.push_back("exited"); }
    bool prepareForDragOperation(DraggingInfo& info) override {
        log_.push_back("prepare");
        info.setAnimatesToDestination(false);
        return true;
    }
    bool performDragOperation(DraggingInfo& info) override {
        log_.push_back("perform");
        dropped = info.draggingPasteboard().readURLs(true);
        return !dropped.empty();
    }
    void concludeDragOperation(DraggingInfo&) override { log_.push_back("conclude"); }
    void draggingEnded(DraggingInfo&) override { log_.push_back("ended"); }

    bool ready = true;
    Point lastLocation;
    std::vector<QUrl> dropped;

  private:
    std::vector<std::string>& log_;
};

std::shared_ptr<Pasteboard> boardWithFiles(std::vector<QString> paths) {
    auto board = Pasteboard::makeForDrag();
    std::vector<PasteboardItem> items;
    for (auto& p : paths)
        items.push_back(PasteboardItem::withURL(QUrl::fromLocalFile(p)));
    board->writeItems(items);
    return board;
}

struct DropFixture : ::testing::Test {
    std::vector<std::string> log;
    WindowPtr window = Window::make(Rect(0, 0, 400, 300));
    std::shared_ptr<DropTarget> target = std::make_shared<DropTarget>(Rect(100, 100, 100, 100), log);
    ViewPtr cover = View::make(Rect(150, 150, 20, 20)); // an unregistered view on top
    void SetUp() override {
        window->contentView()->addSubview(target);
        target->addSubview(cover);
        window->makeKeyAndOrderFront();
    }
};

} // namespace

TEST_F(DropFixture, EnteredUpdatedPreparePerformConcludeEnded) {
    DraggingInfo info({120, 130}, boardWithFiles({"/tmp/a.png", "/tmp/b.jpg"}), DragOperationCopy);
    EXPECT_EQ(window->draggingEntered(info), DragOperationCopy);
    EXPECT_EQ(target->lastLocation, (Point{20, 30}));
    info.setDraggingLocation({160, 160}); // over the unregistered subview: still the target
    EXPECT_EQ(window->draggingUpdated(info), DragOperationCopy);
    EXPECT_TRUE(window->performDrop(info));
    EXPECT_EQ(log,
              (std::vector<std::string>{"entered", "updated", "prepare", "perform", "conclude", "ended"}));
    EXPECT_FALSE(info.animatesToDestination());
    ASSERT_EQ(target->dropped.size(), 2u);
    EXPECT_EQ(target->dropped[0].toLocalFile(), "/tmp/a.png");
}

TEST_F(DropFixture, RestingDragIsUpdatedOnATimerAndCanBecomeAcceptable) {
    target->ready = false;
    DraggingInfo info({120, 130}, boardWithFiles({"/tmp/a.png"}));
    EXPECT_EQ(window->draggingEntered(info), DragOperationNone);
    MainQueue::advance(Window::dragUpdateInterval * 3 + 0.001);
    EXPECT_EQ(std::count(log.begin(), log.end(), "updated"), 3);
    target->ready = true; // the check finished while the pointer rested
    MainQueue::advance(Window::dragUpdateInterval);
    EXPECT_TRUE(window->performDrop(info));
    // Once dropped, nothing keeps asking.
    auto before = log.size();
    MainQueue::advance(1);
    EXPECT_EQ(log.size(), before);
}

TEST_F(DropFixture, RefusedDropAndLeavingTheTarget) {
    DraggingInfo info({120, 130}, boardWithFiles({"/tmp/a.png"}));
    window->draggingEntered(info);
    info.setDraggingLocation({10, 10}); // off the target
    EXPECT_EQ(window->draggingUpdated(info), DragOperationNone);
    EXPECT_EQ(window->dragDestination(), nullptr);
    EXPECT_FALSE(window->performDrop(info));
    EXPECT_EQ(log, (std::vector<std::string>{"entered", "exited", "ended"}));

    // Refused by the target: exited instead of prepare, then ended.
    log.clear();
    target->ready = false;
    info.setDraggingLocation({120, 130});
    window->draggingEntered(info);
    EXPECT_FALSE(window->performDrop(info));
    EXPECT_EQ(log, (std::vector<std::string>{"entered", "exited", "ended"}));

    // Content of a kind the view did not register for never reaches it.
    log.clear();
    auto text = Pasteboard::makeForDrag();
    text->setData(pasteboard_type::string, "hello");
    DraggingInfo other({120, 130}, text);
    EXPECT_EQ(window->draggingEntered(other), DragOperationNone);
    window->draggingExited(other);
    EXPECT_TRUE(log.empty());
}

TEST(DragSource, StartsWithPrivateDataAndHearsTheEnd) {
    struct Source : DraggingSource {
        unsigned ended = 99;
        void draggingSessionEnded(Point, unsigned op) override { ended = op; }
    } source;
    auto view = View::make(Rect(0, 0, 50, 50));
    // Without a host, the drag ends at once with nothing done.
    beginDraggingSession(*view, {PasteboardItem::withData(pasteboard_type::symbol, "12")}, QImage(),
                         Event::mouse(EventType::MouseDragged, {5, 5}), &source);
    EXPECT_EQ(source.ended, DragOperationNone);

    // A host that delivers it onto a window's drop target.
    std::vector<std::string> log;
    auto window = Window::make(Rect(0, 0, 200, 200));
    struct SymbolTarget : View {
        using View::View;
        std::string got;
        unsigned draggingEntered(DraggingInfo&) override { return DragOperationCopy; }
        bool performDragOperation(DraggingInfo& info) override {
            got = info.draggingPasteboard().data(pasteboard_type::symbol).value_or("").toStdString();
            return info.draggingSource() != nullptr;
        }
    };
    auto dropTarget = std::make_shared<SymbolTarget>(Rect(0, 0, 200, 200));
    dropTarget->registerForDraggedTypes({pasteboard_type::symbol});
    window->contentView()->addSubview(dropTarget);
    setDragDriver([&](const DragRequest& r) -> unsigned {
        DraggingInfo info({100, 100}, r.pasteboard, r.operationMask);
        info.setDraggingSource(r.sourceView);
        info.setDraggedImage(r.image);
        window->draggingEntered(info);
        return window->performDrop(info) ? DragOperationCopy : DragOperationNone;
    });
    QImage picture(8, 8, QImage::Format_ARGB32_Premultiplied);
    beginDraggingSession(*view, {PasteboardItem::withData(pasteboard_type::symbol, "12")}, picture,
                         Event::mouse(EventType::MouseDragged, {5, 5}), &source);
    setDragDriver({});
    EXPECT_EQ(dropTarget->got, "12");
    EXPECT_EQ(source.ended, DragOperationCopy);
}

TEST(Pasteboards, UrlsFilteredToImagesAndTheGeneralPasteboardUsesTheClipboard) {
    auto board = Pasteboard::makeForDrag();
    board->writeItems({PasteboardItem::withURL(QUrl::fromLocalFile("/x/notes.txt")),
                       PasteboardItem::withURL(QUrl::fromLocalFile("/x/photo.JPG")),
                       PasteboardItem::withURL(QUrl("https://example.org/pic"))});
    auto images = board->readURLs(true);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].toLocalFile(), "/x/photo.JPG");
    EXPECT_EQ(images[1].toString(), "https://example.org/pic"); // unknown until fetched: kept
    EXPECT_EQ(board->readURLs(false).size(), 3u);
    EXPECT_TRUE(board->hasAnyType({pasteboard_type::url}));

    Pasteboard& general = Pasteboard::general();
    general.clearContents();
    general.setData(pasteboard_type::tiff, QByteArray("II*\0", 4));
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat("image/tiff"));
    EXPECT_EQ(general.data(pasteboard_type::tiff)->size(), 4);
    general.clearContents();
    EXPECT_FALSE(general.data(pasteboard_type::tiff).has_value());
}
