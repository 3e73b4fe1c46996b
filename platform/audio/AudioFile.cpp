#include "platform/audio/AudioFile.hpp"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/samplefmt.h>
}

#include "platform/audio/AudioError.hpp"
#include "platform/audio/WavHeader.hpp"
#include "platform/foundation/NumberFormat.hpp"
#include "platform/log/SystemLog.hpp"

namespace platform::audio {

namespace {

std::string avErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

template <typename T>
float sampleToFloat(T v);
template <>
float sampleToFloat<uint8_t>(uint8_t v) { return (static_cast<int>(v) - 128) / 128.0f; }
template <>
float sampleToFloat<int16_t>(int16_t v) { return v / 32768.0f; }
template <>
float sampleToFloat<int32_t>(int32_t v) { return static_cast<float>(v / 2147483648.0); }
template <>
float sampleToFloat<int64_t>(int64_t v) { return static_cast<float>(static_cast<double>(v) / 9223372036854775808.0); }
template <>
float sampleToFloat<float>(float v) { return v; }
template <>
float sampleToFloat<double>(double v) { return static_cast<float>(v); }

// Appends `frames` frames of `frame` (any sample format) to planar float planes.
template <typename T>
void appendFrame(const AVFrame* frame, bool planar, int channels, int frameChannels, int64_t skip,
                 std::vector<std::vector<float>>& planes) {
    const int64_t n = frame->nb_samples - skip;
    for (int c = 0; c < channels; ++c) {
        auto& plane = planes[c];
        const size_t base = plane.size();
        plane.resize(base + static_cast<size_t>(n));
        float* out = plane.data() + base;
        if (c >= frameChannels) {
            std::fill(out, out + n, 0.0f);
            continue;
        }
        if (planar) {
            const T* in = reinterpret_cast<const T*>(frame->extended_data[c]) + skip;
            for (int64_t i = 0; i < n; ++i) out[i] = sampleToFloat<T>(in[i]);
        } else {
            const T* in = reinterpret_cast<const T*>(frame->extended_data[0]) + skip * frameChannels + c;
            for (int64_t i = 0; i < n; ++i) out[i] = sampleToFloat<T>(in[i * frameChannels]);
        }
    }
}

}  // namespace

struct AudioFile::Impl {
    std::string path;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    double rate = 0;
    uint32_t channels = 0;
    int64_t length = 0;
    int64_t startPts = 0;  // stream start in its time base

    // Decoded frames not yet handed out; pending[c][pendingOffset] is frame `position`.
    std::vector<std::vector<float>> pending;
    size_t pendingOffset = 0;
    int64_t position = 0;
    bool flushed = false;   // the decoder was told the input ended
    bool finished = false;  // the decoder has nothing more
    int64_t decodedFrames = 0;  // frames decoded since the last seek, counted from `decodeOrigin`
    int64_t decodeOrigin = 0;
    bool originKnown = true;
    std::optional<int64_t> declaredFrames;  // what a WAV header promises
    bool endReported = false;

    ~Impl() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    [[noreturn]] void fail(AudioError::Kind kind, const std::string& what, int code) const {
        throw AudioError(kind, what + " " + path + ": " + avErrorText(code));
    }

    size_t pendingCount() const { return pending.empty() ? 0 : pending[0].size() - pendingOffset; }

    void clearPending() {
        for (auto& plane : pending) plane.clear();
        pendingOffset = 0;
    }

    void compactPending() {
        if (pendingOffset == 0) return;
        for (auto& plane : pending) plane.erase(plane.begin(), plane.begin() + static_cast<ptrdiff_t>(pendingOffset));
        pendingOffset = 0;
    }

    // Decodes one more frame into `pending`; false at the end of the audio.
    bool decodeMore() {
        while (!finished) {
            int rc = avcodec_receive_frame(codec, frame);
            if (rc == 0) {
                absorbFrame();
                av_frame_unref(frame);
                return true;
            }
            if (rc == AVERROR_EOF) {
                reachEnd();
                break;
            }
            // A packet the decoder refuses (a file cut inside its last frame)
            // is skipped like a damaged one; what came before still counts.
            if (rc == AVERROR_INVALIDDATA) continue;
            if (rc != AVERROR(EAGAIN)) fail(AudioError::Kind::readFailed, "Cannot decode", rc);
            if (flushed) {
                reachEnd();
                break;
            }
            rc = av_read_frame(format, packet);
            if (rc < 0) {
                // End of input (or a cut-off file): drain what the decoder holds.
                flushed = true;
                avcodec_send_packet(codec, nullptr);
                continue;
            }
            if (packet->stream_index == stream) {
                rc = avcodec_send_packet(codec, packet);
                // A damaged packet is skipped, as players do; the rest still decodes.
                if (rc < 0 && rc != AVERROR(EAGAIN) && rc != AVERROR_INVALIDDATA) {
                    av_packet_unref(packet);
                    fail(AudioError::Kind::readFailed, "Cannot decode", rc);
                }
            }
            av_packet_unref(packet);
        }
        return false;
    }

