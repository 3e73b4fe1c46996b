#include "platform/ml/WhisperDecoderModel.hpp"

#include <algorithm>
#include <atomic>
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

constexpr size_t kCrossCacheEntries = 4;

DecoderDimensions readDimensions(const ModelManifest& manifest) {
    const nlohmann::json& p = manifest.parameters;
    DecoderDimensions d;
    d.dModel = modelParameter(p, "d_model", -1);
    d.nLayers = modelParameter(p, "n_layers", -1);
    d.nHeads = modelParameter(p, "n_heads", -1);
    d.ffnDim = modelParameter(p, "ffn_dim", 4 * d.dModel);
    d.nVocab = modelParameter(p, "n_vocab", -1);
    d.nTextCtx = modelParameter(p, "n_text_ctx", 448);
    d.kvLength = modelParameter(p, "kv_length", 224);
    d.nAudioCtx = modelParameter(p, "n_audio_ctx", 1500);
    if (d.dModel % d.nHeads != 0) {
        inconsistentParameters(manifest, "decoder", namedParameter("d_model", d.dModel) + " is not a multiple of " +
                                                        namedParameter("n_heads", d.nHeads));
    }
    if (d.kvLength > d.nTextCtx) {
        inconsistentParameters(manifest, "decoder",
                               namedParameter("kv_length", d.kvLength) + " exceeds " + namedParameter("n_text_ctx", d.nTextCtx));
    }
    if (p.contains("alignment_heads")) {
        const auto& a = p["alignment_heads"];
        if (!a.is_array()) throw ModelError(ModelError::Kind::invalidModel, "model.json: bad \"alignment_heads\"");
        for (const auto& pair : a) {
            if (!pair.is_array() || pair.size() != 2 || !pair[0].is_number_integer() || !pair[1].is_number_integer())
                throw ModelError(ModelError::Kind::invalidModel, "model.json: bad \"alignment_heads\"");
            const int64_t l = pair[0].get<int64_t>(), h = pair[1].get<int64_t>();
            if (l < 0 || l >= d.nLayers || h < 0 || h >= d.nHeads)
                throw ModelError(ModelError::Kind::invalidModel, "model.json: alignment head out of range");
            d.alignmentHeads.emplace_back(l, h);
        }
    }
    return d;
}

ModelDescription describe(const DecoderDimensions& d) {
    const int64_t E = d.nLayers * d.dModel, S = d.kvLength;
    ModelDescription m;
    m.addInput(FeatureDescription::multiArray("input_ids", {1}, DataType::int32));
    m.addInput(FeatureDescription::multiArray("cache_length", {1}, DataType::int32));
    m.addInput(FeatureDescription::multiArray("key_cache", {1, E, 1, S}, DataType::float16));
    m.addInput(FeatureDescription::multiArray("value_cache", {1, E, 1, S}, DataType::float16));
    m.addInput(FeatureDescription::multiArray("kv_cache_update_mask", {1, S}, DataType::int32));
    m.addInput(FeatureDescription::multiArray("encoder_output_embeds", {1, d.dModel, 1, d.nAudioCtx}, DataType::float16));
    m.addInput(FeatureDescription::multiArray("decoder_key_padding_mask", {1, S}, DataType::float16));
    m.addOutput(FeatureDescription::multiArray("logits", {1, 1, d.nVocab}, DataType::float16));
    m.addOutput(FeatureDescription::multiArray("key_cache_updates", {1, E, 1, 1}, DataType::float16));
    m.addOutput(FeatureDescription::multiArray("value_cache_updates", {1, E, 1, 1}, DataType::float16));
    if (!d.alignmentHeads.empty()) {
        m.addOutput(FeatureDescription::multiArray("alignment_heads_weights", {1, d.nAudioCtx}, DataType::float16));
    }
    return m;
}

int I(int64_t v) { return static_cast<int>(v); }

