#include "platform/imaging/picture_reader.h"

#include <QBuffer>
#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "platform/imaging/decode_budget.h"
#include "platform/imaging/frame_stream.h"
#include "platform/imaging/png_decoder.h"
#include "platform/imaging/tiff_reader.h"

namespace qrn::imaging {

namespace {

constexpr const char* kTooLargeToRead = ": the picture is too large to read";

std::size_t bytesOf(QSize size, std::size_t perPixel) {
    return std::size_t(std::max(0, size.width())) * std::size_t(std::max(0, size.height())) * perPixel;
}

// Qt's readers that make the picture at the size asked for while they read: JPEG decodes at a
// half, a quarter or an eighth of its size; a drawing is drawn at that size.
bool scalesWhileReading(const QByteArray& format) {
    return format == "jpeg" || format == "jpg" || format == "svg" || format == "svgz";
}

// The most a read through Qt holds: what the reader makes, plus the picture at the size it is
// held and its conversion. Other readers make the whole picture at its own size first, which is
// then averaged down a strip at a time.
std::size_t qtWorkingBytes(const QImageReader& reader, QSize own, QSize target) {
    if (scalesWhileReading(reader.format())) {
        int eighths = 8;
        while (eighths > 1 &&
               (own.width() / eighths < target.width() || own.height() / eighths < target.height()))
            eighths /= 2;
        return bytesOf(own / eighths, 4) + 2 * bytesOf(target, 4);
    }
    const QImage::Format format = reader.imageFormat();
    const int depth = format == QImage::Format_Invalid ? 64 : QImage::toPixelFormat(format).bitsPerPixel();
    const std::size_t perPixel = std::size_t(std::max(8, depth)) / 8;
    return bytesOf(own, perPixel) + bytesOf(target, 4) + std::size_t(std::max(0, own.width())) * 32 * 8;
}

Result<QImage> decode(QImageReader& reader, const std::string& what, QSize drawn) {
    // The decoder reads (and scales) the picture as the file holds it; a photo held turned is
    // turned upright after that.
    const QSize stored = reader.size();
    const QSize own = shownPictureSize(reader);
    const bool turned = own != stored;
    const QSize target =
        stored.isValid() ? decodedPictureSize(stored, turned ? drawn.transposed() : drawn) : QSize();
    const bool scales = scalesWhileReading(reader.format());
    // A GIF's frame is drawn on a canvas the size of its screen.
    const QSize screen = gifScreenSize(reader.device());
    // A reader that cannot say the size before reading is held to the budget by Qt's own limit.
    const std::size_t working =
        stored.isValid() ? qtWorkingBytes(reader, stored.expandedTo(screen), target) : kPictureDecodeBytes;
    // A picture Qt can only make at its own size (a large TIFF, say) may take up to the whole
    // budget: it waits until the others leave it that much.
    if (working > kAllDecodesBytes)
        return Result<QImage>::failure(tooLargeToRead(what));
    DecodeLease lease(working);
    if (scales && target.isValid() && target != stored)
        reader.setScaledSize(target);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(int((std::max(working, kPictureDecodeBytes) + (1 << 20) - 1) >> 20));
    QImage image = reader.read();
    if (image.isNull())
        return Result<QImage>::failure(what + ": " + reader.errorString().toStdString());
    const QSize held = decodedPictureSize(image.size(), drawn);
    if (image.size() != held)
        image = averagedDown(image, held);
    else if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return Result<QImage>::failure(what + ": out of memory");
    setOwnPictureSize(image, own.isValid() ? own : image.size());
    return image;
}

// The quick reader's picture when `start` says the file is one it takes; none otherwise, or
// when it finds the file damaged.
std::optional<QImage> quickPng(const unsigned char* start, std::size_t size, const PngSource& source,
                               QSize drawn) {
    const auto own = fastPngSize(start, size);
    if (!own)
        return std::nullopt;
    DecodeLease lease(fastPngWorkingBytes(start, size, decodedPictureSize(*own, drawn)));
    auto picture = decodeFastPng(source, drawn);
    if (picture)
        setOwnPictureSize(*picture, *own);
    return picture;
}

constexpr char kOwnSizeKey[] = "qrn-own-size";

} // namespace

std::string tooLargeToRead(const std::string& what) {
    return what + kTooLargeToRead;
}

bool isTooLargeToRead(const std::string& failure) {
    const std::string_view said = kTooLargeToRead;
    return failure.size() >= said.size() &&
           failure.compare(failure.size() - said.size(), said.size(), said) == 0;
}

QSize decodedPictureSize(QSize own, QSize drawn) {
    if (own.isEmpty())
        return own;
    double scale = 1;
    if (drawn.isValid() && !drawn.isEmpty())
        scale = std::min(
            1.0, std::max(double(drawn.width()) / own.width(), double(drawn.height()) / own.height()));
    scale = std::min(scale, double(kLargestPictureSide) / std::max(own.width(), own.height()));
    if (scale >= 1)
        return own;
    return {std::max(1, int(std::ceil(own.width() * scale - 1e-9))),
            std::max(1, int(std::ceil(own.height() * scale - 1e-9)))};
}

QSize shownPictureSize(const QImageReader& reader) {
    const QSize stored = reader.size();
    return reader.transformation() & QImageIOHandler::TransformationRotate90 ? stored.transposed() : stored;
}

QSize ownPictureSize(const QImage& picture) {
    const QString text = picture.text(kOwnSizeKey);
    int w = 0, h = 0;
    if (!text.isEmpty() && std::sscanf(text.toLatin1().constData(), "%dx%d", &w, &h) == 2 && w > 0 && h > 0)
        return {w, h};
    return picture.size();
}

void setOwnPictureSize(QImage& picture, QSize own) {
    // Only a picture held at another size needs to say so; the rest stay as they were read.
    if (own.isEmpty() || own == picture.size())
        return;
    picture.setText(kOwnSizeKey, QString("%1x%2").arg(own.width()).arg(own.height()));
}

bool openFileForReading(QFile& file, const std::string& path, QIODevice::OpenMode extra) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly | extra, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

std::unique_ptr<PictureFile> openPictureFile(const std::string& path) {
    auto picture = std::make_unique<PictureFile>();
    if (!openFileForReading(picture->file, path))
        return picture;
    std::string format = std::filesystem::path(path).extension().string();
    if (!format.empty())
        format.erase(0, 1);
    std::transform(format.begin(), format.end(), format.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    picture->reader.setDevice(&picture->file);
    picture->reader.setFormat(QByteArray::fromStdString(format));
    return picture;
}

bool looksLikePicture(const std::string& path) {
    return openPictureFile(path)->reader.canRead();
}

PictureLook lookAtPicture(const std::string& path) {
    PictureLook look;
    const auto picture = openPictureFile(path);
    if (!picture->file.isOpen())
        return look;
    static constexpr char pngSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
    char head[sizeof pngSignature] = {};
    const bool png = picture->file.peek(head, sizeof head) == qint64(sizeof head) &&
                     std::equal(head, head + sizeof head, pngSignature);
    look.readable = picture->reader.canRead();
    if (!look.readable)
        return look;
    look.size = shownPictureSize(picture->reader);
    // Only a format that can move is asked how many frames it holds: a GIF counts them by reading on.
    look.moves = !png && picture->reader.supportsAnimation() && picture->reader.imageCount() != 1;
    return look;
}

Result<QImage> readPicture(const std::string& path, QSize drawn) {
    // A file that starts as a PNG may be one the quick reader takes; any other goes to Qt's. It
    // is read a piece at a time rather than mapped: a file cut short by another program while
    // mapped ends us.
    QFile file;
    if (openFileForReading(file, path, QIODevice::Unbuffered)) {
        unsigned char start[kPngHeaderBytes];
        if (file.peek(reinterpret_cast<char*>(start), sizeof start) == qint64(sizeof start)) {
            const PngSource source = [&](unsigned char* into, std::size_t size) {
                const qint64 got = file.read(reinterpret_cast<char*>(into), qint64(size));
                return got > 0 ? std::size_t(got) : std::size_t(0);
            };
            if (auto picture = quickPng(start, sizeof start, source, drawn))
                return std::move(*picture);
            if (startsAsTiff(start, sizeof start) && file.seek(0))
                if (auto picture = readTiff(file, path, drawn))
                    return std::move(*picture);
        }
    }
    file.close();
    const auto picture = openPictureFile(path);
    return decode(picture->reader, path, drawn);
}

Result<QImage> decodePicture(const QByteArray& bytes, QSize drawn) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const std::size_t size = std::size_t(bytes.size());
    std::size_t at = 0;
    const PngSource source = [&](unsigned char* into, std::size_t want) {
        const std::size_t n = std::min(want, size - at);
        std::copy_n(data + at, n, into);
        at += n;
        return n;
    };
    if (auto picture = quickPng(data, size, source, drawn))
        return std::move(*picture);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    if (startsAsTiff(data, size))
        if (auto picture = readTiff(buffer, "dropped picture", drawn))
            return std::move(*picture);
    buffer.seek(0);
    QImageReader reader(&buffer);
    return decode(reader, "dropped picture", drawn);
}

} // namespace qrn::imaging
