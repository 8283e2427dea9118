#include "platform/media/export_session.h"

#include "platform/foundation/main_queue.h"
#include "platform/graphics/renderer.h"
#include "platform/imaging/filter_chain.h"
#include "platform/imaging/worker_pool.h"
#include "platform/media/av.h"
#include "platform/media/movie_writer.h"
#include "platform/media/picture_convert.h"

#include <QDir>
#include <QPainter>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <list>
#include <map>
#include <mutex>
#include <sched.h>
#include <sys/resource.h>
#include <thread>
#include <typeinfo>
#include <unistd.h>

namespace qrn::media {

Size fitExportSize(Size size, Size bounds) {
    double scale = std::min({1.0, bounds.width / size.width, bounds.height / size.height});
    auto even = [](double v) { return std::max(2.0, 2 * std::floor(v / 2 + 0.25)); };
    return {even(size.width * scale), even(size.height * scale)};
}

MovieEncoding movieEncoding() {
    // The movie is made while the presenter speaks, beside the recording, the studio and the
    // autocue: the encoder's quickest search, with the two tools that cost little and matter
    // most kept on (arithmetic coding for the size, the deblocking filter at its usual strength
    // for the look). At this crf it comes out closer to the composed pictures than the slower
    // presets at 23 and no larger, for a third of the encoder's work.
    return {"ultrafast", "cabac=1:deblock=0,0", 31};
}

namespace {

int usableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

// A copy of a branch of plain layers, so that each compose worker can draw its own video
// picture into it while the others do the same.
graphics::LayerPtr cloneBranch(const graphics::Layer& l, const graphics::Layer* video,
                               graphics::LayerPtr& videoClone) {
    if (typeid(l) != typeid(graphics::Layer))
        return nullptr;
    auto c = graphics::Layer::make();
    c->setName(l.name());
    c->setBounds(l.bounds());
    c->setAnchorPoint(l.anchorPoint());
    c->setPosition(l.position());
    c->setTransform(l.transform());
    c->setZPosition(l.zPosition());
    c->setGeometryFlipped(l.isGeometryFlipped());
    c->setOpacity(l.opacity());
    c->setHidden(l.isHidden());
    c->setMasksToBounds(l.masksToBounds());
    c->setBackgroundColour(l.backgroundColour());
    c->setBorderWidth(l.borderWidth());
    c->setBorderColour(l.borderColour());
    c->setCornerRadius(l.cornerRadius());
    if (!l.contents().isNull())
        c->setContents(l.contents());
    c->setContentsScale(l.contentsScale());
    c->setContentFilters(l.contentFilters());
    for (auto& key : l.animationKeys())
        c->addAnimation(*l.animation(key), key);
    for (auto& sub : l.sublayers()) {
        auto sc = cloneBranch(*sub, video, videoClone);
        if (!sc)
            return nullptr;
        c->addSublayer(sc);
    }
    if (&l == video)
        videoClone = c;
    return c;
}

// The opacities at t of the animated layers of a branch that can show: under a layer that is
// hidden or clear nothing is drawn, so an animated picture on a slide not shown (its frames
// looping all through the take) leaves the frames alike.
void collectOpacities(const graphics::Layer& l, double t, std::vector<double>& out) {
    if (l.isHidden())
        return;
    const double opacity = l.hasAnimations() ? l.presentationOpacity(t) : l.opacity();
    if (l.hasAnimations())
        out.push_back(opacity);
    if (opacity <= 0)
        return;
    for (auto& s : l.sublayers())
        collectOpacities(*s, t, out);
}

struct SourceFrame {
    int index = 0;
    double time = 0;
    std::shared_ptr<const AVFrame> frame; // null: nothing on the video track at this time
    bool repeat = false;                  // looks exactly like the frame before
};

bool branchHasAnimations(const graphics::Layer& l) {
    if (l.hasAnimations())
        return true;
    for (auto& s : l.sublayers())
        if (branchHasAnimations(*s))
            return true;
    return false;
}

} // namespace

// Composes output pictures. With an animation tool whose tree allows it, the layers below and
// above the video are rendered once per state of their opacities and reused for every frame
// in that state; only the video's own branch is drawn per frame.
class Composer {
  public:
    Composer(const VideoComposition& vc, Size out, int workers) : vc_(vc), out_(out) {
        scale_ = out.width / vc.renderSize.width;
        if (!vc.animationTool || !vc.animationTool->parentLayer || !vc.animationTool->videoLayer) {
            workers_ = workers;
            videoPixels_ = out;
            return;
        }
        root_ = vc.animationTool->parentLayer;
        video_ = vc.animationTool->videoLayer;
        Rect onOutput = video_->transformToRoot().mapRect(video_->bounds());
        videoPixels_ = {std::max(2.0, std::ceil(onOutput.width() * scale_)),
                        std::max(2.0, std::ceil(onOutput.height() * scale_))};
        // The fast path needs the root to be a plain canvas at the origin and the video to sit
        // in one of its sublayers, all at the same depth.
        const auto& r = *root_;
        bool plainRoot = typeid(r) == typeid(graphics::Layer) && r.contentFilters().empty() &&
                         !r.hasAnimations() && r.opacity() == 1 && !r.isHidden() && r.borderWidth() == 0 &&
                         r.cornerRadius() == 0 && r.transform().isIdentity() && !r.isGeometryFlipped() &&
                         r.bounds().origin == Point{} && r.frame().origin == Point{};
        for (size_t i = 0; i < r.sublayers().size(); ++i) {
            auto& s = r.sublayers()[i];
            if (s->zPosition() != r.sublayers()[0]->zPosition())
                plainRoot = false;
            if (s.get() == video_.get() || video_->isDescendantOf(s.get()))
                branch_ = int(i);
        }
        fast_ = plainRoot && branch_ >= 0;
        if (fast_) {
            for (int w = 0; w < workers && fast_; ++w) {
                graphics::LayerPtr videoClone;
                auto clone = cloneBranch(*r.sublayers()[size_t(branch_)], video_.get(), videoClone);
                if (!clone || !videoClone)
                    fast_ = false;
                else {
                    Clone c;
                    c.branch = clone;
                    c.video = videoClone;
                    clones_.push_back(std::move(c));
                }
            }
        }
        workers_ = fast_ ? workers : 1;
        if (fast_)
            branchAnimated_ = branchHasAnimations(*r.sublayers()[size_t(branch_)]);
        if (fast_ && !branchAnimated_)
            planRows(*r.sublayers()[size_t(branch_)]);
    }

    int workers() const { return workers_; }

    // True when, given the same video picture, the frames at t0 and t1 come out the same: then
    // the later one is not composed again (a frame duration shorter than the source's).
    bool looksTheSame(double t0, double t1) {
        if (instructionAt(t0) != instructionAt(t1))
            return false;
        if (!root_)
            return true;
        if (!fast_ || branchAnimated_)
            return false;
        std::lock_guard lock(treeMutex_);
        return staticState(t0) == staticState(t1);
    }

    // What a compose worker keeps from one frame to the next, so that a frame reuses the memory
    // of the one before instead of touching fresh memory.
    struct Scratch {
        SwsContext* scaler = nullptr;
        SwsContext* planes = nullptr;   // a picture's planes to the movie's
        av::ScaledImages scaled;        // a picture that fills the frame, at the frame's size
        QImage own;                     // a source picture at its own size
        QImage video;                   // the video picture
        QImage canvas;                  // the composed frame
        std::vector<std::uint32_t> row; // one row of it, where it is made a row at a time
        Scratch() = default;
        Scratch(const Scratch&) = delete;
        Scratch& operator=(const Scratch&) = delete;
        ~Scratch() {
            sws_freeContext(scaler);
            sws_freeContext(planes);
        }
    };