// Channel `c` of a [1, E, 1, S] float16 array as floats.
void readChannel(const MultiArray& a, int64_t c, float* out, int64_t S) {
    const auto* src = a.data<uint16_t>() + c * a.strides()[1];
    const int64_t st = a.strides()[3];
    if (st == 1) {
        halvesToFloats(src, out, static_cast<size_t>(S));
    } else {
        for (int64_t p = 0; p < S; ++p) out[p] = halfToFloat(src[p * st]);
    }
}

// How a step's cross-attention is cut for the shared pool: about four parts
// per thread, finer than by head so that all threads stream the keys and
// values, with parts of at least 64 frames and 8 value rows.
struct CrossAttentionSplit {
    int64_t frameParts, framesPerPart;  // per head, for the scores
    int64_t valueParts, valuesPerPart;  // per head, for the weighted values

    static CrossAttentionSplit of(const DecoderDimensions& d, int workers) {
        const int64_t H = d.nHeads, W = d.nAudioCtx, hd = d.dModel / H;
        const int64_t targetParts = std::max<int64_t>(1, (4 * workers + H - 1) / H);
        CrossAttentionSplit s;
        s.frameParts = std::clamp<int64_t>(targetParts, 1, std::max<int64_t>(1, W / 64));
        s.framesPerPart = ((W + s.frameParts - 1) / s.frameParts + 3) / 4 * 4;
        s.valueParts = std::clamp<int64_t>(targetParts, 1, std::max<int64_t>(1, hd / 8));
        s.valuesPerPart = (hd + s.valueParts - 1) / s.valueParts;
        return s;
    }
};

size_t N(int64_t v) { return static_cast<size_t>(v); }

}  // namespace

struct WhisperDecoderModel::CrossEntry {
    ArrayKey key;
    std::once_flag once;
    std::vector<std::vector<uint16_t>> keys, values;  // per layer, float16, see crossKeysAndValues()
};

ModelManifest WhisperDecoderModel::manifest(const DecoderDimensions& d) {
    ModelManifest m;
    m.kind = kind;
    nlohmann::json heads = nlohmann::json::array();
    for (const auto& [l, h] : d.alignmentHeads) heads.push_back({l, h});
    m.parameters = {{"d_model", d.dModel},     {"n_layers", d.nLayers},     {"n_heads", d.nHeads},
                    {"ffn_dim", d.ffnDim},     {"n_vocab", d.nVocab},       {"n_text_ctx", d.nTextCtx},
                    {"kv_length", d.kvLength}, {"n_audio_ctx", d.nAudioCtx}, {"alignment_heads", heads}};
    m.description = describe(d);
    return m;
}

