#include "platform/ml/WhisperEncoderModel.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/ml/Blas.hpp"
#include "platform/ml/Half.hpp"
#include "platform/ml/Kernels.hpp"
#include "platform/ml/ModelError.hpp"
#include "platform/ml/MultiArray.hpp"
#include "platform/ml/Parallel.hpp"

namespace platform::ml {

namespace {

EncoderDimensions readDimensions(const ModelManifest& manifest) {
    const nlohmann::json& p = manifest.parameters;
    EncoderDimensions d;
    d.nMels = modelParameter(p, "n_mels");
    d.dModel = modelParameter(p, "d_model");
    d.nLayers = modelParameter(p, "n_layers");
    d.nHeads = modelParameter(p, "n_heads");
    d.ffnDim = modelParameter(p, "ffn_dim", 4 * d.dModel);
    d.nFrames = modelParameter(p, "n_frames", 3000);
    if (d.dModel % d.nHeads != 0) {
        inconsistentParameters(manifest, "encoder", namedParameter("d_model", d.dModel) + " is not a multiple of " +
                                                        namedParameter("n_heads", d.nHeads));
    }
    if (d.nFrames % 2 != 0) inconsistentParameters(manifest, "encoder", namedParameter("n_frames", d.nFrames) + " is odd");
    return d;
}

ModelDescription describe(const EncoderDimensions& d) {
    ModelDescription m;
    m.addInput(FeatureDescription::multiArray("melspectrogram_features", {1, d.nMels, 1, d.nFrames}, DataType::float16));
    m.addOutput(FeatureDescription::multiArray("encoder_output_embeds", {1, d.dModel, 1, d.nFrames / 2},
                                               DataType::float16));
    return m;
}

// Conv weights [out, in, 3] -> [out, 3 * in] with column k * in + c, so that
// a row of the unfolded input is three consecutive input rows.
FloatBuffer reorderConv(const FloatBuffer& w, int64_t out, int64_t in) {
    FloatBuffer r(static_cast<size_t>(out * in * 3), false);
    for (int64_t o = 0; o < out; ++o)
        for (int64_t c = 0; c < in; ++c)
            for (int64_t k = 0; k < 3; ++k) r[(o * 3 + k) * in + c] = w[(o * in + c) * 3 + k];
    return r;
}

int I(int64_t v) { return static_cast<int>(v); }

}  // namespace

ModelManifest WhisperEncoderModel::manifest(const EncoderDimensions& d) {
    ModelManifest m;
    m.kind = kind;
    m.parameters = {{"n_mels", d.nMels}, {"d_model", d.dModel}, {"n_layers", d.nLayers},
                    {"n_heads", d.nHeads}, {"ffn_dim", d.ffnDim}, {"n_frames", d.nFrames}};
    m.description = describe(d);
    return m;
}

WhisperEncoderModel::WhisperEncoderModel(const ModelManifest& manifest, TensorSource& source,
                                         ModelConfiguration configuration)
    : StageModel(describe(readDimensions(manifest)), manifest, configuration), dims_(readDimensions(manifest)) {
    const int64_t D = dims_.dModel, F = dims_.ffnDim, T = dims_.nFrames / 2;
    const std::string e = "model.encoder.";
    auto w = std::make_shared<Weights>();
    auto take = [&](const std::string& name, std::vector<int64_t> shape) {
        auto b = source.take(e + name, shape);
        w->bytes += b.size() * sizeof(float);
        return b;
    };
    auto half = [&](const FloatBuffer& values, int64_t rows, int64_t cols) {
        HalfBatchMatrix m(values, rows, cols);
        w->bytes += m.bytes();
        return m;
    };
    auto takeHalf = [&](const std::string& name, int64_t rows, int64_t cols) {
        return half(source.take(e + name, {rows, cols}), rows, cols);
    };
    w->conv1w = half(reorderConv(source.take(e + "conv1.weight", {D, dims_.nMels, 3}), D, dims_.nMels), D,
                     3 * dims_.nMels);
    w->conv1b = take("conv1.bias", {D});
    w->conv2w = half(reorderConv(source.take(e + "conv2.weight", {D, D, 3}), D, D), D, 3 * D);
    w->conv2b = take("conv2.bias", {D});
    w->positions = take("embed_positions.weight", {T, D});
    for (int64_t l = 0; l < dims_.nLayers; ++l) {
        const std::string p = "layers." + std::to_string(l) + ".";
        Layer L;
        L.ln1g = take(p + "self_attn_layer_norm.weight", {D});
        L.ln1b = take(p + "self_attn_layer_norm.bias", {D});
        L.wqkv = HalfBatchMatrix(3 * D, D);
        const char* projections[3] = {"q_proj", "k_proj", "v_proj"};
        for (int i = 0; i < 3; ++i) {
            L.wqkv.setRows(i * D, source.take(e + p + "self_attn." + projections[i] + ".weight", {D, D}).data(), D);
        }
        w->bytes += L.wqkv.bytes();
        L.bqkv = FloatBuffer(static_cast<size_t>(3 * D));
        w->bytes += L.bqkv.size() * 4;
        auto qb = source.take(e + p + "self_attn.q_proj.bias", {D});
        auto vb = source.take(e + p + "self_attn.v_proj.bias", {D});
        std::memcpy(L.bqkv.data(), qb.data(), D * 4);
        std::memcpy(L.bqkv.data() + 2 * D, vb.data(), D * 4);
        L.wo = takeHalf(p + "self_attn.out_proj.weight", D, D);
        L.bo = take(p + "self_attn.out_proj.bias", {D});
        L.ln2g = take(p + "final_layer_norm.weight", {D});
        L.ln2b = take(p + "final_layer_norm.bias", {D});
        L.fc1 = takeHalf(p + "fc1.weight", F, D);
        L.fc1b = take(p + "fc1.bias", {F});
        L.fc2 = takeHalf(p + "fc2.weight", D, F);
        L.fc2b = take(p + "fc2.bias", {D});
        w->layers.push_back(std::move(L));
    }
    w->lnPostG = take("layer_norm.weight", {D});
    w->lnPostB = take("layer_norm.bias", {D});
    weights_ = std::move(w);
}

std::shared_ptr<const WhisperEncoderModel::Weights> WhisperEncoderModel::weights() const {
    std::lock_guard lock(mutex_);
    if (!weights_) throw ModelError(ModelError::Kind::unloaded, "The model has been unloaded");
    return weights_;
}

void WhisperEncoderModel::releaseResources() {
    std::lock_guard lock(mutex_);
    weights_.reset();
}

size_t WhisperEncoderModel::weightBytes() const { return weights()->bytes; }

double WhisperEncoderModel::flopsPerPrediction() const {
    const double D = static_cast<double>(dims_.dModel), F = static_cast<double>(dims_.ffnDim);
    const double T1 = static_cast<double>(dims_.nFrames), T = T1 / 2, M = static_cast<double>(dims_.nMels);
    const double conv = 2 * T1 * D * 3 * M + 2 * T * D * 3 * D;
    const double layer = 2 * T * (4 * D * D + 2 * D * F) + 2 * 2 * T * T * D;
    return conv + layer * static_cast<double>(dims_.nLayers);
}

DictionaryFeatureProvider WhisperEncoderModel::predictFeatures(const FeatureProvider& input, const PredictionOptions&) {
    const auto w = weights();
    const auto mel = input.multiArray("melspectrogram_features");
    const int64_t D = dims_.dModel, F = dims_.ffnDim, M = dims_.nMels, T1 = dims_.nFrames, T = T1 / 2;
    const int64_t H = dims_.nHeads, hd = D / H;

    // Unfolded input for conv1: row t = frames t-1, t, t+1 (zeros outside).
    FloatBuffer col1(static_cast<size_t>(T1 * 3 * M));
    {
        FloatBuffer x(static_cast<size_t>((T1 + 2) * M));  // [T1 + 2 x M], rows 0 and T1+1 zero
        const auto& st = mel->strides();
        const auto* src = mel->data<uint16_t>();
        parallelFor(M, 4, [&](int64_t b, int64_t e) {
            std::vector<float> row(static_cast<size_t>(T1));
            for (int64_t c = b; c < e; ++c) {
                if (st[3] == 1) {
                    halvesToFloats(src + c * st[1], row.data(), row.size());
                } else {
                    for (int64_t t = 0; t < T1; ++t) row[t] = halfToFloat(src[c * st[1] + t * st[3]]);
                }
                for (int64_t t = 0; t < T1; ++t) x[(t + 1) * M + c] = row[t];
            }
        });
        parallelFor(T1, 64, [&](int64_t b, int64_t e) {
            for (int64_t t = b; t < e; ++t) std::memcpy(&col1[t * 3 * M], &x[t * M], 3 * M * 4);
        });
    }
    FloatBuffer h1(static_cast<size_t>((T1 + 2) * D));  // rows 0 and T1+1 stay zero
    w->conv1w.multiply(T1, col1.data(), 3 * M, h1.data() + D, D, false);
    kernels::biasGelu(h1.data() + D, T1, D, w->conv1b.data());

    // conv2, stride 2: row t = conv1 rows 2t-1, 2t, 2t+1.
    FloatBuffer x(static_cast<size_t>(T * D), false);
    {
        FloatBuffer col2(static_cast<size_t>(T * 3 * D), false);
        parallelFor(T, 16, [&](int64_t b, int64_t e) {
            for (int64_t t = b; t < e; ++t) std::memcpy(&col2[t * 3 * D], &h1[2 * t * D], 3 * D * 4);
        });
        w->conv2w.multiply(T, col2.data(), 3 * D, x.data(), D, false);
    }
    h1 = FloatBuffer();
    kernels::biasGelu(x.data(), T, D, w->conv2b.data());
    kernels::addBias(x.data(), 1, T * D, w->positions.data());

    // Buffers are shared between phases that never overlap: the attention
    // output goes where the normalised input was, and the feed-forward
    // activations where the queries, keys and values were.
    FloatBuffer h(static_cast<size_t>(T * D), false);
    FloatBuffer work(static_cast<size_t>(T * std::max(3 * D, F)), false);
    float* const qkv = work.data();
    float* const attn = h.data();
    float* const ff = work.data();
    const float scale = 1.0f / std::sqrt(static_cast<float>(hd));
    for (const auto& L : w->layers) {
        kernels::layerNorm(x.data(), h.data(), T, D, L.ln1g.data(), L.ln1b.data());
        L.wqkv.multiply(T, h.data(), D, qkv, 3 * D, false);
        kernels::addBias(qkv, T, 3 * D, L.bqkv.data());
        // Heads and blocks of query rows are independent tasks.
        constexpr int64_t kRows = 96;
        const int64_t blocks = (T + kRows - 1) / kRows;
        parallelFor(H * blocks, 1, [&](int64_t b, int64_t e) {
            thread_local std::vector<float> scores;
            scores.resize(static_cast<size_t>(kRows * T));
            for (int64_t task = b; task < e; ++task) {
                const int64_t hh = task / blocks, r0 = (task % blocks) * kRows, rows = std::min(kRows, T - r0);
                blas::sgemm(false, true, I(rows), I(T), I(hd), scale, qkv + r0 * 3 * D + hh * hd, I(3 * D),
                            qkv + D + hh * hd, I(3 * D), 0.0f, scores.data(), I(T));
                for (int64_t r = 0; r < rows; ++r) kernels::softmaxRow(scores.data() + r * T, T, 1.0f);
                blas::sgemm(false, false, I(rows), I(hd), I(T), 1.0f, scores.data(), I(T),
                            qkv + 2 * D + hh * hd, I(3 * D), 0.0f, attn + r0 * D + hh * hd, I(D));
            }
        });
        L.wo.multiply(T, attn, D, x.data(), D, true);
        kernels::addBias(x.data(), T, D, L.bo.data());
        kernels::layerNorm(x.data(), h.data(), T, D, L.ln2g.data(), L.ln2b.data());
        L.fc1.multiply(T, h.data(), D, ff, F, false);
        kernels::biasGelu(ff, T, F, L.fc1b.data());
        L.fc2.multiply(T, ff, F, x.data(), D, true);
        kernels::addBias(x.data(), T, D, L.fc2b.data());
    }
    kernels::layerNorm(x.data(), h.data(), T, D, w->lnPostG.data(), w->lnPostB.data());

    // [T x D] -> [1, D, 1, T] float16
    auto out = MultiArray::make({1, D, 1, T}, DataType::float16);
    auto* dst = out->data<uint16_t>();
    parallelFor(D, 8, [&](int64_t b, int64_t e) {
        std::vector<float> row(static_cast<size_t>(T));
        for (int64_t d = b; d < e; ++d) {
            for (int64_t t = 0; t < T; ++t) row[t] = h[t * D + d];
            floatsToHalves(row.data(), dst + d * T, row.size());
        }
    });
    return DictionaryFeatureProvider{{"encoder_output_embeds", out}};
}

}  // namespace platform::ml
