#include "platform/imaging/filter_chain.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/imaging/bands.h"
#include "platform/imaging/box_blur.h"
#include "platform/imaging/filters.h"
#include "platform/imaging/median.h"
#include "platform/imaging/worker_pool.h"

namespace qrn::imaging {

namespace {

// A filter that can make its rows one at a time from rows of its input near them.
struct RowFilter {
    enum class Kind { Cube, Blur, Median };
    Kind kind;
    const ColourCube* cube = nullptr;
    BoxBlurSize blur; // of a blur

    // Input rows above and below an output row that it reads.
    int reach() const { return kind == Kind::Blur ? blur.largest() : kind == Kind::Median ? 1 : 0; }
    // Input rows it holds at once: a blur moving down a row adds the row below its window
    // while the row above is still to be taken off.
    int window() const { return 2 * reach() + (kind == Kind::Blur ? 2 : 1); }
};

std::optional<RowFilter> rowFilterFor(const ImageFilter& filter, double scale) {
    if (const auto* cube = dynamic_cast<const ColourCubeFilter*>(&filter))
        return RowFilter{RowFilter::Kind::Cube, cube->cube().get()};
    if (const auto* blur = dynamic_cast<const BoxBlurFilter*>(&filter)) {
        const BoxBlurSize size = blur->sizeAt(scale);
        if (size.largest() > kMaxRowBoxBlurRadius)
            return std::nullopt;
        return RowFilter{RowFilter::Kind::Blur, nullptr, size};
    }
    if (dynamic_cast<const MedianFilter*>(&filter)) {
        // Drawn large it works on the picture at its own size, not a row at a time.
        if (scale > MedianFilter::kLargestScale)
            return std::nullopt;
        return RowFilter{RowFilter::Kind::Median};
    }
    return std::nullopt;
}

// Rows of the output through every filter of a run, on one thread. Each filter but the last
// writes its rows into a ring just deep enough for the next one, which asks for them in rising
// order and may ask again for a row still in the ring; the last writes straight into the
// output. So the source and the output are touched once, and the rest stays in the thread's
// cache. Calling run() again for the rows right after the last ones carries on where it was.
class BandRun {
  public:
    // Bytes of scratch a band needs.
    static std::size_t scratchBytes(const std::vector<RowFilter>& filters, int width, int height) {
        const std::size_t row = 4 * static_cast<std::size_t>(width);
        std::size_t bytes = 0;
        for (std::size_t i = 0; i < filters.size(); ++i) {
            if (i + 1 < filters.size())
                bytes += row * ringDepth(filters[i + 1], height);
            if (filters[i].kind == RowFilter::Kind::Blur)
                bytes += row * sizeof(std::uint16_t) * (filters[i].blur.weight > 0 ? 2 : 1) +
                         (filters[i].blur.weight > 0 ? row : 0);
            if (filters[i].kind == RowFilter::Kind::Median)
                bytes += medianScratchBytes(width);
        }
        return bytes;
    }

    BandRun(const std::vector<RowFilter>& filters, ConstImageView src, ImageView dst, std::uint8_t* scratch)
        : src_(src), dst_(dst), rowBytes_(4 * static_cast<std::size_t>(src.width)) {
        stages_.reserve(filters.size());
        for (std::size_t i = 0; i < filters.size(); ++i) {
            Stage& s = stages_.emplace_back(filters[i]);
            if (s.filter.kind == RowFilter::Kind::Cube)
                s.cube.emplace(*s.filter.cube, src.order, dst.order);
            if (s.filter.kind == RowFilter::Kind::Blur) {
                s.columns = reinterpret_cast<std::uint16_t*>(scratch);
                scratch += rowBytes_ * sizeof(std::uint16_t);
                if (s.filter.blur.weight > 0) {
                    s.largerColumns = reinterpret_cast<std::uint16_t*>(scratch);
                    scratch += rowBytes_ * sizeof(std::uint16_t);
                    s.largerRow = scratch;
                    scratch += rowBytes_;
                }
            }
            if (s.filter.kind == RowFilter::Kind::Median) {
                s.scratch = scratch;
                scratch += medianScratchBytes(src.width);
            }
            if (i + 1 < filters.size()) {
                s.depth = ringDepth(filters[i + 1], src.height);
                s.ring = scratch;
                scratch += rowBytes_ * s.depth;
            }
        }
    }

