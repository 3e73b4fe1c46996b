// Which language is spoken: one decoder step over the first window, scoring
// the language tokens after the start-of-transcript token.
#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "DovuzudUza/Core/DovuzudUza.hpp"
#include "DovuzudUza/Core/GreedyTokenSampler.hpp"
#include "platform/audio/AudioFile.hpp"
#include "platform/concurrency/Task.hpp"

namespace DovuzudUza {

DovuzudUza::LanguageDetection DovuzudUza::detectLanguage(const std::string& audioPath, std::stop_token stop) {
    std::error_code ignored;
    if (!std::filesystem::exists(audioPath, ignored))
        throw WhisperError::loadAudioFailed("Resource path does not exist " + audioPath);
    platform::audio::AudioFile file(audioPath);
    auto buffer = AudioProcessor::loadAudio(file, AudioInputOptions::ChannelMode::sumChannels(), 0.0, 30.0);
    return detectLangauge(AudioProcessor::convertBufferToArray(buffer, 1024), stop);
}

DovuzudUza::LanguageDetection DovuzudUza::detectLangauge(const std::vector<float>& audioArray, std::stop_token stop) {
    if (modelState() != ZezeziCore::ModelState::loaded) {
        std::lock_guard serial(lifecycleMutex_);
        if (modelState() != ZezeziCore::ModelState::loaded) loadModels(false, stop);
    }
    const auto decoder = textDecoder();
    if (!decoder->isModelMultilingual())
        throw WhisperError(WhisperError::Kind::decodingFailed, "Language detection not supported for this model");
    const auto languageTokenizer = tokenizer();
    if (!languageTokenizer) throw WhisperError(WhisperError::Kind::tokenizerUnavailable, "Tokenizer is unavailable");

    DecodingOptions options;
    options.verbose = ZezeziCore::Logging::loggingEnabled();
    const auto& special = languageTokenizer->specialTokens();
    auto inputs = decoder->prepareDecoderInputs({special.startOfTranscriptToken});

    auto window = audioProcessor()->padOrTrim(audioArray, 0, windowLength());
    if (!window) throw WhisperError(WhisperError::Kind::transcriptionFailed, "Audio samples are nil");
    auto mel = featureExtractor()->logMelSpectrogram(window, stop);
    if (!mel) throw WhisperError(WhisperError::Kind::transcriptionFailed, "Mel output is nil");
    auto encoded = audioEncoder()->encodeFeatures(mel, stop);
    if (!encoded) throw WhisperError(WhisperError::Kind::transcriptionFailed, "Encoder output is nil");

    GreedyTokenSampler sampler(platform::ml::Half::fromFloat(0.0f), special.endToken, options);
    DecodingResult result;
    try {
        result = decoder->detectLanguage(encoded, inputs, sampler, options, platform::ml::Half::fromFloat(0.0f), stop);
    } catch (const platform::CancellationError&) {
        throw;
    } catch (...) {
        // Whatever the decoder says, the caller learns only that it failed.
        throw WhisperError(WhisperError::Kind::decodingFailed, "Language detection failed");
    }
    return {result.language, result.languageProbs};
}

}  // namespace DovuzudUza
