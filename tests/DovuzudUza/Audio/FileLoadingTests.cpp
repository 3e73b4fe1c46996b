#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <regex>

#include "AudioTestSupport.hpp"
#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "platform/audio/AudioError.hpp"
#include "platform/audio/fake/WavWriter.hpp"

using namespace DovuzudUza;
using audio_test::whisperError;
using audio_test::LogCapture;
using audio_test::TemporaryFolder;
using ChannelMode = AudioInputOptions::ChannelMode;
using platform::audio::AudioFormat;

namespace {

AudioBuffer planar(double rate, std::vector<std::vector<float>> channels) {
    AudioBuffer b(AudioFormat{rate, static_cast<uint32_t>(channels.size())}, static_cast<int64_t>(channels[0].size()));
    for (size_t c = 0; c < channels.size(); ++c)
        std::copy(channels[c].begin(), channels[c].end(), b.channel(static_cast<uint32_t>(c)));
    b.setFrameLength(static_cast<int64_t>(channels[0].size()));
    return b;
}

std::vector<float> mono(const AudioBuffer& b) { return std::vector<float>(b.channel(0), b.channel(0) + b.frameLength()); }

std::vector<float> interleave(const std::vector<float>& left, const std::vector<float>& right) {
    std::vector<float> v;
    for (size_t i = 0; i < left.size(); ++i) {
        v.push_back(left[i]);
        v.push_back(right[i]);
    }
    return v;
}

}  // namespace

TEST(AudioFileLoading, SixteenKilohertzMonoLoadsSampleExactWhateverTheMode) {
    TemporaryFolder tmp;
    auto samples = audio_test::tone(8000, 16000, 300, 0.7f);
    platform::audio::writeWavFloat((tmp / "m.wav").string(), samples, 16000, 1);
    for (const auto& mode : {ChannelMode::sumChannels(), ChannelMode::specificChannel(4)}) {
        auto buffer = AudioProcessor::loadAudio((tmp / "m.wav").string(), mode);
        EXPECT_EQ(buffer.sampleRate(), 16000);
        EXPECT_EQ(mono(buffer), samples);
    }
    auto range = AudioProcessor::loadAudio((tmp / "m.wav").string(), ChannelMode::sumChannels(), 0.1, 0.2);
    EXPECT_EQ(mono(range), std::vector<float>(samples.begin() + 1600, samples.begin() + 3200));
    // An end past the file is cut to its length.
    EXPECT_EQ(AudioProcessor::loadAudio((tmp / "m.wav").string(), ChannelMode::sumChannels(), 0.25, 9.0).frameLength(), 4000);
    EXPECT_EQ(AudioProcessor::loadAudioAsFloatArray((tmp / "m.wav").string(), ChannelMode::sumChannels()), samples);
}

TEST(AudioFileLoading, LoadLogsSourceBufferAndMemoryInWholeMebibytes) {
    TemporaryFolder tmp;
    platform::audio::writeWavFloat((tmp / "s.wav").string(), audio_test::tone(22050, 44100, 300, 0.5f), 44100, 2);
    LogCapture log;
    AudioProcessor::loadAudio((tmp / "s.wav").string(), ChannelMode::sumChannels());
    std::vector<std::string> load;
    for (const auto& line : log.texts())
        if (line.find(" details - ") != std::string::npos || line.find("Memory usage") != std::string::npos)
            load.push_back(line);
    ASSERT_EQ(load.size(), 3u);
    EXPECT_EQ(load[0], "Audio source details - Sample Rate: 44100.0 Hz, Channel Count: 2, Frame Length: 11025, Duration: 0.25s");
    EXPECT_EQ(load[1], "Audio buffer details - Sample Rate: 16000.0 Hz, Channel Count: 1, Frame Length: 4000, Duration: 0.25s");
    EXPECT_TRUE(std::regex_match(load[2], std::regex("After loadAudio function - Memory usage: [1-9][0-9]* MB"))) << load[2];
}

