#include "platform/media/player_view.h"

#include "platform/media/player.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace qrn::media {
namespace {
constexpr double barHeight = 36, margin = 8, buttonSize = 22, timeWidth = 56;

QRectF qrect(const Rect& r) {
    return {r.origin.x, r.origin.y, r.size.width, r.size.height};
}
} // namespace

PlayerViewLayer::~PlayerViewLayer() = default;

void PlayerViewLayer::attachPlayer(std::shared_ptr<Player> player) {
    setPlayer(std::move(player));
    refresh_.reset();
    if (!this->player())
        return;
    std::weak_ptr<Layer> weak = weak_from_this();
    // Keeps the elapsed time and the scrub position current while the movie plays.
    refresh_ = std::make_unique<RepeatingTimer>(0.25, 0.05, [weak] {
        auto self = std::static_pointer_cast<PlayerViewLayer>(weak.lock());
        if (!self || !self->player())
            return;
        // Redraw only when the time shown moved on.
        double now = self->player()->currentTime();
        if (now != self->shownTime_) {
            self->shownTime_ = now;
            self->setNeedsDisplay();
        }
    });
    refresh_->start();
    setNeedsDisplay();
}

PlayerViewLayer::ControlsLayout PlayerViewLayer::controlsLayout() const {
    const Rect& b = bounds();
    ControlsLayout l;
    l.bar = Rect(b.minX(), b.minY(), b.width(), std::min(barHeight, b.height()));
    double midY = l.bar.midY();
    l.playButton = Rect(b.minX() + margin, midY - buttonSize / 2, buttonSize, buttonSize);
    l.elapsed = Rect(l.playButton.maxX() + margin, midY - 8, timeWidth, 16);
    l.total = Rect(b.maxX() - margin - timeWidth, midY - 8, timeWidth, 16);
    double trackX = l.elapsed.maxX() + margin;
    l.scrubTrack = Rect(trackX, midY - 8, std::max(0.0, l.total.minX() - margin - trackX), 16);
    return l;
}

bool PlayerViewLayer::press(Point p) {
    auto pl = player();
    if (!pl)
        return false;
    auto l = controlsLayout();
    if (l.playButton.insetBy(-4, -4).contains(p)) {
        if (pl->rate() > 0)
            pl->pause();
        else
            pl->play();
        setNeedsDisplay();
        return true;
    }
    if (l.scrubTrack.contains(p)) {
        scrubbing_ = true;
        // The picture follows the knob; playback resumes when the knob is let go.
        resumeAfterScrub_ = pl->rate() > 0;
        pl->pause();
        seekToTrack(p);
        return true;
    }
    return l.bar.contains(p);
}

void PlayerViewLayer::drag(Point p) {
    if (scrubbing_)
        seekToTrack(p);
}

void PlayerViewLayer::release(Point p) {
    if (!scrubbing_)
        return;
    seekToTrack(p);
    scrubbing_ = false;
    if (resumeAfterScrub_ && player())
        player()->play();
}

void PlayerViewLayer::seekToTrack(Point p) {
    auto pl = player();
    auto track = controlsLayout().scrubTrack;
    if (!pl || track.width() <= 0)
        return;
    double fraction = std::clamp((p.x - track.minX()) / track.width(), 0.0, 1.0);
    pl->seek(fraction * pl->duration());
    setNeedsDisplay();
}

std::string PlayerViewLayer::formatTime(double seconds) {
    long s = std::lround(std::max(0.0, std::floor(seconds)));
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

std::string PlayerViewLayer::elapsedText() const {
    return formatTime(player() ? player()->currentTime() : 0);
}
std::string PlayerViewLayer::totalText() const {
    return formatTime(player() ? player()->duration()
                               : 0); // whole seconds gone by, as the studio's clock counts
}

void PlayerViewLayer::drawInContext(QPainter& painter) const {
    VideoLayer::drawInContext(painter);
    auto pl = player();
    if (!pl)
        return;
    auto l = controlsLayout();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(qrect(l.bar), QColor(0, 0, 0, 150));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    QRectF button = qrect(l.playButton);
    if (pl->rate() > 0) {
        double w = button.width() / 3;
        painter.drawRect(QRectF(button.left() + w * 0.5, button.top() + 3, w * 0.7, button.height() - 6));
        painter.drawRect(QRectF(button.right() - w * 1.2, button.top() + 3, w * 0.7, button.height() - 6));
    } else {
        QPainterPath triangle;
        triangle.moveTo(button.left() + 5, button.top() + 3);
        triangle.lineTo(button.right() - 3, button.center().y());
        triangle.lineTo(button.left() + 5, button.bottom() - 3);
        triangle.closeSubpath();
        painter.drawPath(triangle);
    }
    QRectF track = qrect(l.scrubTrack);
    double fraction = pl->duration() > 0 ? std::clamp(pl->currentTime() / pl->duration(), 0.0, 1.0) : 0;
    QRectF groove(track.left(), track.center().y() - 2, track.width(), 4);
    painter.setBrush(QColor(255, 255, 255, 90));
    painter.drawRoundedRect(groove, 2, 2);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(groove.left(), groove.top(), groove.width() * fraction, 4), 2, 2);
    painter.drawEllipse(QPointF(groove.left() + groove.width() * fraction, groove.center().y()), 6, 6);

    // Text rows run downwards: draw each label in a locally flipped space.
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    auto text = [&](const Rect& r, const std::string& s, Qt::Alignment align) {
        painter.save();
        QRectF target = qrect(r);
        painter.setTransform(QTransform(1, 0, 0, -1, 0, target.top() + target.bottom()), true);
        painter.drawText(target, int(align | Qt::AlignVCenter), QString::fromStdString(s));
        painter.restore();
    };
    text(l.elapsed, elapsedText(), Qt::AlignLeft);
    text(l.total, totalText(), Qt::AlignRight);
    painter.restore();
}

PlayerView::PlayerView(const Rect& frame) : View(frame) {
    controls_->setFrame(bounds());
    layer()->addSublayer(controls_);
}

void PlayerView::setPlayer(std::shared_ptr<Player> player) {
    controls_->attachPlayer(std::move(player));
}

void PlayerView::mouseDown(const ui::Event& e) {
    if (!controls_->press(local(e)))
        View::mouseDown(e);
}

void PlayerView::mouseDragged(const ui::Event& e) {
    if (controls_->isScrubbing())
        controls_->drag(local(e));
    else
        View::mouseDragged(e);
}

void PlayerView::mouseUp(const ui::Event& e) {
    if (controls_->isScrubbing())
        controls_->release(local(e));
    else
        View::mouseUp(e);
}

void PlayerView::frameDidChange(const Rect&) {
    controls_->setFrame(bounds());
}

} // namespace qrn::media
