#include "platform/media/movie_writer.h"

#include "platform/media/av.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <sched.h>

namespace qrn::media {
namespace {

constexpr int videoTimeScale = 90000;

std::mutex tapMutex;
EncoderInputTap encoderInputTap;

void tapEncoderInput(const AVFrame& picture, double time) {
    EncoderInputTap tap;
    {
        std::lock_guard lock(tapMutex);
        tap = encoderInputTap;
    }
    if (tap)
        tap(picture, time);
}

Status fail(const std::string& what, int code) {
    return Status::failure(what + ": " + av::errorString(code));
}

struct OutputContextDeleter {
    void operator()(AVFormatContext* c) const {
        if (c && c->pb && !(c->oformat->flags & AVFMT_NOFILE))
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};

} // namespace

struct MovieWriter::Impl {
    std::string path;
    MovieWriterSettings settings;
    std::unique_ptr<AVFormatContext, OutputContextDeleter> format;
    av::CodecContextPtr video, audio;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    av::SwsPtr scaler;
    av::SwrPtr resampler;
    int resamplerRate = 0, resamplerFormat = -1;
    AVChannelLayout resamplerLayout{};
    AVAudioFifo* fifo = nullptr;
    av::FramePtr yuv, audioFrame;
    av::PacketPtr packet;
    av::PacketPtr heldVideo = av::allocPacket(); // empty, or the newest encoded picture
    int64_t lastVideoPts = -1;
    int64_t repeatedUntil = -1;    // where the newest picture ends at least, after its repeats
    std::optional<int64_t> endPts; // where the last picture ends, once finishing
    int64_t videoFrames = 0;
    int64_t samplesQueued = 0; // samples placed on the timeline (written or waiting in the fifo)
    // Samples the sound is placed ahead of its times, and its packets later in the file, so that
    // no time in the file is below zero (see open()).
    int64_t soundLead = 0;
    int64_t samplesEncoded = 0;
    bool finished = false;
    Status failure;

    ~Impl() {
        if (fifo)
            av_audio_fifo_free(fifo);
        av_channel_layout_uninit(&resamplerLayout);
    }

    Status open() {
        int rc = avformat_alloc_output_context2(&rawFormat, nullptr, "mov", path.c_str());
        if (rc < 0 || !rawFormat)
            return fail("Cannot create the movie", rc);
        format.reset(rawFormat);

        const AVCodec* h264 = avcodec_find_encoder_by_name("libx264");
        if (!h264)
            return Status::failure("No H.264 encoder");
        video.reset(avcodec_alloc_context3(h264));
        video->width = settings.width;
        video->height = settings.height;
        video->pix_fmt = AV_PIX_FMT_YUV420P;
        video->time_base = {1, videoTimeScale};
        video->framerate = {settings.frameRateNum, settings.frameRateDen};
        // A key frame every second's worth of pictures: a fragment a second while recording, and
        // seeking never decodes more than that.
        video->gop_size =
            std::max(1, int(std::lround(double(settings.frameRateNum) / settings.frameRateDen)));
        // A fragment must be playable on its own the moment it is written: no frames that
        // refer forward into the next one.
        if (settings.fragmented)
            video->max_b_frames = 0;
        if (format->oformat->flags & AVFMT_GLOBALHEADER)
            video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        AVDictionary* opts = nullptr;
        av_dict_set(&opts, "preset", settings.preset.c_str(), 0);
        av_dict_set(&opts, "crf", std::to_string(settings.crf).c_str(), 0);
        if (settings.lookahead >= 0)
            av_dict_set(&opts, "rc-lookahead", std::to_string(settings.lookahead).c_str(), 0);
        if (!settings.x264Options.empty())
            av_dict_set(&opts, "x264-params", settings.x264Options.c_str(), 0);
        if (settings.threads > 0)
            video->thread_count = settings.threads;
        if (settings.slicedThreads)
            video->thread_type = FF_THREAD_SLICE;
        rc = avcodec_open2(video.get(), h264, &opts);
        av_dict_free(&opts);
        if (rc < 0)
            return fail("Cannot open the H.264 encoder", rc);
        videoStream = avformat_new_stream(format.get(), nullptr);
        avcodec_parameters_from_context(videoStream->codecpar, video.get());
        videoStream->time_base = video->time_base;
        videoStream->avg_frame_rate = video->framerate;

        if (settings.hasAudio) {
            const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
            if (!aac)
                return Status::failure("No AAC encoder");
            audio.reset(avcodec_alloc_context3(aac));
            audio->sample_rate = audioSampleRate;
            audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
            av_channel_layout_default(&audio->ch_layout, audioChannels);
            audio->bit_rate = 128000;
            audio->time_base = {1, audioSampleRate};
            if (format->oformat->flags & AVFMT_GLOBALHEADER)
                audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
            rc = avcodec_open2(audio.get(), aac, nullptr);
            if (rc < 0)
                return fail("Cannot open the AAC encoder", rc);
            audioStream = avformat_new_stream(format.get(), nullptr);
            avcodec_parameters_from_context(audioStream->codecpar, audio.get());
            // The encoder's first packet starts before zero by its priming. A fragmented file
            // has no edit list to say so, and the muxer would move every later packet of both
            // tracks that far on, the first picture alone staying at zero and lasting that much
            // longer. Its packets go that much later instead, with the sound placed as much
            // earlier, so the two stay in step and every picture lasts its own time.
            if (settings.fragmented) {
                soundLead = audio->initial_padding;
                audioStream->codecpar->initial_padding = 0;
            }
            audioStream->time_base = audio->time_base;
            fifo = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, audioChannels, audioSampleRate);
            audioFrame = av::allocFrame();
        }

