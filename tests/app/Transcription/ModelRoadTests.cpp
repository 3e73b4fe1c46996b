// The whole model road on this platform: a loopback hub serves a small
// random checkpoint under the default variant's repository; the transcriber
// downloads, converts, loads and transcribes with the real runtime.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "TranscriberTestSupport.hpp"
#include "DovuzudUza/Core/CheckpointInstaller.hpp"
#include "tests/DovuzudUza/Facade/RandomCheckpoint.hpp"

namespace transcriber_test {

using Parlox::EngineTranscriber;

namespace {

const DovuzudUza::test_support::RandomCheckpoint& checkpoint() {
    static const DovuzudUza::test_support::RandomCheckpoint shared(21);
    return shared;
}

// The hub on 127.0.0.1 as HF_ENDPOINT.
struct ServedModel {
    DataFolder data;
    DovuzudUza::test_support::CheckpointHub hub{checkpoint()};
    hubtest::ScopedEnv endpoint{"HF_ENDPOINT", hub.endpoint().c_str()};
};

// A file as it is on disk: one written again or replaced is another.
std::pair<ino_t, int64_t> fileIdentity(const fs::path& file) {
    struct stat st{};
    if (::stat(file.c_str(), &st) != 0) return {0, 0};
    return {st.st_ino, static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::vector<double> fractions(const std::vector<State>& states) {
    std::vector<double> out;
    for (const auto& s : states)
        if (s.kind == Kind::downloading) out.push_back(s.fraction);
    return out;
}

}  // namespace

TEST(ModelRoad, AnEmptyModelsFolderIsFilledFromTheHubAndTheModelTranscribes) {
    ServedModel served;
    EngineTranscriber transcriber;
    StateRecorder recorder(transcriber);
    transcriber.prepare();
    ASSERT_TRUE(recorder.waitForEnd().isReady()) << recorder.waitForEnd().message;

    EXPECT_EQ(recorder.kinds(), (std::vector<Kind>{Kind::downloading, Kind::loading, Kind::ready}));
    const auto steps = fractions(recorder.states());
    ASSERT_GE(steps.size(), 3u);
    EXPECT_EQ(steps.front(), 0.0);
    EXPECT_EQ(steps.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    EXPECT_GT(std::set<double>(steps.begin(), steps.end()).size(), 2u) << "fractions rise in between";
    EXPECT_TRUE(EngineTranscriber::isModelOnDisk());

    const auto result = transcriber.transcribe(std::vector<float>(48000, 0.01f));
    EXPECT_DOUBLE_EQ(result.audioSeconds, 3.0);

    // The next start loads from disk and fetches nothing.
    const size_t gets = served.hub.hub.bodyGets().size();
    EngineTranscriber again;
    StateRecorder second(again);
    again.prepare();
    EXPECT_TRUE(second.waitForEnd().isReady());
    EXPECT_EQ(second.kinds(), (std::vector<Kind>{Kind::loading, Kind::ready}));
    EXPECT_EQ(served.hub.hub.bodyGets().size(), gets);
}

TEST(ModelRoad, ADownloadCutInTheMiddleLeavesNoModelAndTheNextPrepareFinishes) {
    ServedModel served;
    served.hub.hub.truncateGets = 1;  // the first file ends half way
    EngineTranscriber transcriber;
    StateRecorder recorder(transcriber);
    transcriber.prepare();
    EXPECT_EQ(recorder.waitForEnd().kind, Kind::failed);
    EXPECT_FALSE(EngineTranscriber::isModelOnDisk());

    const size_t before = recorder.states().size();
    transcriber.prepare();
    EXPECT_TRUE(recorder.waitForEnd(before).isReady());
    EXPECT_TRUE(EngineTranscriber::isModelOnDisk());
}

TEST(ModelRoad, WhatAKilledConversionLeavesIsClearedAndTheNextPrepareFinishes) {
    ServedModel served;
    const auto folder = EngineTranscriber::localModelFolder();
    const auto partial = DovuzudUza::CheckpointInstaller::partialFolder(folder);
    // A conversion stopped half way, and a variant folder from a copy that
    // never finished: three of the four entries.
    fs::create_directories(partial / "AudioEncoder.mlmodelc");
    fs::create_directories(partial.string() + ".converting/TextDecoder.mlmodelc");
    for (const char* entry : {"AudioEncoder.mlmodelc", "TextDecoder.mlmodelc", "MelSpectrogram.mlmodelc"})
        fs::create_directories(folder / entry);
    ASSERT_FALSE(EngineTranscriber::isModelOnDisk());

    EngineTranscriber transcriber;
    StateRecorder recorder(transcriber);
    transcriber.prepare();
    EXPECT_TRUE(recorder.waitForEnd().isReady());
    EXPECT_EQ(recorder.kinds(), (std::vector<Kind>{Kind::downloading, Kind::loading, Kind::ready}));
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_FALSE(fs::exists(partial.string() + ".converting"));
}

TEST(ModelRoad, AModelOnDiskThatDoesNotLoadIsFetchedAgainOnce) {
    ServedModel served;
    {
        EngineTranscriber first;
        StateRecorder recorder(first);
        first.prepare();
        ASSERT_TRUE(recorder.waitForEnd().isReady());
    }
    // The decoder's weights spoiled on disk; the four entries are all there.
    const auto folder = EngineTranscriber::localModelFolder();
    std::ofstream(folder / "TextDecoder.mlmodelc" / "weights.safetensors") << "spoilt";
    ASSERT_TRUE(EngineTranscriber::isModelOnDisk());
    const size_t gets = served.hub.hub.bodyGets().size();
    const auto encoderWeights = fileIdentity(folder / "AudioEncoder.mlmodelc" / "weights.safetensors");
    size_t seen = 0;
    served.data.newLogLines(seen);

    EngineTranscriber transcriber;
    StateRecorder recorder(transcriber);
    transcriber.prepare();
    EXPECT_TRUE(recorder.waitForEnd().isReady());
    EXPECT_EQ(recorder.kinds(), (std::vector<Kind>{Kind::loading, Kind::downloading, Kind::loading, Kind::ready}));
    EXPECT_EQ(served.hub.hub.bodyGets().size(), gets) << "the cached checkpoint is whole: only the conversion is redone";
    EXPECT_EQ(fileIdentity(folder / "AudioEncoder.mlmodelc" / "weights.safetensors"), encoderWeights)
        << "only the damaged stage is made again";
    const auto log = served.data.newLogLines(seen);
    EXPECT_TRUE(std::none_of(log.begin(), log.end(), [](const std::string& l) { return l.find(" ERROR ") != std::string::npos; }))
        << "a repair that succeeds is no error";
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& l) {
        return l.find("INFO  Aviso: el modelo del disco no carga (") != std::string::npos;
    }));
}

}  // namespace transcriber_test