WhisperDecoderModel::WhisperDecoderModel(const ModelManifest& manifest, TensorSource& source,
                                         ModelConfiguration configuration)
    : StageModel(describe(readDimensions(manifest)), manifest, configuration), dims_(readDimensions(manifest)) {
    const int64_t D = dims_.dModel, F = dims_.ffnDim;
    const std::string e = "model.decoder.";
    auto w = std::make_shared<Weights>();
    auto take = [&](const std::string& name, std::vector<int64_t> shape, bool perStep = true) {
        auto b = source.take(e + name, shape);
        w->bytes += b.size() * sizeof(float);
        if (perStep) w->stepBytes += b.size() * sizeof(float);
        return b;
    };
    auto takeHalf = [&](const std::string& name, int64_t rows, int64_t cols) {
        HalfMatrix m(source.take(e + name, {rows, cols}), rows, cols);
        w->bytes += m.bytes();
        w->stepBytes += m.bytes();
        return m;
    };
    w->tokens = takeHalf("embed_tokens.weight", dims_.nVocab, D);
    w->positions = take("embed_positions.weight", {dims_.nTextCtx, D}, false);
    for (int64_t l = 0; l < dims_.nLayers; ++l) {
        const std::string p = "layers." + std::to_string(l) + ".";
        Layer L;
        L.ln1g = take(p + "self_attn_layer_norm.weight", {D});
        L.ln1b = take(p + "self_attn_layer_norm.bias", {D});
        {
            FloatBuffer qkv(static_cast<size_t>(3 * D * D), false);
            const char* names[3] = {"q_proj", "k_proj", "v_proj"};
            for (int i = 0; i < 3; ++i) {
                auto m = source.take(e + p + "self_attn." + names[i] + ".weight", {D, D});
                std::memcpy(qkv.data() + i * D * D, m.data(), m.size() * 4);
            }
            L.wqkv = HalfMatrix(qkv, 3 * D, D);
            w->bytes += L.wqkv.bytes();
            w->stepBytes += L.wqkv.bytes();
        }
        L.bqkv = FloatBuffer(static_cast<size_t>(3 * D));
        auto qb = source.take(e + p + "self_attn.q_proj.bias", {D});
        auto vb = source.take(e + p + "self_attn.v_proj.bias", {D});
        std::memcpy(L.bqkv.data(), qb.data(), D * 4);
        std::memcpy(L.bqkv.data() + 2 * D, vb.data(), D * 4);
        L.wo = takeHalf(p + "self_attn.out_proj.weight", D, D);
        L.bo = take(p + "self_attn.out_proj.bias", {D});
        L.ln2g = take(p + "encoder_attn_layer_norm.weight", {D});
        L.ln2b = take(p + "encoder_attn_layer_norm.bias", {D});
        L.cq = takeHalf(p + "encoder_attn.q_proj.weight", D, D);
        L.cqb = take(p + "encoder_attn.q_proj.bias", {D});
        L.ck = take(p + "encoder_attn.k_proj.weight", {D, D}, false);
        L.cv = take(p + "encoder_attn.v_proj.weight", {D, D}, false);
        L.cvb = take(p + "encoder_attn.v_proj.bias", {D}, false);
        L.co = takeHalf(p + "encoder_attn.out_proj.weight", D, D);
        L.cob = take(p + "encoder_attn.out_proj.bias", {D});
        L.ln3g = take(p + "final_layer_norm.weight", {D});
        L.ln3b = take(p + "final_layer_norm.bias", {D});
        L.fc1 = takeHalf(p + "fc1.weight", F, D);
        L.fc1b = take(p + "fc1.bias", {F});
        L.fc2 = takeHalf(p + "fc2.weight", D, F);
        L.fc2b = take(p + "fc2.bias", {D});
        w->layers.push_back(std::move(L));
    }
    w->lnG = take("layer_norm.weight", {D});
    w->lnB = take("layer_norm.bias", {D});
    weights_ = std::move(w);
}

std::shared_ptr<const WhisperDecoderModel::Weights> WhisperDecoderModel::weights() const {
    std::lock_guard lock(mutex_);
    if (!weights_) throw ModelError(ModelError::Kind::unloaded, "The model has been unloaded");
    return weights_;
}

WhisperDecoderModel::~WhisperDecoderModel() = default;

void WhisperDecoderModel::releaseResources() {
    std::lock_guard lock(mutex_);
    weights_.reset();
    crossCache_.clear();
    idleRunStates_.clear();
}

size_t WhisperDecoderModel::weightBytes() const { return weights()->bytes; }
size_t WhisperDecoderModel::weightBytesPerStep() const { return weights()->stepBytes; }

size_t WhisperDecoderModel::cachedEncoderOutputs() const {
    std::lock_guard lock(mutex_);
    return crossCache_.size();
}

