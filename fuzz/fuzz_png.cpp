// A mutation fuzzer for the quick PNG reader. Each run takes a seed PNG (small pictures of every
// kind the reader takes, interlaced too, made at start), mutates it (bytes flipped, cut or
// doubled, header fields and chunk lengths changed, chunks dropped or repeated, the checks of
// every chunk made good again so the damage reaches the decoding, then now and then a note's
// check or the image data's zlib check made wrong) and decodes it at a random size. It stops with
// the input saved when a picture comes back at another size than it was asked for, when a
// picture it gives at its own size is not the one Qt's reader (libpng) gives, or Qt's reader
// refuses the file, when the process passes its memory limit, or crashes (the work folder then
// holds the input as current.png).
//
//   fuzz_png <seconds> [work folder] [-rss_limit_mb=1024] [-runs=N]
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "fuzz_memory.h"
#include "platform/imaging/picture_reader.h"
#include "platform/imaging/png_decoder.h"
#include "support/picture_difference.h"
#include "support/png_bomb.h"

namespace fs = std::filesystem;

namespace {

std::mt19937_64 rng;

size_t below(size_t n) {
    return n == 0 ? 0 : size_t(rng() % n);
}

uint32_t bigEndian(const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 |
           uint32_t(uint8_t(s[at + 2])) << 8 | uint8_t(s[at + 3]);
}

void putBigEndian(std::string& s, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k)
        s[at + size_t(k)] = char(v >> (24 - 8 * k));
}

// Where each chunk starts, as far as the lengths say.
std::vector<size_t> chunkStarts(const std::string& png) {
    std::vector<size_t> starts;
    for (size_t at = 8; at + 12 <= png.size(); at += 12 + size_t(bigEndian(png, at))) {
        starts.push_back(at);
        if (bigEndian(png, at) > png.size())
            break;
    }
    return starts;
}

void fixChecks(std::string& png) {
    for (const size_t at : chunkStarts(png)) {
        const size_t length = bigEndian(png, at);
        if (at + 12 + length > png.size())
            break;
        putBigEndian(
            png, at + 8 + length,
            uint32_t(crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4), uInt(4 + length))));
    }
}

std::string mutated(std::string png) {
    const size_t steps = 1 + below(4);
    for (size_t s = 0; s < steps && png.size() > 8; ++s) {
        const auto starts = chunkStarts(png);
        switch (below(8)) {
        case 0: // a byte anywhere
            png[below(png.size())] = char(rng());
            break;
        case 1: // a header field: width, height, depth, colour, interlace
            if (png.size() >= 33) {
                static const size_t fields[] = {16, 18, 19, 20, 22, 23, 24, 25, 26, 28};
                png[fields[below(std::size(fields))]] = char(below(3) == 0 ? rng() : below(17));
            }
            break;
        case 2: // a chunk's length
            if (!starts.empty())
                putBigEndian(png, starts[below(starts.size())], uint32_t(below(2) ? rng() : below(70000)));
            break;
        case 3: // cut short
            png.resize(8 + below(png.size() - 8));
            break;
        case 4: // a chunk dropped or doubled
            if (starts.size() > 1) {
                const size_t k = below(starts.size());
                const size_t end = k + 1 < starts.size() ? starts[k + 1] : png.size();
                const std::string chunk = png.substr(starts[k], end - starts[k]);
                if (below(2))
                    png.erase(starts[k], end - starts[k]);
                else
                    png.insert(end, chunk);
            }
            break;
        case 5: // a byte inside the image data, where it changes rows rather than the chunk list
            for (const size_t at : starts)
                if (png.compare(at + 4, 4, "IDAT") == 0 && bigEndian(png, at) > 0 &&
                    at + 8 + bigEndian(png, at) <= png.size()) {
                    png[at + 8 + below(bigEndian(png, at))] ^= char(1 << below(8));
                    break;
                }
            break;
        case 6: // a palette or transparency of any length
            if (starts.size() > 1) {
                const size_t length = below(3) == 0 ? below(800) : 3 * below(9);
                std::string chunk(12 + length, char(rng()));
                putBigEndian(chunk, 0, uint32_t(length));
                chunk.replace(4, 4, below(2) ? "PLTE" : "tRNS");
                png.insert(starts[1], chunk);
            }
            break;
        default: // a run of bytes repeated
            if (png.size() > 16) {
                const size_t at = 8 + below(png.size() - 8),
                             n = 1 + below(std::min<size_t>(64, png.size() - at));
                png.insert(at, png.substr(at, n));
            }
        }
    }
    if (below(4) != 0)
        fixChecks(png);
    const auto starts = chunkStarts(png);
    const auto whole = [&](size_t at) { return at + 12 + size_t(bigEndian(png, at)) <= png.size(); };
    if (below(8) == 0) {
        // A note's check made wrong: a reader leaves the note out.
        for (const size_t at : starts)
            if (whole(at) && (png[at + 4] & 0x20) != 0 && below(2) == 0) {
                png[at + 8 + bigEndian(png, at) + below(4)] ^= char(1 << below(8));
                break;
            }
    } else if (below(8) == 0) {
        // The zlib check at the end of the image data made wrong, the chunk's own check good.
        for (size_t k = starts.size(); k-- > 0;)
            if (whole(starts[k]) && png.compare(starts[k] + 4, 4, "IDAT") == 0 &&
                bigEndian(png, starts[k]) > 0) {
                const size_t at = starts[k], length = bigEndian(png, at);
                png[at + 8 + length - 1 - below(std::min<size_t>(4, length))] ^= char(1 << below(8));
                putBigEndian(png, at + 8 + length,
                             uint32_t(crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4),
                                            uInt(4 + length))));
                break;
            }
    }
    return png;
}

