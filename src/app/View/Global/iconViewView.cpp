#include "View/Global/iconViewView.h"

#include <QBuffer>
#include <QImageWriter>
#include <QJsonDocument>
#include <QJsonObject>

#include "Controller/Global/dataLoggingClass.h"
#include "View/Global/iconViewClass.h"
#include "platform/graphics/renderer.h"

namespace {
int firstSubviewTag(const qrn::ui::View& tile) {
    if (tile.subviews().empty())
        return 0;
    return tile.subviews().front()->tag().value_or(0);
}
} // namespace

QByteArray iconViewView::tiffData(const QImage& image) {
    QByteArray bytes;
    if (image.isNull())
        return bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    if (!writer.write(image))
        bytes.clear();
    return bytes;
}

QImage iconViewView::snapshot() {
    QRN_LOG_IN();
    if (bounds().isEmpty())
        return QImage();
    // Views outside a window draw only when asked.
    std::function<void(View&)> draw = [&](View& v) {
        if (v.isHidden())
            return;
        if (v.needsDisplay())
            v.display();
        for (auto& s : v.subviews())
            draw(*s);
    };
    draw(*this);
    return qrn::graphics::Renderer().snapshot(*layer(), 0, 2.0);
}

void iconViewView::mouseDown(const qrn::ui::Event& e) {
    QRN_LOG_IN();
    const int tag = firstSubviewTag(*this);
    if (tag != 0) {
        subviews().front()->setHidden(false);
        iconViewClass().setTag(tag);
    } else {
        iconViewClass().setTag(std::nullopt);
    }

    // The picture and the tag go with the drag itself.
    const QImage picture = snapshot();
    qrn::ui::PasteboardItem item;
    if (QByteArray tiff = tiffData(picture); !tiff.isEmpty())
        item.set(qrn::ui::pasteboard_type::tiff, tiff);
    QJsonObject symbol;
    if (tag != 0)
        symbol["tag"] = tag;
    item.set(qrn::ui::pasteboard_type::symbol, QJsonDocument(symbol).toJson(QJsonDocument::Compact));

    qrn::ui::beginDraggingSession(*this, {item}, snapshot(), e, this);

    if (firstSubviewTag(*this) != 0)
        subviews().front()->setHidden(true);
}

std::optional<iconViewView::DragContents>
iconViewView::readDragContents(const qrn::ui::Pasteboard& pasteboard) {
    auto symbol = pasteboard.data(qrn::ui::pasteboard_type::symbol);
    if (!symbol)
        return std::nullopt;
    DragContents out;
    const QJsonObject o = QJsonDocument::fromJson(*symbol).object();
    if (o.contains("tag") && o["tag"].isDouble())
        out.tag = o["tag"].toInt();
    if (auto tiff = pasteboard.data(qrn::ui::pasteboard_type::tiff))
        out.picture = QImage::fromData(*tiff, "TIFF");
    return out;
}