std::shared_ptr<WhisperDecoderModel::CrossEntry> WhisperDecoderModel::crossKeysAndValues(const Weights& w,
                                                                                         const MultiArray& enc) {
    ArrayKey key = arrayKey(enc);
    std::shared_ptr<CrossEntry> entry;
    {
        std::lock_guard lock(mutex_);
        for (auto it = crossCache_.begin(); it != crossCache_.end(); ++it) {
            if ((*it)->key == key) {
                entry = *it;
                crossCache_.splice(crossCache_.begin(), crossCache_, it);
                break;
            }
        }
        if (!entry) {
            entry = std::make_shared<CrossEntry>();
            entry->key = key;
            crossCache_.push_front(entry);
            if (crossCache_.size() > kCrossCacheEntries) crossCache_.pop_back();
        }
    }
    std::call_once(entry->once, [&] {
        const int64_t D = dims_.dModel, W = dims_.nAudioCtx;
        FloatBuffer x(static_cast<size_t>(W * D), false);  // [W x D]
        const auto* src = enc.data<uint16_t>();
        const auto& st = enc.strides();
        parallelFor(D, 8, [&](int64_t b, int64_t e) {
            std::vector<float> row(static_cast<size_t>(W));
            for (int64_t d = b; d < e; ++d) {
                if (st[3] == 1) {
                    halvesToFloats(src + d * st[1], row.data(), row.size());
                } else {
                    for (int64_t t = 0; t < W; ++t) row[t] = halfToFloat(src[d * st[1] + t * st[3]]);
                }
                for (int64_t t = 0; t < W; ++t) x[t * D + d] = row[t];
            }
        });
        // float16, per head: keys [H][W][hd], values transposed [H][hd][W],
        // so a step streams each head's block once.
        const int64_t H = dims_.nHeads, hd = D / H;
        std::vector<std::vector<uint16_t>> keys, values;
        FloatBuffer k(static_cast<size_t>(W * D), false), v(static_cast<size_t>(W * D), false);
        for (const auto& L : w.layers) {
            blas::sgemmParallel(true, I(W), I(D), I(D), 1.0f, x.data(), I(D), L.ck.data(), I(D), 0.0f, k.data(), I(D));
            blas::sgemmParallel(true, I(W), I(D), I(D), 1.0f, x.data(), I(D), L.cv.data(), I(D), 0.0f, v.data(), I(D));
            kernels::addBias(v.data(), W, D, L.cvb.data());
            std::vector<uint16_t> kh(static_cast<size_t>(W * D)), vh(static_cast<size_t>(W * D));
            parallelFor(H, 1, [&](int64_t b, int64_t e) {
                for (int64_t hh = b; hh < e; ++hh) {
                    for (int64_t t = 0; t < W; ++t) {
                        floatsToHalves(&k[t * D + hh * hd], &kh[(hh * W + t) * hd], static_cast<size_t>(hd));
                        for (int64_t i = 0; i < hd; ++i) vh[(hh * hd + i) * W + t] = floatToHalf(v[t * D + hh * hd + i]);
                    }
                }
            });
            keys.push_back(std::move(kh));
            values.push_back(std::move(vh));
        }
        entry->keys = std::move(keys);
        entry->values = std::move(values);
    });
    return entry;
}

// What one step writes, made once and kept for the steps that follow (one
// per prediction running at a time): a token allocates only its outputs.
struct WhisperDecoderModel::RunState {
    explicit RunState(const DecoderDimensions& d)
        : split(CrossAttentionSplit::of(d, workerCount())),
          update(N(d.kvLength)),
          padding(N(d.kvLength)),
          x(N(d.dModel)),
          h(N(d.dModel)),
          qkv(N(3 * d.dModel)),
          attn(N(d.dModel)),
          q(N(d.dModel)),
          ff(N(d.ffnDim)),
          newKeys(N(d.nLayers * d.dModel)),
          newValues(N(d.nLayers * d.dModel)),
          alignment(N(d.nAudioCtx)),
          scores(N(d.nHeads * d.kvLength)),
          cacheRow(N(d.nHeads * d.kvLength)),
          probs(N(d.nHeads * d.nAudioCtx)),
          headsScored(N(d.nHeads)),
          logits(N(d.nVocab), false) {}