        rc = avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE);
        if (rc < 0)
            return fail("Cannot write the movie file", rc);
        AVDictionary* muxOpts = nullptr;
        if (settings.fragmented) {
            av_dict_set(&muxOpts, "movflags", "+frag_keyframe+empty_moov+default_base_moof", 0);
            // Hand each finished fragment to the system at once.
            av_dict_set(&muxOpts, "flush_packets", "1", 0);
        } else {
            av_dict_set(&muxOpts, "movflags", "+faststart", 0);
        }
        rc = avformat_write_header(format.get(), &muxOpts);
        av_dict_free(&muxOpts);
        if (rc < 0)
            return fail("Cannot write the movie header", rc);

        yuv = av::allocFrame();
        yuv->format = AV_PIX_FMT_YUV420P;
        yuv->width = settings.width;
        yuv->height = settings.height;
        if ((rc = av_frame_get_buffer(yuv.get(), 0)) < 0)
            return fail("Out of memory", rc);
        packet = av::allocPacket();
        return Status::ok();
    }
    AVFormatContext* rawFormat = nullptr;

    Status drain(AVCodecContext* codec, AVStream* stream) {
        while (true) {
            int rc = avcodec_receive_packet(codec, packet.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return Status::ok();
            if (rc < 0)
                return fail("Encoding failed", rc);
            if (codec == video.get()) {
                if (packet->duration <= 0)
                    packet->duration = av_rescale_q(1, av_inv_q(video->framerate), video->time_base);
                // The newest picture waits for the next one (or the end) before it is written,
                // so that the last one can still be made to last until the end of the movie.
                if (auto s = writeHeldVideo(); !s)
                    return s;
                av_packet_move_ref(heldVideo.get(), packet.get());
                continue;
            }
            if (soundLead > 0) {
                packet->pts += soundLead;
                packet->dts += soundLead;
            }
            if (auto s = write(packet.get(), codec, stream); !s)
                return s;
        }
    }

    Status write(AVPacket* p, AVCodecContext* codec, AVStream* stream) {
        av_packet_rescale_ts(p, codec->time_base, stream->time_base);
        p->stream_index = stream->index;
        int rc = av_interleaved_write_frame(format.get(), p);
        return rc < 0 ? fail("Writing the movie failed", rc) : Status::ok();
    }

    int64_t frameTicks() const { return av_rescale_q(1, av_inv_q(video->framerate), video->time_base); }

    // `last`: the final picture in decoding order, whose duration sets where the movie ends.
    Status writeHeldVideo(bool last = false) {
        if (!heldVideo->data && heldVideo->side_data_elems == 0 && heldVideo->size == 0)
            return Status::ok();
        // The movie's pictures end where the latest of their times plus durations ends. With
        // pictures reordered for B-frames the last one written may be shown before the last
        // picture: lasting until the end all the same, it ends the movie there, and every other
        // picture, a frame long, ends before.
        if (last && endPts && *endPts > heldVideo->pts + heldVideo->duration)
            heldVideo->duration = *endPts - heldVideo->pts;
        return write(heldVideo.get(), video.get(), videoStream);
    }

    Status encodeYuv(double time) { return encode(yuv.get(), time); }

    // A picture already in the movie's format and size: its pixels go to the encoder as they
    // are, without the source's other properties (picture type, colour tags, side data).
    Status encodeShared(const AVFrame* source, double time) {
        av::FramePtr picture = av::allocFrame();
        if (!picture)
            return Status::failure("Out of memory");
        picture->format = source->format;
        picture->width = source->width;
        picture->height = source->height;
        for (int i = 0; i < AV_NUM_DATA_POINTERS; ++i) {
            if (source->buf[i] && !(picture->buf[i] = av_buffer_ref(source->buf[i])))
                return Status::failure("Out of memory");
            picture->data[i] = source->data[i];
            picture->linesize[i] = source->linesize[i];
        }
        return encode(picture.get(), time);
    }

    Status encode(AVFrame* picture, double time) {
        int64_t pts = std::llround(time * videoTimeScale);
        if (pts <= lastVideoPts)
            pts = lastVideoPts + 1;
        lastVideoPts = pts;
        picture->pts = pts;
        tapEncoderInput(*picture, time);
        int rc = avcodec_send_frame(video.get(), picture);
        if (rc < 0)
            return fail("Encoding failed", rc);
        ++videoFrames;
        return drain(video.get(), videoStream);
    }

    Status prepareYuv() {
        // The encoder may still hold the previous buffer; write into a fresh one.
        int rc = av_frame_make_writable(yuv.get());
        return rc < 0 ? fail("Out of memory", rc) : Status::ok();
    }

    Status encodeAudioFrames(bool flushAll) {
        while (av_audio_fifo_size(fifo) >= audio->frame_size || (flushAll && av_audio_fifo_size(fifo) > 0)) {
            int n = std::min(av_audio_fifo_size(fifo), audio->frame_size);
            av_frame_unref(audioFrame.get());
            audioFrame->nb_samples = n;
            audioFrame->format = audio->sample_fmt;
            audioFrame->sample_rate = audio->sample_rate;
            av_channel_layout_copy(&audioFrame->ch_layout, &audio->ch_layout);
            int rc = av_frame_get_buffer(audioFrame.get(), 0);
            if (rc < 0)
                return fail("Out of memory", rc);
            av_audio_fifo_read(fifo, reinterpret_cast<void**>(audioFrame->data), n);
            audioFrame->pts = samplesEncoded;
            samplesEncoded += n;
            rc = avcodec_send_frame(audio.get(), audioFrame.get());
            if (rc < 0)
                return fail("Encoding failed", rc);
            if (auto s = drain(audio.get(), audioStream); !s)
                return s;
        }
        return Status::ok();
    }

    void pushSilence(int64_t count) {
        std::vector<float> zeros(size_t(std::min<int64_t>(count, audioSampleRate)), 0.0f);
        while (count > 0) {
            int n = int(std::min<int64_t>(count, int64_t(zeros.size())));
            void* planes[audioChannels] = {zeros.data(), zeros.data()};
            av_audio_fifo_write(fifo, planes, n);
            samplesQueued += n;
            count -= n;
        }
    }

    // Places converted planar samples that start at `time` on the timeline.
    void place(float** planes, int count, double time) {
        int64_t expected = std::llround(time * audioSampleRate) - soundLead;
        int64_t drift = expected - samplesQueued;
        // Small differences are the jitter of the devices' clocks; large ones are gaps or
        // overlaps that would put the sound out of step with the picture.
        const int64_t tolerance = samplesQueued == 0 ? 0 : audioSampleRate / 10;
        int skip = 0;
        if (drift > tolerance)
            pushSilence(drift);
        else if (drift < -tolerance)
            skip = int(std::min<int64_t>(-drift, count));
        if (skip >= count)
            return;
        float* shifted[audioChannels] = {planes[0] + skip, planes[1] + skip};
        av_audio_fifo_write(fifo, reinterpret_cast<void**>(shifted), count - skip);
        samplesQueued += count - skip;
    }

    Status convertAudio(const AVFrame* frame, double time) {
        if (!resampler || resamplerRate != frame->sample_rate || resamplerFormat != frame->format ||
            av_channel_layout_compare(&resamplerLayout, &frame->ch_layout) != 0) {
            SwrContext* swr = nullptr;
            AVChannelLayout inLayout{};
            if (frame->ch_layout.nb_channels > 0)
                av_channel_layout_copy(&inLayout, &frame->ch_layout);
            else
                av_channel_layout_default(&inLayout, 1);
            int rc =
                swr_alloc_set_opts2(&swr, &audio->ch_layout, AV_SAMPLE_FMT_FLTP, audioSampleRate, &inLayout,
                                    AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
            av_channel_layout_uninit(&inLayout);
            if (rc < 0 || swr_init(swr) < 0) {
                swr_free(&swr);
                return Status::failure("Cannot convert the sound");
            }
            resampler.reset(swr);
            resamplerRate = frame->sample_rate;
            resamplerFormat = frame->format;
            av_channel_layout_uninit(&resamplerLayout);
            av_channel_layout_copy(&resamplerLayout, &frame->ch_layout);
        }
        int capacity =
            int(av_rescale_rnd(swr_get_delay(resampler.get(), frame->sample_rate) + frame->nb_samples,
                               audioSampleRate, frame->sample_rate, AV_ROUND_UP)) +
            16;
        std::vector<float> left(capacity), right(capacity);
        uint8_t* out[audioChannels] = {reinterpret_cast<uint8_t*>(left.data()),
                                       reinterpret_cast<uint8_t*>(right.data())};
        int got = swr_convert(resampler.get(), out, capacity,
                              const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        if (got < 0)
            return Status::failure("Cannot convert the sound");
        float* planes[audioChannels] = {left.data(), right.data()};
        place(planes, got, time);
        return encodeAudioFrames(false);
    }

    Status check() const { return failure; }
    Status remember(Status s) {
        if (!s && failure)
            failure = s;
        return s;
    }
};

MovieWriter::MovieWriter(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}

MovieWriter::~MovieWriter() {
    if (!d->finished)
        (void)finish();
}

int encoderThreadsForCores(int cores) {
    if (cores <= 0) {
        cpu_set_t set;
        CPU_ZERO(&set);
        cores = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 2;
    }
    return std::clamp(cores, 1, 4);
}

Result<std::unique_ptr<MovieWriter>> MovieWriter::create(const std::string& path,
                                                         const MovieWriterSettings& settings) {
    if (settings.width <= 0 || settings.height <= 0 || settings.width % 2 || settings.height % 2)
        return Result<std::unique_ptr<MovieWriter>>::failure("The movie size must be positive and even");
    if (settings.frameRateNum <= 0 || settings.frameRateDen <= 0)
        return Result<std::unique_ptr<MovieWriter>>::failure("The frame rate must be positive");
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    impl->settings = settings;
    if (auto s = impl->open(); !s) {
        impl->finished = true;
        impl->format.reset();
        std::remove(path.c_str());
        return s;
    }
    return std::unique_ptr<MovieWriter>(new MovieWriter(std::move(impl)));
}

Status MovieWriter::appendVideo(const AVFrame* frame, double time) {
    if (!d->failure)
        return d->failure;
    if (d->finished)
        return Status::failure("The movie is finished");
    if (frame->format == AV_PIX_FMT_YUV420P && frame->width == d->settings.width &&
        frame->height == d->settings.height && frame->buf[0])
        return d->remember(d->encodeShared(frame, time));
    if (auto s = d->prepareYuv(); !s)
        return d->remember(s);
    SwsContext* sws = d->scaler.release();
    const bool converted = av::convert(frame, d->yuv.get(), sws);
    d->scaler.reset(sws);
    if (!converted)
        return d->remember(Status::failure("Cannot convert the picture"));
    return d->remember(d->encodeYuv(time));
}

Status MovieWriter::appendImage(const QImage& source, double time) {
    if (source.isNull())
        return Status::failure("No picture");
    AVFrame wrapper = av::wrap(source);
    if (wrapper.data[0])
        return appendVideo(&wrapper, time);
    const QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    wrapper = av::wrap(image);
    return appendVideo(&wrapper, time);
}

Status MovieWriter::repeatVideo(double time) {
    if (!d->failure)
        return d->failure;
    if (d->finished)
        return Status::failure("The movie is finished");
    if (d->lastVideoPts < 0)
        return d->remember(Status::failure("No picture to repeat"));
    // The sample's length comes from the next picture's time, or from this at the end.
    d->repeatedUntil =
        std::max<int64_t>(d->repeatedUntil, std::llround(time * videoTimeScale) + d->frameTicks());
    return Status::ok();
}

Status MovieWriter::appendAudio(const AVFrame* frame, double time) {
    if (!d->failure)
        return d->failure;
    if (d->finished)
        return Status::failure("The movie is finished");
    if (!d->audio)
        return Status::ok();
    return d->remember(d->convertAudio(frame, time));
}

Status MovieWriter::appendAudioSamples(const float* interleaved, int sampleCount, double time) {
    AVFrame wrapper{};
    wrapper.format = AV_SAMPLE_FMT_FLT;
    wrapper.sample_rate = audioSampleRate;
    wrapper.nb_samples = sampleCount;
    av_channel_layout_default(&wrapper.ch_layout, audioChannels);
    wrapper.data[0] = reinterpret_cast<uint8_t*>(const_cast<float*>(interleaved));
    wrapper.extended_data = wrapper.data;
    wrapper.linesize[0] = sampleCount * audioChannels * int(sizeof(float));
    return appendAudio(&wrapper, time);
}

Status MovieWriter::finish(std::optional<double> end) {
    if (d->finished)
        return d->failure;
    d->finished = true;
    Status s = d->failure;
    double frame = double(d->settings.frameRateDen) / d->settings.frameRateNum;
    if (d->lastVideoPts >= 0)
        d->endPts = std::max({d->lastVideoPts + d->frameTicks(), d->repeatedUntil,
                              end ? int64_t(std::llround(*end * videoTimeScale)) : int64_t(0)});
    if (s && d->audio && d->lastVideoPts >= 0) {
        // A microphone that stopped delivering (or never started) still leaves a sound track
        // as long as the pictures, so the two stay usable together.
        double videoEnd = std::max(double(d->lastVideoPts) / videoTimeScale + frame,
                                   d->endPts ? double(*d->endPts) / videoTimeScale : 0.0);
        int64_t missing = std::llround(videoEnd * audioSampleRate) - d->soundLead - d->samplesQueued;
        if (missing > int64_t(frame * audioSampleRate))
            d->pushSilence(missing);
    }
    if (s && d->audio) {
        s = d->encodeAudioFrames(true);
        if (s) {
            avcodec_send_frame(d->audio.get(), nullptr);
            s = d->drain(d->audio.get(), d->audioStream);
        }
    }
    if (s) {
        avcodec_send_frame(d->video.get(), nullptr);
        s = d->drain(d->video.get(), d->videoStream);
        if (s)
            s = d->writeHeldVideo(true);
    }
    int rc = av_write_trailer(d->format.get());
    if (s && rc < 0)
        s = fail("Cannot finish the movie", rc);
    if (d->format->pb) {
        avio_flush(d->format->pb);
        if (d->format->pb->error < 0 && s)
            s = fail("Writing the movie failed", d->format->pb->error);
    }
    d->format.reset();
    d->failure = s;
    return s;
}

const MovieWriterSettings& MovieWriter::settings() const {
    return d->settings;
}
int64_t MovieWriter::videoFramesWritten() const {
    return d->videoFrames;
}
int64_t MovieWriter::audioSamplesWritten() const {
    return d->samplesEncoded;
}

void setEncoderInputTap(EncoderInputTap tap) {
    std::lock_guard lock(tapMutex);
    encoderInputTap = std::move(tap);
}

} // namespace qrn::media
