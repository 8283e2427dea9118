#pragma once
// The tile of a regular asset in the asset strip. A click selects its asset; Control or the
// right button also opens the asset popover; a plain click starts the drag that reorders the
// strip. An image file, or a symbol from the picker that carries its address, dropped on the
// tile becomes (or replaces) the asset's background layer. Clicks and drops do nothing while a
// project is being imported.
#include <QImage>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/value.h"
#include "platform/ui/view.h"

class dragBackgroundViewView : public qrn::ui::View {
  public:
    using View::View;
    // Registered for image files, image data and picker symbols; tracks entered and exited.
    static std::shared_ptr<dragBackgroundViewView> makeDropView(const qrn::Rect& frame);

    void mouseDown(const qrn::ui::Event& event) override;
    void rightMouseDown(const qrn::ui::Event& event) override;
    void mouseEntered(const qrn::ui::Event& event) override;
    void mouseExited(const qrn::ui::Event& event) override;

    // The strip's reorder drag; nothing until its owner sets it.
    struct hooks {
        std::function<void(int assetId)> setDraggedAsset;
        std::function<void(const qrn::ui::Event&, bool)> dragAssetToDifferentLocationInScrollView;
    };
    static void setHooks(hooks given);

    // Whatever the drag source offers is accepted.
    unsigned draggingEntered(qrn::ui::DraggingInfo& info) override;
    // Carries the drop out; the answer of performDragOperation says whether it was taken.
    bool prepareForDragOperation(qrn::ui::DraggingInfo& info) override;
    // True only when the drop made or replaced the asset's background layer.
    bool performDragOperation(qrn::ui::DraggingInfo& info) override;

    // Selects the tile's asset and prepares the reference of its new background layer; an
    // existing background's reference is kept for undo. False when the tile is not in the strip.
    bool setImageReferenceArray(const qrn::Value::List& images, const std::string& fileExtension);
    // Adds the picture as the asset's background layer; true when it is there.
    bool processImageURLs(const QImage& image, const QUrl& url, qrn::Point center, qrn::Size size);

  private:
    bool dropTaken = false;
    bool dropSymbol(qrn::ui::DraggingInfo& info, qrn::Point center);
    bool dropFile(const std::vector<QUrl>& urls, qrn::Point center);
};
