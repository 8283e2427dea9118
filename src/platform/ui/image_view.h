#pragma once
// Image views: a still picture scaled to the view, template pictures drawn in a tint, and
// animated pictures (from GIF files or lists of frames) played frame by frame on the main queue.
#include <QImage>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/result.h"
#include "platform/ui/control.h"

namespace qrn::imaging {
class FrameStream;
}

namespace qrn::ui {

// Frames with their own durations in seconds.
struct AnimatedImage {
    // Every frame, when together they fit the budget they were loaded with; empty when the
    // frames are decoded as they are shown instead.
    std::vector<QImage> frames;
    std::vector<double> durations;
    // The frames past the budget; copies of this animation share it.
    std::shared_ptr<imaging::FrameStream> stream;

    // What one animated picture may hold decoded.
    static constexpr size_t kBudgetBytes = size_t(256) << 20;

    size_t frameCount() const;
    QImage frame(size_t index) const;
    bool isEmpty() const { return frameCount() == 0; }
    // Bytes of decoded frames held for this animation now.
    size_t heldBytes() const;
    double totalDuration() const;
    // The frame shown `t` seconds after the start, looping.
    size_t frameAt(double t) const;
    // Every frame shown for the same share of `totalDuration`.
    static AnimatedImage fromFrames(std::vector<QImage> frames, double totalDuration);
    // All frames of a GIF (or any multi-frame image file) with the delays it gives, scaled down
    // to fit `drawnSize` when one is given. When the frames would take more than `budget`
    // bytes, none is held: each is decoded from the file as it is shown.
    static Result<AnimatedImage> load(const std::string& path, QSize drawnSize = {},
                                      size_t budget = kBudgetBytes);
    static Result<AnimatedImage> loadData(const QByteArray& bytes);
};

enum class ImageScaling { proportionallyDown, axesIndependently, none, proportionallyUpOrDown };

class ImageView : public Control {
  public:
    explicit ImageView(const Rect& frame = {});
    ~ImageView() override;
    static std::shared_ptr<ImageView> make(const Rect& frame = {}) {
        return std::make_shared<ImageView>(frame);
    }

    const QImage& image() const { return image_; }
    // A still picture; stops and drops any animation.
    void setImage(const QImage& image);
    // The named image of the application, drawn at the view's size. False when there is none.
    bool setImageNamed(const std::string& name);
    const std::string& imageName() const { return imageName_; }
    // A template image is drawn in the tint colour (when one is set) keeping its shape.
    bool isTemplate() const { return template_; }
    void setTemplate(bool on);
    const std::optional<Colour>& contentTintColour() const { return tint_; }
    void setContentTintColour(std::optional<Colour> tint);
    ImageScaling imageScaling() const { return scaling_; }
    void setImageScaling(ImageScaling s);
    // The size the picture is drawn at when scaling is none; by default its own.
    void setImageSize(std::optional<Size> size);

    // --- Animation
    void setAnimatedImage(AnimatedImage animation);
    // Plays the frames on the media timeline instead: one layer per frame, shown in turn by
    // opacity keyframes, so that the animation plays wherever this view's layer tree is drawn,
    // an exported movie included, and needs no redraws. A single frame shows as a still.
    void setAnimatedImageOnTimeline(AnimatedImage animation);
    bool playsOnTimeline() const { return !timelineFrames_.empty(); }
    const AnimatedImage& animatedImage() const { return animation_; }
    bool animates() const { return animates_; }
    // Whether frames advance on their own; when off the first frame stays.
    void setAnimates(bool on);
    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return playing_; }
    size_t currentFrame() const { return frame_; }

    // The picture as drawn now (current frame, tinted).
    QImage displayedImage() const;
    // Where the picture lands within the bounds, for the current scaling.
    Rect imageRect() const;

    void draw(QPainter& painter, const Rect& dirty) override;
    // A still picture that fills the view, enabled and untinted (a subclass that draws more
    // overrides this too).
    QImage drawnAsIs(int width, int height) const override;
    void frameDidChange(const Rect& oldFrame) override;

  private:
    void scheduleNextFrame();
    void dropTimelineFrames();
    void placeTimelineFrames();
    std::vector<std::shared_ptr<graphics::Layer>> timelineFrames_;
    QImage image_;
    std::string imageName_;
    bool template_ = false;
    std::optional<Colour> tint_;
    ImageScaling scaling_ = ImageScaling::proportionallyDown;
    std::optional<Size> imageSize_;
    AnimatedImage animation_;
    bool animates_ = true;
    bool playing_ = false;
    size_t frame_ = 0;
    std::shared_ptr<int> generation_;
};

} // namespace qrn::ui
