#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <limits>

#include <nlohmann/json.hpp>

#include "DovuzudUza/Core/JsonCoding.hpp"
#include "DovuzudUza/Utilities/ResultWriters.hpp"
#include "platform/foundation/FileManager.hpp"
#include "tests/DovuzudUza/SegmentTestSupport.hpp"
#include "tests/support/TemporaryFolder.hpp"

using namespace DovuzudUza;
namespace fs = std::filesystem;

namespace {

using test_support::segment;

TranscriptionResult fixture() {
    const std::vector<WordTiming> words{{" Hola", {1}, 0.0f, 0.5f, 0.9f}, {" mundo", {2}, 0.5f, 1.25f, 0.8f},
                                        {".", {3}, 1.25f, 2.3f, 0.7f}};
    return TranscriptionResult(" Hola mundo. Adiós", {segment(0.0f, 2.3f, " Hola mundo.", words),
                                                      segment(65.25f, 3725.5f, " Adiós")},
                               "es", TranscriptionTimings{});
}

std::string read(const fs::path& path) { return platform::FileManager::readFile(path); }

std::string written(const ResultWriting::WriteOutcome& outcome) {
    if (const auto* url = std::get_if<std::string>(&outcome)) return *url;
    try {
        std::rethrow_exception(std::get<std::exception_ptr>(outcome));
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
    }
    return {};
}

}  // namespace

TEST(ResultWriters, TimesAreCutTowardZeroInEitherFormat) {
    WriteSRT writer("/");
    struct Case {
        float seconds;
        bool hours;
        const char* marker;
        const char* text;
    };
    for (const auto& c : {Case{65.25f, true, ",", "00:01:05,250"}, Case{65.25f, false, ".", "01:05.250"},
                          Case{3725.5f, false, ".", "01:02:05.500"}, Case{2.3f, false, ".", "00:02.299"},
                          Case{0.0f, true, ",", "00:00:00,000"}}) {
        EXPECT_EQ(writer.formatTime(c.seconds, c.hours, c.marker), c.text) << c.seconds;
    }
    EXPECT_EQ(writer.formatSegment(4, 1.5f, 2.0f, " hi"), "4\n00:00:01,500 --> 00:00:02,000\n hi\n\n");
    EXPECT_EQ(writer.formatTiming(1.5f, 2.0f, " hi"), "00:01.500 --> 00:02.000\n hi\n\n");
}

TEST(ResultWriters, SubtitlesHaveACuePerWordOrPerSegment) {
    parlox::testing::TemporaryFolder folder;
    const auto result = fixture();
    const auto srt = written(WriteSRT(folder.path().string()).write(result, "salida"));
    EXPECT_EQ(srt, "file://" + (folder / "salida.srt").string());
    EXPECT_EQ(read(folder / "salida.srt"),
              "1\n00:00:00,000 --> 00:00:00,500\n Hola\n\n"
              "2\n00:00:00,500 --> 00:00:01,250\n mundo\n\n"
              "3\n00:00:01,250 --> 00:00:02,299\n.\n\n"
              "4\n00:01:05,250 --> 01:02:05,500\n Adiós\n\n");
    written(WriteVTT(folder.path().string()).write(result, "salida"));
    EXPECT_EQ(read(folder / "salida.vtt"),
              "WEBVTT\n\n"
              "00:00.000 --> 00:00.500\n Hola\n\n"
              "00:00.500 --> 00:01.250\n mundo\n\n"
              "00:01.250 --> 00:02.299\n.\n\n"
              "01:05.250 --> 01:02:05.500\n Adiós\n\n");

    // An empty word list counts as none.
    const TranscriptionResult empty("x", {segment(1.0f, 2.0f, " x", std::vector<WordTiming>{})}, "es", {});
    written(WriteSRT(folder.path().string()).write(empty, "vacio"));
    EXPECT_EQ(read(folder / "vacio.srt"), "1\n00:00:01,000 --> 00:00:02,000\n x\n\n");
}

