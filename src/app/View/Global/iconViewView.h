#pragma once
// A symbol tile of the symbol picker, and the source of the drag that carries the symbol onto
// the preview. The drag's own data holds the tile's picture (TIFF), its tag and, for a picture
// tile, the picture's name or address; the user's clipboard is left alone.
#include <QByteArray>
#include <QImage>
#include <QUrl>

#include <optional>
#include <string>

#include "platform/ui/dragging.h"
#include "platform/ui/view.h"

class iconViewView : public qrn::ui::View, public qrn::ui::DraggingSource {
  public:
    explicit iconViewView(const qrn::Rect& frame = {}) : View(frame) {}

    void mouseDown(const qrn::ui::Event& e) override;
    // The generic operation, whatever the destination.
    unsigned sourceOperationMask() const override;
    // The tile's bounds as drawn now; an empty image when it cannot be drawn.
    QImage snapshot();

    // What a drag from a tile carries, read back by the drop side.
    struct DragContents {
        std::optional<int> tag;
        std::optional<std::string> name;
        std::optional<QUrl> url;
        QImage picture;
    };
    static std::optional<DragContents> readDragContents(const qrn::ui::Pasteboard& pasteboard);
    // TIFF bytes of an image; empty when the format is unavailable.
    static QByteArray tiffData(const QImage& image);
};