    // Worker `w` composes the frame at time t into `movie`, a picture of the output's size in
    // 4:2:0 YUV. False when it cannot be made.
    bool composeInto(int w, const SourceFrame& f, Scratch& scratch, AVFrame* movie, SwsContext*& toMovie) {
        if (rows_)
            return composeYuv(w, f, scratch, movie) || composeRows(w, f, scratch, movie);
        const QImage& frame = compose(w, f, scratch);
        if (frame.isNull())
            return false;
        return av::convert(frame, movie, toMovie);
    }

    // Worker `w` composes the frame at time t. The picture stays valid until the worker's next
    // frame; null when it cannot be made.
    const QImage& compose(int w, const SourceFrame& f, Scratch& scratch) {
        if (!videoPicture(f, scratch)) {
            scratch.canvas = QImage();
            return scratch.canvas;
        }
        if (!root_)
            return scratch.video;
        if (!fast_) {
            std::lock_guard lock(treeMutex_);
            video_->setContents(scratch.video);
            QImage& out = clearCanvas(scratch);
            renderer_.render(*root_, out, f.time, scale_);
            // The tree lets go of the picture so that the next frame can be written over it.
            video_->clearContents();
            return out;
        }
        auto layers = staticLayers(f.time);
        QImage& out = canvasFrom(scratch, layers.below);
        auto& clone = clones_[size_t(w)];
        clone.video->setContents(scratch.video);
        clone.renderer.render(*clone.branch, out, f.time, scale_);
        clone.video->clearContents();
        if (!layers.aboveArea.isEmpty()) {
            QPainter p(&out);
            p.drawImage(layers.aboveArea.topLeft(), layers.above);
        }
        return out;
    }

  private:
    // Where the video's branch is nothing but the video picture (filtered, drawn one to one)
    // inside a rectangle that clips it, in output pixels: each row of a frame is then made from
    // the layers below, the video and the layers above in one go and converted at once, so no
    // full BGRA frame is written and read again, and below an opaque video nothing is read.
    struct RowPlan {
        QRect video; // where the picture lands, its size exactly
        QRect shown; // the part of it inside the clip and the output
    };

    static bool plainPixelLayer(const graphics::Layer& l) {
        return typeid(l) == typeid(graphics::Layer) && !l.isHidden() && !l.isGeometryFlipped() &&
               l.opacity() == 1 && !l.hasAnimations() && l.backgroundColour().alpha <= 0 &&
               (l.borderWidth() <= 0 || l.borderColour().alpha <= 0) && l.cornerRadius() <= 0;
    }

    static std::optional<QRect> wholePixels(const QRectF& r) {
        const auto whole = [](double v) { return std::abs(v - std::round(v)) < 1e-6; };
        if (!whole(r.left()) || !whole(r.top()) || !whole(r.right()) || !whole(r.bottom()))
            return std::nullopt;
        return QRect(int(std::lround(r.left())), int(std::lround(r.top())), int(std::lround(r.width())),
                     int(std::lround(r.height())));
    }

    void planRows(const graphics::Layer& branch) {
        const int W = int(out_.width), H = int(out_.height);
        // One pixel a point, so every picture lands untransformed, as the rows are made here.
        if (scale_ != 1 || !bgraToYuv420Handles(W, H) || !plainPixelLayer(*video_) ||
            !video_->sublayers().empty())
            return;
        const QRect image(0, 0, W, H);
        const QTransform toImage = graphics::Renderer::yUpToImage(H, scale_);
        QRect clip = image;
        QTransform toDevice = toImage;
        if (&branch != video_.get()) {
            // A plain holder of the video alone, which may clip it.
            if (!plainPixelLayer(branch) || !branch.contents().isNull() || !branch.contentFilters().empty() ||
                branch.sublayers().size() != 1 || branch.sublayers()[0].get() != video_.get())
                return;
            toDevice = graphics::Renderer::toQTransform(branch.transformToSuperlayer()) * toImage;
            if (branch.masksToBounds()) {
                if (toDevice.type() > QTransform::TxScale)
                    return;
                const auto r =
                    wholePixels(toDevice.mapRect(QRectF(branch.bounds().minX(), branch.bounds().minY(),
                                                        branch.bounds().width(), branch.bounds().height())));
                if (!r)
                    return;
                clip = *r & image;
            }
        }
        toDevice = graphics::Renderer::toQTransform(video_->transformToSuperlayer()) * toDevice;
        // Upright and unturned, as the picture's rows run down the output.
        if (toDevice.type() > QTransform::TxScale || toDevice.m11() <= 0 || toDevice.m22() >= 0)
            return;
        const Rect b = video_->bounds();
        const auto placed = wholePixels(toDevice.mapRect(QRectF(b.minX(), b.minY(), b.width(), b.height())));
        if (!placed || !image.contains(*placed) || placed->width() != int(videoPixels_.width) ||
            placed->height() != int(videoPixels_.height))
            return;
        rows_ = RowPlan{*placed, *placed & clip};
        yuvFrames_ = rows_->video == image && rows_->shown == image;
    }

    struct FilteredPicture {
        std::shared_ptr<const AVFrame> source;
        const VideoCompositionInstruction* instruction = nullptr;
        std::once_flag made;
        QImage image; // null when it could not be made
        std::once_flag madeOwnSize;
        av::SharedFrame ownSize; // in the movie's format; null when it could not be made
    };

    // The video picture of a frame, filtered. A source picture lasts several frames (two at 60
    // frames a second from a camera at 30): it is enlarged and filtered once for all of them,
    // whichever workers compose them.
    QImage filteredVideo(int w, const SourceFrame& f, Scratch& scratch) {
        const auto& filters = clones_[size_t(w)].video->contentFilters();
        if (filters.empty() || !f.frame) {
            if (!videoPicture(f, scratch))
                return QImage();
            return filters.empty() ? scratch.video : imaging::applyContentFilters(filters, scratch.video);
        }
        const auto entry = filteredEntry(f);
        std::call_once(entry->made, [&] {
            entry->image = filteredThenEnlarged(f, filters, scratch);
            if (entry->image.isNull() && videoPicture(f, scratch))
                entry->image = imaging::applyContentFilters(filters, scratch.video);
        });
        return entry->image;
    }

    // What is made of a source picture's filtered picture, shared by the workers composing its frames.
    std::shared_ptr<FilteredPicture> filteredEntry(const SourceFrame& f) {
        const auto* instruction = instructionAt(f.time);
        std::lock_guard lock(filteredMutex_);
        for (const auto& e : filtered_)
            if (e->source == f.frame && e->instruction == instruction)
                return e;
        auto entry = std::make_shared<FilteredPicture>();
        entry->source = f.frame;
        entry->instruction = instruction;
        filtered_.push_back(entry);
        // The frames in flight show the latest two source pictures at most.
        while (filtered_.size() > 2)
            filtered_.pop_front();
        return entry;
    }