    CrossAttentionSplit split;
    std::vector<char> update;               // [S] where this step's key and value stand
    std::vector<float> padding;             // [S] added to the self-attention scores
    std::vector<float> x, h;                // [D] the residual stream, its normalised copy
    std::vector<float> qkv;                 // [3D] this step's query, key and value
    std::vector<float> attn, q;             // [D] attention output, cross-attention query
    std::vector<float> ff;                  // [F]
    std::vector<float> newKeys, newValues;  // [layers x D]
    std::vector<float> alignment;           // [W] summed over the alignment heads
    std::vector<float> scores, cacheRow;    // [H x S] self-attention, one row per head
    std::vector<float> probs;               // [H x W] cross-attention weights
    std::vector<std::atomic<int64_t>> headsScored;  // [H] frame parts scored this layer
    FloatBuffer logits;                     // [V]
};

std::unique_ptr<WhisperDecoderModel::RunState> WhisperDecoderModel::takeRunState() {
    {
        std::lock_guard lock(mutex_);
        if (!idleRunStates_.empty()) {
            auto state = std::move(idleRunStates_.back());
            idleRunStates_.pop_back();
            return state;
        }
    }
    return std::make_unique<RunState>(dims_);
}

void WhisperDecoderModel::returnRunState(std::unique_ptr<RunState> state) {
    std::lock_guard lock(mutex_);
    if (weights_) idleRunStates_.push_back(std::move(state));  // after an unload it is dropped
}

// One token through the decoder: the embedding, then in each layer
// self-attention, cross-attention and feed-forward, each adding to the
// residual stream; last the logits.
class WhisperDecoderModel::Step {
public:
    Step(const DecoderDimensions& dims, const Weights& w, const CrossEntry& cross, const FeatureProvider& input,
         RunState& state)
        : d_(dims),
          w_(w),
          cross_(cross),
          s_(state),
          keyCache_(input.multiArray("key_cache")),
          valueCache_(input.multiArray("value_cache")),
          valuesContiguous_(valueCache_->strides()[3] == 1 && valueCache_->strides()[1] == dims.kvLength),
          D(dims.dModel),
          H(dims.nHeads),
          hd(D / H),
          S(dims.kvLength),
          W(dims.nAudioCtx),
          scale(1.0f / std::sqrt(static_cast<float>(hd))) {
        const auto updateMask = input.multiArray("kv_cache_update_mask");
        const auto padding = input.multiArray("decoder_key_padding_mask");
        for (int64_t p = 0; p < S; ++p) {
            s_.update[p] = updateMask->value({0, p}) != 0;
            s_.padding[p] = static_cast<float>(padding->value({0, p}));
        }
        std::fill(s_.alignment.begin(), s_.alignment.end(), 0.0f);
        for (auto& n : s_.headsScored) n.store(0, std::memory_order_relaxed);
    }

    void embed(int32_t token, int32_t position) {
        w_.tokens.rowToFloats(token, s_.x.data());
        for (int64_t i = 0; i < D; ++i) s_.x[i] += w_.positions[position * D + i];
    }

    void selfAttention(int64_t l) {
        const auto& L = layer(l);
        kernels::layerNormRow(s_.x.data(), s_.h.data(), D, L.ln1g.data(), L.ln1b.data());
        L.wqkv.multiply(s_.h.data(), s_.qkv.data(), false);
        for (int64_t i = 0; i < 3 * D; ++i) s_.qkv[i] += L.bqkv[i];
        std::copy_n(s_.qkv.data() + D, D, s_.newKeys.data() + l * D);
        std::copy_n(s_.qkv.data() + 2 * D, D, s_.newValues.data() + l * D);
        parallelFor(H, 1, [&](int64_t b, int64_t e) {
            for (int64_t hh = b; hh < e; ++hh) attendToCache(l, hh);
        });
        L.wo.multiply(s_.attn.data(), s_.x.data(), true);
        for (int64_t i = 0; i < D; ++i) s_.x[i] += L.bo[i];
    }

