#include "View/Global/iconViewView.h"

#include <algorithm>

#include <QBuffer>
#include <QImageWriter>
#include <QJsonDocument>
#include <QJsonObject>

#include "Controller/Global/dataLoggingClass.h"
#include "View/Global/iconViewClass.h"
#include "platform/graphics/renderer.h"
#include "platform/ui/image_view.h"
#include "platform/ui/text_field.h"

namespace {
int firstSubviewTag(const qrn::ui::View& tile) {
    if (tile.subviews().empty())
        return 0;
    return tile.subviews().front()->tag().value_or(0);
}

// The name of a picture tile's named picture.
std::optional<std::string> pictureName(const qrn::ui::View& tile) {
    if (tile.subviews().empty())
        return std::nullopt;
    auto picture = std::dynamic_pointer_cast<qrn::ui::ImageView>(tile.subviews().front());
    if (!picture || picture->imageName().empty())
        return std::nullopt;
    return picture->imageName();
}

// The address of a picture read from the web: the text of the tile's second subview.
std::optional<QUrl> pictureURL(const qrn::ui::View& tile) {
    if (tile.subviews().size() < 2)
        return std::nullopt;
    auto field = std::dynamic_pointer_cast<qrn::ui::TextField>(tile.subviews()[1]);
    if (!field)
        return std::nullopt;
    const QUrl url(QString::fromStdString(field->stringValue()), QUrl::StrictMode);
    if (!url.isValid() || url.isEmpty())
        return std::nullopt;
    return url;
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
    // Only what the tile's views draw: the tile's own shading sublayer dresses the picker and
    // is no part of the symbol, which would otherwise carry it onto the layer made from it.
    std::vector<qrn::graphics::LayerPtr> shading;
    for (const auto& sublayer : layer()->sublayers()) {
        const bool ofAView = std::any_of(subviews().begin(), subviews().end(),
                                         [&](const auto& view) { return view->layer() == sublayer; });
        if (!ofAView && !sublayer->isHidden())
            shading.push_back(sublayer);
    }
    for (const auto& sublayer : shading)
        sublayer->setHidden(true);
    QImage picture = qrn::graphics::Renderer().snapshot(*layer(), 0, 2.0);
    for (const auto& sublayer : shading)
        sublayer->setHidden(false);
    return picture;
}

unsigned iconViewView::sourceOperationMask() const {
    QRN_LOG_IN();
    return qrn::ui::DragOperationGeneric;
}

void iconViewView::mouseDown(const qrn::ui::Event& e) {
    QRN_LOG_IN();
    const int tag = firstSubviewTag(*this);
    std::optional<std::string> name;
    std::optional<QUrl> url;
    if (tag != 0) {
        subviews().front()->setHidden(false);
        iconViewClass().setTag(tag);
    } else {
        iconViewClass().setTag(std::nullopt);
        name = pictureName(*this);
        if (!name)
            url = pictureURL(*this);
    }
    iconViewClass().setName(name);
    iconViewClass().setURL(url);

    // The picture and the tag go with the drag itself.
    const QImage picture = snapshot();
    qrn::ui::PasteboardItem item;
    if (QByteArray tiff = tiffData(picture); !tiff.isEmpty())
        item.set(qrn::ui::pasteboard_type::tiff, tiff);
    QJsonObject symbol;
    if (tag != 0)
        symbol["tag"] = tag;
    if (name)
        symbol["name"] = QString::fromStdString(*name);
    if (url)
        symbol["url"] = url->toString();
    item.set(qrn::ui::pasteboard_type::symbol, QJsonDocument(symbol).toJson(QJsonDocument::Compact));

    const QImage dragImage = snapshot();
    // Both pictures are taken: a tagged tile's first subview goes back into hiding before the
    // drag runs, which lasts until the drop here.
    if (firstSubviewTag(*this) != 0)
        subviews().front()->setHidden(true);
    qrn::ui::beginDraggingSession(*this, {item}, dragImage, e, this);
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
    if (o["name"].isString())
        out.name = o["name"].toString().toStdString();
    if (o["url"].isString()) {
        const QUrl url(o["url"].toString(), QUrl::StrictMode);
        if (url.isValid() && !url.isEmpty())
            out.url = url;
    }
    if (auto tiff = pasteboard.data(qrn::ui::pasteboard_type::tiff))
        out.picture = QImage::fromData(*tiff, "TIFF");
    return out;
}
