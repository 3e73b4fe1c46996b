// Speed of the CPU model runtime at real model sizes (random weights):
// one 30 s window (log-mel + encoder) and 50 decoder steps, against the
// machine's matrix-product peak and memory bandwidth measured here; and the
// encoder's products with float32 against float16 weights.
//
// usage: bench_ml [turbo|base|all]   (default all)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/ml/AlignedBuffer.hpp"
#include "platform/ml/Blas.hpp"
#include "platform/ml/Half.hpp"
#include "platform/ml/HalfBatchMatrix.hpp"
#include "platform/ml/LogMelModel.hpp"
#include "platform/ml/MultiArray.hpp"
#include "platform/ml/Parallel.hpp"
#include "bench/WhisperSizes.hpp"
#include "platform/ml/WhisperCheckpoint.hpp"
#include "platform/ml/WhisperDecoderModel.hpp"
#include "platform/ml/WhisperEncoderModel.hpp"

using namespace platform::ml;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

long statusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + std::strlen(field), nullptr, 10);
    }
    return -1;
}

void resetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The machine's matrix-product peak: the best of large square products, by
// OpenBLAS on all cores by itself and split over the pool as the runtime does.
struct PeakProbe {
    static constexpr int n = 4096;
    FloatBuffer a{size_t(n) * n}, b{size_t(n) * n}, c{size_t(n) * n};
    PeakProbe() {
        for (size_t i = 0; i < a.size(); ++i) {
            a[i] = static_cast<float>(i % 7) * 0.1f;
            b[i] = static_cast<float>(i % 5) * 0.1f;
        }
    }
    double sample(int repetitions) {
        double best = 0;
        for (int mode = 0; mode < 2; ++mode) {
            blas::setThreadCount(mode == 0 ? workerCount() : 1);
            for (int r = 0; r < repetitions; ++r) {
                const auto t0 = Clock::now();
                if (mode == 0) {
                    blas::sgemm(false, false, n, n, n, 1.0f, a.data(), n, b.data(), n, 0.0f, c.data(), n);
                } else {
                    blas::sgemmParallel(false, n, n, n, 1.0f, a.data(), n, b.data(), n, 0.0f, c.data(), n);
                }
                best = std::max(best, 2.0 * n * n * double(n) / seconds(t0, Clock::now()) / 1e9);
            }
        }
        blas::setThreadCount(1);
        return best;
    }
};

// Read bandwidth over a buffer much larger than the caches, all cores.
double measureReadBandwidth() {
    const size_t n = size_t(256) << 20;  // 1 GiB of floats
    FloatBuffer a(n);
    parallelFor(int64_t(n), 1 << 20, [&](int64_t b, int64_t e) {
        for (int64_t i = b; i < e; ++i) a[size_t(i)] = 1.0f;
    });
    double best = 0;
    for (int r = 0; r < 3; ++r) {
        std::vector<float> partial(size_t(workerCount()) * 64);
        std::atomic<int> slot{0};
        const auto t0 = Clock::now();
        parallelFor(int64_t(n), 1 << 20, [&](int64_t b, int64_t e) {
            float s0 = 0, s1 = 0, s2 = 0, s3 = 0;
            for (int64_t i = b; i + 4 <= e; i += 4) {
                s0 += a[size_t(i)];
                s1 += a[size_t(i) + 1];
                s2 += a[size_t(i) + 2];
                s3 += a[size_t(i) + 3];
            }
            partial[size_t(slot++ % workerCount()) * 64] += s0 + s1 + s2 + s3;
        });
        const double t = seconds(t0, Clock::now());
        volatile float sink = partial[0];
        (void)sink;
        best = std::max(best, double(n) * 4 / t / 1e9);
    }
    return best;
}