    void crossAttention(int64_t l) {
        const auto& L = layer(l);
        kernels::layerNormRow(s_.x.data(), s_.h.data(), D, L.ln2g.data(), L.ln2b.data());
        std::copy_n(L.cqb.data(), D, s_.q.data());
        L.cq.multiply(s_.h.data(), s_.q.data(), true);
        scoreFrames(cross_.keys[N(l)].data());
        weighFrames(cross_.values[N(l)].data());
        for (auto& n : s_.headsScored) n.store(0, std::memory_order_relaxed);
        for (const auto& [al, ah] : d_.alignmentHeads) {
            if (al != l) continue;
            const float* headProbs = s_.probs.data() + ah * W;
            for (int64_t t = 0; t < W; ++t) s_.alignment[t] += headProbs[t];
        }
        L.co.multiply(s_.attn.data(), s_.x.data(), true);
        for (int64_t i = 0; i < D; ++i) s_.x[i] += L.cob[i];
    }

    void feedForward(int64_t l) {
        const auto& L = layer(l);
        kernels::layerNormRow(s_.x.data(), s_.h.data(), D, L.ln3g.data(), L.ln3b.data());
        L.fc1.multiply(s_.h.data(), s_.ff.data(), false);
        kernels::geluRow(s_.ff.data(), d_.ffnDim, L.fc1b.data());
        L.fc2.multiply(s_.ff.data(), s_.x.data(), true);
        for (int64_t i = 0; i < D; ++i) s_.x[i] += L.fc2b[i];
    }

    DictionaryFeatureProvider outputs() {
        const int64_t V = d_.nVocab, E = d_.nLayers * D;
        kernels::layerNormRow(s_.x.data(), s_.h.data(), D, w_.lnG.data(), w_.lnB.data());
        w_.tokens.multiply(s_.h.data(), s_.logits.data(), false);
        DictionaryFeatureProvider out;
        out.set("logits", halfArray({1, 1, V}, s_.logits.data()));
        out.set("key_cache_updates", halfArray({1, E, 1, 1}, s_.newKeys.data()));
        out.set("value_cache_updates", halfArray({1, E, 1, 1}, s_.newValues.data()));
        if (!d_.alignmentHeads.empty()) {
            const float inv = 1.0f / static_cast<float>(d_.alignmentHeads.size());
            for (auto& a : s_.alignment) a *= inv;
            out.set("alignment_heads_weights", halfArray({1, W}, s_.alignment.data()));
        }
        return out;
    }

private:
    const Layer& layer(int64_t l) const { return w_.layers[N(l)]; }

    // One head over the S cache positions; this step's key and value stand
    // wherever the update mask is set.
    void attendToCache(int64_t l, int64_t hh) {
        const float* qs = s_.qkv.data() + hh * hd;
        const float* ks = s_.qkv.data() + D + hh * hd;
        const float* vs = s_.qkv.data() + 2 * D + hh * hd;
        float* scores = s_.scores.data() + hh * S;
        float* row = s_.cacheRow.data() + hh * S;
        float* attn = s_.attn.data() + hh * hd;
        std::fill_n(scores, S, 0.0f);
        for (int64_t i = 0; i < hd; ++i) {
            readChannel(*keyCache_, l * D + hh * hd + i, row, S);
            kernels::axpy(qs[i], row, scores, S);
        }
        const float selfScore = kernels::dot(qs, ks, hd);
        for (int64_t p = 0; p < S; ++p) {
            if (s_.update[p]) scores[p] = selfScore;
            scores[p] = scores[p] * scale + s_.padding[p];
        }
        kernels::softmaxRow(scores, S, 1.0f);
        float updateWeight = 0;
        for (int64_t p = 0; p < S; ++p) {
            if (s_.update[p]) {
                updateWeight += scores[p];
                scores[p] = 0;
            }
        }
        if (valuesContiguous_) {  // the head's channels as one [hd x S] block
            HalfMatrix::multiplyRows(valueCache_->data<uint16_t>() + (l * D + hh * hd) * S, hd, S, scores, attn, false);
            for (int64_t i = 0; i < hd; ++i) attn[i] += updateWeight * vs[i];
        } else {
            for (int64_t i = 0; i < hd; ++i) {
                readChannel(*valueCache_, l * D + hh * hd + i, row, S);
                attn[i] = kernels::dot(scores, row, S) + updateWeight * vs[i];
            }
        }
    }

