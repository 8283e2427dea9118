#include "movie_quality.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <mutex>

#include "platform/media/av.h"
#include "platform/media/movie_reader.h"
#include "platform/media/movie_writer.h"

namespace benchsupport {

struct encoderInputDump::state {
    std::mutex mutex;
    std::FILE* file = nullptr;
    std::vector<double> times;
    bool ok = true;
};

encoderInputDump::encoderInputDump(const std::string& path, int width, int height)
    : path_(path), width_(width), height_(height), state_(std::make_shared<state>()) {
    state_->file = std::fopen(path.c_str(), "wb");
    state_->ok = state_->file != nullptr;
    auto s = state_;
    qrn::media::setEncoderInputTap([s, width, height](const AVFrame& picture, double time) {
        if (picture.width != width || picture.height != height || picture.format != AV_PIX_FMT_YUV420P)
            return;
        std::lock_guard lock(s->mutex);
        if (!s->file)
            return;
        for (int plane = 0; plane < 3; ++plane) {
            const int w = plane ? width / 2 : width, h = plane ? height / 2 : height;
            for (int y = 0; y < h; ++y)
                s->ok &= std::fwrite(picture.data[plane] + std::ptrdiff_t(y) * picture.linesize[plane], 1,
                                     size_t(w), s->file) == size_t(w);
        }
        s->times.push_back(time);
    });
}

encoderInputDump::~encoderInputDump() {
    qrn::media::setEncoderInputTap({});
    std::lock_guard lock(state_->mutex);
    if (state_->file)
        std::fclose(state_->file);
    state_->file = nullptr;
    std::remove(path_.c_str());
}

const std::vector<double>& encoderInputDump::times() const {
    std::lock_guard lock(state_->mutex);
    if (state_->file)
        std::fflush(state_->file);
    return state_->times;
}

bool encoderInputDump::ok() const {
    std::lock_guard lock(state_->mutex);
    return state_->ok;
}

namespace {

double psnrY(const AVFrame& decoded, const std::vector<std::uint8_t>& handed, int width, int height) {
    double squares = 0;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* a = decoded.data[0] + std::ptrdiff_t(y) * decoded.linesize[0];
        const std::uint8_t* b = handed.data() + std::ptrdiff_t(y) * width;
        std::int64_t row = 0;
        for (int x = 0; x < width; ++x) {
            const int d = int(a[x]) - int(b[x]);
            row += d * d;
        }
        squares += double(row);
    }
    const double mse = squares / (double(width) * height);
    return mse <= 0 ? 99.0 : std::min(99.0, 10 * std::log10(255.0 * 255.0 / mse));
}

} // namespace

movieQuality measureMovie(const std::string& movie, const encoderInputDump& dump, double frameDuration) {
    namespace av = qrn::media::av;
    movieQuality q;
    {
        AVFormatContext* raw = nullptr;
        if (avformat_open_input(&raw, movie.c_str(), nullptr, nullptr) < 0)
            return q;
        av::InputContextPtr input(raw);
        if (avformat_find_stream_info(input.get(), nullptr) < 0)
            return q;
        const int stream = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (stream < 0)
            return q;
        auto packet = av::allocPacket();
        std::int64_t bytes = 0;
        while (av_read_frame(input.get(), packet.get()) >= 0) {
            if (packet->stream_index == stream) {
                bytes += packet->size;
                ++q.samples;
            }
            av_packet_unref(packet.get());
        }
        const AVStream* s = input->streams[stream];
        const double seconds = s->duration > 0 ? s->duration * av_q2d(s->time_base) : 0;
        q.videoMbitPerS = seconds > 0 ? bytes * 8 / seconds / 1e6 : 0;
    }

    auto reader = qrn::media::VideoTrackReader::open(movie);
    const std::vector<double>& times = dump.times();
    std::ifstream yuv(dump.path(), std::ios::binary);
    if (!reader || times.empty() || !yuv)
        return q;
    const int w = dump.width(), h = dump.height();
    const std::int64_t frameBytes = std::int64_t(w) * h * 3 / 2;
    std::vector<std::uint8_t> handed(size_t(w) * size_t(h));
    double sum = 0, worst = std::numeric_limits<double>::infinity();
    while (true) {
        auto next = reader.value()->next();
        if (!next || !next.value())
            break;
        const auto& f = *next.value();
        const AVFrame& decoded = *f.frame;
        if (decoded.format != AV_PIX_FMT_YUV420P || decoded.width != w || decoded.height != h)
            return q;
        const long first = std::lround(f.time / frameDuration);
        const long end = std::lround((f.time + f.duration) / frameDuration);
        long loaded = -1;
        double psnr = 0;
        for (long n = first; n < end; ++n) {
            // The picture on show at this frame: the last handed over at or before it.
            const double t = n * frameDuration;
            const long k = long(std::upper_bound(times.begin(), times.end(), t + 1e-6) - times.begin()) - 1;
            if (k < 0)
                continue;
            if (k != loaded) {
                yuv.seekg(k * frameBytes);
                if (!yuv.read(reinterpret_cast<char*>(handed.data()), std::streamsize(handed.size())))
                    return q;
                loaded = k;
                psnr = psnrY(decoded, handed, w, h);
            }
            sum += psnr;
            worst = std::min(worst, psnr);
            ++q.frames;
        }
    }
    if (q.frames == 0)
        return q;
    q.meanPsnr = sum / q.frames;
    q.worstPsnr = worst;
    q.ok = true;
    return q;
}

} // namespace benchsupport