    // Where the video picture fills the frame and nothing shows through it, a frame is made in the
    // movie's own format: the picture's planes enlarged straight into the movie's, and the layers
    // above drawn over them. Neither the enlarged picture nor the frame is ever made in 32-bit
    // pixels, and a camera picture without filters is never converted at all. False where that does
    // not apply; the frame is then made a row at a time.
    bool composeYuv(int w, const SourceFrame& f, Scratch& scratch, AVFrame* movie) {
        if (!yuvFrames_ || !f.frame || !fillsCanvas(*f.frame, f.time))
            return false;
        const auto& filters = clones_[size_t(w)].video->contentFilters();
        av::SharedFrame filtered;
        const AVFrame* picture = f.frame.get();
        if (!filters.empty()) {
            if (!(filtered = filteredAtOwnSize(f, filters, scratch)))
                return false;
            picture = filtered.get();
        } else if (picture->format != AV_PIX_FMT_YUV420P || picture->color_range == AVCOL_RANGE_JPEG) {
            return false;
        }
        const StaticLayers layers = staticLayers(f.time);
        if (!layers.aboveArea.isEmpty() && !layers.aboveYuv)
            return false;
        scratch.planes = sws_getCachedContext(scratch.planes, picture->width, picture->height,
                                              AV_PIX_FMT_YUV420P, movie->width, movie->height,
                                              AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!scratch.planes)
            return false;
        sws_scale(scratch.planes, picture->data, picture->linesize, 0, picture->height, movie->data,
                  movie->linesize);
        if (layers.aboveYuv)
            layers.aboveYuv->drawOver(movie->data, movie->linesize);
        return true;
    }

    // A camera picture filtered at its own size, in the movie's format, for all the frames it
    // lasts; null unless it is opaque and no larger than the frame (its filters count in its own
    // pixels, as when it is enlarged after filtering as a 32-bit picture).
    av::SharedFrame filteredAtOwnSize(const SourceFrame& f,
                                      const std::vector<graphics::ContentFilterPtr>& filters,
                                      Scratch& scratch) {
        const int pw = int(videoPixels_.width), ph = int(videoPixels_.height);
        const int sw = f.frame->width, sh = f.frame->height;
        if (!((sw < pw && sh < ph) || (sw == pw && sh == ph)))
            return nullptr;
        const auto entry = filteredEntry(f);
        std::call_once(entry->madeOwnSize, [&] {
            if (!av::toImage(f.frame.get(), scratch.scaler, 0, 0, scratch.own))
                return;
            const QImage picture = imaging::applyContentFilters(filters, scratch.own);
            if (picture.size() != scratch.own.size() ||
                picture.format() != QImage::Format_ARGB32_Premultiplied ||
                !bgraToYuv420Handles(picture.width(), picture.height()) || !opaque(picture))
                return;
            av::FramePtr yuv = av::allocFrame();
            if (!yuv)
                return;
            yuv->format = AV_PIX_FMT_YUV420P;
            yuv->width = picture.width();
            yuv->height = picture.height();
            if (av_frame_get_buffer(yuv.get(), 0) < 0)
                return;
            bgraToYuv420(picture.constBits(), int(picture.bytesPerLine()), picture.width(), picture.height(),
                         yuv->data, yuv->linesize);
            entry->ownSize = av::share(std::move(yuv));
        });
        return entry->ownSize;
    }

    static bool opaque(const QImage& image) {
        for (int y = 0; y < image.height(); ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
            std::uint32_t all = 0xff000000u;
            for (int x = 0; x < image.width(); ++x)
                all &= row[x];
            if (all < 0xff000000u)
                return false;
        }
        return true;
    }

    // A camera picture enlarged to fill the frame (720p in a 1080p movie) is filtered at its own
    // size and enlarged after: its filters count in its own pixels, so the picture looks the same,
    // for well under half the filtering. Null where that does not apply.
    QImage filteredThenEnlarged(const SourceFrame& f, const std::vector<graphics::ContentFilterPtr>& filters,
                                Scratch& scratch) {
        const int pw = int(videoPixels_.width), ph = int(videoPixels_.height);
        if (!f.frame || f.frame->width >= pw || f.frame->height >= ph || !fillsCanvas(*f.frame, f.time))
            return QImage();
        QImage own;
        if (!av::toImage(f.frame.get(), scratch.scaler, 0, 0, own))
            return QImage();
        const QImage filtered = imaging::applyContentFilters(filters, own);
        if (filtered.size() != own.size())
            return QImage();
        QImage out(pw, ph, QImage::Format_ARGB32_Premultiplied);
        if (out.isNull())
            return QImage();
        QPainter p(&out);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        drawInStrips(p, out.size(), filtered,
                     QTransform::fromScale(double(pw) / filtered.width(), double(ph) / filtered.height()));
        return out;
    }

    // Qt's raster engine spreads a fill of more than about a hundred rows over its shared pool,
    // from any thread but the pool's own; a strip of fewer rows it paints itself.
    static void drawInStrips(QPainter& p, QSize canvas, const QImage& source, const QTransform& placing) {
        constexpr int stripRows = 64;
        for (int y = 0; y < canvas.height(); y += stripRows) {
            p.resetTransform();
            p.setClipRect(QRect(0, y, canvas.width(), stripRows));
            p.setTransform(placing);
            p.drawImage(0, 0, source);
        }
    }

    // Whether the video track's picture at t, placed by its instruction, covers the render canvas
    // exactly, upright.
    bool fillsCanvas(const AVFrame& frame, double t) const {
        const auto* instruction = instructionAt(t);
        const AffineTransform m = instruction && !instruction->layerInstructions.empty()
                                      ? instruction->layerInstructions[0].transform
                                      : AffineTransform::identity();
        const Rect placed = m.mapRect(Rect(0, 0, frame.width, frame.height));
        return m.b == 0 && m.c == 0 && m.a > 0 && m.d > 0 && std::abs(placed.minX()) < 0.5 &&
               std::abs(placed.minY()) < 0.5 && std::abs(placed.maxX() - vc_.renderSize.width) < 0.5 &&
               std::abs(placed.maxY() - vc_.renderSize.height) < 0.5;
    }

    bool composeRows(int w, const SourceFrame& f, Scratch& scratch, AVFrame* movie) {
        const QImage picture = filteredVideo(w, f, scratch);
        if (picture.size() != rows_->video.size() || picture.format() != QImage::Format_ARGB32_Premultiplied)
            return false;
        const StaticLayers layers = staticLayers(f.time);
        const int W = int(out_.width), H = int(out_.height);
        const QRect shown = rows_->shown, video = rows_->video;
        const QRect above = layers.aboveArea;
        // Over nothing, a row the picture spans is the picture's own row: blending it over clear
        // pixels gives back the same bytes, half-transparent ones included.
        const bool spansRows = layers.clearBelow && shown.left() == 0 && shown.width() == W;
        scratch.row.resize(size_t(W));
        std::uint32_t* row = scratch.row.data();
        BgraToYuv420Rows yuv(W, H, movie->data, movie->linesize);
        for (int y = 0; y < H; ++y) {
            const auto* below = reinterpret_cast<const std::uint32_t*>(layers.below.constScanLine(y));
            const bool showsVideo = y >= shown.top() && y <= shown.bottom() && !shown.isEmpty();
            const bool showsAbove = y >= above.top() && y <= above.bottom() && !above.isEmpty();
            if (!showsVideo && !showsAbove) {
                yuv.push(reinterpret_cast<const std::uint8_t*>(below));
                continue;
            }
            if (showsVideo && !showsAbove && spansRows) {
                yuv.push(picture.constScanLine(y - video.top()));
                continue;
            }
            if (showsVideo) {
                const auto* v =
                    reinterpret_cast<const std::uint32_t*>(picture.constScanLine(y - video.top())) +
                    (shown.left() - video.left());
                std::memcpy(row, below, size_t(shown.left()) * 4);
                blendOver(v, below + shown.left(), row + shown.left(), shown.width());
                std::memcpy(row + shown.right() + 1, below + shown.right() + 1,
                            size_t(W - shown.right() - 1) * 4);
            } else {
                std::memcpy(row, below, size_t(W) * 4);
            }
            if (showsAbove) {
                const auto* a =
                    reinterpret_cast<const std::uint32_t*>(layers.above.constScanLine(y - above.top()));
                blendOver(a, row + above.left(), row + above.left(), above.width());
            }
            yuv.push(reinterpret_cast<const std::uint8_t*>(row));
        }
        return true;
    }

