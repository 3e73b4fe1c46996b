#include "platform/ml/LogMelModel.hpp"

#include <algorithm>
#include <cmath>

#include "platform/ml/Blas.hpp"
#include "platform/ml/Half.hpp"
#include "platform/ml/ModelError.hpp"
#include "platform/ml/MultiArray.hpp"
#include "platform/ml/Parallel.hpp"

namespace platform::ml {

namespace {

ModelDescription describe(int64_t nMels, int64_t nSamples, int64_t nFrames) {
    ModelDescription d;
    d.addInput(FeatureDescription::multiArray("audio", {nSamples}, DataType::float32));
    d.addOutput(FeatureDescription::multiArray("melspectrogram_features", {1, nMels, 1, nFrames}, DataType::float16));
    return d;
}

double hzToMel(double f) {
    const double fSp = 200.0 / 3.0;
    const double minLogHz = 1000.0, minLogMel = minLogHz / fSp, logStep = std::log(6.4) / 27.0;
    return f >= minLogHz ? minLogMel + std::log(f / minLogHz) / logStep : f / fSp;
}

double melToHz(double m) {
    const double fSp = 200.0 / 3.0;
    const double minLogHz = 1000.0, minLogMel = minLogHz / fSp, logStep = std::log(6.4) / 27.0;
    return m >= minLogMel ? minLogHz * std::exp(logStep * (m - minLogMel)) : fSp * m;
}

}  // namespace

std::vector<float> LogMelModel::melFilters(int64_t nMels, int64_t nFft, double sampleRate) {
    const int64_t nBins = nFft / 2 + 1;
    std::vector<double> fftFreqs(static_cast<size_t>(nBins));
    for (int64_t k = 0; k < nBins; ++k) fftFreqs[k] = static_cast<double>(k) * sampleRate / static_cast<double>(nFft);
    const double minMel = hzToMel(0.0), maxMel = hzToMel(sampleRate / 2.0);
    std::vector<double> melF(static_cast<size_t>(nMels + 2));
    for (int64_t i = 0; i < nMels + 2; ++i) {
        melF[i] = melToHz(minMel + (maxMel - minMel) * static_cast<double>(i) / static_cast<double>(nMels + 1));
    }
    std::vector<float> w(static_cast<size_t>(nMels * nBins));
    for (int64_t m = 0; m < nMels; ++m) {
        const double lowDiff = melF[m + 1] - melF[m], highDiff = melF[m + 2] - melF[m + 1];
        const double norm = 2.0 / (melF[m + 2] - melF[m]);
        for (int64_t k = 0; k < nBins; ++k) {
            const double lower = (fftFreqs[k] - melF[m]) / lowDiff;
            const double upper = (melF[m + 2] - fftFreqs[k]) / highDiff;
            w[m * nBins + k] = static_cast<float>(std::max(0.0, std::min(lower, upper)) * norm);
        }
    }
    return w;
}

ModelManifest LogMelModel::manifest(int64_t nMels, int64_t nSamples) {
    ModelManifest m;
    m.kind = kind;
    m.parameters = {{"n_mels", nMels}, {"n_samples", nSamples}, {"n_fft", 400}, {"hop_length", 160},
                    {"n_frames", nSamples / 160}};
    m.description = describe(nMels, nSamples, nSamples / 160);
    return m;
}

namespace {

struct MelParameters {
    int64_t nMels, nSamples, nFft, hop, nFrames;
};

MelParameters readParameters(const ModelManifest& manifest) {
    const nlohmann::json& p = manifest.parameters;
    MelParameters m;
    m.nMels = modelParameter(p, "n_mels");
    m.nSamples = modelParameter(p, "n_samples", 480000);
    m.nFft = modelParameter(p, "n_fft", 400);
    m.hop = modelParameter(p, "hop_length", 160);
    m.nFrames = modelParameter(p, "n_frames", m.nSamples / m.hop);
    if (m.nFft % 2 != 0) inconsistentParameters(manifest, "spectrogram", namedParameter("n_fft", m.nFft) + " is odd");
    if (m.nSamples <= m.nFft / 2) {
        inconsistentParameters(manifest, "spectrogram", namedParameter("n_samples", m.nSamples) +
                                                            " is not above half of " + namedParameter("n_fft", m.nFft));
    }
    if (m.nFrames > m.nSamples / m.hop + 1) {
        inconsistentParameters(manifest, "spectrogram",
                               namedParameter("n_frames", m.nFrames) + " exceeds the frames of " +
                                   namedParameter("n_samples", m.nSamples) + " at " + namedParameter("hop_length", m.hop));
    }
    return m;
}

}  // namespace

LogMelModel::LogMelModel(const ModelManifest& manifest, TensorSource& source, ModelConfiguration configuration)
    : StageModel(
          [&] {
              const auto m = readParameters(manifest);
              return describe(m.nMels, m.nSamples, m.nFrames);
          }(),
          manifest, configuration) {
    const auto m = readParameters(manifest);
    nMels_ = m.nMels;
    nSamples_ = m.nSamples;
    nFft_ = m.nFft;
    hop_ = m.hop;
    nFrames_ = m.nFrames;
    nBins_ = nFft_ / 2 + 1;
    auto w = std::make_shared<Weights>();
    w->filters = source.take("mel_filters", {nMels_, nBins_});
    w->basis = FloatBuffer(static_cast<size_t>(nFft_ * 2 * nBins_));
    for (int64_t n = 0; n < nFft_; ++n) {
        const double window = 0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(n) / static_cast<double>(nFft_));
        for (int64_t k = 0; k < nBins_; ++k) {
            const double angle = 2.0 * M_PI * static_cast<double>((k * n) % nFft_) / static_cast<double>(nFft_);
            w->basis[n * 2 * nBins_ + 2 * k] = static_cast<float>(window * std::cos(angle));
            w->basis[n * 2 * nBins_ + 2 * k + 1] = static_cast<float>(-window * std::sin(angle));
        }
    }
    weights_ = std::move(w);
}

