#include <gtest/gtest.h>

#include "Controller/Global/substringLinkedTextField.h"
#include "View/Global/flippedClipView.h"
#include "View/Global/flippedView.h"
#include "View/Global/iconViewClass.h"
#include "View/Global/iconViewView.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dragging.h"
#include "platform/ui/image_view.h"
#include "platform/ui/pasteboard.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_field.h"
#include "platform/ui/window.h"

using namespace qrn;

namespace {

std::shared_ptr<substringLinkedTextField> linkField(const std::string& text, const std::string& link,
                                                    const std::string& linkText) {
    auto f = std::make_shared<substringLinkedTextField>(Rect(0, 0, 300, 20));
    f->setStringValue(text);
    f->setHREF(link);
    f->setLinkTextProperty(linkText);
    f->awakeFromNib();
    return f;
}

bool hasVisiblePixels(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(argb.pixel(x, y)) > 0)
                return true;
    return false;
}

} // namespace

TEST(LinkedTextField, LinksTheWholeTextOrTheFirstOccurrenceOnly) {
    auto whole = linkField("Terms of use", "https://example.org/terms", "");
    ASSERT_EQ(whole->attributedStringValue().runs().size(), 1u);
    EXPECT_EQ(whole->attributedStringValue().runs()[0].attributes.link, "https://example.org/terms");
    EXPECT_EQ(whole->trackingAreas().size(), 1u);
    EXPECT_EQ(whole->trackingAreas().front()->options(), 0x221u);
    EXPECT_TRUE(whole->isSelectable());
    whole->mouseEntered(ui::Event::mouse(ui::EventType::MouseEntered, {1, 1}));
    EXPECT_EQ(ui::Cursor::current(), ui::CursorShape::PointingHand);
    whole->mouseExited(ui::Event::mouse(ui::EventType::MouseExited, {1, 1}));
    EXPECT_EQ(ui::Cursor::current(), ui::CursorShape::Arrow);

    auto twice = linkField("see here and here", "https://example.org/", "here");
    const auto& runs = twice->attributedStringValue().runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[1].range, (TextRange{4, 4}));
    // The linked range carries the link alone; the rest carries nothing.
    TextAttributes onlyLink;
    onlyLink.link = "https://example.org/";
    EXPECT_EQ(runs[1].attributes, onlyLink);
    EXPECT_TRUE(runs[0].attributes.isEmpty());
    EXPECT_TRUE(runs[2].attributes.isEmpty());
}

TEST(LinkedTextField, AMissingLinkTextLinksNothing) {
    auto f = linkField("Acknowledgements", "https://example.org/", "Terms");
    ASSERT_EQ(f->attributedStringValue().runs().size(), 1u);
    EXPECT_TRUE(f->attributedStringValue().runs()[0].attributes.isEmpty());
    EXPECT_FALSE(f->linkAt({20, 10}).has_value());
    // Later changes only redraw; the link stays where it was put.
    f->setLinkTextProperty("Ack");
    EXPECT_TRUE(f->attributedStringValue().runs()[0].attributes.isEmpty());
}

TEST(FlippedViews, AShortListStartsAtTheTopOfItsScrollView) {
    auto scroll = ui::ScrollView::make(Rect(0, 0, 200, 300));
    auto list = std::make_shared<flippedView>(Rect(0, 0, 200, 60));
    auto row = ui::View::make(Rect(0, 0, 200, 30));
    list->addSubview(row);
    scroll->setDocumentView(list);
    // The first row touches the top edge of the scroll view.
    const Rect inScroll = row->convertRectToView(row->bounds(), scroll.get());
    EXPECT_DOUBLE_EQ(inScroll.maxY(), 300);
    EXPECT_DOUBLE_EQ(inScroll.minY(), 270);

    auto clip = std::make_shared<flippedClipView>();
    scroll->setContentView(clip);
    EXPECT_TRUE(clip->isFlipped());
    EXPECT_EQ(scroll->documentView(), list);
}