// The encoder's matrix products over a window with the weights held as
// float32 and as float16 (widened inside each block of the product), taken in
// turns so that both see the same machine; the median and the best time of
// each. Several layers' worth of distinct weights, so that they come from
// memory as in a whole window rather than from the cache.
void compareWeightPrecisions(const WhisperConfig& c) {
    const int64_t T = 1500, D = c.dModel, F = c.encoderFfnDim;
    const int64_t layers = std::min<int64_t>(c.encoderLayers, 8);
    const std::pair<int64_t, int64_t> shapes[] = {{3 * D, D}, {D, D}, {F, D}, {D, F}};  // weights [N x K]
    std::vector<FloatBuffer> floats;
    std::vector<HalfBatchMatrix> halves;
    for (int64_t l = 0; l < layers; ++l) {
        for (const auto& [N, K] : shapes) {
            FloatBuffer w(size_t(N * K), false);
            for (size_t i = 0; i < w.size(); ++i) w[i] = float((i + size_t(l)) % 11) * 0.01f - 0.05f;
            halves.emplace_back(w, N, K);
            floats.push_back(std::move(w));
        }
    }
    FloatBuffer a(size_t(T * F), false), out(size_t(T * F), false);
    for (size_t i = 0; i < a.size(); ++i) a[i] = float(i % 13) * 0.01f - 0.06f;
    constexpr int kTurns = 11;
    std::vector<double> floatTimes, halfTimes;
    for (int r = 0; r < kTurns; ++r) {
        for (int half = 0; half < 2; ++half) {
            const bool useHalf = (half == 1) != (r % 2 == 1);  // alternate which goes first
            const auto t0 = Clock::now();
            for (size_t m = 0; m < floats.size(); ++m) {
                const auto [N, K] = shapes[m % 4];
                if (useHalf) {
                    halves[m].multiply(T, a.data(), K, out.data(), N, false);
                } else {
                    blas::sgemmParallel(true, int(T), int(N), int(K), 1.0f, a.data(), int(K), floats[m].data(), int(K),
                                        0.0f, out.data(), int(N));
                }
            }
            (useHalf ? halfTimes : floatTimes).push_back(seconds(t0, Clock::now()) * 1e3 / double(layers));
        }
    }
    std::sort(floatTimes.begin(), floatTimes.end());
    std::sort(halfTimes.begin(), halfTimes.end());
    std::printf("products: an encoder layer's matrix products over a window take %.1f ms with float32 weights, "
                "%.1f ms with float16 weights (median of %d turns taken in alternation, best %.1f and %.1f ms; "
                "%lld layers' weights)\n",
                floatTimes[kTurns / 2], halfTimes[kTurns / 2], kTurns, floatTimes[0], halfTimes[0], (long long)layers);
}

struct Config {
    const char* name;
    WhisperConfig whisper;
};

