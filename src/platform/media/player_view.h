#pragma once
// A player with its own controls: the picture aspect-fit over the whole bounds and, along the
// bottom, a play/pause button, the elapsed time, a scrub bar and the total time. It is a layer
// so that any view can host it; the host forwards presses, drags and releases in the layer's
// bounds space (y up).
#include "platform/foundation/main_queue.h"
#include "platform/media/video_layer.h"
#include "platform/ui/view.h"

#include <memory>
#include <string>

namespace qrn::media {

class PlayerViewLayer : public PlayerLayer {
  public:
    static std::shared_ptr<PlayerViewLayer> make() { return std::make_shared<PlayerViewLayer>(); }
    ~PlayerViewLayer() override;

    // Replaces PlayerLayer::setPlayer: the controls follow the player.
    void attachPlayer(std::shared_ptr<Player> player);

    struct ControlsLayout {
        Rect bar, playButton, elapsed, scrubTrack, total;
    };
    ControlsLayout controlsLayout() const;

    // True when the point hit a control.
    bool press(Point p);
    void drag(Point p);
    void release(Point p);
    bool isScrubbing() const { return scrubbing_; }

    std::string elapsedText() const;
    std::string totalText() const;
    // "m:ss", or "h:mm:ss" from an hour on.
    static std::string formatTime(double seconds);

    void drawInContext(QPainter& painter) const override;

  protected:
    // The controls draw from the player: copied as a picture of them.
    graphics::LayerPtr makeSnapshot() const override { return graphics::Layer::makeSnapshot(); }

  private:
    void seekToTrack(Point p);
    std::unique_ptr<RepeatingTimer> refresh_;
    bool scrubbing_ = false;
    bool resumeAfterScrub_ = false;
    double shownTime_ = -1;
};

// The view that hosts a player view layer over its whole bounds and hands it the mouse.
class PlayerView : public ui::View {
  public:
    explicit PlayerView(const Rect& frame = {});
    static std::shared_ptr<PlayerView> make(const Rect& frame = {}) {
        return std::make_shared<PlayerView>(frame);
    }

    void setPlayer(std::shared_ptr<Player> player);
    const std::shared_ptr<Player>& player() const { return controls_->player(); }
    const std::shared_ptr<PlayerViewLayer>& playerLayer() const { return controls_; }

    void mouseDown(const ui::Event& e) override;
    void mouseDragged(const ui::Event& e) override;
    void mouseUp(const ui::Event& e) override;
    void frameDidChange(const Rect& oldFrame) override;

  private:
    Point local(const ui::Event& e) const { return convertPointFromView(e.locationInWindow, nullptr); }
    std::shared_ptr<PlayerViewLayer> controls_ = PlayerViewLayer::make();
};

} // namespace qrn::media
