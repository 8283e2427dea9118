#include "platform/media/audio_output.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <mutex>

namespace qrn::media {
namespace {

std::mutex factoryMutex;
AudioSinkFactory testFactory;

class PulseSink : public AudioSink {
  public:
    explicit PulseSink(pa_simple* s) : s_(s) {}
    ~PulseSink() override {
        int err = 0;
        pa_simple_drain(s_, &err);
        pa_simple_free(s_);
    }
    bool write(const float* interleaved, int frames) override {
        int err = 0;
        return pa_simple_write(s_, interleaved, size_t(frames) * channels_ * sizeof(float), &err) >= 0;
    }
    void flush() override {
        int err = 0;
        pa_simple_flush(s_, &err);
    }
    double latency() override {
        int err = 0;
        pa_usec_t usec = pa_simple_get_latency(s_, &err);
        // Right after a flush the buffer is empty; it fills up to the requested length.
        return std::max(usec == pa_usec_t(-1) ? 0.0 : usec / 1e6, targetLatency);
    }
    static constexpr double targetLatency = 0.1;
    int channels_ = 2;

  private:
    pa_simple* s_;
};

} // namespace

std::unique_ptr<AudioSink> openAudioSink(int sampleRate, int channels) {
    {
        std::lock_guard lock(factoryMutex);
        if (testFactory)
            return testFactory(sampleRate, channels);
    }
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_FLOAT32LE;
    spec.rate = uint32_t(sampleRate);
    spec.channels = uint8_t(channels);
    // A short buffer keeps the sound close to the picture and makes pausing prompt.
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(pa_usec_to_bytes(pa_usec_t(PulseSink::targetLatency * 1e6), &spec));
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(-1);
    int err = 0;
    pa_simple* s =
        pa_simple_new(nullptr, "QRN", PA_STREAM_PLAYBACK, nullptr, "Playback", &spec, nullptr, &attr, &err);
    if (!s)
        return nullptr;
    auto sink = std::make_unique<PulseSink>(s);
    sink->channels_ = channels;
    return sink;
}

void setAudioSinkFactoryForTesting(AudioSinkFactory factory) {
    std::lock_guard lock(factoryMutex);
    testFactory = std::move(factory);
}

} // namespace qrn::media