TEST(ResultWriters, AResultWithoutSegmentsStillMakesItsFiles) {
    parlox::testing::TemporaryFolder folder;
    const TranscriptionResult result("", {}, "en", {});
    const auto dir = folder.path().string();
    written(WriteSRT(dir).write(result, "r"));
    written(WriteVTT(dir).write(result, "r"));
    written(WriteJSON(dir).write(result, "r"));
    EXPECT_EQ(read(folder / "r.srt"), "");
    EXPECT_EQ(read(folder / "r.vtt"), "WEBVTT\n\n");
    const auto json = nlohmann::json::parse(read(folder / "r.json"));
    EXPECT_EQ(json.at("language"), "en");
    EXPECT_TRUE(json.at("segments").empty());
    EXPECT_TRUE(json.contains("timings"));
}

TEST(ResultWriters, JsonIsTheResultsOwnIndentedForm) {
    parlox::testing::TemporaryFolder folder;
    const auto result = fixture();
    const auto url = written(WriteJSON(folder.path().string()).write(result, "con espacio"));
    EXPECT_EQ(url, "file://" + folder.path().string() + "/con%20espacio.json");
    const auto text = read(folder / "con espacio.json");
    EXPECT_NE(text.find("\n  \"segments\""), std::string::npos);  // indented
    EXPECT_EQ(nlohmann::json::parse(text), nlohmann::json::parse(result.toJson().dump()));
}

TEST(ResultWriters, FailuresAreReturnedAndLeaveNoPartialFile) {
    parlox::testing::TemporaryFolder folder;
    const auto missing = (folder / "no-such-folder").string();
    for (ResultWriting* writer : std::initializer_list<ResultWriting*>{new WriteSRT(missing), new WriteVTT(missing),
                                                                       new WriteJSON(missing)}) {
        std::unique_ptr<ResultWriting> owned(writer);
        const auto outcome = owned->write(fixture(), "x");
        EXPECT_TRUE(std::holds_alternative<std::exception_ptr>(outcome));
    }
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST(ResultWriters, ANumberWithoutAJsonFormIsAFailureThatNamesIt) {
    parlox::testing::TemporaryFolder folder;
    const auto dir = folder.path().string();
    written(WriteJSON(dir).write(fixture(), "r"));
    const std::string before = read(folder / "r.json");

    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Case {
        std::function<void(std::vector<TranscriptionSegment>&, TranscriptionTimings&)> spoil;
        const char* path;
        const char* number;
    };
    const Case cases[] = {
        {[&](auto& s, auto&) { s[1].compressionRatio = inf; }, "segments[1].compressionRatio", "inf"},
        {[&](auto& s, auto&) { (*s[0].words)[2].probability = nan; }, "segments[0].words[2].probability", "nan"},
        {[&](auto&, auto& t) { t.inputAudioSeconds = -static_cast<double>(inf); }, "timings.inputAudioSeconds", "-inf"},
    };
    for (const auto& c : cases) {
        const auto good = fixture();
        auto segments = good.segments();
        TranscriptionTimings timings;
        c.spoil(segments, timings);
        const TranscriptionResult spoilt(good.text(), segments, "es", timings);
        const auto outcome = WriteJSON(dir).write(spoilt, "r");
        ASSERT_TRUE(std::holds_alternative<std::exception_ptr>(outcome)) << c.path;
        try {
            std::rethrow_exception(std::get<std::exception_ptr>(outcome));
        } catch (const JsonEncodingError& e) {
            EXPECT_EQ(e.codingPath(), c.path);
            EXPECT_NE(e.description().find(std::string("number ") + c.number + " "), std::string::npos) << e.description();
        } catch (...) {
            ADD_FAILURE() << "another kind of failure for " << c.path;
        }
        // The file written before is left as it was.
        EXPECT_EQ(read(folder / "r.json"), before) << c.path;
    }
}