    struct StaticLayers {
        QImage below;
        bool clearBelow = false; // nothing is drawn below the video
        // Only the part of the layers above that is not clear (the rest would leave every pixel
        // as it is), and where it lies on the frame.
        QImage above;
        QRect aboveArea;
        std::shared_ptr<const YuvOverlay> aboveYuv; // the same, for frames made in the movie's format
    };
    // The opacities of the animated layers below the video's branch and above it, each side
    // on its own: the two are drawn and kept apart, as one usually changes without the other.
    struct LayerStates {
        std::vector<double> below, above;
        bool operator==(const LayerStates&) const = default;
    };
    struct Clone {
        graphics::LayerPtr branch, video;
        graphics::Renderer renderer;
    };

    // The smallest rectangle outside which a premultiplied image is all clear.
    static QRect drawnArea(const QImage& image) {
        int top = image.height(), bottom = -1, left = image.width(), right = -1;
        for (int y = 0; y < image.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            int x = 0;
            while (x < image.width() && row[x] == 0)
                ++x;
            if (x == image.width())
                continue;
            int last = image.width() - 1;
            while (row[last] == 0)
                --last;
            top = std::min(top, y);
            bottom = y;
            left = std::min(left, x);
            right = std::max(right, last);
        }
        return bottom < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
    }

    QImage blank() const {
        QImage img(int(out_.width), int(out_.height), QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        return img;
    }

    // The opacities of every animated layer outside the video's branch. Needs treeMutex_.
    LayerStates staticState(double t) const {
        LayerStates state;
        const auto& subs = root_->sublayers();
        for (size_t i = 0; i < subs.size(); ++i)
            if (int(i) != branch_)
                collectOpacities(*subs[i], t, int(i) < branch_ ? state.below : state.above);
        return state;
    }

    // The entry kept for `state`, made the most recently used; null when there is none.
    template <class Entry>
    static Entry* keptFor(std::list<std::pair<std::vector<double>, Entry>>& kept,
                          const std::vector<double>& state) {
        const auto it =
            std::find_if(kept.begin(), kept.end(), [&](const auto& e) { return e.first == state; });
        if (it == kept.end())
            return nullptr;
        kept.splice(kept.begin(), kept, it);
        return &kept.front().second;
    }

    // Keeps the latest entries within `budget` bytes, and the latest one whatever its size.
    template <class Entry, class Bytes>
    static void keepWithin(std::list<std::pair<std::vector<double>, Entry>>& kept, size_t budget,
                           const Bytes& bytes) {
        size_t held = 0;
        for (auto it = kept.begin(); it != kept.end(); ++it) {
            held += bytes(it->second);
            if (held > budget && it != kept.begin()) {
                kept.erase(it, kept.end());
                return;
            }
        }
    }

    StaticLayers staticLayers(double t) {
        std::lock_guard lock(treeMutex_);
        LayerStates state = staticState(t);
        const auto& subs = root_->sublayers();
        StaticLayers s;
        if (const Below* kept = keptFor(belowKept_, state.below)) {
            s.below = kept->picture;
            s.clearBelow = kept->clear;
        } else {
            s.below = blank();
            {
                QPainter p(&s.below);
                Colour bg = root_->backgroundColour();
                if (bg.alpha > 0)
                    p.fillRect(s.below.rect(), bg.toQColor());
                if (!root_->contents().isNull())
                    p.drawImage(s.below.rect(), root_->contents());
            }
            for (int i = 0; i < branch_; ++i)
                renderer_.render(*subs[size_t(i)], s.below, t, scale_);
            // Under a camera picture that fills the frame there is mostly nothing: all such states
            // share one clear frame.
            if (drawnArea(s.below).isEmpty()) {
                if (clear_.isNull())
                    clear_ = s.below;
                s.below = clear_;
                s.clearBelow = true;
            }
            belowKept_.emplace_front(std::move(state.below), Below{s.below, s.clearBelow});
            keepWithin(belowKept_, belowBudget, [&](const Below& b) {
                return b.picture.cacheKey() == clear_.cacheKey() ? size_t(0)
                                                                 : size_t(b.picture.sizeInBytes());
            });
        }
        if (const Above* kept = keptFor(aboveKept_, state.above)) {
            s.above = kept->picture;
            s.aboveArea = kept->area;
            s.aboveYuv = kept->yuv;
        } else {
            if (size_t(branch_) + 1 < subs.size()) {
                s.above = blank();
                for (size_t i = size_t(branch_) + 1; i < subs.size(); ++i)
                    renderer_.render(*subs[i], s.above, t, scale_);
                s.aboveArea = drawnArea(s.above);
                s.above = s.aboveArea.isEmpty() ? QImage() : s.above.copy(s.aboveArea);
                if (yuvFrames_ && !s.above.isNull()) {
                    auto overlay = std::make_shared<YuvOverlay>();
                    if (overlay->make(s.above.constBits(), int(s.above.bytesPerLine()), s.above.width(),
                                      s.above.height(), s.aboveArea.x(), s.aboveArea.y(), int(out_.width),
                                      int(out_.height)))
                        s.aboveYuv = std::move(overlay);
                }
            }
            // Looping animations (an animated picture's frames) cycle through a few states: keep
            // the latest within a budget, as every state of a fade or of several pictures looping
            // out of step would otherwise pile up pictures for the whole take.
            aboveKept_.emplace_front(std::move(state.above), Above{s.above, s.aboveArea, s.aboveYuv});
            keepWithin(aboveKept_, staticLayersBudget, [](const Above& a) {
                return size_t(a.picture.sizeInBytes()) + (a.yuv ? a.yuv->bytes() : 0);
            });
        }
        return s;
    }

    const VideoCompositionInstruction* instructionAt(double t) const {
        const VideoCompositionInstruction* found = nullptr;
        for (auto& i : vc_.instructions)
            if (i.timeRange.contains(t) || (!found && &i == &vc_.instructions.back()))
                found = &i;
        return found;
    }

    // Whether `image` may be written over without copying it first: of the output's size and
    // held by no one else (a tree that still held it would have to keep its old pixels).
    bool ownsCanvas(const QImage& image) const {
        return av::writableInPlace(image, int(out_.width), int(out_.height));
    }

    QImage& clearCanvas(Scratch& scratch) const {
        if (!ownsCanvas(scratch.canvas))
            scratch.canvas = blank();
        else
            scratch.canvas.fill(Qt::transparent);
        return scratch.canvas;
    }

    // The worker's canvas holding a copy of `below`, which has the output's size and format.
    QImage& canvasFrom(Scratch& scratch, const QImage& below) const {
        if (!ownsCanvas(scratch.canvas) || scratch.canvas.bytesPerLine() != below.bytesPerLine()) {
            scratch.canvas = below.copy();
            return scratch.canvas;
        }
        std::memcpy(scratch.canvas.bits(), below.constBits(), size_t(below.sizeInBytes()));
        return scratch.canvas;
    }

    // The video track's picture on the render canvas, at the pixel size it will be drawn at, into
    // scratch.video. False when the picture cannot be converted.
    bool videoPicture(const SourceFrame& f, Scratch& scratch) {
        int pw = int(videoPixels_.width), ph = int(videoPixels_.height);
        const auto* instruction = instructionAt(f.time);
        Colour bg = instruction ? instruction->backgroundColour : Colour::black();
        AffineTransform t = instruction && !instruction->layerInstructions.empty()
                                ? instruction->layerInstructions[0].transform
                                : AffineTransform::identity();
        QImage& canvas = scratch.video;
        const bool reusable = av::writableInPlace(canvas, pw, ph);
        if (f.frame) {
            if (fillsCanvas(*f.frame, f.time))
                return scratch.scaled.toImage(f.frame.get(), pw, ph, canvas);
            QImage source = av::toImage(f.frame.get(), scratch.scaler);
            if (source.isNull())
                return false;
            if (!reusable)
                canvas = QImage(pw, ph, QImage::Format_ARGB32_Premultiplied);
            canvas.fill(bg.toQColor());
            QPainter p(&canvas);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            drawInStrips(p, canvas.size(), source,
                         graphics::Renderer::toQTransform(t) *
                             QTransform::fromScale(pw / vc_.renderSize.width, ph / vc_.renderSize.height));
        } else {
            if (!reusable)
                canvas = QImage(pw, ph, QImage::Format_ARGB32_Premultiplied);
            canvas.fill(bg.toQColor());
        }
        return !canvas.isNull();
    }

    VideoComposition vc_;
    Size out_;
    double scale_ = 1;
    Size videoPixels_;
    int workers_ = 1;
    std::optional<RowPlan> rows_;
    bool yuvFrames_ = false; // the video fills the frame, so frames may be made in the movie's format
    graphics::LayerPtr root_, video_;
    int branch_ = -1;
    bool fast_ = false;
    bool branchAnimated_ = false;
    std::mutex treeMutex_;
    graphics::Renderer renderer_;
    struct Below {
        QImage picture;
        bool clear = false;
    };
    struct Above {
        QImage picture;
        QRect area;
        std::shared_ptr<const YuvOverlay> yuv;
    };
    // Most recently used first.
    std::list<std::pair<std::vector<double>, Below>> belowKept_;
    std::list<std::pair<std::vector<double>, Above>> aboveKept_;
    QImage clear_; // the frame with nothing below the video
    // Enough for the states of a few frames in a row, and for an animated picture's loop above
    // the video, which is kept only where it is drawn; the layers below are whole frames, so
    // only the latest stays (the shared clear frame costs nothing).
    static constexpr size_t staticLayersBudget = size_t(24) << 20;
    static constexpr size_t belowBudget = 0;
    std::deque<Clone> clones_;
    std::mutex filteredMutex_;
    std::deque<std::shared_ptr<FilteredPicture>> filtered_; // the latest, newest last
};

namespace {

// Work nobody waits for yet gives way: a batch thread never pre-empts another when it wakes, so
// the recording, the camera and the autocue keep their moments; threads started from here (the
// decoder's and the encoder's own) inherit it. Not the idle class: an ordinary user may never leave that
// again (nor lower a nice value), so the work the presenter then waits for would be starved by any busy
// program.
void giveWay() {
    sched_param none{};
    (void)sched_setscheduler(0, SCHED_BATCH, &none);
}

// Batch threads still take their share of a core from a thread of the usual priority, the main
// thread's included. So while the export gives way, at most one fewer of its threads than there
// are cores does work at once (the compose workers' and the encoder's turns; decoding is light): a
// picture of the studio or a line of the autocue that falls due always finds a core the movie's
// work does not hold, whichever core another program keeps busy. Once the presenter waits for
// the movie, all work at once.
class WorkGate {
  public:
    // Closed to all but `turns` at once; open when `turns` is 0.
    void limitTo(int turns) {
        std::lock_guard lock(mutex_);
        free_ = turns_ = turns;
        open_ = turns <= 0;
    }
    // Whether worker `index` of several alike may work now: while closed, no more of them than
    // there are turns, so that the others hold no frame or picture of their own meanwhile.
    bool admits(int index) {
        std::lock_guard lock(mutex_);
        return open_ || index < turns_;
    }
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        cv_.notify_all();
    }
    class Turn {
      public:
        explicit Turn(WorkGate& gate) : gate_(gate) {
            std::unique_lock lock(gate.mutex_);
            gate.cv_.wait(lock, [&] { return gate.open_ || gate.free_ > 0; });
            took_ = !gate.open_;
            if (took_)
                --gate.free_;
        }
        ~Turn() {
            if (!took_)
                return;
            {
                std::lock_guard lock(gate_.mutex_);
                ++gate_.free_;
            }
            gate_.cv_.notify_one();
        }
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;