    // The decoder has nothing more. A file cut short keeps what it holds; say
    // once how far it got against what its header promised.
    void reachEnd() {
        finished = true;
        if (endReported || !declaredFrames || !originKnown) return;
        endReported = true;
        const int64_t decoded = decodeOrigin + decodedFrames;
        if (decoded >= *declaredFrames) return;
        static const SystemLogger logger("qz.tamo.Parlox", "audio");
        logger.warning(path + " ends before its header says: " +
                       formatShortest(static_cast<double>(*declaredFrames) / rate) + " s declared, " +
                       formatShortest(static_cast<double>(decoded) / rate) + " s decoded");
    }

    void absorbFrame() {
        if (frame->nb_samples <= 0) return;
        int64_t skip = 0;
        if (!originKnown) {
            // First frame after a seek: place it on the timeline by its time stamp.
            int64_t ts = frame->best_effort_timestamp;
            if (ts == AV_NOPTS_VALUE) ts = frame->pts;
            if (ts == AV_NOPTS_VALUE) throw AudioError(AudioError::Kind::seekFailed, "Cannot seek in " + path);
            decodeOrigin = av_rescale_q(ts - startPts, format->streams[stream]->time_base,
                                        AVRational{1, static_cast<int>(rate)});
            decodedFrames = 0;
            originKnown = true;
        }
        const int64_t frameStart = decodeOrigin + decodedFrames;
        decodedFrames += frame->nb_samples;
        // Drop what lies before the position asked for (after a seek).
        if (frameStart < position) skip = std::min<int64_t>(position - frameStart, frame->nb_samples);
        if (skip >= frame->nb_samples) return;

        const int frameChannels = frame->ch_layout.nb_channels;
        const auto fmt = static_cast<AVSampleFormat>(frame->format);
        const bool planar = av_sample_fmt_is_planar(fmt);
        const int ch = static_cast<int>(channels);
        compactPending();
        switch (av_get_packed_sample_fmt(fmt)) {
        case AV_SAMPLE_FMT_U8: appendFrame<uint8_t>(frame, planar, ch, frameChannels, skip, pending); break;
        case AV_SAMPLE_FMT_S16: appendFrame<int16_t>(frame, planar, ch, frameChannels, skip, pending); break;
        case AV_SAMPLE_FMT_S32: appendFrame<int32_t>(frame, planar, ch, frameChannels, skip, pending); break;
        case AV_SAMPLE_FMT_S64: appendFrame<int64_t>(frame, planar, ch, frameChannels, skip, pending); break;
        case AV_SAMPLE_FMT_FLT: appendFrame<float>(frame, planar, ch, frameChannels, skip, pending); break;
        case AV_SAMPLE_FMT_DBL: appendFrame<double>(frame, planar, ch, frameChannels, skip, pending); break;
        default: throw AudioError(AudioError::Kind::readFailed, "Unsupported sample format in " + path);
        }
    }

    void restartDecoder() {
        avcodec_flush_buffers(codec);
        clearPending();
        flushed = false;
        finished = false;
    }

