#include "support/movie_sound.h"

#include "platform/media/av.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace soundcheck {

using namespace qrn::media;

namespace {

double secondsOf(int64_t ts, AVRational base) {
    return ts == AV_NOPTS_VALUE ? NAN : ts * av_q2d(base);
}

// Puts each decoded frame, mixed to mono, at its own time on the movie's timeline.
class placer {
  public:
    placer(movieSound& sound, double origin) : sound_(sound), origin_(origin) {}
    bool add(const AVFrame& frame, AVRational base) {
        if (!swr_ || frame.sample_rate != rate_ || frame.format != format_) {
            SwrContext* raw = nullptr;
            AVChannelLayout layout{};
            if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
                av_channel_layout_default(&layout, std::max(1, frame.ch_layout.nb_channels));
            else
                av_channel_layout_copy(&layout, &frame.ch_layout);
            const int made = swr_alloc_set_opts2(&raw, &layout, AV_SAMPLE_FMT_FLT, movieSound::rate, &layout,
                                                 AVSampleFormat(frame.format), frame.sample_rate, 0, nullptr);
            av_channel_layout_uninit(&layout);
            if (made < 0 || swr_init(raw) < 0) {
                swr_free(&raw);
                return false;
            }
            swr_.reset(raw);
            rate_ = frame.sample_rate;
            format_ = frame.format;
        }
        const int channels = std::max(1, frame.ch_layout.nb_channels);
        const int capacity =
            int(av_rescale_rnd(swr_get_delay(swr_.get(), frame.sample_rate) + frame.nb_samples,
                               movieSound::rate, frame.sample_rate, AV_ROUND_UP));
        std::vector<float> mixed(size_t(capacity) * size_t(channels));
        uint8_t* out[1] = {reinterpret_cast<uint8_t*>(mixed.data())};
        const int n = swr_convert(swr_.get(), out, capacity, const_cast<const uint8_t**>(frame.extended_data),
                                  frame.nb_samples);
        if (n < 0)
            return false;
        const int64_t ts =
            frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
        const double t =
            ts == AV_NOPTS_VALUE ? double(next_) / movieSound::rate : secondsOf(ts, base) - origin_;
        const int64_t at = std::llround(t * movieSound::rate);
        for (int i = 0; i < n; ++i) {
            if (at + i < 0)
                continue;
            if (size_t(at + i) >= sound_.samples.size())
                sound_.samples.resize(size_t(at + i) + 1, 0.0f);
            float sum = 0;
            for (int c = 0; c < channels; ++c)
                sum += mixed[size_t(i) * size_t(channels) + size_t(c)];
            sound_.samples[size_t(at + i)] = sum / float(channels);
        }
        next_ = at + n;
        return true;
    }

  private:
    movieSound& sound_;
    double origin_;
    av::SwrPtr swr_;
    int rate_ = 0, format_ = -1;
    int64_t next_ = 0;
};

// The cross-correlation of a and b at each lag from -maxLag to maxLag, where lag k pairs a[i]
// with b[i + k].
std::vector<double> correlate(const std::vector<double>& a, const std::vector<double>& b, int maxLag) {
    size_t n = 1;
    while (n < a.size() + b.size())
        n <<= 1;
    using complex = std::complex<double>;
    const auto fft = [n](std::vector<complex>& x, bool inverse) {
        for (size_t i = 1, j = 0; i < n; ++i) {
            size_t bit = n >> 1;
            for (; j & bit; bit >>= 1)
                j ^= bit;
            j ^= bit;
            if (i < j)
                std::swap(x[i], x[j]);
        }
        for (size_t len = 2; len <= n; len <<= 1) {
            const double angle = 2 * M_PI / double(len) * (inverse ? 1 : -1);
            const complex step(std::cos(angle), std::sin(angle));
            for (size_t i = 0; i < n; i += len) {
                complex w(1);
                for (size_t k = 0; k < len / 2; ++k, w *= step) {
                    const complex u = x[i + k], v = x[i + k + len / 2] * w;
                    x[i + k] = u + v;
                    x[i + k + len / 2] = u - v;
                }
            }
        }
    };
    std::vector<complex> fa(n), fb(n);
    std::copy(a.begin(), a.end(), fa.begin());
    std::copy(b.begin(), b.end(), fb.begin());
    fft(fa, false);
    fft(fb, false);
    for (size_t i = 0; i < n; ++i)
        fa[i] = std::conj(fa[i]) * fb[i];
    fft(fa, true);
    std::vector<double> out;
    for (int k = -maxLag; k <= maxLag; ++k)
        out.push_back(fa[(size_t(k) + n) % n].real() / double(n));
    return out;
}

double energy(const std::vector<double>& x) {
    double e = 0;
    for (double v : x)
        e += v * v;
    return e;
}

} // namespace