      private:
        WorkGate& gate_;
        bool took_ = false;
    };

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int free_ = 0, turns_ = 0;
    bool open_ = true;
};

// Qt's painting splits large fills and scalings over its shared thread pool, on whatever thread
// paints, the main thread's included, which waits for its parts. A pool thread started by a
// thread that gave way would give way too, and hold up the windows' painting behind any other
// program's work. So the pool's threads are started from the main thread before the export gives
// way, and kept; any started later ask for the usual priority (where the system allows it).
void startSharedPoolAtNormalPriority() {
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setThreadPriority(QThread::NormalPriority);
    pool->setExpiryTimeout(-1);
    // Each task holds its thread until all have one (or a moment has passed), so every one of
    // them is a thread of its own.
    struct Gathering {
        std::mutex mutex;
        std::condition_variable all;
        int arrived = 0;
    };
    auto gathering = std::make_shared<Gathering>();
    const int threads = pool->maxThreadCount();
    for (int i = 0; i < threads; ++i)
        pool->start([gathering, threads] {
            std::unique_lock lock(gathering->mutex);
            if (++gathering->arrived == threads)
                gathering->all.notify_all();
            gathering->all.wait_for(lock, std::chrono::milliseconds(100),
                                    [&] { return gathering->arrived >= threads; });
        });
}

// Once the presenter waits for it, every thread that gave way takes the usual share again, and all
// work at once; any user may move a thread from batch back to usual. Besides the movie's, that is
// the recording's writer, whose last pictures the presenter now waits for as well, and the
// studio's picture worker, which asks to give way again before each picture it draws.
void stopGivingWay(WorkGate& gate) {
    gate.open();
    QDir tasks("/proc/self/task");
    for (const QString& name : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const pid_t tid = pid_t(name.toInt());
        if (tid > 0 && sched_getscheduler(tid) == SCHED_BATCH) {
            sched_param none{};
            (void)sched_setscheduler(tid, SCHED_OTHER, &none);
        }
    }
}

} // namespace

struct ExportSession::Impl : std::enable_shared_from_this<ExportSession::Impl> {
    std::shared_ptr<const Composition> composition;
    std::string outputPath;
    std::shared_ptr<VideoComposition> videoComposition;
    MovieEncoding encoding = movieEncoding();
    Size bounds{1920, 1080};