std::shared_ptr<const LogMelModel::Weights> LogMelModel::weights() const {
    std::lock_guard lock(mutex_);
    if (!weights_) throw ModelError(ModelError::Kind::unloaded, "The model has been unloaded");
    return weights_;
}

void LogMelModel::releaseResources() {
    std::lock_guard lock(mutex_);
    weights_.reset();
}

DictionaryFeatureProvider LogMelModel::predictFeatures(const FeatureProvider& input, const PredictionOptions&) {
    const auto w = weights();
    const auto audioArray = input.multiArray("audio");
    std::vector<float> audio = audioArray->toFloatVector();
    const int64_t pad = nFft_ / 2;

    // Reflect-padded signal, framed: frame f covers padded[f * hop, f * hop + nFft).
    std::vector<float> padded(static_cast<size_t>(nSamples_ + 2 * pad));
    for (int64_t i = 0; i < pad; ++i) padded[i] = audio[pad - i];
    std::copy(audio.begin(), audio.end(), padded.begin() + pad);
    for (int64_t i = 0; i < pad; ++i) padded[pad + nSamples_ + i] = audio[nSamples_ - 2 - i];

    FloatBuffer frames(static_cast<size_t>(nFrames_ * nFft_), false);
    parallelFor(nFrames_, 256, [&](int64_t b, int64_t e) {
        for (int64_t f = b; f < e; ++f) std::copy_n(padded.data() + f * hop_, nFft_, frames.data() + f * nFft_);
    });
    const int64_t cols = 2 * nBins_;
    FloatBuffer spectrum(static_cast<size_t>(nFrames_ * cols), false);
    blas::sgemmParallel(false, static_cast<int>(nFrames_), static_cast<int>(cols), static_cast<int>(nFft_), 1.0f,
                frames.data(), static_cast<int>(nFft_), w->basis.data(), static_cast<int>(cols), 0.0f, spectrum.data(),
                static_cast<int>(cols));
    FloatBuffer power(static_cast<size_t>(nFrames_ * nBins_), false);
    parallelFor(nFrames_, 64, [&](int64_t b, int64_t e) {
        for (int64_t f = b; f < e; ++f) {
            for (int64_t k = 0; k < nBins_; ++k) {
                const float re = spectrum[f * cols + 2 * k], im = spectrum[f * cols + 2 * k + 1];
                power[f * nBins_ + k] = re * re + im * im;
            }
        }
    });
    // mel[m x frames] = filters[m x bins] * power^T
    FloatBuffer mel(static_cast<size_t>(nMels_ * nFrames_), false);
    blas::sgemmParallel(true, static_cast<int>(nMels_), static_cast<int>(nFrames_), static_cast<int>(nBins_), 1.0f,
                w->filters.data(), static_cast<int>(nBins_), power.data(), static_cast<int>(nBins_), 0.0f, mel.data(),
                static_cast<int>(nFrames_));
    float maxLog = -INFINITY;
    for (size_t i = 0; i < mel.size(); ++i) {
        mel[i] = std::log10(std::max(mel[i], 1e-10f));
        maxLog = std::max(maxLog, mel[i]);
    }
    const float floor = maxLog - 8.0f;
    for (size_t i = 0; i < mel.size(); ++i) mel[i] = (std::max(mel[i], floor) + 4.0f) / 4.0f;

    auto out = MultiArray::make({1, nMels_, 1, nFrames_}, DataType::float16);
    floatsToHalves(mel.data(), out->data<uint16_t>(), mel.size());
    return DictionaryFeatureProvider{{"melspectrogram_features", out}};
}

}  // namespace platform::ml
