#pragma once
// Sound output for playback through PulseAudio. Without a sound server there is no sink and
// playback is silent; nothing fails.
#include <functional>
#include <memory>

namespace qrn::media {

class AudioSink {
  public:
    virtual ~AudioSink() = default;
    // Blocks until the samples (interleaved float) are queued; false when the sink broke.
    virtual bool write(const float* interleaved, int frames) = 0;
    // Drops whatever is queued but not yet heard.
    virtual void flush() = 0;
    // Seconds between a sample written now and the moment it is heard.
    virtual double latency() = 0;
};

using AudioSinkFactory = std::function<std::unique_ptr<AudioSink>(int sampleRate, int channels)>;

// A sink on the default PulseAudio output, or null when no server answers.
std::unique_ptr<AudioSink> openAudioSink(int sampleRate, int channels);
// Tests put a sink of their own in place of the sound server (an empty factory restores it).
void setAudioSinkFactoryForTesting(AudioSinkFactory factory);

} // namespace qrn::media