    mutable std::mutex mutex;
    ExportStatus status = ExportStatus::Waiting;
    std::optional<std::string> error;
    std::atomic<double> progress{0};
    std::atomic<bool> cancelled{false};
    std::atomic<int> framesWritten{0};
    std::thread thread;

    // Following a recording as it is written (null otherwise). Under `mutex`: how far the
    // pictures' layers are known, the composition to compose with from now on (and how many
    // times it changed), and whether the recording has ended and its whole composition is set.
    std::shared_ptr<GrowingFile> recording;
    double knownUntil = 0;
    int generation = 0;
    bool finishing = false;
    std::optional<bool> recordingHasAudio;
    WorkGate gate; // closed to all but one fewer than the cores while following

    VideoComposition effectiveComposition() const {
        return videoComposition ? *videoComposition : VideoComposition::forComposition(*composition);
    }

    struct FollowState {
        bool finishing = false;
        double knownUntil = 0;
        int generation = 0;
        std::shared_ptr<VideoComposition> videoComposition;
        std::shared_ptr<const Composition> composition;
    };
    FollowState followState() const {
        std::lock_guard lock(mutex);
        return {finishing, knownUntil, generation, videoComposition, composition};
    }

    // Each thread of an export that follows a recording; one started after the end is known
    // keeps the usual share.
    void giveWayUntilWaitedFor() const {
        std::lock_guard lock(mutex);
        if (recording && !finishing && !cancelled)
            giveWay();
    }

    static int frameCount(double duration, double frameDuration) {
        return std::max(1, int(std::ceil(duration / frameDuration - 1e-6)));
    }

