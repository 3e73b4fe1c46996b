#include <gtest/gtest.h>

#include "../Models/LogCapture.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"

using namespace DovuzudUza;
using Kind = WhisperError::Kind;

TEST(WhisperError, EveryCaseHasItsConstructorAndCarriesItsMessage) {
    const std::vector<std::pair<WhisperError, Kind>> cases{
        {WhisperError::tokenizerUnavailable("a"), Kind::tokenizerUnavailable},
        {WhisperError::modelsUnavailable("a"), Kind::modelsUnavailable},
        {WhisperError::audioProcessingFailed("a"), Kind::audioProcessingFailed},
        {WhisperError::decodingLogitsFailed("a"), Kind::decodingLogitsFailed},
        {WhisperError::segmentingFailed("a"), Kind::segmentingFailed},
        {WhisperError::loadAudioFailed("a"), Kind::loadAudioFailed},
        {WhisperError::prepareDecoderInputsFailed("a"), Kind::prepareDecoderInputsFailed},
        {WhisperError::transcriptionFailed("a"), Kind::transcriptionFailed},
        {WhisperError::decodingFailed("a"), Kind::decodingFailed},
        {WhisperError::microphoneUnavailable("a"), Kind::microphoneUnavailable},
        {WhisperError::initializationError("a"), Kind::initializationError},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& [error, kind] = cases[i];
        EXPECT_EQ(error.kind(), kind) << i;
        EXPECT_EQ(error.message(), "a");
        for (size_t j = 0; j < cases.size(); ++j) EXPECT_EQ(error == cases[j].first, i == j) << i << " " << j;
    }
    EXPECT_EQ(WhisperError::modelsUnavailable("Model folder is not set."),
              WhisperError::modelsUnavailable("Model folder is not set."));
    EXPECT_FALSE(WhisperError::modelsUnavailable("Model folder is not set.") ==
                 WhisperError::loadAudioFailed("Model folder is not set."));
}

TEST(WhisperError, DescriptionIsTheBareMessageAndItsReadingIsLogged) {
    test_support::LogCapture log(ZezeziCore::Logging::LogLevel::error);
    const auto error = WhisperError::modelsUnavailable("Model not found. Please check the model or repo name and try again.\nError: gone");
    EXPECT_STREQ(error.what(), "Model not found. Please check the model or repo name and try again.\nError: gone");
    EXPECT_EQ(error.description(), error.message());
    EXPECT_TRUE(log.texts().empty());  // what() and description() do not log
    EXPECT_EQ(error.errorDescription(), error.message());
    EXPECT_EQ(error.localizedDescription(), error.message());
    EXPECT_EQ(log.texts(), (std::vector<std::string>{error.message(), error.message()}));
}