TEST(AudioFileLoading, StereoIsMixedThenResampled) {
    TemporaryFolder tmp;
    const auto left = audio_test::tone(44100, 44100, 440, 0.5f);
    const std::vector<float> silent(44100, 0.0f);
    platform::audio::writeWavFloat((tmp / "s.wav").string(), interleave(left, silent), 44100, 2);
    struct Case {
        ChannelMode mode;
        float peak;
    };
    for (const Case& c : {Case{ChannelMode::sumChannels(), 0.5f}, Case{ChannelMode::specificChannel(1), 0.0f},
                          Case{ChannelMode::specificChannel(7), 0.5f}}) {
        const auto samples = AudioProcessor::loadAudioAsFloatArray((tmp / "s.wav").string(), c.mode);
        EXPECT_NEAR(static_cast<double>(samples.size()), 16000, 1);
        float peak = 0;
        for (float s : samples) peak = std::max(peak, std::fabs(s));
        EXPECT_NEAR(peak, c.peak, 0.02);
    }
    // The same stereo file at 16 kHz passes a 1:1 conversion after the mix.
    platform::audio::writeWavFloat((tmp / "s16.wav").string(), interleave(std::vector<float>(1600, 0.25f), std::vector<float>(1600, 0.25f)), 16000, 2);
    const auto same = AudioProcessor::loadAudioAsFloatArray((tmp / "s16.wav").string(), ChannelMode::sumChannels());
    ASSERT_EQ(same.size(), 1600u);
    EXPECT_NEAR(same[800], 0.25f, 1e-6);
}

TEST(AudioFileLoading, MonoMixRules) {
    const auto buffer = planar(16000, {{0.5f, -0.25f, 0.1f}, {0.25f, 0.25f, 0.0f}, {0.0f, 0.0f, 0.0f}});
    struct Case {
        ChannelMode mode;
        std::vector<float> expected;
    };
    // Sum of channels 0 and 1 is {0.75, 0, 0.1}; rescaled to the loudest input peak 0.5.
    const std::vector<float> sum01{0.5f, 0.0f, 0.1f * 0.5f / 0.75f};
    for (const Case& c : std::vector<Case>{
             {ChannelMode::sumChannels(), sum01},
             {ChannelMode::sumChannels(std::vector<int64_t>{}), sum01},
             {ChannelMode::sumChannels(std::vector<int64_t>{1, 0, 9}), sum01},
             {ChannelMode::sumChannels(std::vector<int64_t>{1, 1}), {0.25f, 0.25f, 0.0f}},
             {ChannelMode::sumChannels(std::vector<int64_t>{2}), {0.0f, 0.0f, 0.0f}},
             {ChannelMode::specificChannel(1), {0.25f, 0.25f, 0.0f}},
             {ChannelMode::specificChannel(-1), {0.5f, -0.25f, 0.1f}},
         }) {
        auto out = AudioProcessor::convertToMono(buffer, c.mode);
        ASSERT_TRUE(out);
        ASSERT_EQ(out->channelCount(), 1u);
        const auto got = mono(*out);
        for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(got[i], c.expected[i], 1e-6) << i;
    }
    LogCapture log;
    auto fallback = AudioProcessor::convertToMono(buffer, ChannelMode::sumChannels(std::vector<int64_t>{5, -2}));
    EXPECT_EQ(mono(*fallback), (std::vector<float>{0.5f, -0.25f, 0.1f}));
    EXPECT_TRUE(audio_test::contains(log.texts(), "No valid channel indices provided, defaulting to first channel"));
}