    Status run() {
        const bool follow = recording != nullptr;
        if (follow ? !videoComposition : !composition)
            return Status::failure("The composition has no video to export");
        auto* videoTrack = follow ? nullptr : composition->firstTrack(MediaType::Video);
        if (!follow && (!videoTrack || videoTrack->isEmpty()))
            return Status::failure("The composition has no video to export");
        const FollowState initial = followState();
        const VideoComposition vc = follow ? *initial.videoComposition : effectiveComposition();
        if (vc.renderSize.width < 2 || vc.renderSize.height < 2 || vc.frameDuration <= 0)
            return Status::failure("The video composition has no usable size or frame duration");
        giveWayUntilWaitedFor();
        // Nothing the export does goes on the shared pool the windows paint with (see the composers).
        const imaging::WorkerPool::RunHere here;
        Size out = fitExportSize(vc.renderSize, bounds);
        // Known from the start unless following a recording, when it comes with its end.
        int total = follow ? -1 : frameCount(composition->duration(), vc.frameDuration);
        auto* audioTrack = follow ? nullptr : composition->firstTrack(MediaType::Audio);
        bool hasAudio = audioTrack && !audioTrack->isEmpty();
        std::unique_ptr<AudioTrackReader> recordedSound;
        if (follow) {
            // Waits for the recording's first fragment; a recording without sound fails here.
            auto sound = AudioTrackReader::open(recording);
            if (recording->state() == GrowingFile::State::Abandoned)
                return Status::failure("Cancelled");
            hasAudio = bool(sound);
            if (sound) {
                recordedSound = std::move(sound).value();
                (void)recordedSound->seek(0);
            }
            std::lock_guard lock(mutex);
            recordingHasAudio = hasAudio;
        }

        MovieWriterSettings settings;
        settings.width = int(out.width);
        settings.height = int(out.height);
        double fps = 1.0 / vc.frameDuration;
        if (std::abs(fps - std::round(fps)) < 1e-6) {
            settings.frameRateNum = int(std::round(fps));
            settings.frameRateDen = 1;
        } else {
            settings.frameRateNum = int(std::round(fps * 1001));
            settings.frameRateDen = 1001;
        }
        settings.hasAudio = hasAudio;
        settings.preset = encoding.preset;
        settings.x264Options = encoding.options;
        settings.crf = encoding.crf;
        settings.fragmented = false;
        // Encoded on the writing thread alone: made during the take it keeps to its turns, and
        // the movie comes out the same whether it was made then or after the stop (the encoder's
        // choices depend on its threads). The compose workers have the other cores.
        settings.threads = 1;
        // The quick settings plan by no pictures ahead; a slower preset asked for plans by half a
        // second's worth at 30 fps, five fewer 1080p pictures held than its own ten.
        if (settings.preset != "ultrafast")
            settings.lookahead = 5;
        auto created = MovieWriter::create(outputPath, settings);
        if (!created)
            return created.status();
        auto writer = std::move(created).value();

        // Decode -> compose (several workers) -> encode (this thread), with bounded queues.
        int cores = usableCores();
        const int workersWanted = std::max(1, std::min(cores, 8));
        // A recording followed while it is written gets a newer composition whenever its layers
        // are known further; every frame is composed with the one current when it was decoded.
        auto composer = std::make_shared<Composer>(vc, out, workersWanted);
        int composerGeneration = initial.generation;
        // A tree that cannot be drawn on several workers at once is drawn by one; while following,
        // a later tree may allow it, so every worker is there from the start.
        int workers = follow ? workersWanted : composer->workers();
        // Frames in flight: one being encoded, one ready after it, and one for each worker; more
        // would only wait, each holding its source and its movie picture.
        const int window = workers + 2;

        std::mutex m;
        std::condition_variable cv;
        std::deque<std::pair<SourceFrame, std::shared_ptr<Composer>>> decoded;
        // (repeat the previous frame, picture in the movie's own format)
        std::map<int, std::pair<bool, av::SharedFrame>> composed;
        int nextToWrite = 0;
        int decodedCount = 0;
        bool decodeDone = false;
        std::optional<std::string> pipelineError;
        auto stopping = [&] { return cancelled.load() || pipelineError.has_value(); };
        // A cancel sets a flag without a notification: wait in short slices.
        auto waitFor = [&](std::unique_lock<std::mutex>& lock, const auto& ready) {
            while (!ready())
                cv.wait_for(lock, std::chrono::milliseconds(20));
        };
        std::thread decoder([&] {
            giveWayUntilWaitedFor();
            const imaging::WorkerPool::RunHere here;
            std::map<std::string, std::unique_ptr<VideoTrackReader>> readers;
            std::unique_ptr<VideoTrackReader> recordedPictures;
            std::shared_ptr<const AVFrame> previous;
            auto fail = [&](const std::string& message) {
                std::lock_guard lock(m);
                pipelineError = message;
                cv.notify_all();
            };
            for (int k = 0;; ++k) {
                double t = k * vc.frameDuration;
                FollowState state;
                if (follow) {
                    // The layers at t are known once the take has passed it.
                    std::unique_lock lock(m);
                    bool abandoned = false;
                    waitFor(lock, [&] {
                        state = followState();
                        abandoned = recording->state() == GrowingFile::State::Abandoned;
                        return stopping() || abandoned || state.finishing || t < state.knownUntil;
                    });
                    if (stopping())
                        break;
                    if (abandoned && !state.finishing) {
                        pipelineError = "The recording was given up";
                        cv.notify_all();
                        break;
                    }
                    if (state.finishing)
                        total = frameCount(state.composition->duration(), vc.frameDuration);
                    if (state.generation != composerGeneration) {
                        composer = std::make_shared<Composer>(*state.videoComposition, out, workersWanted);
                        composerGeneration = state.generation;
                    }
                }
                if (k >= total && (!follow || state.finishing))
                    break;
                SourceFrame f{k, t, nullptr};
                if (follow) {
                    const auto* track =
                        state.finishing ? state.composition->firstTrack(MediaType::Video) : nullptr;
                    const bool onTrack = !track || t < track->segments().front().source.duration;
                    if (onTrack && !recordedPictures) {
                        auto r = VideoTrackReader::open(recording);
                        if (!r) {
                            fail(r.error());
                            return;
                        }
                        recordedPictures = std::move(r).value();
                    }
                    if (onTrack) {
                        auto frame = recordedPictures->frameAt(t);
                        if (frame)
                            f.frame = frame->frame;
                        else if (recording->state() == GrowingFile::State::Abandoned)
                            break;
                    }
                } else {
                    for (auto& seg : videoTrack->segments()) {
                        if (t < seg.at || t >= seg.at + seg.source.duration)
                            continue;
                        auto& reader = readers[seg.sourcePath];
                        if (!reader) {
                            auto r = VideoTrackReader::open(seg.sourcePath);
                            if (!r) {
                                fail(r.error());
                                return;
                            }
                            reader = std::move(r).value();
                        }
                        auto frame = reader->frameAt(seg.source.start + (t - seg.at));
                        if (frame)
                            f.frame = frame->frame;
                        break;
                    }
                }
                f.repeat = k > 0 && f.frame == previous && composer->looksTheSame(t - vc.frameDuration, t);
                previous = f.frame;
                std::unique_lock lock(m);
                waitFor(lock, [&] { return stopping() || k - nextToWrite < window; });
                if (stopping())
                    break;
                decoded.emplace_back(std::move(f), composer);
                decodedCount = k + 1;
                cv.notify_all();
            }
            std::lock_guard lock(m);
            decodeDone = true;
            cv.notify_all();
        });

        std::vector<std::thread> composers;
        // The movie's pictures come from one pool, so the encoder reads memory it has read before.
        av::FramePool pictures(AV_PIX_FMT_YUV420P, settings.width, settings.height);
        for (int w = 0; w < workers; ++w) {
            composers.emplace_back([&, w] {
                giveWayUntilWaitedFor();
                Composer::Scratch scratch;
                SwsContext* toMovie = nullptr;
                while (true) {
                    SourceFrame f;
                    std::shared_ptr<Composer> by;
                    {
                        std::unique_lock lock(m);
                        waitFor(lock, [&] {
                            return stopping() || (decodeDone && decoded.empty()) ||
                                   (!decoded.empty() && gate.admits(w));
                        });
                        if (stopping() || decoded.empty())
                            break;
                        f = std::move(decoded.front().first);
                        by = std::move(decoded.front().second);
                        decoded.pop_front();
                    }
                    // Converted here rather than by the writer, so that the conversion runs on
                    // every worker and the encoding thread only encodes.
                    av::SharedFrame picture;
                    if (!f.repeat) {
                        // Several workers compose side by side, each frame's filters and bands
                        // on its own thread; so none of it waits in, or holds up, the pool
                        // the windows paint with. A tree only one worker may draw at a time
                        // (after the take) still spreads its frames over the pool.
                        std::optional<imaging::WorkerPool::RunHere> here;
                        if (follow || by->workers() > 1)
                            here.emplace();
                        const WorkGate::Turn turn(gate);
                        if (av::FramePtr made = pictures.get();
                            made && by->composeInto(w, f, scratch, made.get(), toMovie))
                            picture = av::share(std::move(made));
                        if (!picture) {
                            std::lock_guard lock(m);
                            if (!pipelineError)
                                pipelineError = "Cannot convert the picture";
                            cv.notify_all();
                            break;
                        }
                    }
                    std::lock_guard lock(m);
                    composed.emplace(f.index, std::make_pair(f.repeat, std::move(picture)));
                    cv.notify_all();
                }
                sws_freeContext(toMovie);
            });
        }

        AudioFeeder audio = follow ? AudioFeeder(std::move(recordedSound), *writer)
                                   : AudioFeeder(hasAudio ? audioTrack : nullptr, *writer);
        Status result = Status::ok();
        av::SharedFrame picture;
        bool soundEndSet = !follow;
        for (int k = 0; result; ++k) {
            bool repeat = false;
            {
                std::unique_lock lock(m);
                waitFor(lock,
                        [&] { return stopping() || composed.count(k) || (decodeDone && k >= decodedCount); });
                if (cancelled) {
                    result = Status::failure("Cancelled");
                    break;
                }
                if (pipelineError) {
                    result = Status::failure(*pipelineError);
                    break;
                }
                if (!composed.count(k))
                    break;
                auto& entry = composed[k];
                repeat = entry.first;
                if (!repeat)
                    picture = std::move(entry.second);
                composed.erase(k);
            }
            double t = k * vc.frameDuration;
            double soundUntil = t + 1.0;
            if (follow) {
                const auto state = followState();
                if (state.finishing && !soundEndSet) {
                    const auto* track = state.composition->firstTrack(MediaType::Audio);
                    audio.endAt(track && !track->isEmpty() ? track->segments().front().source.duration : 0);
                    soundEndSet = true;
                    total = frameCount(state.composition->duration(), vc.frameDuration);
                }
                // Before the end is known, sound goes no further than what surely lies before
                // it, so that nothing past the end is written.
                if (!state.finishing)
                    soundUntil = std::min(soundUntil, state.knownUntil - 0.5);
            }
            // Sound runs a little ahead of the pictures so the muxer can interleave them.
            result = audio.feedUntil(soundUntil);
            // A picture like the one before is not encoded again: that sample lasts on, so the
            // encoder spends nothing on it and never codes it as a blend of its neighbours.
            if (result && repeat) {
                result = writer->repeatVideo(t);
            } else if (result) {
                const WorkGate::Turn turn(gate);
                result = picture ? writer->appendVideo(picture.get(), t) : Status::failure("No picture");
            }
            if (result)
                ++framesWritten;
            {
                std::lock_guard lock(m);
                nextToWrite = k + 1;
                cv.notify_all();
            }
            if (total > 0)
                progress = std::min(1.0, double(k + 1) / total);
        }
        {
            std::lock_guard lock(m);
            if (!result && !pipelineError)
                pipelineError = result.error();
            cv.notify_all();
        }
        decoder.join();
        for (auto& c : composers)
            c.join();
        if (result && cancelled)
            result = Status::failure("Cancelled");
        if (result && follow && !followState().finishing)
            result = Status::failure("The recording ended before the export knew its end");
        if (result) {
            const double duration = follow ? followState().composition->duration() : composition->duration();
            result = audio.feedUntil(duration);
        }
        if (result)
            result = writer->finish();
        else
            (void)writer->finish();
        return result;
    }