    void run(int rowBegin, int rowEnd) {
        const int last = static_cast<int>(stages_.size()) - 1;
        for (int y = rowBegin; y < rowEnd; ++y)
            make(last, y, dst_.row(y));
    }

  private:
    static int ringDepth(const RowFilter& consumer, int height) {
        // Rows outside the image are never asked for, so no more than the image's rows.
        return std::min(consumer.window(), height);
    }

    struct Stage {
        explicit Stage(const RowFilter& f) : filter(f) {}
        RowFilter filter;
        std::optional<ColourCubeRows> cube;
        std::uint16_t* columns = nullptr; // a blur's column sums
        // A blur between two whole sizes: the larger box's sums and its row before the mix.
        std::uint16_t* largerColumns = nullptr;
        std::uint8_t* largerRow = nullptr;
        int summed = -1;                 // the row those sums are for
        std::uint8_t* scratch = nullptr; // a median's
        // This stage's output rows that the next one reads: row y at y % depth.
        std::uint8_t* ring = nullptr;
        int depth = 0;
        int next = -1; // the next row to make into the ring
    };

    // Row y of stage i's input.
    const std::uint8_t* input(int i, int y) {
        if (i == 0)
            return src_.row(y);
        Stage& before = stages_[i - 1];
        if (before.next < 0)
            before.next = y;
        for (; before.next <= y; ++before.next)
            make(i - 1, before.next, slot(before, before.next));
        return slot(before, y);
    }

    std::uint8_t* slot(const Stage& s, int y) const { return s.ring + rowBytes_ * (y % s.depth); }

    void make(int i, int y, std::uint8_t* out) {
        Stage& s = stages_[i];
        const int width = src_.width, height = src_.height;
        switch (s.filter.kind) {
        case RowFilter::Kind::Cube:
            (*s.cube)(input(i, y), out, width);
            break;
        case RowFilter::Kind::Median: {
            const std::uint8_t* above = input(i, std::max(y - 1, 0));
            const std::uint8_t* here = input(i, y);
            const std::uint8_t* below = input(i, std::min(y + 1, height - 1));
            median3x3Row(above, here, below, out, width, s.scratch);
            break;
        }
        case RowFilter::Kind::Blur: {
            const BoxBlurSize size = s.filter.blur;
            // The larger box's rows are made first: its window holds the smaller one's.
            if (size.weight > 0)
                slideColumns(i, y, size.whole + 1, s.largerColumns);
            slideColumns(i, y, size.whole, s.columns);
            s.summed = y;
            boxBlurRowFromColumns(s.columns, width, size.whole, out);
            if (size.weight > 0) {
                boxBlurRowFromColumns(s.largerColumns, width, size.whole + 1, s.largerRow);
                mixBoxBlurRows(out, s.largerRow, size.weight, rowBytes_, out);
            }
            break;
        }
        }
    }

    // Moves a blur's column sums of whole radius r on to row y of stage i's input: a row on
    // from the last, else summed afresh. A radius of 0 sums the row alone.
    void slideColumns(int i, int y, int r, std::uint16_t* columns) {
        const int height = src_.height;
        if (stages_[i].summed >= 0 && y == stages_[i].summed + 1) {
            // The row entering the window is made first; the one leaving is still in the ring.
            const std::uint8_t* entering = y + r < height ? input(i, y + r) : nullptr;
            const std::uint8_t* leaving = y - r - 1 >= 0 ? input(i, y - r - 1) : nullptr;
            slideBoxBlurColumns(columns, entering, leaving, rowBytes_);
        } else {
            std::memset(columns, 0, rowBytes_ * sizeof(std::uint16_t));
            for (int k = std::max(0, y - r); k <= std::min(height - 1, y + r); ++k)
                slideBoxBlurColumns(columns, input(i, k), nullptr, rowBytes_);
        }
    }

