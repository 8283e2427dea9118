#pragma once
// Draws a layer tree into a premultiplied image at a time t: the one drawing path for the host
// window, snapshots and the movie export. Our layer space is y up; the conversion to the image's
// y-down rows happens here once.
#include <QImage>
#include <QRect>
#include <QRegion>
#include <QTransform>

#include <limits>
#include <memory>
#include <vector>

#include "platform/graphics/layer.h"

class QPainter;

namespace qrn::graphics {

class Renderer {
  public:
    Renderer();
    ~Renderer();
    Renderer(Renderer&&) noexcept;
    Renderer& operator=(Renderer&&) noexcept;

    // Threads drawing into an image (the QImage overloads, renderToImage, snapshot), each
    // taking a band of rows: 0, the default, uses every core the process may run on; 1 draws on
    // one thread. They are threads of the shared worker pool (imaging/worker_pool.h), so
    // drawInContext may run off the caller's thread (which waits).
    // Drawing with an open painter stays on the caller's thread.
    void setThreadCount(int threads) { threads_ = threads < 0 ? 0 : threads; }
    int threadCount() const { return threads_; }

    // Draws `root`, placed by its own position and transform in its superlayer's space, into
    // `target` (ARGB32 premultiplied). That space maps to the image with its origin at the
    // image's bottom-left, one point per pixel, scaled by `scale`. The image is not cleared.
    void render(const Layer& root, QImage& target, double t, double scale = 1.0);
    // The same with the root's superlayer space mapped to the image by `toImage`; filtered groups
    // are cut to `device` (in the image's pixels; empty: the image) as if the image were part
    // of a larger picture.
    void render(const Layer& root, QImage& target, double t, const QTransform& toImage,
                const QRectF& device = {});
    // A new transparent image of `size` points (times `scale`) with `root` drawn as above.
    QImage renderToImage(const Layer& root, Size size, double t, double scale = 1.0);
    // The layer alone, ignoring its position, transform and superlayer: its bounds fill the image.
    QImage snapshot(const Layer& layer, double t, double scale = 1.0);

    // Draws with an open painter. `toDevice` maps the root's superlayer space (y up) to the
    // painter's device coordinates; the painter's clip is respected.
    void render(const Layer& root, QPainter& painter, double t, const QTransform& toDevice);

    // Layers marked to be drawn off the main thread show their last finished picture from
    // there (graphics/off_thread_picture.h) instead of being drawn here, where one matches. The
    // window's painting does this; every other render draws them itself.
    void setUsesOffThreadPictures(bool on) { offThread_ = on; }

    // Whether the last render met a running animation, so the picture changes with time.
    bool lastRenderWasAnimated() const { return animated_; }
    // The earliest time from the last render's t at which an animation it drew may change its
    // picture: its t while one changes gradually, the end of a held frame, infinity when
    // nothing drawn moves. Pictures drawn elsewhere keep their own time and are not counted.
    double lastRenderNextChange() const { return nextChange_; }
    // With an open painter: the device pixels of the animated layers it met, drawn or clipped
    // away (all of a filtered group that holds one), for a window to repaint just those.
    const QRegion& lastRenderMovingArea() const { return moving_; }

    // What the last render drew: every layer drawn from its own properties (a cached run's
    // layers count only when the run is drawn afresh), and the cached runs reused and redrawn.
    struct Stats {
        long layersDrawn = 0;
        long runsReused = 0;
        long runsRedrawn = 0;
    };
    Stats lastRenderStats() const;

    // Maps our y-up space of a given height onto y-down rows.
    static QTransform yUpToImage(double heightInPixels, double scale = 1.0);
    static QTransform toQTransform(const AffineTransform& t) {
        return QTransform(t.a, t.b, t.c, t.d, t.tx, t.ty);
    }

  private:
    struct Pass;
    struct SharedGroups;
    struct RunCache;
    struct RunCaches;
    struct KeptGroups;

    // Draws into `target` band by band; `placed` draws `layer` by its placement in its
    // superlayer, otherwise its bounds fill the image mapped by `toImage`.
    void renderImage(const Layer& layer, QImage& target, double t, const QTransform& toImage, bool placed,
                     const QRectF& device = {});
    // Draws the finished picture of a layer drawn off the main thread; false when none matches.
    bool drawOffThreadPicture(Pass& pass, QPainter& p, const Layer& layer, const QTransform& parentToDevice,
                              double parentOpacity);
    // Sets bandStarts_ to the first row of each band and the image's height: `whole` bands of
    // about equal cost, the last `finer` of them each cut into a half and two quarters.
    void splitRows(const Layer& layer, int w, int h, double t, const QTransform& toImage, bool placed,
                   int whole, int finer);
    // Adds to rowCost_ (as changes from one row to the next) what drawing `layer` and its
    // sublayers may cost in each row of `image`.
    void addRowCost(const Layer& layer, const QTransform& toDevice, const QRectF& image, double t);
    void drawLayer(Pass& pass, QPainter& p, const Layer& layer, const QTransform& parentToDevice,
                   double parentOpacity, int depth);
    void drawContent(Pass& pass, QPainter& p, const Layer& layer, const QTransform& toDevice, double opacity,
                     int depth);
    void drawBody(Pass& pass, QPainter& p, const Layer& layer, const QTransform& toDevice, double opacity,
                  int depth);
    // The sublayers of a layer with many that the pass draws, in order: false for a layer with few.
    bool drawnSublayers(Pass& pass, const Layer& layer, const QTransform& toDevice,
                        std::vector<const Layer*>& out) const;
    void drawFiltered(Pass& pass, QPainter& p, const Layer& layer, const QTransform& toDevice, double opacity,
                      int depth);
    QImage filteredGroup(Pass& pass, const Layer& layer, const QTransform& toDevice, const QRect& r,
                         int depth);
    // The group's picture as last made where nothing in it has changed since, else made again.
    const QImage& keptGroup(Pass& pass, const Layer& layer, const QTransform& toDevice, const QRect& r,
                            int depth);
    QRectF subtreeDeviceBounds(const Layer& layer, const QTransform& toDevice) const;
    // Draws the sublayers of a layer that caches them: live ones directly, the runs between
    // them from their kept pictures.
    void drawSublayerRuns(Pass& pass, QPainter& p, const Layer& layer, const std::vector<const Layer*>& subs,
                          const QTransform& toDevice, double opacity, int depth);
    void drawRun(Pass& pass, QPainter& p, const Layer& owner, size_t index,
                 const std::vector<const Layer*>& run, const QTransform& toDevice, double opacity, int depth);
    // Starts a frame: counters to zero, pictures of layers that are gone let go.
    void beginFrame();

    int threads_ = 0;
    bool offThread_ = false;
    bool animated_ = false;
    double nextChange_ = std::numeric_limits<double>::infinity();
    QRegion moving_;
    // Drawing state of each band, kept between frames so their scratch lists are reused.
    std::vector<std::unique_ptr<Pass>> passes_;
    std::vector<int> bandStarts_;
    std::vector<double> rowCost_;
    std::shared_ptr<RunCaches> runCaches_;
    std::shared_ptr<KeptGroups> keptGroups_;
};

} // namespace qrn::graphics
