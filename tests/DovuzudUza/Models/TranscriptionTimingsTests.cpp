#include <gtest/gtest.h>

#include <limits>

#include "DovuzudUza/Core/JsonCoding.hpp"
#include "DovuzudUza/Core/TranscriptionTimings.hpp"

using namespace DovuzudUza;
using nlohmann::json;

TEST(TranscriptionTimings, DefaultJsonRoundTrips) {
    TranscriptionTimings defaults;
    nlohmann::ordered_json written = defaults;
    ASSERT_EQ(written.size(), 33u);
    EXPECT_EQ(written.begin().key(), "pipelineStart");
    EXPECT_EQ(written["pipelineStart"].get<double>(), std::numeric_limits<double>::max());
    EXPECT_EQ(written["firstTokenTime"].get<double>(), std::numeric_limits<double>::max());
    EXPECT_EQ(written["inputAudioSeconds"].get<double>(), 0.001);
    EXPECT_EQ(written["fullPipeline"].get<double>(), 0.0);
    EXPECT_EQ(transcriptionTimingsFromJson(json::parse(written.dump())), defaults);

    json missing = json::parse(written.dump());
    missing.erase("totalDecodingWindows");
    EXPECT_THROW(transcriptionTimingsFromJson(missing), JsonDecodingError);
    json wrong = json::parse(written.dump());
    wrong["logmels"] = "fast";
    EXPECT_THROW(transcriptionTimingsFromJson(wrong), JsonDecodingError);
}

TEST(TranscriptionTimings, MemberwiseConstructorAndDerivedValues) {
    auto t = TranscriptionTimings::make({.decodingTimestampAlignment = 0.5});
    EXPECT_EQ(t.decodingWordTimestamps, 0.5);
    EXPECT_EQ(t.inputAudioSeconds, 0.001);
    EXPECT_EQ(t.pipelineStart, std::numeric_limits<double>::max());
    EXPECT_EQ(t.firstTokenTime, std::numeric_limits<double>::max());

    TranscriptionTimings r;
    r.fullPipeline = 2;
    r.inputAudioSeconds = 10;
    r.totalDecodingLoops = 50;
    EXPECT_DOUBLE_EQ(r.realTimeFactor(), 0.2);
    EXPECT_DOUBLE_EQ(r.speedFactor(), 5);
    EXPECT_DOUBLE_EQ(r.tokensPerSecond(), 25);
    EXPECT_EQ(TranscriptionTimings().realTimeFactor(), 0);
}

TEST(TranscriptionTimings, ReportText) {
    TranscriptionTimings t;
    t.audioLoading = 0.5;
    t.audioProcessing = 0.25;
    t.totalAudioProcessingRuns = 2;
    t.decodingLoop = 4;  // above fullPipeline: percentages are of the loop
    t.fullPipeline = 2;
    t.decodingWindowing = 0.3;
    t.decodingWordTimestamps = 0.1;
    t.totalDecodingWindows = 0;
    t.totalDecodingFallbacks = 2;
    t.inputAudioSeconds = 10;
    std::string report = t.report(42);

    EXPECT_EQ(report.rfind("---- Transcription Timings ----\nAudio Load:            500.00 ms /      1 runs "
                           "(  500.00 ms/run) 12.50%\nAudio Processing:      250.00 ms /      2 runs "
                           "(  125.00 ms/run)  6.25%\n",
                           0),
              0u)
        << report;
    EXPECT_NE(report.find("\n- Windowing:           200.00 ms /      0 runs (    0.00 ms/run)  5.00%\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("\nDecoding Full Loop:   4000.00 ms /      0 runs (    0.00 ms/run) 100.00%\n"
                          "-------------------------------\nModel Load Time:               0.00 seconds\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("\nInference Duration (Global):   2.00 seconds\n- Decoding Loop (Avg/window):  2.00 "
                          "seconds\n- Audio Windows:               2.00\nTime to first token:           0.00 "
                          "seconds\nTotal Tokens:                  42\nTokens per Second:             0.00 tok/s\n"
                          "Real Time Factor:              0.200\nSpeed Factor:                  5.000\n"
                          "Fallbacks:                     2.0"),
              std::string::npos)
        << report;
    EXPECT_EQ(report.back(), '0');
}

TEST(TranscriptionTimings, ReportWithNothingMeasuredPrintsNonFiniteFigures) {
    std::string report = TranscriptionTimings().report(0);
    // 0/0: the text of a not-a-number, whatever its sign.
    auto line = report.substr(0, report.find("\nAudio Processing"));
    EXPECT_NE(line.find("Audio Load:              0.00 ms /      1 runs (    0.00 ms/run) "), std::string::npos);
    EXPECT_NE(line.find("nan"), std::string::npos) << line;
    EXPECT_NE(report.find("\nSpeed Factor:                  inf\n"), std::string::npos) << report;
}
