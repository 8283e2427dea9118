#include "platform/imaging/frame_stream.h"

#include <QIODevice>
#include <QImageReader>

#include <algorithm>

#include "platform/imaging/decode_budget.h"
#include "platform/imaging/picture_reader.h"

namespace qrn::imaging {

namespace {

// Readers kept at different places in the file, and decoded frames kept for the next asks (the
// same frame is drawn by the preview, the layer list and the asset strip in one pass).
constexpr size_t kReaders = 3, kKeptFrames = 6;

// Skips a run of sub-blocks; the position after its terminator, or nothing when it breaks off.
std::optional<qsizetype> skipSubBlocks(const QByteArray& b, qsizetype at) {
    while (at < b.size()) {
        const int length = quint8(b[at++]);
        if (length == 0)
            return at;
        at += length;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::vector<int>> gifFrameDelays(const QByteArray& b) {
    if (b.size() < 13 || !b.startsWith("GIF8"))
        return std::nullopt;
    const auto tableBytes = [](int flags) { return (flags & 0x80) ? 3 * (2 << (flags & 7)) : 0; };
    qsizetype at = 13 + tableBytes(quint8(b[10]));
    std::vector<int> delays;
    int pending = 0;
    while (at < b.size()) {
        const int introducer = quint8(b[at++]);
        if (introducer == 0x3b)
            return delays;
        if (introducer == 0x21) {
            if (at + 1 >= b.size())
                return std::nullopt;
            const int label = quint8(b[at++]);
            // The graphic control block says how long the next picture stays.
            if (label == 0xf9 && at + 4 < b.size() && quint8(b[at]) >= 4)
                pending = quint8(b[at + 2]) | (quint8(b[at + 3]) << 8);
            const auto next = skipSubBlocks(b, at);
            if (!next)
                return std::nullopt;
            at = *next;
        } else if (introducer == 0x2c) {
            if (at + 9 >= b.size())
                return std::nullopt;
            at += 8;
            at += 1 + tableBytes(quint8(b[at]));
            const auto next = skipSubBlocks(b, at + 1);
            if (!next)
                return std::nullopt;
            at = *next;
            delays.push_back(pending);
            pending = 0;
        } else {
            return std::nullopt;
        }
    }
    // No trailer: many writers leave it out, and decoders read the frames all the same.
    return delays;
}

QSize gifScreenSize(QIODevice* device) {
    if (!device || !device->isOpen() || device->isSequential())
        return {};
    const qint64 at = device->pos();
    if (!device->seek(0))
        return {};
    const QByteArray start = device->read(10);
    device->seek(at);
    if (start.size() < 10 || !start.startsWith("GIF8"))
        return {};
    const auto little = [&](int at) { return int(quint8(start[at])) | int(quint8(start[at + 1])) << 8; };
    return {little(6), little(8)};
}

std::size_t frameDecodeBytes(QSize own, QSize held) {
    const auto bytes = [](QSize size) {
        return std::size_t(std::max(0, size.width())) * std::size_t(std::max(0, size.height())) * 4;
    };
    // A reader that cannot say its size is held to Qt's own limit.
    return (own.isValid() ? 2 * bytes(own) : kPictureDecodeBytes) + bytes(held);
}

struct FrameStream::Reader {
    std::unique_ptr<PictureFile> file;
    // The index of the frame the next read gives.
    size_t next = 0;
    // The frame read last (next - 1), at the file's own size.
    QImage last;
    std::uint64_t used = 0;
};

FrameStream::FrameStream(std::string path, size_t count, QSize size)
    : path_(std::move(path)), count_(count), size_(size) {}

FrameStream::~FrameStream() = default;

std::shared_ptr<FrameStream> FrameStream::open(const std::string& path, size_t frameCount, QSize frameSize) {
    if (!openPictureFile(path)->reader.canRead() || frameCount == 0 || frameSize.isEmpty())
        return nullptr;
    return std::shared_ptr<FrameStream>(new FrameStream(path, frameCount, frameSize));
}

QImage FrameStream::frame(size_t index) {
    if (index >= count_)
        return {};
    std::lock_guard lock(mutex_);
    for (auto it = kept_.begin(); it != kept_.end(); ++it)
        if (it->index == index) {
            kept_.splice(kept_.begin(), kept_, it);
            return kept_.front().image;
        }

    // The reader nearest behind the frame; else a new one, or the one used longest ago, from
    // the start.
    Reader* best = nullptr;
    for (const auto& r : readers_)
        if (r->next <= index + 1 && (!best || r->next > best->next))
            best = r.get();
    if (!best && readers_.size() < kReaders) {
        readers_.push_back(std::make_unique<Reader>());
        best = readers_.back().get();
    } else if (!best) {
        best = readers_.front().get();
        for (const auto& r : readers_)
            if (r->used < best->used)
                best = r.get();
        best->file.reset();
    }
    best->used = ++uses_;
    if (!best->file) {
        best->file = openPictureFile(path_);
        best->next = 0;
        best->last = QImage();
    }
    // The reader opens its file as it tells its size.
    const QSize own = best->file->reader.size();
    const QSize screen = gifScreenSize(best->file->reader.device());
    const DecodeLease lease(frameDecodeBytes(own.expandedTo(screen), size_));
    while (best->next <= index) {
        // Let go of the last frame first: the decoder draws the next one on the canvas it
        // shares with it, and would otherwise copy the whole canvas for every frame it reads.
        best->last = QImage();
        QImage read = best->file->reader.read();
        if (read.isNull()) {
            best->file.reset();
            return {};
        }
        best->last = std::move(read);
        ++best->next;
        ++decoded_;
    }
    QImage image = best->last.size() == size_
                       ? best->last
                       : best->last.scaled(size_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    kept_.push_front({index, image});
    if (kept_.size() > kKeptFrames)
        kept_.pop_back();
    return image;
}

size_t FrameStream::heldBytes() const {
    std::lock_guard lock(mutex_);
    size_t bytes = 0;
    for (const auto& k : kept_)
        bytes += size_t(k.image.sizeInBytes());
    // A reader holds its last frame, and its decoder a canvas of the same size to draw the next
    // one on.
    for (const auto& r : readers_)
        bytes += 2 * size_t(r->last.sizeInBytes());
    return bytes;
}

size_t FrameStream::framesDecoded() const {
    std::lock_guard lock(mutex_);
    return decoded_;
}

} // namespace qrn::imaging