TEST(AudioFileLoading, BufferConversionRoundsCapacityAndEmptiesTheSource) {
    struct Case {
        int64_t frames;
        int64_t capacity;
        std::string line;
    };
    for (const Case& c : std::vector<Case>{
             {1000, 363, "Rounding buffer frame capacity from 362.81179138321994 to 363.0 to better fit new sample rate"},
             {441, 160, ""},
             {1, 1, "Rounding buffer frame capacity from 0.36281179138321995 to 1.0 to better fit new sample rate"}}) {
        LogCapture log;
        platform::audio::Resampler converter(AudioFormat{44100, 1}, AudioFormat{16000, 1});
        const auto out = AudioProcessor::resampleBuffer(planar(44100, {std::vector<float>(c.frames, 0.1f)}), converter);
        EXPECT_EQ(out.frameCapacity(), c.capacity);
        EXPECT_LE(out.frameLength(), c.capacity);
        EXPECT_EQ(audio_test::contains(log.texts(), c.line), !c.line.empty()) << c.frames;
    }
    auto source = planar(16000, {std::vector<float>(3000, 0.5f)});
    const auto samples = AudioProcessor::convertBufferToArray(source, 1024);
    EXPECT_EQ(samples, std::vector<float>(3000, 0.5f));
    EXPECT_EQ(mono(source), std::vector<float>(3000, 0.0f));
}

TEST(AudioFileLoading, ManyFilesKeepTheirOrder) {
    TemporaryFolder tmp;
    platform::audio::writeWavFloat((tmp / "a.wav").string(), std::vector<float>(160, 0.1f), 16000, 1);
    platform::audio::writeWavFloat((tmp / "c.wav").string(), std::vector<float>(320, 0.2f), 16000, 1);
    EXPECT_TRUE(AudioProcessor::loadAudio(std::vector<std::string>{}, ChannelMode::sumChannels()).empty());
    const auto results = AudioProcessor::loadAudio({(tmp / "a.wav").string(), (tmp / "b.wav").string(), (tmp / "c.wav").string()}, ChannelMode::sumChannels());
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(std::get<std::vector<float>>(results[0]).size(), 160u);
    EXPECT_EQ(std::get<std::vector<float>>(results[2]).size(), 320u);
    try {
        std::rethrow_exception(std::get<std::exception_ptr>(results[1]));
    } catch (const WhisperError& e) {
        EXPECT_EQ(e, WhisperError::loadAudioFailed("Resource path does not exist " + (tmp / "b.wav").string()));
    }
    EXPECT_EQ(AudioProcessor::loadAudioAsync((tmp / "c.wav").string()).frameLength(), 320);
}

TEST(AudioFileLoading, BadInputGetsClearErrors) {
    TemporaryFolder tmp;
    { std::ofstream((tmp / "text.wav").string()) << "Hola, esto es texto y no audio.\n"; }
    { std::ofstream((tmp / "empty.wav").string()); }
    ASSERT_TRUE(audio_test::runQuiet("ffmpeg -v error -y -f lavfi -i color=c=black:s=16x16:d=0.2 -c:v mjpeg " + (tmp / "video.mkv").string()));
    platform::audio::writeWav16((tmp / "cut.wav").string(), audio_test::tone(44100, 44100, 200, 0.5f), 44100, 1);
    std::filesystem::resize_file((tmp / "cut.wav").string(), 44 + 22050 * 2);
    platform::audio::writeWav16((tmp / "ok.wav").string(), audio_test::tone(16000, 16000, 200, 0.5f), 16000, 1);

    const auto sum = ChannelMode::sumChannels();
    EXPECT_EQ(whisperError([&] { AudioProcessor::loadAudio((tmp / "none.wav").string(), sum); }),
              WhisperError::loadAudioFailed("Resource path does not exist " + (tmp / "none.wav").string()));
    EXPECT_EQ(whisperError([&] { AudioProcessor::loadAudioAsFloatArray((tmp / "none.wav").string(), sum); }).kind(),
              WhisperError::Kind::loadAudioFailed);
    for (const char* name : {"text.wav", "empty.wav"}) {
        try {
            AudioProcessor::loadAudioAsFloatArray((tmp / name).string(), sum);
            ADD_FAILURE() << name;
        } catch (const platform::audio::AudioError& e) {
            EXPECT_EQ(e.kind(), platform::audio::AudioError::Kind::openFailed) << name;
        }
    }
    try {
        AudioProcessor::loadAudio((tmp / "video.mkv").string(), sum);
        ADD_FAILURE();
    } catch (const platform::audio::AudioError& e) {
        EXPECT_EQ(e.kind(), platform::audio::AudioError::Kind::noAudioStream);
    }
    // A cut-off file gives the audio it still holds.
    const auto cut = AudioProcessor::loadAudioAsFloatArray((tmp / "cut.wav").string(), sum);
    EXPECT_NEAR(static_cast<double>(cut.size()), 8000, 10);

    // A range that starts past the end.
    const auto past = whisperError([&] { AudioProcessor::loadAudio((tmp / "ok.wav").string(), sum, 5.0, std::nullopt); });
    EXPECT_EQ(past.kind(), WhisperError::Kind::loadAudioFailed);
    EXPECT_EQ(past.message().rfind("Failed to read audio file: ", 0), 0u);
    EXPECT_EQ(whisperError([&] { AudioProcessor::loadAudio((tmp / "ok.wav").string(), sum, 0.5, 0.25); }).kind(),
              WhisperError::Kind::loadAudioFailed);
    EXPECT_EQ(whisperError([&] { AudioProcessor::loadAudio((tmp / "ok.wav").string(), sum, std::nan(""), std::nullopt); }).kind(),
              WhisperError::Kind::loadAudioFailed);
    EXPECT_TRUE(AudioProcessor::loadAudioAsFloatArray((tmp / "ok.wav").string(), sum, 5.0, std::nullopt).empty());
    EXPECT_EQ(AudioProcessor::loadAudio((tmp / "ok.wav").string(), sum, 1.0, std::nullopt).frameLength(), 0);
}

