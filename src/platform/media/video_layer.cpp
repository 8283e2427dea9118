#include "platform/media/video_layer.h"

#include "platform/media/capture_session.h"
#include "platform/media/player.h"

#include <QPainter>

#include <cmath>

namespace qrn::media {

void VideoLayer::showPicture(const QImage& image) {
    picture_ = image;
    setNeedsDisplay();
}

Rect VideoLayer::pictureRect() const {
    const Rect& b = bounds();
    if (picture_.isNull() || b.isEmpty())
        return {b.origin, {0, 0}};
    double scale = std::min(b.width() / picture_.width(), b.height() / picture_.height());
    double w = picture_.width() * scale, h = picture_.height() * scale;
    return {b.minX() + (b.width() - w) / 2, b.minY() + (b.height() - h) / 2, w, h};
}

std::optional<graphics::Layer::OwnPicture> VideoLayer::ownPicture() const {
    if (picture_.isNull())
        return std::nullopt;
    return OwnPicture{picture_.size(), pictureRect()};
}

void VideoLayer::drawInContext(QPainter& painter) const {
    Rect r = pictureRect();
    if (r.isEmpty())
        return;
    painter.save();
    // Image rows run downwards; our space runs upwards.
    QRectF target(r.origin.x, r.origin.y, r.size.width, r.size.height);
    painter.setTransform(QTransform(1, 0, 0, -1, 0, target.top() + target.bottom()), true);
    const double ratio = painter.device() ? painter.device()->devicePixelRatio() : 1;
    const QSizeF device = painter.transform().mapRect(target).size() * ratio;
    // A picture that comes at the size it is shown at is copied; only one scaled here is
    // smoothed, which Qt spreads over its thread pool and waits for.
    const bool scaled = std::abs(device.width() - picture_.width()) > 1 ||
                        std::abs(device.height() - picture_.height()) > 1;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, scaled);
    painter.drawImage(target, picture_);
    painter.restore();
    drawnAt(int(std::lround(device.width())), int(std::lround(device.height())));
}

VideoPreviewLayer::~VideoPreviewLayer() {
    setSession(nullptr);
}

void VideoPreviewLayer::setSession(CaptureSession* session) {
    if (session == session_)
        return;
    if (session_ && output_) {
        output_->setFrameHandler(nullptr);
        session_->removeOutput(output_);
    }
    output_.reset();
    session_ = session;
    if (!session_)
        return;
    output_ = std::make_shared<VideoPreviewOutput>();
    std::weak_ptr<Layer> weak = weak_from_this();
    output_->setFrameHandler([weak](const QImage& image) {
        if (auto self = std::static_pointer_cast<VideoPreviewLayer>(weak.lock()))
            self->showPicture(image);
    });
    session_->addOutput(output_);
}

PlayerLayer::~PlayerLayer() {
    if (player_)
        player_->setFrameHandler(nullptr);
}

void PlayerLayer::drawnAt(int width, int height) const {
    // Filters count in the movie's own pixels.
    if (player_ && contentFilters().empty())
        player_->setPictureSize(width, height);
}

void PlayerLayer::setPlayer(std::shared_ptr<Player> player) {
    if (player_)
        player_->setFrameHandler(nullptr);
    player_ = std::move(player);
    if (!player_)
        return;
    std::weak_ptr<Layer> weak = weak_from_this();
    player_->setFrameHandler([weak](const QImage& image, double) {
        if (auto self = std::static_pointer_cast<PlayerLayer>(weak.lock()))
            self->showPicture(image);
    });
}

} // namespace qrn::media
