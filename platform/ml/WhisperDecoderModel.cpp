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

}  // namespace

struct WhisperDecoderModel::CrossEntry {
    ArrayKey key;
    std::once_flag once;
    std::vector<std::vector<uint16_t>> keys, values;  // per layer, float16, see crossAttention()
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

void WhisperDecoderModel::releaseResources() {
    std::lock_guard lock(mutex_);
    weights_.reset();
    crossCache_.clear();
}

size_t WhisperDecoderModel::weightBytes() const { return weights()->bytes; }
size_t WhisperDecoderModel::weightBytesPerStep() const { return weights()->stepBytes; }

size_t WhisperDecoderModel::cachedEncoderOutputs() const {
    std::lock_guard lock(mutex_);
    return crossCache_.size();
}

std::shared_ptr<WhisperDecoderModel::CrossEntry> WhisperDecoderModel::crossAttention(const Weights& w,
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

DictionaryFeatureProvider WhisperDecoderModel::predictFeatures(const FeatureProvider& input, const PredictionOptions&) {
    const auto w = weights();
    const int64_t D = dims_.dModel, F = dims_.ffnDim, H = dims_.nHeads, hd = D / H;
    const int64_t S = dims_.kvLength, W = dims_.nAudioCtx, V = dims_.nVocab;

    const int32_t token = input.multiArray("input_ids")->data<int32_t>()[0];
    const int32_t position = input.multiArray("cache_length")->data<int32_t>()[0];
    if (token < 0 || token >= V) {
        throw ModelError(ModelError::Kind::invalidInput, "input_ids holds " + std::to_string(token) +
                                                             ", outside the vocabulary of " + std::to_string(V));
    }
    if (position < 0 || position >= dims_.nTextCtx) {
        throw ModelError(ModelError::Kind::invalidInput, "cache_length holds " + std::to_string(position) +
                                                             ", outside 0..." + std::to_string(dims_.nTextCtx - 1));
    }
    const auto keyCache = input.multiArray("key_cache");
    const auto valueCache = input.multiArray("value_cache");
    const auto updateMaskArray = input.multiArray("kv_cache_update_mask");
    const auto paddingArray = input.multiArray("decoder_key_padding_mask");
    std::vector<char> update(static_cast<size_t>(S));
    std::vector<float> padding(static_cast<size_t>(S));
    for (int64_t p = 0; p < S; ++p) {
        update[p] = updateMaskArray->value({0, p}) != 0;
        padding[p] = static_cast<float>(paddingArray->value({0, p}));
    }
    const auto cross = crossAttention(*w, *input.multiArray("encoder_output_embeds"));
    const bool valuesContiguous = valueCache->strides()[3] == 1 && valueCache->strides()[1] == S;

    std::vector<float> x(static_cast<size_t>(D)), h(static_cast<size_t>(D)), qkv(static_cast<size_t>(3 * D));
    std::vector<float> attn(static_cast<size_t>(D)), q(static_cast<size_t>(D)), ff(static_cast<size_t>(F));
    std::vector<float> newKeys(static_cast<size_t>(dims_.nLayers * D)), newValues(static_cast<size_t>(dims_.nLayers * D));
    std::vector<float> alignment(static_cast<size_t>(W), 0.0f);
    // Cross-attention work split: about four parts per thread, parts of at
    // least 64 frames and 8 value rows.
    const int64_t targetParts = std::max<int64_t>(1, (4 * workerCount() + H - 1) / H);
    const int64_t framesParts = std::clamp<int64_t>(targetParts, 1, std::max<int64_t>(1, W / 64));
    const int64_t framesPerPart = ((W + framesParts - 1) / framesParts + 3) / 4 * 4;
    const int64_t valueParts = std::clamp<int64_t>(targetParts, 1, std::max<int64_t>(1, hd / 8));
    const int64_t valuesPerPart = (hd + valueParts - 1) / valueParts;
    std::vector<float> probs(static_cast<size_t>(H * W));
    std::vector<std::atomic<int64_t>> headsScored(static_cast<size_t>(H));
    w->tokens.rowToFloats(token, x.data());
    for (int64_t i = 0; i < D; ++i) x[i] += w->positions[position * D + i];
    const float scale = 1.0f / std::sqrt(static_cast<float>(hd));

    for (int64_t l = 0; l < dims_.nLayers; ++l) {
        const auto& L = w->layers[static_cast<size_t>(l)];
        kernels::layerNormRow(x.data(), h.data(), D, L.ln1g.data(), L.ln1b.data());
        L.wqkv.multiply(h.data(), qkv.data(), false);
        for (int64_t i = 0; i < 3 * D; ++i) qkv[i] += L.bqkv[i];
        const float* qs = qkv.data();
        const float* ks = qkv.data() + D;
        const float* vs = qkv.data() + 2 * D;
        std::copy_n(ks, D, newKeys.data() + l * D);
        std::copy_n(vs, D, newValues.data() + l * D);

        // Self-attention over the S cache positions; this step's key and
        // value stand wherever the update mask is set.
        parallelFor(H, 1, [&](int64_t b, int64_t e) {
            std::vector<float> scores(static_cast<size_t>(S)), row(static_cast<size_t>(S));
            for (int64_t hh = b; hh < e; ++hh) {
                std::fill(scores.begin(), scores.end(), 0.0f);
                for (int64_t i = 0; i < hd; ++i) {
                    readChannel(*keyCache, l * D + hh * hd + i, row.data(), S);
                    kernels::axpy(qs[hh * hd + i], row.data(), scores.data(), S);
                }
                const float selfScore = kernels::dot(qs + hh * hd, ks + hh * hd, hd);
                for (int64_t p = 0; p < S; ++p) {
                    if (update[p]) scores[p] = selfScore;
                    scores[p] = scores[p] * scale + padding[p];
                }
                kernels::softmaxRow(scores.data(), S, 1.0f);
                float updateWeight = 0;
                for (int64_t p = 0; p < S; ++p) {
                    if (update[p]) {
                        updateWeight += scores[p];
                        scores[p] = 0;
                    }
                }
                if (valuesContiguous) {  // the head's channels as one [hd x S] block
                    HalfMatrix::multiplyRows(valueCache->data<uint16_t>() + (l * D + hh * hd) * S, hd, S, scores.data(),
                                             attn.data() + hh * hd, false);
                    for (int64_t i = 0; i < hd; ++i) attn[hh * hd + i] += updateWeight * vs[hh * hd + i];
                } else {
                    for (int64_t i = 0; i < hd; ++i) {
                        readChannel(*valueCache, l * D + hh * hd + i, row.data(), S);
                        attn[hh * hd + i] = kernels::dot(scores.data(), row.data(), S) + updateWeight * vs[hh * hd + i];
                    }
                }
            }
        });
        L.wo.multiply(attn.data(), x.data(), true);
        for (int64_t i = 0; i < D; ++i) x[i] += L.bo[i];

        // Cross-attention over the encoder frames.
        kernels::layerNormRow(x.data(), h.data(), D, L.ln2g.data(), L.ln2b.data());
        std::copy_n(L.cqb.data(), D, q.data());
        L.cq.multiply(h.data(), q.data(), true);
        const uint16_t* K = cross->keys[static_cast<size_t>(l)].data();
        const uint16_t* Vt = cross->values[static_cast<size_t>(l)].data();
        // Scores then weighted values, each split finer than by head so that
        // all threads stream the keys and values; whoever scores a head's
        // last frames takes its softmax.
        parallelFor(H * framesParts, 1, [&](int64_t b, int64_t e) {
            for (int64_t c = b; c < e; ++c) {
                const int64_t hh = c / framesParts, t0 = (c % framesParts) * framesPerPart;
                const int64_t t1 = std::min(W, t0 + framesPerPart);
                float* scores = probs.data() + hh * W;
                if (t0 < t1) HalfMatrix::multiplyRows(K + (hh * W + t0) * hd, t1 - t0, hd, q.data() + hh * hd, scores + t0, false);
                if (headsScored[static_cast<size_t>(hh)].fetch_add(1, std::memory_order_acq_rel) + 1 == framesParts) {
                    kernels::softmaxRow(scores, W, scale);
                }
            }
        });
        parallelFor(H * valueParts, 1, [&](int64_t b, int64_t e) {
            for (int64_t c = b; c < e; ++c) {
                const int64_t hh = c / valueParts, i0 = (c % valueParts) * valuesPerPart;
                const int64_t i1 = std::min(hd, i0 + valuesPerPart);
                if (i0 < i1) {
                    HalfMatrix::multiplyRows(Vt + (hh * hd + i0) * W, i1 - i0, W, probs.data() + hh * W,
                                             attn.data() + hh * hd + i0, false);
                }
            }
        });
        for (auto& n : headsScored) n.store(0, std::memory_order_relaxed);
        for (const auto& [al, ah] : dims_.alignmentHeads) {
            if (al != l) continue;
            const float* headProbs = probs.data() + ah * W;
            for (int64_t t = 0; t < W; ++t) alignment[t] += headProbs[t];
        }
        L.co.multiply(attn.data(), x.data(), true);
        for (int64_t i = 0; i < D; ++i) x[i] += L.cob[i];

        // Feed-forward.
        kernels::layerNormRow(x.data(), h.data(), D, L.ln3g.data(), L.ln3b.data());
        L.fc1.multiply(h.data(), ff.data(), false);
        kernels::geluRow(ff.data(), F, L.fc1b.data());
        L.fc2.multiply(ff.data(), x.data(), true);
        for (int64_t i = 0; i < D; ++i) x[i] += L.fc2b[i];
    }
    kernels::layerNormRow(x.data(), h.data(), D, w->lnG.data(), w->lnB.data());
    FloatBuffer logits(static_cast<size_t>(V), false);
    w->tokens.multiply(h.data(), logits.data(), false);

    const int64_t E = dims_.nLayers * D;
    DictionaryFeatureProvider out;
    auto logitsArray = MultiArray::make({1, 1, V}, DataType::float16);
    floatsToHalves(logits.data(), logitsArray->data<uint16_t>(), static_cast<size_t>(V));
    out.set("logits", logitsArray);
    auto keyUpdates = MultiArray::make({1, E, 1, 1}, DataType::float16);
    floatsToHalves(newKeys.data(), keyUpdates->data<uint16_t>(), static_cast<size_t>(E));
    out.set("key_cache_updates", keyUpdates);
    auto valueUpdates = MultiArray::make({1, E, 1, 1}, DataType::float16);
    floatsToHalves(newValues.data(), valueUpdates->data<uint16_t>(), static_cast<size_t>(E));
    out.set("value_cache_updates", valueUpdates);
    if (!dims_.alignmentHeads.empty()) {
        const float inv = 1.0f / static_cast<float>(dims_.alignmentHeads.size());
        for (auto& a : alignment) a *= inv;
        auto alignmentArray = MultiArray::make({1, W}, DataType::float16);
        floatsToHalves(alignment.data(), alignmentArray->data<uint16_t>(), static_cast<size_t>(W));
        out.set("alignment_heads_weights", alignmentArray);
    }
    return out;
}

}  // namespace platform::ml