TEST(AudioFileLoading, WholeFileLoadsKeepTheLastFrame) {
    // 1001 / 16000 * 16000 falls just short of 1001 in double arithmetic.
    TemporaryFolder tmp;
    const auto samples = audio_test::tone(1001, 16000, 300, 0.5f);
    platform::audio::writeWavFloat((tmp / "odd.wav").string(), samples, 16000, 1);
    EXPECT_EQ(AudioProcessor::loadAudioAsFloatArray((tmp / "odd.wav").string(), ChannelMode::sumChannels()), samples);
    auto stream = AudioProcessor::loadFileIncrementally((tmp / "odd.wav").string(), ChannelMode::sumChannels(), 0.03, 2, 480000);
    auto chunk = stream->next();
    ASSERT_TRUE(chunk);
    EXPECT_EQ(chunk->audioChunk.audioSamples, samples);
    EXPECT_FALSE(stream->next());
}

TEST(AudioFileLoading, ResamplingAFileRangeStopsAtItsLastFrame) {
    TemporaryFolder tmp;
    platform::audio::writeWavFloat((tmp / "r.wav").string(), std::vector<float>(4410, 0.25f), 44100, 1);
    platform::audio::AudioFile file((tmp / "r.wav").string());
    file.setFramePosition(2205);
    // No frame count: the range runs from the position to the end of the file, never past it.
    auto out = AudioProcessor::resampleAudio(file, 16000, 1, ChannelMode::sumChannels(), std::nullopt, 1000);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->frameCapacity(), 1600);
    EXPECT_NEAR(static_cast<double>(out->frameLength()), 800, 2);
    EXPECT_EQ(file.framePosition(), 4410);
}

TEST(AudioFileLoading, OneBufferIsConvertedOnceWithNothingRepeated) {
    // A rising ramp: any samples handed to the converter twice would show as a fall.
    std::vector<float> ramp(4410);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i) / 4410.0f;
    const auto out = AudioProcessor::resampleAudio(planar(44100, {ramp}), 16000, 1);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->frameCapacity(), 1600);
    EXPECT_NEAR(static_cast<double>(out->frameLength()), 1600, 1);
    const auto samples = mono(*out);
    for (size_t i = 40; i + 40 < samples.size(); ++i) ASSERT_GT(samples[i], samples[i - 1]) << i;
}

namespace {

int linesStartingWith(const std::vector<std::string>& lines, const std::string& start) {
    int n = 0;
    for (const auto& line : lines) n += line.rfind(start, 0) == 0;
    return n;
}

}  // namespace