bool hasChunk(const std::string& png, const char* type) {
    for (const size_t at : chunkStarts(png))
        if (png.compare(at + 4, 4, type) == 0)
            return true;
    return false;
}

std::vector<std::string> seeds() {
    std::vector<std::string> out;
    QImage picture(37, 21, QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgba((x * 7) % 256, (y * 11) % 256, (x * y) % 256, (x + y * 5) % 256));
    const auto save = [&](const QImage& image) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        out.push_back(bytes.toStdString());
    };
    save(picture);
    save(picture.convertToFormat(QImage::Format_RGB32));
    save(picture.convertToFormat(QImage::Format_Grayscale8));
    save(picture.convertToFormat(QImage::Format_Grayscale16));
    save(picture.convertToFormat(QImage::Format_Indexed8));
    save(picture.convertToFormat(QImage::Format_Mono));
    save(picture.convertToFormat(QImage::Format_RGBA64));
    for (const int colour : {0, 2, 4, 6})
        out.push_back(qrn::test::uniformPng(300, 200, colour == 4 ? 8 : 16, colour).toStdString());
    for (const int channels : {3, 4})
        out.push_back(qrn::test::everyFilterPng(picture, channels, true).toStdString());
    out.push_back(qrn::test::uniformPng(61, 45, 16, 4, 0x80, true).toStdString());
    return out;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<char*> positional;
    const long rssLimitMb = fuzzsupport::takeRssLimit(argc, argv, 1024, positional);
    const long runs = fuzzsupport::takeRuns(positional);
    if (positional.size() < 2) {
        std::cerr << "usage: fuzz_png <seconds> [work folder] [-rss_limit_mb=1024] [-runs=N]\n";
        return 64;
    }
    argc = int(positional.size());
    positional.push_back(nullptr);
    argv = positional.data();
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    const double seconds = std::atof(argv[1]);
    QTemporaryDir temporary;
    const fs::path work = argc > 2 ? fs::path(argv[2]) : fs::path(temporary.path().toStdString());
    fs::create_directories(work);
    const auto corpus = seeds();
    const unsigned long long seed =
        std::getenv("QRN_FUZZ_SEED") ? std::stoull(std::getenv("QRN_FUZZ_SEED")) : std::random_device{}();
    rng.seed(seed);
    std::cout << "seed " << seed << std::endl;
    if (rssLimitMb > 0)
        fuzzsupport::watchMemory(rssLimitMb);

    const auto start = std::chrono::steady_clock::now();
    long executions = 0, decoded = 0;
    while (runs > 0
               ? executions < runs
               : std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < seconds) {
        const std::string input = mutated(corpus[below(corpus.size())]);
        std::ofstream(work / "current.png", std::ios::binary | std::ios::trunc)
            .write(input.data(), std::streamsize(input.size()));
        static const QSize sizes[] = {QSize(), QSize(1, 1), QSize(7, 300), QSize(1920, 1080)};
        const QSize drawn = sizes[below(std::size(sizes))];
        const auto* bytes = reinterpret_cast<const unsigned char*>(input.data());
        const auto picture = qrn::imaging::decodeFastPng(bytes, input.size(), drawn);
        if (picture) {
            ++decoded;
            const auto own = qrn::imaging::fastPngSize(bytes, input.size());
            const char* failure = nullptr;
            if (!own || picture->size() != qrn::imaging::decodedPictureSize(*own, drawn) ||
                picture->format() != QImage::Format_ARGB32_Premultiplied) {
                failure = "a picture of the wrong size";
            } else if (picture->size() == *own && !(input[24] == 16 && hasChunk(input, "tRNS"))) {
                // (Qt 6.4 reads a 16-bit picture with a colour key wrongly, whatever the key.)
                // What it takes, libpng takes too, and reads as the same picture.
                const QImage qt =
                    QImage::fromData(QByteArray::fromRawData(input.data(), qsizetype(input.size())), "PNG")
                        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
                if (qt.isNull())
                    failure = "a picture Qt's reader refuses";
                else if (const int worst = qrn::test::worstDifference(*picture, qt); worst < 0 || worst > 2)
                    failure = "a picture other than Qt's";
            }
            if (failure) {
                fs::copy_file(work / "current.png", work / ("failure-" + std::to_string(executions) + ".png"),
                              fs::copy_options::overwrite_existing);
                std::cout << "FAILED after " << executions << " executions: " << failure << std::endl;
                return 1;
            }
        }
        ++executions;
    }
    std::cout << "executions " << executions << ", decoded " << decoded << ", crashes 0, failures 0"
              << std::endl;
    return 0;
}