std::optional<movieSound> soundOf(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
        return std::nullopt;
    av::InputContextPtr input(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0)
        return std::nullopt;
    const int audio = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio < 0)
        return std::nullopt;
    const AVStream* sound = raw->streams[audio];
    const int video = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    // A player starts the two together from the movie's timeline: what is heard with the first
    // picture is at 0.
    double origin = secondsOf(sound->start_time, sound->time_base);
    if (video >= 0 && raw->streams[video]->start_time != AV_NOPTS_VALUE)
        origin = secondsOf(raw->streams[video]->start_time, raw->streams[video]->time_base);
    if (std::isnan(origin))
        origin = 0;

    const AVCodec* codec = avcodec_find_decoder(sound->codecpar->codec_id);
    av::CodecContextPtr decoder(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!decoder || avcodec_parameters_to_context(decoder.get(), sound->codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return std::nullopt;
    decoder->pkt_timebase = sound->time_base;
    movieSound out;
    placer place(out, origin);
    auto packet = av::allocPacket();
    auto frame = av::allocFrame();
    const auto drain = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            const bool ok = place.add(*frame, sound->time_base);
            av_frame_unref(frame.get());
            if (!ok)
                return false;
        }
        return true;
    };
    while (av_read_frame(raw, packet.get()) >= 0) {
        const bool ours = packet->stream_index == audio;
        if (ours)
            avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
        if (ours && !drain())
            return std::nullopt;
    }
    avcodec_send_packet(decoder.get(), nullptr);
    if (!drain())
        return std::nullopt;
    return out;
}

std::vector<double> levelsPerSecond(const movieSound& sound, int from, int until) {
    std::vector<double> levels;
    for (int s = from; s < until; ++s) {
        const size_t begin = std::min(sound.samples.size(), size_t(s) * movieSound::rate);
        const size_t end = std::min(sound.samples.size(), size_t(s + 1) * movieSound::rate);
        double sum = 0;
        for (size_t i = begin; i < end; ++i)
            sum += double(sound.samples[i]) * sound.samples[i];
        const double rms = end > begin ? std::sqrt(sum / double(end - begin)) : 0;
        levels.push_back(rms > 1e-6 ? 20 * std::log10(rms) : -120);
    }
    return levels;
}

soundOffset offsetBetween(const movieSound& earlier, const movieSound& later, double length,
                          double maxSeconds) {
    const auto take = [&](const movieSound& s) {
        const size_t n =
            length > 0 ? std::min(s.samples.size(), size_t(length * movieSound::rate)) : s.samples.size();
        return std::vector<double>(s.samples.begin(), s.samples.begin() + std::ptrdiff_t(n));
    };
    const std::vector<double> a = take(earlier), b = take(later);
    // Found first on a quarter-millisecond grid (each sample there the mean of 12), then to the
    // sample around it.
    constexpr int step = 12;
    const auto coarse = [&](const std::vector<double>& x) {
        std::vector<double> out(x.size() / step);
        for (size_t i = 0; i < out.size(); ++i)
            for (int k = 0; k < step; ++k)
                out[i] += x[i * step + size_t(k)] / step;
        return out;
    };
    const int maxLag = int(maxSeconds * movieSound::rate / step);
    const std::vector<double> ca = coarse(a), cb = coarse(b);
    if (ca.empty() || cb.empty())
        return {};
    const std::vector<double> rough = correlate(ca, cb, maxLag);
    const int roughLag = int(std::max_element(rough.begin(), rough.end()) - rough.begin()) - maxLag;
    const auto at = [&](int lag) {
        double sum = 0;
        for (size_t i = size_t(std::max(0, -lag)); i < a.size() && int64_t(i) + lag < int64_t(b.size()); ++i)
            sum += a[i] * b[size_t(int64_t(i) + lag)];
        return sum;
    };
    int best = roughLag * step;
    double bestSum = at(best);
    for (int lag = roughLag * step - 2 * step; lag <= roughLag * step + 2 * step; ++lag)
        if (const double sum = at(lag); sum > bestSum) {
            best = lag;
            bestSum = sum;
        }
    const double norm = std::sqrt(energy(a) * energy(b));
    return {double(best) / movieSound::rate, norm > 0 ? bestSum / norm : 0};
}

std::optional<soundComparison> compareSound(const std::string& recording, const std::string& movie) {
    const auto recorded = soundOf(recording), made = soundOf(movie);
    if (!recorded || !made)
        return std::nullopt;
    soundComparison c;
    const int seconds = int(std::floor(made->seconds() + 0.05));
    c.recordingLevels = levelsPerSecond(*recorded, 0, seconds);
    c.movieLevels = levelsPerSecond(*made, 0, seconds);
    for (int s = 0; s < seconds; ++s)
        c.worstLevelDifference = std::max(c.worstLevelDifference,
                                          std::abs(c.movieLevels[size_t(s)] - c.recordingLevels[size_t(s)]));
    c.offset = offsetBetween(*recorded, *made, made->seconds());
    return c;
}

} // namespace soundcheck
