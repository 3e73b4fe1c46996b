#pragma once

#include <memory>
#include <vector>

#include "platform/ml/AlignedBuffer.hpp"
#include "platform/ml/HalfBatchMatrix.hpp"
#include "platform/ml/StageModel.hpp"
#include "platform/ml/TensorSource.hpp"

namespace platform::ml {

struct EncoderDimensions {
    int64_t nMels = 80;
    int64_t dModel = 512;
    int64_t nLayers = 6;
    int64_t nHeads = 8;
    int64_t ffnDim = 2048;
    int64_t nFrames = 3000;  // mel frames in; positions out = nFrames / 2
};

// The audio encoder stage: "melspectrogram_features" float16
// [1, n_mels, 1, n_frames] in, "encoder_output_embeds" float16
// [1, d_model, 1, n_frames / 2] out. Two convolutions with GELU, sinusoidal
// positions (from the weights), pre-norm blocks, final norm.
class WhisperEncoderModel : public StageModel {
public:
    static constexpr const char* kind = "whisper-encoder";

    WhisperEncoderModel(const ModelManifest& manifest, TensorSource& weights, ModelConfiguration configuration = {});

    const EncoderDimensions& dimensions() const { return dims_; }
    static ModelManifest manifest(const EncoderDimensions& dims);
    // Floating-point operations of one prediction.
    double flopsPerPrediction() const;
    size_t weightBytes() const;

protected:
    DictionaryFeatureProvider predictFeatures(const FeatureProvider& input, const PredictionOptions& options) override;
    void releaseResources() override;

private:
    // Matrices are held as float16 and widened a slice at a time in the
    // products; norms, biases and positions stay float32.
    struct Layer {
        FloatBuffer ln1g, ln1b, bqkv, bo, ln2g, ln2b, fc1b, fc2b;
        HalfBatchMatrix wqkv, wo, fc1, fc2;
    };
    struct Weights {
        HalfBatchMatrix conv1w, conv2w;
        FloatBuffer conv1b, conv2b, positions;
        std::vector<Layer> layers;
        FloatBuffer lnPostG, lnPostB;
        size_t bytes = 0;
    };
    std::shared_ptr<const Weights> weights() const;

    EncoderDimensions dims_;
    mutable std::mutex mutex_;
    std::shared_ptr<const Weights> weights_;
};

}  // namespace platform::ml