    // Reads the composition's sound segment by segment and hands it to the writer in order.
    class AudioFeeder {
      public:
        AudioFeeder(const CompositionTrack* track, MovieWriter& writer) : writer_(writer) {
            if (track)
                for (const auto& seg : track->segments())
                    segments_.push_back({seg.sourcePath, seg.at, seg.source.start, seg.source.duration});
        }
        // The sound of a recording still being written, from its start; its length comes later.
        AudioFeeder(std::unique_ptr<AudioTrackReader> reader, MovieWriter& writer) : writer_(writer) {
            if (!reader)
                return;
            segments_.push_back({"", 0, 0, std::numeric_limits<double>::infinity()});
            reader_ = std::move(reader);
        }
        void endAt(double duration) {
            if (!segments_.empty())
                segments_.front().duration = duration;
        }
        Status feedUntil(double until) {
            while (fedUntil_ < until) {
                if (segment_ >= segments_.size())
                    return Status::ok();
                const auto& seg = segments_[segment_];
                if (!reader_) {
                    auto r = AudioTrackReader::open(seg.path);
                    if (!r)
                        return r.status();
                    reader_ = std::move(r).value();
                    if (auto s = reader_->seek(seg.start); !s)
                        return s;
                }
                auto chunk = reader_->next();
                if (!chunk)
                    return chunk.status();
                double segEnd = seg.start + seg.duration;
                if (!chunk.value() || chunk.value()->time >= segEnd) {
                    reader_.reset();
                    ++segment_;
                    fedUntil_ = std::max(fedUntil_, seg.at + seg.duration);
                    continue;
                }
                auto& c = *chunk.value();
                int frames = c.frameCount();
                // Until a followed recording ends, its segment has no end: the whole chunk is
                // kept (an infinite count must never reach a conversion to int).
                const double left = (segEnd - c.time) * c.sampleRate;
                const int keep = left >= frames ? frames : int(std::lround(left));
                double at = seg.at + (c.time - seg.start);
                if (keep > 0)
                    if (auto s = writer_.appendAudioSamples(c.samples.data(), keep, at); !s)
                        return s;
                fedUntil_ = at + double(keep) / c.sampleRate;
            }
            return Status::ok();
        }

      private:
        struct Segment {
            std::string path;
            double at = 0, start = 0, duration = 0;
        };
        MovieWriter& writer_;
        std::vector<Segment> segments_;
        size_t segment_ = 0;
        std::unique_ptr<AudioTrackReader> reader_;
        double fedUntil_ = 0;
    };
};

ExportSession::ExportSession() : d(std::make_shared<Impl>()) {}

std::shared_ptr<ExportSession>
ExportSession::createFollowing(std::shared_ptr<GrowingFile> recording,
                               std::shared_ptr<VideoComposition> videoComposition,
                               const std::string& presetName) {
    if (presetName != preset1920x1080 || !recording || !videoComposition)
        return nullptr;
    startSharedPoolAtNormalPriority();
    std::shared_ptr<ExportSession> s(new ExportSession());
    s->d->recording = std::move(recording);
    s->d->videoComposition = std::move(videoComposition);
    s->d->gate.limitTo(usableCores() - 1);
    return s;
}

void ExportSession::followUntil(double seconds, std::shared_ptr<VideoComposition> videoComposition) {
    std::lock_guard lock(d->mutex);
    if (!d->recording || d->finishing)
        return;
    d->knownUntil = std::max(d->knownUntil, seconds);
    if (videoComposition) {
        d->videoComposition = std::move(videoComposition);
        ++d->generation;
    }
}

bool ExportSession::finishFollowing(std::shared_ptr<const Composition> composition,
                                    std::shared_ptr<VideoComposition> videoComposition) {
    if (!d->recording || !composition || !videoComposition)
        return false;
    // Only the recording from its start, whole, composed on the same canvas and frame grid can
    // carry on from the frames already made.
    const auto fromTheStart = [&](const CompositionTrack* track) {
        if (!track || track->segments().size() != 1)
            return false;
        const auto& seg = track->segments().front();
        return seg.sourcePath == d->recording->path() && seg.at == 0 && seg.source.start == 0;
    };
    const auto* audio = composition->firstTrack(MediaType::Audio);
    const bool hasAudio = audio && !audio->isEmpty();
    std::lock_guard lock(d->mutex);
    const bool usable = d->status == ExportStatus::Exporting && !d->finishing && !d->cancelled &&
                        d->recordingHasAudio == hasAudio &&
                        fromTheStart(composition->firstTrack(MediaType::Video)) &&
                        (!hasAudio || fromTheStart(audio)) &&
                        videoComposition->renderSize == d->videoComposition->renderSize &&
                        videoComposition->frameDuration == d->videoComposition->frameDuration &&
                        d->knownUntil <= composition->duration() + 1e-9;
    if (!usable)
        return false;
    d->composition = std::move(composition);
    d->videoComposition = std::move(videoComposition);
    ++d->generation;
    d->finishing = true;
    stopGivingWay(d->gate);
    d->recording->complete();
    return true;
}

ExportSession::~ExportSession() {
    d->cancelled = true;
    if (d->recording)
        d->recording->abandon();
    if (d->thread.joinable())
        d->thread.join();
}

std::shared_ptr<ExportSession> ExportSession::create(std::shared_ptr<const Composition> composition,
                                                     const std::string& presetName) {
    if (presetName != preset1920x1080 || !composition)
        return nullptr;
    std::shared_ptr<ExportSession> s(new ExportSession());
    s->d->composition = std::move(composition);
    return s;
}

void ExportSession::setOutputPath(const std::string& path) {
    d->outputPath = path;
}
const std::string& ExportSession::outputPath() const {
    return d->outputPath;
}
void ExportSession::setOutputFileType(MovieFileType) {}
void ExportSession::setVideoComposition(std::shared_ptr<VideoComposition> composition) {
    d->videoComposition = std::move(composition);
}
void ExportSession::setEncoderPreset(const std::string& preset) {
    d->encoding = {preset, "", 23};
}

Size ExportSession::outputSize() const {
    return fitExportSize(d->effectiveComposition().renderSize, d->bounds);
}

void ExportSession::exportAsynchronously(std::function<void()> completion) {
    {
        std::lock_guard lock(d->mutex);
        if (d->status == ExportStatus::Cancelled) {
            // Cancelled before it started: still tell the caller it is over.
            if (completion)
                MainQueue::post(std::move(completion));
            return;
        }
        if (d->status != ExportStatus::Waiting)
            return;
        d->status = ExportStatus::Exporting;
    }
    auto impl = d;
    d->thread = std::thread([impl, completion = std::move(completion)] {
        Status result = impl->outputPath.empty() ? Status::failure("No output file") : impl->run();
        {
            std::lock_guard lock(impl->mutex);
            if (impl->cancelled) {
                impl->status = ExportStatus::Cancelled;
            } else if (result) {
                impl->status = ExportStatus::Completed;
                impl->progress = 1.0;
            } else {
                impl->status = ExportStatus::Failed;
                impl->error = result.error();
            }
            // A half-written movie is of no use to anyone.
            if (impl->status != ExportStatus::Completed && !impl->outputPath.empty())
                std::remove(impl->outputPath.c_str());
        }
        bool tell = true;
        {
            std::lock_guard lock(impl->mutex);
            // A recording followed to no end: its take has gone, and nobody waits.
            tell = !impl->recording || impl->finishing;
        }
        if (completion && tell)
            MainQueue::post(completion);
    });
}

void ExportSession::cancelExport() {
    std::lock_guard lock(d->mutex);
    d->cancelled = true;
    if (d->recording) {
        d->recording->abandon();
        // Its threads end sooner for being let in.
        if (!d->finishing)
            stopGivingWay(d->gate);
    }
    if (d->status == ExportStatus::Waiting)
        d->status = ExportStatus::Cancelled;
}

ExportStatus ExportSession::status() const {
    std::lock_guard lock(d->mutex);
    return d->status;
}

std::optional<std::string> ExportSession::error() const {
    std::lock_guard lock(d->mutex);
    return d->error;
}

double ExportSession::progress() const {
    return d->progress;
}

int ExportSession::framesWritten() const {
    return d->framesWritten;
}

} // namespace qrn::media
