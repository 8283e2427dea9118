#pragma once
// Layers that show moving pictures: the live camera preview of a capture session and the
// pictures of a player. The picture is drawn aspect-fit in the layer's bounds, and the
// layer's content filters apply to it like to any other drawing.
#include "platform/graphics/layer.h"

#include <QImage>

#include <memory>

namespace qrn::media {

class CaptureSession;
class VideoPreviewOutput;
class Player;

class VideoLayer : public graphics::Layer {
  public:
    // Main thread.
    void showPicture(const QImage& image);
    const QImage& picture() const { return picture_; }
    // Where the picture lands in the bounds: as large as fits, centred, its shape kept.
    Rect pictureRect() const;
    void drawInContext(QPainter& painter) const override;
    bool hasLiveContent() const override { return true; }
    // The frames at the size they come in: the camera's filters count in its own pixels.
    std::optional<OwnPicture> ownPicture() const override;

  protected:
    // Told the size in device pixels the picture was just drawn at.
    virtual void drawnAt(int, int) const {}
    // The picture shown now; the camera's next one replaces it rather than changing it.
    graphics::LayerPtr makeSnapshot() const override {
        auto copy = std::make_shared<VideoLayer>();
        copy->picture_ = picture_;
        return copy;
    }

  private:
    QImage picture_;
};

class VideoPreviewLayer : public VideoLayer {
  public:
    static std::shared_ptr<VideoPreviewLayer> make() { return std::make_shared<VideoPreviewLayer>(); }
    ~VideoPreviewLayer() override;
    // Attaches a preview output to the session (and detaches from the previous one); the newest
    // camera picture then shows in this layer. Null detaches. The session must outlive the
    // layer or be detached first.
    void setSession(CaptureSession* session);
    CaptureSession* session() const { return session_; }
    // The output feeding this layer, for its frame counts.
    const std::shared_ptr<VideoPreviewOutput>& output() const { return output_; }

  private:
    CaptureSession* session_ = nullptr;
    std::shared_ptr<VideoPreviewOutput> output_;
};

class PlayerLayer : public VideoLayer {
  public:
    static std::shared_ptr<PlayerLayer> make() { return std::make_shared<PlayerLayer>(); }
    ~PlayerLayer() override;
    void setPlayer(std::shared_ptr<Player> player);
    const std::shared_ptr<Player>& player() const { return player_; }

  protected:
    // The player's next pictures come at that size, already scaled: the window that draws them
    // then copies their pixels rather than scaling each picture while the presenter waits.
    void drawnAt(int width, int height) const override;

  private:
    std::shared_ptr<Player> player_;
};

} // namespace qrn::media
