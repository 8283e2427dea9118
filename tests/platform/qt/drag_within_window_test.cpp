// Drags that start over a part of the window that takes no drops (the symbol picker) and end
// over one that does (the preview): the whole window is one Qt widget, so Qt has to keep
// sending it moves and the drop after an entry that no view wanted.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>

#include "platform/qt/host_window.h"
#include "platform/ui/window.h"
#include "support/event_pump.h"

using namespace qrn;
using namespace qrn::ui;

namespace {

class DropTarget : public View {
  public:
    explicit DropTarget(Rect r) : View(r) { registerForDraggedTypes({pasteboard_type::fileURL}); }
    std::vector<QUrl> got;
    unsigned draggingEntered(DraggingInfo&) override { return DragOperationCopy; }
    bool performDragOperation(DraggingInfo& info) override {
        got = info.draggingPasteboard().readURLs(true);
        return true;
    }
};

} // namespace

TEST(DragWithinWindow, EntryOutsideEveryDestinationStillReachesOneLater) {
    qt::installQtHost();
    auto window = Window::make(Rect(100, 100, 300, 200));
    auto* host = qt::hostWidget(*window);
    ASSERT_NE(host, nullptr);
    window->makeKeyAndOrderFront();
    ASSERT_TRUE(qrn::test::pumpUntil([&] { return host->isVisible(); }));
    // The right half takes drops; the drag enters over the left half.
    auto target = std::make_shared<DropTarget>(Rect(150, 0, 150, 200));
    window->contentView()->addSubview(target);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/tmp/picture.png")});

    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(host, &enter);
    EXPECT_EQ(enter.dropAction(), Qt::IgnoreAction) << "nothing may be dropped where it entered";

    QDragMoveEvent outside(QPoint(60, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(host, &outside);
    EXPECT_FALSE(outside.isAccepted());

    QDragMoveEvent over(QPoint(250, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(host, &over);
    EXPECT_TRUE(over.isAccepted());
    EXPECT_EQ(window->dragDestination(), target.get());

    QDropEvent drop(QPointF(250, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(host, &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_EQ(target->got.size(), 1u);
    EXPECT_EQ(target->got[0].toLocalFile(), "/tmp/picture.png");
    window->close();
}