TEST(AudioFileLoading, AHeaderAnnouncingHoursSizesNothingByIt) {
    // Each file holds a quarter of a second while its header announces an hour.
    TemporaryFolder tmp;
    const auto sum = ChannelMode::sumChannels();
    const std::string monoPath = (tmp / "mono.flac").string(), stereoPath = (tmp / "stereo.flac").string();
    const auto left = audio_test::tone(11025, 44100, 440, 0.5f);
    platform::audio::writeWav16((tmp / "mono.wav").string(), audio_test::tone(4000, 16000, 300, 0.5f), 16000, 1);
    platform::audio::writeWav16((tmp / "stereo.wav").string(), interleave(left, left), 44100, 2);
    audio_test::writeFlacAnnouncing((tmp / "mono.wav").string(), monoPath, 16000 * 3600);
    audio_test::writeFlacAnnouncing((tmp / "stereo.wav").string(), stereoPath, 44100 * 3600);
    const auto samples = mono(AudioProcessor::loadAudio((tmp / "mono.wav").string(), sum));
    const int64_t aMinute = 16000 * 60;
    ASSERT_GT(platform::audio::AudioFile(monoPath).length(), aMinute);
    ASSERT_GT(platform::audio::AudioFile(stereoPath).length(), aMinute);

    struct Case {
        std::string path;
        std::optional<double> end;
    };
    for (const Case& c : {Case{monoPath, std::nullopt}, Case{monoPath, 1800.0}, Case{stereoPath, std::nullopt},
                          Case{stereoPath, 1800.0}}) {
        const auto buffer = AudioProcessor::loadAudio(c.path, sum, std::nullopt, c.end);
        EXPECT_NEAR(static_cast<double>(buffer.frameLength()), 4000, 2) << c.path;
        EXPECT_LT(buffer.frameCapacity(), aMinute) << c.path;
    }
    EXPECT_EQ(mono(AudioProcessor::loadAudio(monoPath, sum)), samples);

    // Whole-file loading stops where the audio stops: one piece, not one for
    // every ten announced minutes.
    LogCapture log;
    EXPECT_EQ(AudioProcessor::loadAudioAsFloatArray(monoPath, sum), samples);
    EXPECT_NEAR(static_cast<double>(AudioProcessor::loadAudioAsFloatArray(stereoPath, sum).size()), 4000, 2);
    EXPECT_EQ(linesStartingWith(log.texts(), "Audio source details - "), 2);
}

TEST(AudioFileLoading, CompressedAudioHoldingMoreFramesThanBytesLoadsWhole) {
    // Mostly silence: the lossless copy takes far less than a byte per frame,
    // so its buffers grow past a first guess taken from the file's size.
    TemporaryFolder tmp;
    const auto sum = ChannelMode::sumChannels();
    for (const auto& [rate, channels] : {std::pair<uint32_t, uint16_t>{16000, 1}, {44100, 2}}) {
        std::vector<float> audio(static_cast<size_t>(rate) * 12 * channels, 0.0f);
        const auto beep = audio_test::tone(rate / 4, rate, 500, 0.5f);
        for (size_t i = 0; i < beep.size(); ++i)
            for (size_t c = 0; c < channels; ++c) audio[(rate * 11 + i) * channels + c] = beep[i];
        const std::string wav = (tmp / ("a" + std::to_string(rate) + ".wav")).string();
        const std::string flac = (tmp / ("a" + std::to_string(rate) + ".flac")).string();
        platform::audio::writeWav16(wav, audio, rate, channels);
        ASSERT_TRUE(audio_test::runQuiet("ffmpeg -v error -nostdin -y -i " + wav + " " + flac));
        ASSERT_LT(std::filesystem::file_size(flac) * 4, audio.size() / channels) << "the copy should be that small";

        const auto expected = AudioProcessor::loadAudioAsFloatArray(wav, sum);
        EXPECT_EQ(AudioProcessor::loadAudioAsFloatArray(flac, sum), expected) << rate;
        EXPECT_EQ(mono(AudioProcessor::loadAudio(flac, sum, 2.0, 11.5)), mono(AudioProcessor::loadAudio(wav, sum, 2.0, 11.5)))
            << rate;
    }
}
