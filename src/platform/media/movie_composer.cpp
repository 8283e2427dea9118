#include "platform/media/movie_composer.h"

#include "platform/graphics/renderer.h"
#include "platform/imaging/filter_chain.h"
#include "platform/media/picture_convert.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <typeinfo>

namespace qrn::media {

namespace {

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

bool branchHasAnimations(const graphics::Layer& l) {
    if (l.hasAnimations())
        return true;
    for (auto& s : l.sublayers())
        if (branchHasAnimations(*s))
            return true;
    return false;
}

} // namespace

class Composer::Impl {
  public:
    Impl(const VideoComposition& vc, Size out, int workers) : vc_(vc), out_(out) {
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
        av::SharedFrame ownSize;    // in the movie's format; null when it could not be made
        av::SharedFrame ownThrough; // what shows through it, as its planes, where that was asked for
        bool opaque = true;
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

    // Where a filtered video picture fills the frame, a frame is made in the movie's own format:
    // the picture filtered at its own size is converted there, its planes enlarged straight into
    // the movie's, the layers below drawn under what of it lets them through (a blurred picture's
    // edges) and those above over it. Neither the enlarged picture nor the frame is ever made in
    // 32-bit pixels. False where that does not apply; the frame is then made a row at a time.
    bool composeYuv(int w, const SourceFrame& f, Scratch& scratch, AVFrame* movie) {
        if (!yuvFrames_ || !f.frame || !fillsCanvas(*f.frame, f.time))
            return false;
        const auto& filters = clones_[size_t(w)].video->contentFilters();
        // A camera picture without filters goes the way through 32-bit pixels: that mixes its
        // chroma rows and clips its noise where its colours are full, which the encoder makes
        // smaller for the same closeness than the picture as it came.
        if (filters.empty())
            return false;
        const StaticLayers layers = staticLayers(f.time);
        if (!layers.aboveArea.isEmpty() && !layers.aboveYuv)
            return false;
        // Over nothing, or over black, what shows through adds nothing.
        const bool under = !layers.belowAddsNothing;
        if (under && !layers.belowYuv)
            return false;
        const std::shared_ptr<FilteredPicture> filtered = filteredAtOwnSize(f, filters, under, scratch);
        if (!filtered || (under && !filtered->opaque && !filtered->ownThrough))
            return false;
        const AVFrame* picture = filtered->ownSize.get();
        const AVFrame* through = under ? filtered->ownThrough.get() : nullptr;
        scratch.planes = sws_getCachedContext(scratch.planes, picture->width, picture->height,
                                              AV_PIX_FMT_YUV420P, movie->width, movie->height,
                                              AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!scratch.planes)
            return false;
        sws_scale(scratch.planes, picture->data, picture->linesize, 0, picture->height, movie->data,
                  movie->linesize);
        if (through) {
            // What shows through, enlarged as the picture is: its chroma at the chroma samples' places.
            if (!scratch.through || scratch.through->width != movie->width ||
                scratch.through->height != movie->height) {
                scratch.through = av::allocFrame();
                if (!scratch.through)
                    return false;
                scratch.through->format = AV_PIX_FMT_YUV420P;
                scratch.through->width = movie->width;
                scratch.through->height = movie->height;
                if (av_frame_get_buffer(scratch.through.get(), 0) < 0) {
                    scratch.through.reset();
                    return false;
                }
            }
            sws_scale(scratch.planes, through->data, through->linesize, 0, through->height,
                      scratch.through->data, scratch.through->linesize);
            const std::uint8_t* const shows[2] = {scratch.through->data[0], scratch.through->data[1]};
            const int showsStrides[2] = {scratch.through->linesize[0], scratch.through->linesize[1]};
            drawUnder(layers.belowYuv->data, layers.belowYuv->linesize, shows, showsStrides, movie->data,
                      movie->linesize, movie->width, movie->height);
        }
        if (layers.aboveYuv)
            layers.aboveYuv->drawOver(movie->data, movie->linesize);
        return true;
    }

    // A camera picture filtered at its own size, in the movie's format, for all the frames it
    // lasts, with what shows through it where it is not opaque; null unless it is no larger than
    // the frame (its filters count in its own pixels, as when it is enlarged after filtering as a
    // 32-bit picture).
    std::shared_ptr<FilteredPicture> filteredAtOwnSize(const SourceFrame& f,
                                                       const std::vector<graphics::ContentFilterPtr>& filters,
                                                       bool withThrough, Scratch& scratch) {
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
                !bgraToYuv420Handles(picture.width(), picture.height()))
                return;
            av::FramePtr yuv = movieFormatFrame(picture.width(), picture.height());
            if (!yuv)
                return;
            bgraToYuv420(picture.constBits(), int(picture.bytesPerLine()), picture.width(), picture.height(),
                         yuv->data, yuv->linesize);
            entry->opaque = opaque(picture);
            if (!entry->opaque && withThrough) {
                // Laid out as a picture of the movie's format, so that it is enlarged as the picture is.
                av::FramePtr through = movieFormatFrame(picture.width(), picture.height(), 1);
                if (!through || through->linesize[0] != picture.width() ||
                    through->linesize[1] != picture.width() / 2 ||
                    through->linesize[2] != through->linesize[1])
                    return;
                throughPlanes(picture.constBits(), int(picture.bytesPerLine()), picture.width(),
                              picture.height(), through->data[0], through->data[1]);
                std::memcpy(through->data[2], through->data[1],
                            size_t(through->linesize[1]) * size_t(picture.height() / 2));
                entry->ownThrough = av::share(std::move(through));
            }
            entry->ownSize = av::share(std::move(yuv));
        });
        return entry->ownSize ? entry : nullptr;
    }

    // A picture in the movie's format; with an alignment of 1 its rows lie one after another.
    static av::FramePtr movieFormatFrame(int width, int height, int align = 0) {
        av::FramePtr frame = av::allocFrame();
        if (!frame)
            return nullptr;
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = width;
        frame->height = height;
        if (av_frame_get_buffer(frame.get(), align) < 0)
            return nullptr;
        return frame;
    }

    // Whether every pixel is black, of whatever alpha: converted, it is black, the same as nothing.
    static bool blackOnly(const QImage& image) {
        for (int y = 0; y < image.height(); ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
            std::uint32_t any = 0;
            for (int x = 0; x < image.width(); ++x)
                any |= row[x];
            if (any & 0x00ffffffu)
                return false;
        }
        return true;
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
        bool clearBelow = false;      // nothing is drawn below the video
        bool belowAddsNothing = true; // clear or black: what shows through of it adds nothing
        av::SharedFrame belowYuv;     // the layers below, for frames made in the movie's format
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
            s.belowYuv = kept->yuv;
            s.belowAddsNothing = kept->addsNothing;
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
            s.belowAddsNothing = s.clearBelow || blackOnly(s.below);
            if (yuvFrames_ && !s.belowAddsNothing) {
                av::FramePtr yuv = movieFormatFrame(int(out_.width), int(out_.height));
                if (yuv) {
                    bgraToYuv420(s.below.constBits(), int(s.below.bytesPerLine()), s.below.width(),
                                 s.below.height(), yuv->data, yuv->linesize);
                    s.belowYuv = av::share(std::move(yuv));
                }
            }
            belowKept_.emplace_front(std::move(state.below),
                                     Below{s.below, s.clearBelow, s.belowAddsNothing, s.belowYuv});
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
        bool addsNothing = true;
        av::SharedFrame yuv; // the same in the movie's format, where frames are made in it
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

Composer::Composer(const VideoComposition& vc, Size out, int workers)
    : d(std::make_unique<Impl>(vc, out, workers)) {}

Composer::~Composer() = default;

int Composer::workers() const {
    return d->workers();
}

bool Composer::looksTheSame(double t0, double t1) {
    return d->looksTheSame(t0, t1);
}

bool Composer::composeInto(int w, const SourceFrame& f, Scratch& scratch, AVFrame* movie,
                           SwsContext*& toMovie) {
    return d->composeInto(w, f, scratch, movie, toMovie);
}

} // namespace qrn::media