    ConstImageView src_;
    ImageView dst_;
    std::size_t rowBytes_;
    std::vector<Stage> stages_;
};

// Kept between frames, so a band does not allocate.
std::uint8_t* threadScratch(std::size_t bytes) {
    thread_local std::unique_ptr<std::uint8_t[]> buffer;
    thread_local std::size_t size = 0;
    if (size < bytes) {
        buffer.reset(new std::uint8_t[bytes]);
        size = bytes;
    }
    return buffer.get();
}

void runFused(const std::vector<RowFilter>& filters, int threads, const Image& src, Image& dst) {
    const ConstImageView s = src.view();
    const ImageView d = dst.mutableView();
    const int height = src.height();
    // A fresh start makes the rows around its first row again: only worth it for a good many
    // rows more than that.
    int reach = 0;
    for (const RowFilter& f : filters)
        reach += f.reach();
    const int parts = std::clamp(threads, 1, std::max(height, 1));
    RowShares shares(height, parts, 16, 2 * (2 * reach + 1));
    const std::size_t scratch = BandRun::scratchBytes(filters, src.width(), height);
    WorkerPool::shared().forEach(parts, parts, [&](int part) {
        std::optional<BandRun> band;
        int begin, end;
        bool fresh;
        while (shares.next(part, begin, end, fresh)) {
            if (fresh || !band)
                band.emplace(filters, s, d, threadScratch(scratch));
            band->run(begin, end);
        }
    });
}

QImage asPremultipliedArgb(const QImage& image) {
    return image.format() == QImage::Format_ARGB32_Premultiplied
               ? image
               : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

double contentFilterScale(const graphics::ContentFilter& filter, QSizeF drawn, QSize own) {
    const QSize counted = filter.ownSize().isValid() && !filter.ownSize().isEmpty() ? filter.ownSize() : own;
    return graphics::ContentFilter::drawnScale(QSizeF(counted), drawn);
}

QImage applyContentFilters(const std::vector<graphics::ContentFilterPtr>& filters, const QImage& image,
                           QSizeF drawn, QSize own) {
    if (drawn.isEmpty())
        drawn = QSizeF(image.size());
    QImage group = image;
    auto take = [&](const QImage& out) {
        if (out.size() == group.size())
            group = asPremultipliedArgb(out);
    };
    // The run of image filters waiting to go as one.
    std::vector<const ImageFilter*> run;
    std::vector<RowFilter> rows;
    double runScale = 1.0; // of a run of one
    auto flush = [&] {
        if (run.size() == 1) {
            take(run.front()->applyScaled(group, runScale));
        } else if (run.size() > 1) {
            int threads = run.front()->threadCount();
            for (const ImageFilter* f : run)
                threads = std::min(threads, f->threadCount());
            take(run.front()->applyWith(
                group, [&](const Image& src, Image& dst) { runFused(rows, threads, src, dst); }));
        }
        run.clear();
        rows.clear();
    };
    for (const auto& f : filters) {
        if (!f)
            continue;
        const double scale = contentFilterScale(*f, drawn, own);
        const auto* imageFilter = dynamic_cast<const ImageFilter*>(f.get());
        if (imageFilter && imageFilter->leavesImageAlone(scale))
            continue;
        if (const auto row = imageFilter ? rowFilterFor(*imageFilter, scale) : std::nullopt) {
            run.push_back(imageFilter);
            rows.push_back(*row);
            runScale = scale;
            continue;
        }
        flush();
        take(f->applyScaled(group, scale));
    }
    flush();
    return group;
}

} // namespace qrn::imaging
