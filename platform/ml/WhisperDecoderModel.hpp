#pragma once

#include <list>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/ml/AlignedBuffer.hpp"
#include "platform/ml/HalfMatrix.hpp"
#include "platform/ml/StageModel.hpp"
#include "platform/ml/TensorSource.hpp"

namespace platform::ml {

struct DecoderDimensions {
    int64_t dModel = 512;
    int64_t nLayers = 6;
    int64_t nHeads = 8;
    int64_t ffnDim = 2048;
    int64_t nVocab = 51865;
    int64_t nTextCtx = 448;   // learned positions
    int64_t kvLength = 224;   // cache positions S
    int64_t nAudioCtx = 1500; // encoder frames W
    std::vector<std::pair<int64_t, int64_t>> alignmentHeads;  // (layer, head)
};

// The text decoder stage, one token per prediction.
// Inputs: "input_ids" int32 [1], "cache_length" int32 [1], "key_cache" and
// "value_cache" float16 [1, E, 1, S] with E = n_layers * d_model (channel
// layer * d_model + i), "kv_cache_update_mask" int32 [1, S] (1 where this
// step's key/value go), "encoder_output_embeds" float16 [1, d_model, 1, W],
// "decoder_key_padding_mask" float16 [1, S] (added to the attention scores).
// Outputs: "logits" float16 [1, 1, V], "key_cache_updates" and
// "value_cache_updates" float16 [1, E, 1, 1], and, when the weights name
// alignment heads, "alignment_heads_weights" float16 [1, W] (their mean
// cross-attention). Cross-attention keys and values are computed once per
// encoder output and reused. The per-step matrices are held as float16.
class WhisperDecoderModel : public StageModel {
public:
    static constexpr const char* kind = "whisper-decoder";

    WhisperDecoderModel(const ModelManifest& manifest, TensorSource& weights, ModelConfiguration configuration = {});
    ~WhisperDecoderModel() override;

    const DecoderDimensions& dimensions() const { return dims_; }
    static ModelManifest manifest(const DecoderDimensions& dims);
    size_t weightBytes() const;
    // Weight bytes read by one step (all but the cross-attention keys/values).
    size_t weightBytesPerStep() const;
    // Encoder outputs whose cross-attention keys/values are cached.
    size_t cachedEncoderOutputs() const;

protected:
    DictionaryFeatureProvider predictFeatures(const FeatureProvider& input, const PredictionOptions& options) override;
    void releaseResources() override;

private:
    // The matrices a step reads are float16 (the step is bound by memory);
    // the cross-attention key/value projections run once per window, float32.
    struct Layer {
        FloatBuffer ln1g, ln1b, bqkv, bo;
        HalfMatrix wqkv, wo;
        FloatBuffer ln2g, ln2b, cqb, ck, cv, cvb, cob;
        HalfMatrix cq, co;
        FloatBuffer ln3g, ln3b, fc1b, fc2b;
        HalfMatrix fc1, fc2;
    };
    struct Weights {
        HalfMatrix tokens;
        FloatBuffer positions;
        std::vector<Layer> layers;
        FloatBuffer lnG, lnB;
        size_t bytes = 0;
        size_t stepBytes = 0;
    };
    struct CrossEntry;
    struct RunState;
    class Step;
    std::shared_ptr<const Weights> weights() const;
    std::shared_ptr<CrossEntry> crossKeysAndValues(const Weights& w, const class MultiArray& encoderOutput);
    std::unique_ptr<RunState> takeRunState();
    void returnRunState(std::unique_ptr<RunState> state);

    DecoderDimensions dims_;
    mutable std::mutex mutex_;
    std::shared_ptr<const Weights> weights_;
    std::list<std::shared_ptr<CrossEntry>> crossCache_;  // most recent first
    std::vector<std::unique_ptr<RunState>> idleRunStates_;
};

}  // namespace platform::ml