void run(const Config& cfg, PeakProbe& probe, double bandwidth) {
    const auto& c = cfg.whisper;
    std::printf("\n== %s: d_model %lld, heads %lld, encoder layers %lld, decoder layers %lld, mels %lld, vocab %lld\n",
                cfg.name, (long long)c.dModel, (long long)c.encoderAttentionHeads, (long long)c.encoderLayers,
                (long long)c.decoderLayers, (long long)c.numMelBins, (long long)c.vocabSize);
    resetPeakMemory();
    const long rssBefore = statusKb("VmRSS:");
    auto t0 = Clock::now();
    MemoryTensorSource weights;
    fillRandomWeights(c, 1, weights);
    {
        const auto f = LogMelModel::melFilters(c.numMelBins);
        FloatBuffer b(f.size());
        std::copy(f.begin(), f.end(), b.data());
        weights.put("mel_filters", {c.numMelBins, 201}, std::move(b));
    }
    LogMelModel mel(LogMelModel::manifest(c.numMelBins), weights);
    WhisperEncoderModel encoder(WhisperEncoderModel::manifest(c.encoder()), weights);
    WhisperDecoderModel decoder(WhisperDecoderModel::manifest(c.decoder()), weights);
    const double weightBytes = double(encoder.weightBytes() + decoder.weightBytes()) + c.numMelBins * 201 * 4;
    const long loadPeakKb = statusKb("VmHWM:");
    std::printf("weights: %.1f MB in memory (encoder %.1f MB with float16 matrices, decoder %.1f MB with float16 step "
                "matrices), "
                "made in %.1f s\n",
                weightBytes / 1e6, encoder.weightBytes() / 1e6, decoder.weightBytes() / 1e6, seconds(t0, Clock::now()));
    resetPeakMemory();

    auto audio = MultiArray::make({480000}, DataType::float32);
    for (int i = 0; i < 480000; ++i)
        audio->data<float>()[i] = 0.1f * std::sin(0.05f * float(i)) + 0.01f * std::sin(0.31f * float(i));
    auto melOut = mel.predict(DictionaryFeatureProvider{{"audio", audio}}).multiArray("melspectrogram_features");
    t0 = Clock::now();
    melOut = mel.predict(DictionaryFeatureProvider{{"audio", audio}}).multiArray("melspectrogram_features");
    const double melSeconds = seconds(t0, Clock::now());

    // Encoder runs alternate with peak samples, so that both are taken under
    // the same conditions on a shared machine; each is the best it reached.
    std::shared_ptr<MultiArray> embeds;
    double encoderSeconds = 1e30, peak = 0;
    const int runs = c.encoderLayers > 16 ? 3 : 4;
    for (int r = 0; r < runs; ++r) {
        peak = std::max(peak, probe.sample(2));
        t0 = Clock::now();
        embeds = encoder.predict(DictionaryFeatureProvider{{"melspectrogram_features", melOut}})
                     .multiArray("encoder_output_embeds");
        encoderSeconds = std::min(encoderSeconds, seconds(t0, Clock::now()));
    }
    const double gflops = encoder.flopsPerPrediction() / encoderSeconds / 1e9;

    // 50 decoder steps through the cache protocol.
    const int64_t E = c.decoderLayers * c.dModel, S = 224;
    auto keyCache = MultiArray::make({1, E, 1, S}, DataType::float16);
    auto valueCache = MultiArray::make({1, E, 1, S}, DataType::float16);
    auto mask = MultiArray::make({1, S}, DataType::int32);
    auto padding = MultiArray::make({1, S}, DataType::float16);
    auto ids = MultiArray::make({1}, DataType::int32);
    auto length = MultiArray::make({1}, DataType::int32);
    for (int64_t p = 0; p < S; ++p) {
        mask->setValue({0, p}, p == 0);
        padding->setValue({0, p}, p == 0 ? 0 : -10000);
    }
    double firstStep = 0, steps = 0, fastest = 1e30;
    const int kSteps = 50;
    for (int t = 0; t <= kSteps; ++t) {
        ids->setValue({0}, (t * 7919) % c.vocabSize);
        length->setValue({0}, t);
        t0 = Clock::now();
        auto out = decoder.predict(DictionaryFeatureProvider{{"input_ids", ids},
                                                             {"cache_length", length},
                                                             {"key_cache", keyCache},
                                                             {"value_cache", valueCache},
                                                             {"kv_cache_update_mask", mask},
                                                             {"encoder_output_embeds", embeds},
                                                             {"decoder_key_padding_mask", padding}});
        const double s = seconds(t0, Clock::now());
        if (t == 0) {
            firstStep = s;  // includes the cross-attention keys/values of this window
        } else {
            steps += s;
            fastest = std::min(fastest, s);
        }
        auto k = out.multiArray("key_cache_updates")->data<uint16_t>();
        auto v = out.multiArray("value_cache_updates")->data<uint16_t>();
        for (int64_t ch = 0; ch < E; ++ch) {
            keyCache->data<uint16_t>()[ch * S + t] = k[ch];
            valueCache->data<uint16_t>()[ch * S + t] = v[ch];
        }
        padding->setValue({0, t + 1}, 0);
        mask->setValue({0, t}, 0);
        mask->setValue({0, t + 1}, 1);
    }
    const double msPerToken = steps / kSteps * 1e3;
    const double stepGBs = double(decoder.weightBytesPerStep()) / (steps / kSteps) / 1e9;
    const long peakKb = statusKb("VmHWM:");

    std::printf("log-mel:  %.3f s per window\n", melSeconds);
    std::printf("encoder:  %.3f s per window, %.0f GFLOP/s = %.2f of the sgemm peak measured alongside (%.0f GFLOP/s)\n",
                encoderSeconds, gflops, gflops / peak, peak);
    std::printf("decoder:  %.2f ms per token over %d steps, fastest %.2f ms (first step of a window %.1f ms, with "
                "cross-attention keys/values)\n",
                msPerToken, kSteps, fastest * 1e3, firstStep * 1e3);
    const double fastestGBs = double(decoder.weightBytesPerStep()) / fastest / 1e9;
    std::printf("          reads %.1f MB of weights per token = %.1f GB/s on average (%.1f GB/s in the fastest step) = "
                "%.2f (%.2f) of the measured read bandwidth\n",
                double(decoder.weightBytesPerStep()) / 1e6, stepGBs, fastestGBs, stepGBs / bandwidth,
                fastestGBs / bandwidth);
    std::printf("window:   %.2f s per 30 s window (log-mel + encoder + %d tokens)\n",
                melSeconds + encoderSeconds + firstStep + steps, kSteps);
    std::printf("memory:   peak %.1f MB resident while running (%.1f MB before the model) = %.2f x the weights;\n"
                "          while making the random weights in float32: peak %.1f MB\n",
                peakKb / 1e3, rssBefore / 1e3, (peakKb - rssBefore) * 1e3 / weightBytes, loadPeakKb / 1e3);
    compareWeightPrecisions(c);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string which = argc > 1 ? argv[1] : "all";
    PeakProbe probe;
    const double peak = probe.sample(3);
    std::printf("OpenBLAS: %s, kernel %s, OPENBLAS_CORETYPE=%s (%s); %d OpenBLAS thread per call, the runtime splits "
                "products over its pool of %d threads\n",
                blas::usingOpenBlas() ? "loaded" : "missing (plain loops)", blas::coreName().c_str(),
                blas::coreTypeSetting().c_str(), blas::coreTypeFromUser() ? "set by the user" : "chosen from the CPU",
                blas::threadCount(), workerCount());
    std::fflush(stdout);
    const double bandwidth = measureReadBandwidth();
    std::printf("machine:  sgemm peak %.0f GFLOP/s (4096^3), read bandwidth %.1f GB/s\n", peak, bandwidth);

    const WhisperConfig turbo = parlox::bench::largeV3TurboSize();
    const WhisperConfig base = parlox::bench::baseSize();
    if (which == "base" || which == "all") run({"base", base}, probe, bandwidth);
    if (which == "turbo" || which == "all") run({"large-v3 turbo", turbo}, probe, bandwidth);
    return 0;
}
