#pragma once

#include <memory>

#include "platform/ml/AlignedBuffer.hpp"
#include "platform/ml/StageModel.hpp"
#include "platform/ml/TensorSource.hpp"

namespace platform::ml {

// The log-mel spectrogram stage: "audio" float32 [n_samples] in,
// "melspectrogram_features" float16 [1, n_mels, 1, n_frames] out.
// 400-point periodic Hann window, hop 160, reflect padding, power spectrum,
// the mel filter bank of the weights ("mel_filters" [n_mels, 201]),
// log10 with a 1e-10 floor, clamp at max - 8, then (x + 4) / 4.
class LogMelModel : public StageModel {
public:
    static constexpr const char* kind = "whisper-logmel";

    LogMelModel(const ModelManifest& manifest, TensorSource& weights, ModelConfiguration configuration = {});

    int64_t melCount() const { return nMels_; }
    // Slaney-scale, area-normalised mel filters for 16 kHz audio, [nMels x (nFft/2 + 1)].
    static std::vector<float> melFilters(int64_t nMels, int64_t nFft = 400, double sampleRate = 16000);
    static ModelManifest manifest(int64_t nMels, int64_t nSamples = 480000);

protected:
    DictionaryFeatureProvider predictFeatures(const FeatureProvider& input, const PredictionOptions& options) override;
    void releaseResources() override;

private:
    struct Weights {
        FloatBuffer filters;  // [nMels x nBins]
        FloatBuffer basis;    // [nFft x 2 nBins]: windowed cos / sin
    };
    std::shared_ptr<const Weights> weights() const;

    int64_t nMels_, nSamples_, nFft_, hop_, nFrames_, nBins_;
    mutable std::mutex mutex_;
    std::shared_ptr<const Weights> weights_;
};

}  // namespace platform::ml