    void seekTo(int64_t target) {
        if (target == position) return;
        if (target > position && target - position <= static_cast<int64_t>(rate) * 2) {
            // Short step forward: decode and drop.
            while (position < target) {
                if (pendingCount() == 0 && !decodeMore()) break;
                const size_t step = std::min<size_t>(pendingCount(), static_cast<size_t>(target - position));
                pendingOffset += step;
                position += static_cast<int64_t>(step);
            }
            position = target;
            return;
        }
        AVStream* st = format->streams[stream];
        const int64_t ts = startPts + av_rescale_q(target, AVRational{1, static_cast<int>(rate)}, st->time_base);
        int rc = av_seek_frame(format, stream, ts, AVSEEK_FLAG_BACKWARD);
        restartDecoder();
        position = target;
        if (rc >= 0) {
            originKnown = false;
            return;
        }
        // The container cannot seek there: start over and decode up to the frame.
        rc = av_seek_frame(format, stream, startPts, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
        if (rc < 0) rc = avformat_seek_file(format, -1, INT64_MIN, 0, 0, 0);
        if (rc < 0) fail(AudioError::Kind::seekFailed, "Cannot seek in", rc);
        originKnown = true;
        decodeOrigin = 0;
        decodedFrames = 0;
    }
};

AudioFile::AudioFile(const std::string& path) : impl_(std::make_unique<Impl>()) {
    Impl& d = *impl_;
    d.path = path;
    // Damaged input is reported by our errors; the library's own chatter stays quiet.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        throw AudioError(AudioError::Kind::fileNotFound, "No audio file at " + path);

    int rc = avformat_open_input(&d.format, path.c_str(), nullptr, nullptr);
    if (rc < 0) d.fail(AudioError::Kind::openFailed, "Cannot open audio file", rc);
    rc = avformat_find_stream_info(d.format, nullptr);
    if (rc < 0) d.fail(AudioError::Kind::openFailed, "Cannot read audio file", rc);

    const AVCodec* decoder = nullptr;
    d.stream = av_find_best_stream(d.format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (d.stream == AVERROR_STREAM_NOT_FOUND)
        throw AudioError(AudioError::Kind::noAudioStream, "No audio stream in " + path);
    if (d.stream < 0 || decoder == nullptr)
        throw AudioError(AudioError::Kind::decoderUnavailable, "No decoder for the audio of " + path);
    for (unsigned i = 0; i < d.format->nb_streams; ++i)
        if (static_cast<int>(i) != d.stream) d.format->streams[i]->discard = AVDISCARD_ALL;

    AVStream* st = d.format->streams[d.stream];
    d.codec = avcodec_alloc_context3(decoder);
    if (d.codec == nullptr) throw AudioError(AudioError::Kind::decoderUnavailable, "No decoder for " + path);
    rc = avcodec_parameters_to_context(d.codec, st->codecpar);
    if (rc < 0) d.fail(AudioError::Kind::decoderUnavailable, "Cannot set up the decoder for", rc);
    // Audio decodes faster on one thread than with frame threads handing work around.
    d.codec->thread_count = 1;
    rc = avcodec_open2(d.codec, decoder, nullptr);
    if (rc < 0) d.fail(AudioError::Kind::decoderUnavailable, "Cannot open the decoder for", rc);

    d.rate = d.codec->sample_rate;
    const int channels = d.codec->ch_layout.nb_channels;
    if (d.rate <= 0 || channels <= 0)
        throw AudioError(AudioError::Kind::openFailed, "Audio stream without rate or channels in " + path);
    d.channels = static_cast<uint32_t>(channels);
    d.pending.resize(d.channels);
    d.startPts = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;

    const AVRational perFrame{1, d.codec->sample_rate};
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
        d.length = av_rescale_q(st->duration, st->time_base, perFrame);
    } else if (d.format->duration != AV_NOPTS_VALUE && d.format->duration > 0) {
        d.length = av_rescale_q(d.format->duration, AVRational{1, AV_TIME_BASE}, perFrame);
    } else {
        d.length = 0;
    }

    if (std::strcmp(d.format->iformat->name, "wav") == 0) {
        if (auto header = WavHeader::read(path); header && header->sampleRate == static_cast<uint32_t>(d.rate))
            d.declaredFrames = header->declaredFrames();
    }

    d.packet = av_packet_alloc();
    d.frame = av_frame_alloc();
    if (d.packet == nullptr || d.frame == nullptr)
        throw AudioError(AudioError::Kind::openFailed, "Out of memory opening " + path);

    // A length only guessed from the bitrate (an MP3 without a frame count)
    // can be seconds off either way.
    const bool estimated = d.format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
    if ((d.length == 0 || estimated) && st->codecpar->codec_id != AV_CODEC_ID_NONE) {
        // No declared length: count the frames once, then start over.
        while (d.decodeMore()) {
            d.position += static_cast<int64_t>(d.pendingCount());
            d.clearPending();
        }
        d.length = d.position;
        d.seekTo(0);
    }
}

AudioFile::~AudioFile() = default;

const std::string& AudioFile::path() const { return impl_->path; }

AudioFormat AudioFile::processingFormat() const { return AudioFormat{impl_->rate, impl_->channels}; }

int64_t AudioFile::length() const { return impl_->length; }

int64_t AudioFile::framePosition() const { return impl_->position; }

void AudioFile::setFramePosition(int64_t frame) { impl_->seekTo(std::max<int64_t>(frame, 0)); }

int64_t AudioFile::read(PcmBuffer& buffer, int64_t frameCount) {
    Impl& d = *impl_;
    if (buffer.format() != processingFormat())
        throw AudioError(AudioError::Kind::readFailed, "Buffer format does not match " + d.path);
    frameCount = std::min(frameCount, buffer.frameCapacity());
    int64_t done = 0;
    while (done < frameCount) {
        if (d.pendingCount() == 0) {
            if (!d.decodeMore()) break;
            continue;
        }
        const int64_t step = std::min<int64_t>(static_cast<int64_t>(d.pendingCount()), frameCount - done);
        for (uint32_t c = 0; c < d.channels; ++c) {
            std::memcpy(buffer.channel(c) + done, d.pending[c].data() + d.pendingOffset,
                        static_cast<size_t>(step) * sizeof(float));
        }
        d.pendingOffset += static_cast<size_t>(step);
        d.position += step;
        done += step;
    }
    if (d.pendingCount() == 0) d.clearPending();
    buffer.setFrameLength(done);
    return done;
}

}  // namespace platform::audio