    // Each head's scores over the encoder frames K [H][W][hd], in parts;
    // whoever scores a head's last part takes its softmax.
    void scoreFrames(const uint16_t* K) {
        const auto& split = s_.split;
        parallelFor(H * split.frameParts, 1, [&](int64_t b, int64_t e) {
            for (int64_t c = b; c < e; ++c) {
                const int64_t hh = c / split.frameParts, t0 = (c % split.frameParts) * split.framesPerPart;
                const int64_t t1 = std::min(W, t0 + split.framesPerPart);
                float* scores = s_.probs.data() + hh * W;
                if (t0 < t1) {
                    HalfMatrix::multiplyRows(K + (hh * W + t0) * hd, t1 - t0, hd, s_.q.data() + hh * hd, scores + t0,
                                             false);
                }
                if (s_.headsScored[N(hh)].fetch_add(1, std::memory_order_acq_rel) + 1 == split.frameParts) {
                    kernels::softmaxRow(scores, W, scale);
                }
            }
        });
    }

    // The frames' values Vt [H][hd][W] weighed by each head's scores, in parts.
    void weighFrames(const uint16_t* Vt) {
        const auto& split = s_.split;
        parallelFor(H * split.valueParts, 1, [&](int64_t b, int64_t e) {
            for (int64_t c = b; c < e; ++c) {
                const int64_t hh = c / split.valueParts, i0 = (c % split.valueParts) * split.valuesPerPart;
                const int64_t i1 = std::min(hd, i0 + split.valuesPerPart);
                if (i0 < i1) {
                    HalfMatrix::multiplyRows(Vt + (hh * hd + i0) * W, i1 - i0, W, s_.probs.data() + hh * W,
                                             s_.attn.data() + hh * hd + i0, false);
                }
            }
        });
    }

    static std::shared_ptr<MultiArray> halfArray(std::vector<int64_t> shape, const float* values) {
        auto array = MultiArray::make(std::move(shape), DataType::float16);
        floatsToHalves(values, array->data<uint16_t>(), static_cast<size_t>(array->count()));
        return array;
    }

    const DecoderDimensions& d_;
    const Weights& w_;
    const CrossEntry& cross_;
    RunState& s_;
    const std::shared_ptr<MultiArray> keyCache_, valueCache_;
    const bool valuesContiguous_;
    const int64_t D, H, hd, S, W;
    const float scale;
};

DictionaryFeatureProvider WhisperDecoderModel::predictFeatures(const FeatureProvider& input, const PredictionOptions&) {
    const auto w = weights();
    const int32_t token = input.multiArray("input_ids")->data<int32_t>()[0];
    const int32_t position = input.multiArray("cache_length")->data<int32_t>()[0];
    if (token < 0 || token >= dims_.nVocab) {
        throw ModelError(ModelError::Kind::invalidInput, "input_ids holds " + std::to_string(token) +
                                                             ", outside the vocabulary of " + std::to_string(dims_.nVocab));
    }
    if (position < 0 || position >= dims_.nTextCtx) {
        throw ModelError(ModelError::Kind::invalidInput, "cache_length holds " + std::to_string(position) +
                                                             ", outside 0..." + std::to_string(dims_.nTextCtx - 1));
    }
    const auto cross = crossKeysAndValues(*w, *input.multiArray("encoder_output_embeds"));
    auto state = takeRunState();
    Step step(dims_, *w, *cross, input, *state);
    step.embed(token, position);
    for (int64_t l = 0; l < dims_.nLayers; ++l) {
        step.selfAttention(l);
        step.crossAttention(l);
        step.feedForward(l);
    }
    auto out = step.outputs();
    returnRunState(std::move(state));
    return out;
}

}  // namespace platform::ml