TEST(SymbolTiles, DragCarriesPictureAndTagWithoutTouchingTheClipboard) {
    ui::Pasteboard::general().clearContents();
    ui::Pasteboard::general().setData(ui::pasteboard_type::string, "user's copied text");
    const int clipboardChanges = ui::Pasteboard::general().changeCount();

    std::vector<ui::DragRequest> requests;
    bool frameShownDuringDrag = false;
    std::optional<int> tagDuringDrag;
    std::shared_ptr<iconViewView> tile;
    ui::setDragDriver([&](const ui::DragRequest& r) {
        requests.push_back(r);
        frameShownDuringDrag = !tile->subviews().front()->isHidden();
        tagDuringDrag = iconViewClass().getTag();
        return unsigned(ui::DragOperationGeneric);
    });

    // An animated symbol's tile: its first subview is hidden and carries the tile's number.
    tile = std::make_shared<iconViewView>(Rect(0, 0, 50, 50));
    auto frame = ui::ImageView::make(Rect(0, 0, 50, 50));
    frame->setImageNamed("snow01");
    frame->setTag(3);
    frame->setHidden(true);
    tile->addSubview(frame);
    tile->mouseDown(ui::Event::mouse(ui::EventType::MouseDown, {25, 25}));

    ASSERT_EQ(requests.size(), 1u);
    // The hidden frame shows in the drag's pictures but not on the tile while the drag runs.
    EXPECT_FALSE(frameShownDuringDrag);
    EXPECT_TRUE(frame->isHidden());
    EXPECT_EQ(tagDuringDrag, 3);
    EXPECT_EQ(iconViewClass().getTag(), 3);
    EXPECT_TRUE(hasVisiblePixels(requests[0].image));
    ASSERT_TRUE(requests[0].pasteboard);
    auto contents = iconViewView::readDragContents(*requests[0].pasteboard);
    ASSERT_TRUE(contents);
    EXPECT_EQ(contents->tag, 3);
    EXPECT_FALSE(contents->name || contents->url);
    if (!iconViewView::tiffData(QImage(2, 2, QImage::Format_ARGB32)).isEmpty()) {
        EXPECT_TRUE(hasVisiblePixels(contents->picture));
    }
    EXPECT_FALSE(iconViewClass().getName() || iconViewClass().getURL());
    EXPECT_EQ(tile->sourceOperationMask(), unsigned(ui::DragOperationGeneric));
    EXPECT_EQ(ui::Pasteboard::general().changeCount(), clipboardChanges);
    EXPECT_EQ(ui::Pasteboard::general().data(ui::pasteboard_type::string), QByteArray("user's copied text"));

    // A picture tile has tag 0: no tag travels, and the picture does.
    auto still = std::make_shared<iconViewView>(Rect(0, 0, 50, 50));
    auto picture = ui::ImageView::make(Rect(0, 0, 50, 50));
    picture->setImageNamed("sun");
    picture->setTag(0);
    still->addSubview(picture);
    tile = still;
    still->mouseDown(ui::Event::mouse(ui::EventType::MouseDown, {25, 25}));
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(iconViewClass().getTag().has_value());
    auto stillContents = iconViewView::readDragContents(*requests[1].pasteboard);
    ASSERT_TRUE(stillContents);
    EXPECT_FALSE(stillContents->tag.has_value());
    // The still symbol is known by its picture's name, here and on the drop side.
    EXPECT_EQ(stillContents->name, "sun");
    EXPECT_EQ(iconViewClass().getName(), "sun");
    EXPECT_FALSE(iconViewClass().getURL().has_value());
    if (!iconViewView::tiffData(QImage(2, 2, QImage::Format_ARGB32)).isEmpty()) {
        ASSERT_FALSE(stillContents->picture.isNull());
        EXPECT_EQ(stillContents->picture.size(), QSize(100, 100));
    }

    // A picture read from the web has no name: its address, the text of the second subview,
    // travels instead.
    auto web = std::make_shared<iconViewView>(Rect(0, 0, 50, 50));
    auto webPicture = ui::ImageView::make(Rect(0, 0, 50, 50));
    webPicture->setImage(QImage(10, 10, QImage::Format_ARGB32));
    webPicture->setTag(0);
    web->addSubview(webPicture);
    auto address = std::make_shared<ui::TextField>(Rect(0, 0, 50, 10));
    address->setStringValue("https://example.org/star.png");
    web->addSubview(address);
    tile = web;
    web->mouseDown(ui::Event::mouse(ui::EventType::MouseDown, {25, 25}));
    ASSERT_EQ(requests.size(), 3u);
    auto webContents = iconViewView::readDragContents(*requests[2].pasteboard);
    ASSERT_TRUE(webContents);
    EXPECT_FALSE(webContents->name.has_value());
    EXPECT_EQ(webContents->url, QUrl("https://example.org/star.png"));
    EXPECT_FALSE(iconViewClass().getName().has_value());
    EXPECT_EQ(iconViewClass().getURL(), QUrl("https://example.org/star.png"));
    EXPECT_EQ(ui::Pasteboard::general().changeCount(), clipboardChanges);
    ui::setDragDriver(nullptr);
}
