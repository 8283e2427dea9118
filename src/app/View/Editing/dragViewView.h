#pragma once
// The editing screen's preview view (the drop view): it holds the layer views, the camera view
// and the overlay, and turns presses, drags and releases over the preview into moving the
// selection, or resizing and rotating it while a handle is held.
#include <QByteArray>
#include <QImage>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/view.h"

// What the drop hands to the preview's add-layer operation: a still picture (with the file it
// came from, copied into the project) or the frames of an animated symbol.
struct droppedLayer {
    std::optional<QImage> image;
    std::vector<QImage> frames;
    std::optional<QUrl> url;
    qrn::Size size;
    bool saveImageToProject = false;
    qrn::Point center;
};

class dragViewView : public qrn::ui::View {
  public:
    // Adds its tracking area (entered and exited, in the key window, following the visible rect).
    explicit dragViewView(const qrn::Rect& frame = {});
    ~dragViewView() override;

    void mouseDown(const qrn::ui::Event& event) override;
    void mouseDragged(const qrn::ui::Event& event) override;
    void mouseUp(const qrn::ui::Event& event) override;
    void mouseExited(const qrn::ui::Event& event) override;

    // The layer list's running drag, if any; it owns the mouse until it ends. Until the layer
    // list provides it, no such drag runs.
    static void setGetDraggedLayerTagHook(std::function<std::optional<int>()> hook);
    // Clears the picker's symbol tag at mouse-up; set by the picker.
    static void setClearSymbolTagHook(std::function<void()> hook);

    // Drops of image files, web images and picker symbols.
    unsigned draggingEntered(qrn::ui::DraggingInfo& info) override;
    unsigned draggingUpdated(qrn::ui::DraggingInfo& info) override;
    bool prepareForDragOperation(qrn::ui::DraggingInfo& info) override;
    bool performDragOperation(qrn::ui::DraggingInfo& info) override;
    // Leaving, or the end of the drag (dropped or not): the downloaded picture goes.
    void draggingExited(qrn::ui::DraggingInfo& info) override;
    void draggingEnded(qrn::ui::DraggingInfo& info) override;
    // Whether the drag's content can be dropped; a web image becomes droppable later, once its
    // check and download are done, if the same drag still runs.
    bool checkExtension(qrn::ui::DraggingInfo& info);
    // A missing size becomes the minimum layer square.
    void processImageURLs(std::optional<QImage> image, std::optional<QUrl> url,
                          std::optional<std::vector<QImage>> frames, std::optional<qrn::Size> sizeValue,
                          qrn::Point center);

    // Adds a dropped layer; set by the layers' owner. Unset, nothing is added.
    static void setAddLayerHook(std::function<void(const droppedLayer&)> hook);
    // The picker's frames (name, picture) of a symbol tag; unset, a symbol has no frames.
    static void setGetImagesHook(std::function<std::vector<std::pair<std::string, QImage>>(int tag)> hook);

    bool fileTypeIsOk = false;
    // 0 nothing, 1 an image file or web image, 2 a picker symbol with a tag, 3 a symbol picture.
    int fileTypeInt = 0;
    QByteArray imageData;
    std::optional<QUrl> imageURL;
    std::optional<std::string> symbolName;
    std::optional<std::string> messageString;

  private:
    void refuse(const std::string& message) { messageString = message; }
    // The drag the fields describe; a late answer about another drag changes nothing.
    int dragSequence = -1;
    // The web picture downloaded for the drag under way: a file in the temporary folder that the
    // drop copies into the project. It goes once the drag is over or replaced.
    std::optional<QString> downloadedFile;
    void forgetDownload();
    // Mouse-up and exit end a gesture alike; only mouse-up forgets the picker's symbol.
    void endGesture(const qrn::ui::Event& event, bool clearSymbolTag);
};
