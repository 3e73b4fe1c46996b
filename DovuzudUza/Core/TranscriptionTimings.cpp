#include "DovuzudUza/Core/TranscriptionTimings.hpp"

#include <utility>

#include "DovuzudUza/Core/JsonCoding.hpp"
#include "ZezeziCore/Logging.hpp"
#include "platform/foundation/NumberFormat.hpp"

namespace DovuzudUza {

using namespace json_coding;

namespace {

using Member = double TranscriptionTimings::*;

const std::pair<const char*, Member> kFields[] = {
    {"pipelineStart", &TranscriptionTimings::pipelineStart},
    {"firstTokenTime", &TranscriptionTimings::firstTokenTime},
    {"inputAudioSeconds", &TranscriptionTimings::inputAudioSeconds},
    {"modelLoading", &TranscriptionTimings::modelLoading},
    {"prewarmLoadTime", &TranscriptionTimings::prewarmLoadTime},
    {"encoderLoadTime", &TranscriptionTimings::encoderLoadTime},
    {"decoderLoadTime", &TranscriptionTimings::decoderLoadTime},
    {"encoderSpecializationTime", &TranscriptionTimings::encoderSpecializationTime},
    {"decoderSpecializationTime", &TranscriptionTimings::decoderSpecializationTime},
    {"tokenizerLoadTime", &TranscriptionTimings::tokenizerLoadTime},
    {"audioLoading", &TranscriptionTimings::audioLoading},
    {"audioProcessing", &TranscriptionTimings::audioProcessing},
    {"logmels", &TranscriptionTimings::logmels},
    {"encoding", &TranscriptionTimings::encoding},
    {"decodingInit", &TranscriptionTimings::decodingInit},
    {"decodingLoop", &TranscriptionTimings::decodingLoop},
    {"decodingPredictions", &TranscriptionTimings::decodingPredictions},
    {"decodingFiltering", &TranscriptionTimings::decodingFiltering},
    {"decodingSampling", &TranscriptionTimings::decodingSampling},
    {"decodingFallback", &TranscriptionTimings::decodingFallback},
    {"decodingWindowing", &TranscriptionTimings::decodingWindowing},
    {"decodingKvCaching", &TranscriptionTimings::decodingKvCaching},
    {"decodingWordTimestamps", &TranscriptionTimings::decodingWordTimestamps},
    {"decodingNonPrediction", &TranscriptionTimings::decodingNonPrediction},
    {"totalAudioProcessingRuns", &TranscriptionTimings::totalAudioProcessingRuns},
    {"totalLogmelRuns", &TranscriptionTimings::totalLogmelRuns},
    {"totalEncodingRuns", &TranscriptionTimings::totalEncodingRuns},
    {"totalDecodingLoops", &TranscriptionTimings::totalDecodingLoops},
    {"totalKVUpdateRuns", &TranscriptionTimings::totalKVUpdateRuns},
    {"totalTimestampAlignmentRuns", &TranscriptionTimings::totalTimestampAlignmentRuns},
    {"totalDecodingFallbacks", &TranscriptionTimings::totalDecodingFallbacks},
    {"totalDecodingWindows", &TranscriptionTimings::totalDecodingWindows},
    {"fullPipeline", &TranscriptionTimings::fullPipeline},
};

std::string fixed(double value, int precision, int width = 0) { return platform::formatFixed(value, precision, width); }

}  // namespace

TranscriptionTimings TranscriptionTimings::make(const Stages& s) {
    TranscriptionTimings t;
    t.modelLoading = s.modelLoading;
    t.prewarmLoadTime = s.prewarmLoadTime;
    t.encoderLoadTime = s.encoderLoadTime;
    t.decoderLoadTime = s.decoderLoadTime;
    t.encoderSpecializationTime = s.encoderSpecializationTime;
    t.decoderSpecializationTime = s.decoderSpecializationTime;
    t.tokenizerLoadTime = s.tokenizerLoadTime;
    t.audioLoading = s.audioLoading;
    t.audioProcessing = s.audioProcessing;
    t.logmels = s.logmels;
    t.encoding = s.encoding;
    t.decodingInit = s.decodingInit;
    t.decodingLoop = s.decodingLoop;
    t.decodingPredictions = s.decodingPredictions;
    t.decodingFiltering = s.decodingFiltering;
    t.decodingSampling = s.decodingSampling;
    t.decodingFallback = s.decodingFallback;
    t.decodingWindowing = s.decodingWindowing;
    t.decodingKvCaching = s.decodingKvCaching;
    t.decodingWordTimestamps = s.decodingTimestampAlignment;
    t.decodingNonPrediction = s.decodingNonPrediction;
    t.totalAudioProcessingRuns = s.totalAudioProcessingRuns;
    t.totalLogmelRuns = s.totalLogmelRuns;
    t.totalEncodingRuns = s.totalEncodingRuns;
    t.totalDecodingLoops = s.totalDecodingLoops;
    t.totalKVUpdateRuns = s.totalKVUpdateRuns;
    t.totalTimestampAlignmentRuns = s.totalTimestampAlignmentRuns;
    t.totalDecodingFallbacks = s.totalDecodingFallbacks;
    t.totalDecodingWindows = s.totalDecodingWindows;
    t.fullPipeline = s.fullPipeline;
    return t;
}

std::string TranscriptionTimings::report(int64_t tokenCount) const {
    double total = (decodingLoop <= fullPipeline ? fullPipeline : decodingLoop) * 1000;
    auto line = [&](const char* label, double time, double runs) {
        return std::string(label) + ZezeziCore::Logging::formatTimeWithPercentage(time, runs, total);
    };
    std::string text;
    text += line("---- Transcription Timings ----\nAudio Load:          ", audioLoading, 1);
    text += line("\nAudio Processing:    ", audioProcessing, totalAudioProcessingRuns);
    text += line("\nMels:                ", logmels, totalLogmelRuns);
    text += line("\nEncoding:            ", encoding, totalEncodingRuns);
    text += line("\nMatrices Init:       ", decodingInit, 1);
    text += line("\nDecoding:            ", decodingPredictions, totalDecodingLoops);
    text += line("\nNon-inference:       ", decodingNonPrediction, totalDecodingLoops);
    text += line("\n- Logit Filtering:   ", decodingFiltering, totalDecodingLoops);
    text += line("\n- Sampling:          ", decodingSampling, totalDecodingLoops);
    text += line("\n- Kv Caching:        ", decodingKvCaching, totalKVUpdateRuns);
    text += line("\n- Word Timestamps:   ", decodingWordTimestamps, totalTimestampAlignmentRuns);
    text += line("\n- Windowing:         ", decodingWindowing - decodingWordTimestamps, totalDecodingWindows);
    text += line("\nFallbacks:           ", decodingFallback, totalDecodingFallbacks);
    text += line("\nDecoding Full Loop:  ", decodingLoop, totalDecodingLoops);

    text += "\n-------------------------------\nModel Load Time:               " + fixed(modelLoading, 2);
    text += " seconds\n- Prewarm:                     " + fixed(prewarmLoadTime, 2);
    text += " seconds\n- Encoder:                     " + fixed(encoderLoadTime, 2);
    text += " seconds\n- Decoder:                     " + fixed(decoderLoadTime, 2);
    text += " seconds\n- Tokenizer:                   " + fixed(tokenizerLoadTime, 2);
    text += " seconds\nInference Duration (Global):   " + fixed(fullPipeline, 2);
    text += " seconds\n- Decoding Loop (Avg/window):  " + fixed(decodingLoop / totalAudioProcessingRuns, 2);
    text += " seconds\n- Audio Windows:               " + fixed(totalAudioProcessingRuns, 2);
    text += "\nTime to first token:           " + fixed(firstTokenTime - pipelineStart, 2);
    text += " seconds\nTotal Tokens:                  " + std::to_string(tokenCount);
    text += "\nTokens per Second:             " + fixed(tokensPerSecond(), 2);
    text += " tok/s\nReal Time Factor:              " + fixed(realTimeFactor(), 3);
    text += "\nSpeed Factor:                  " + fixed(1 / realTimeFactor(), 3);
    text += "\nFallbacks:                     " + platform::formatShortest(totalDecodingFallbacks);
    return text;
}

void to_json(nlohmann::ordered_json& json, const TranscriptionTimings& timings) {
    json = OrderedJson::object();
    for (const auto& [name, member] : kFields) json[name] = timings.*member;
}

TranscriptionTimings transcriptionTimingsFromJson(const nlohmann::json& json, const std::string& path) {
    TranscriptionTimings timings;
    for (const auto& [name, member] : kFields) timings.*member = readDouble(require(json, name, path), child(path, name));
    return timings;
}

}  // namespace DovuzudUza
