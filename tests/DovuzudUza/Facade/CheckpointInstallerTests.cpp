#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <map>
#include <sys/stat.h>
#include <system_error>
#include <thread>

#include "DovuzudUza/Core/CheckpointInstaller.hpp"
#include "DovuzudUza/Core/ModelCatalogue.hpp"
#include "DovuzudUza/Core/Constants.hpp"
#include "DovuzudUza/Core/ModelSupport.hpp"
#include "RandomCheckpoint.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/foundation/FolderLock.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelError.hpp"
#include "platform/ml/ModelLoader.hpp"

using namespace DovuzudUza;
using test_support::CheckpointHub;
using test_support::RandomCheckpoint;
namespace fs = std::filesystem;

namespace {

const char* kWholeModel[] = {"config.json", "AudioEncoder.mlmodelc", "TextDecoder.mlmodelc",
                             "MelSpectrogram.mlmodelc", "tokenizer.json", "tokenizer_config.json"};

const RandomCheckpoint& installerCheckpoint() {
    static const RandomCheckpoint shared;
    return shared;
}

class Installer : public ::testing::Test {
protected:
    Hub::HubApiWrapper client() const {
        Hub::HubApiWrapper wrapper(base.path(), std::nullopt, hub.endpoint());
        return wrapper;
    }
    fs::path variant() const {
        return base.path() / "models/vuvidezev/dovuzuduza-coreml/openai_whisper-large-v3-v20240930_turbo";
    }
    // Each entry of the folder (and each file of a stage) by the file it is
    // on disk: a file written again or replaced is another file.
    std::map<std::string, std::string> identities() const {
        std::map<std::string, std::string> out;
        for (const char* entry : kWholeModel) {
            std::string identity;
            const auto add = [&](const fs::path& p) {
                struct stat st{};
                if (::stat(p.c_str(), &st) == 0)
                    identity += std::to_string(st.st_ino) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
                                std::to_string(st.st_mtim.tv_nsec) + " ";
            };
            add(variant() / entry);
            if (fs::is_directory(variant() / entry))
                for (const auto& file : fs::directory_iterator(variant() / entry)) add(file.path());
            out[entry] = identity;
        }
        return out;
    }
    std::vector<fs::path> siblings() const {
        std::vector<fs::path> out;
        for (const auto& e : fs::directory_iterator(variant().parent_path())) out.push_back(e.path().filename());
        return out;
    }

    parlox::testing::TemporaryFolder base;
    CheckpointHub hub{installerCheckpoint()};
};

}  // namespace

TEST(ModelCatalogue, EveryKnownModelHasACheckpointRepository) {
    for (const auto& name : Constants::fallbackModelSupportConfig().knownModels) {
        const auto found = ModelCatalogue::matching("*" + name + "/*");
        ASSERT_EQ(found.size(), 1u) << name;
        EXPECT_EQ(found[0].folder, name);
    }
    const auto turbo = ModelCatalogue::matching("*large-v3-v20240930_turbo/*");
    ASSERT_EQ(turbo.size(), 1u);
    EXPECT_EQ(turbo[0].checkpointRepository, "openai/whisper-large-v3-turbo");
}

TEST_F(Installer, InstallsAWholeFolderReportingBytesThenConversion) {
    std::vector<std::pair<int64_t, int64_t>> reports;
    std::vector<std::string> events;
    CheckpointInstaller::install(
        client(), "openai/whisper-large-v3-turbo", variant(),
        [&](const Hub::Progress& p) {
            reports.emplace_back(p.completedUnitCount(), p.totalUnitCount());
            events.push_back("progress");
        },
        [&] { events.push_back("convert"); });

    for (const char* entry : kWholeModel) EXPECT_TRUE(fs::exists(variant() / entry)) << entry;
    for (const char* stage : {"MelSpectrogram", "AudioEncoder", "TextDecoder"})
        EXPECT_NO_THROW(platform::ml::Model::load(variant() / (std::string(stage) + ".mlmodelc")));
    EXPECT_EQ(siblings(), std::vector<fs::path>{variant().filename()});

    ASSERT_GE(reports.size(), 3u);
    EXPECT_EQ(reports.front().first, 0);
    for (size_t i = 1; i < reports.size(); ++i) EXPECT_GE(reports[i].first, reports[i - 1].first);
    EXPECT_EQ(reports.back().first, installerCheckpoint().totalBytes());
    for (const auto& r : reports) EXPECT_EQ(r.second, installerCheckpoint().totalBytes());
    ASSERT_EQ(events.back(), "convert");
    EXPECT_EQ(std::count(events.begin(), events.end(), "convert"), 1);
}

TEST_F(Installer, AnInterruptedDownloadLeavesNoFolderAndTheNextResumes) {
    const int64_t weights = static_cast<int64_t>(installerCheckpoint().files.at("model.safetensors").size());
    hub.hub.stallAt = weights / 2;
    std::stop_source stop;
    const fs::path partial = base.path() / "models/openai/whisper-large-v3-turbo/.cache/huggingface/download";
    std::thread canceller([&] {
        // Stop once half the weights are on disk, as a closed laptop would.
        for (int i = 0; i < 5000 && !stop.stop_requested(); ++i) {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(partial, ec)) {
                // Only the weights' partial file: a tokenizer file can be larger than half the weights.
                const bool ofTheWeights = e.path().filename().string().rfind("model.safetensors.", 0) == 0;
                if (ofTheWeights && e.path().extension() == ".incomplete" &&
                    fs::file_size(e.path(), ec) >= static_cast<uintmax_t>(weights / 2))
                    stop.request_stop();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    EXPECT_ANY_THROW(CheckpointInstaller::install(client(), "openai/whisper-large-v3-turbo", variant(), {}, {},
                                                  stop.get_token()));
    canceller.join();
    EXPECT_FALSE(fs::exists(variant()));

    hub.hub.stallAt = -1;
    const size_t before = hub.hub.bodyGets().size();
    CheckpointInstaller::install(client(), "openai/whisper-large-v3-turbo", variant());
    for (const char* entry : kWholeModel) EXPECT_TRUE(fs::exists(variant() / entry)) << entry;
    const auto gets = hub.hub.bodyGets();
    std::vector<std::string> fetchedAgain;
    for (size_t i = before; i < gets.size(); ++i) fetchedAgain.push_back(gets[i].path + " " + gets[i].header("Range"));
    EXPECT_EQ(fetchedAgain.size(), 3u) << "the weights and the two tokenizer files were still missing";
    EXPECT_NE(std::find_if(fetchedAgain.begin(), fetchedAgain.end(),
                           [&](const std::string& g) {
                               return g.find("model.safetensors bytes=" + std::to_string(weights / 2)) !=
                                      std::string::npos;
                           }),
              fetchedAgain.end())
        << "the weights resume where they stopped: " << ::testing::PrintToString(fetchedAgain);
}

TEST_F(Installer, LeftoversOfAKilledConversionAreClearedAndAFailedOneLeavesNothing) {
    // What a conversion killed half way leaves beside the folder.
    const fs::path partial = CheckpointInstaller::partialFolder(variant());
    fs::create_directories(partial / "AudioEncoder.mlmodelc");
    fs::create_directories(partial.string() + ".converting/TextDecoder.mlmodelc");
    // A checkpoint whose weights end early: the conversion fails mid-way.
    hub.hub.setFile("model.safetensors", installerCheckpoint().files.at("model.safetensors").substr(0, 4000), true);
    EXPECT_ANY_THROW(CheckpointInstaller::install(client(), "openai/whisper-large-v3-turbo", variant()));
    EXPECT_FALSE(fs::exists(variant()));
    EXPECT_TRUE(siblings().empty());

    hub.hub.setFile("model.safetensors", installerCheckpoint().files.at("model.safetensors"), true);
    CheckpointInstaller::install(client(), "openai/whisper-large-v3-turbo", variant());
    for (const char* entry : kWholeModel) EXPECT_TRUE(fs::exists(variant() / entry)) << entry;
    EXPECT_EQ(siblings(), std::vector<fs::path>{variant().filename()});
}

TEST_F(Installer, RepairsABrokenFolder) {
    fs::create_directories(variant() / "AudioEncoder.mlmodelc");
    std::ofstream(variant() / "config.json") << "{}";
    std::ofstream(variant() / "AudioEncoder.mlmodelc" / "model.json") << "not json";
    CheckpointInstaller::install(client(), "openai/whisper-large-v3-turbo", variant());
    EXPECT_NO_THROW(platform::ml::Model::load(variant() / "AudioEncoder.mlmodelc"));
    EXPECT_NE(parlox::testing::readFile(variant() / "config.json"), "{}");
}

TEST_F(Installer, AWholeFolderIsTheAnswerAsItIsWithoutTheHub) {
    CheckpointInstaller::install(client(), "openai/whisper-large-v3-turbo", variant());
    const auto before = identities();
    const size_t requests = hub.hub.server.requests().size();
    int conversions = 0;
    CheckpointInstaller::install(client(), "openai/whisper-large-v3-turbo", variant(), {}, [&] { ++conversions; });
    EXPECT_EQ(conversions, 0);
    EXPECT_EQ(hub.hub.server.requests().size(), requests) << "not even a listing";
    EXPECT_EQ(identities(), before) << "nothing is removed or written again";
}

TEST_F(Installer, OnlyWhatIsMissingOrDamagedIsMadeAgain) {
    struct Case {
        const char* entry;
        std::function<void(const fs::path&)> spoil;
    };
    const Case cases[] = {
        {"TextDecoder.mlmodelc", [](const fs::path& f) { std::ofstream(f / "TextDecoder.mlmodelc/weights.safetensors") << "cut"; }},
        {"AudioEncoder.mlmodelc", [](const fs::path& f) { std::ofstream(f / "AudioEncoder.mlmodelc/model.json") << "not json"; }},
        {"MelSpectrogram.mlmodelc", [](const fs::path& f) { fs::remove_all(f / "MelSpectrogram.mlmodelc"); }},
        {"config.json", [](const fs::path& f) { std::ofstream(f / "config.json") << "{}"; }},
        {"tokenizer.json", [](const fs::path& f) { fs::remove(f / "tokenizer.json"); }},
        {"tokenizer_config.json", [](const fs::path& f) { std::ofstream(f / "tokenizer_config.json") << "[1"; }},
    };
    CheckpointInstaller::install(client(), "openai/whisper-large-v3-turbo", variant());
    for (const auto& c : cases) {
        c.spoil(variant());
        const auto before = identities();
        const size_t gets = hub.hub.bodyGets().size();
        int conversions = 0;
        CheckpointInstaller::install(client(), "openai/whisper-large-v3-turbo", variant(), {}, [&] { ++conversions; });
        EXPECT_EQ(conversions, 1) << c.entry;
        EXPECT_EQ(hub.hub.bodyGets().size(), gets) << "the cached checkpoint serves: " << c.entry;
        const auto after = identities();
        for (const auto& [entry, identity] : before) {
            if (entry == c.entry) {
                EXPECT_NE(after.at(entry), identity) << entry << " is made again";
            } else {
                EXPECT_EQ(after.at(entry), identity) << entry << " stays as it was, repairing " << c.entry;
            }
        }
        for (const char* stage : {"MelSpectrogram", "AudioEncoder", "TextDecoder"})
            EXPECT_NO_THROW(platform::ml::Model::load(variant() / (std::string(stage) + ".mlmodelc"))) << c.entry;
        EXPECT_EQ(siblings(), std::vector<fs::path>{variant().filename()}) << c.entry;
    }
}

TEST_F(Installer, AFolderThatFailsToLoadForWantOfMemoryIsLeftAloneAndTheErrorPassedOn) {
    CheckpointInstaller::install(client(), "openai/whisper-large-v3-turbo", variant());
    const auto before = identities();
    const size_t requests = hub.hub.server.requests().size();
    const fs::path encoder = variant() / "AudioEncoder.mlmodelc";
    platform::ml::ModelLoader::registerFolder(encoder, [](const fs::path&, const platform::ml::ModelConfiguration&)
                                                           -> std::shared_ptr<platform::ml::Model> {
        throw std::bad_alloc();
    });
    EXPECT_THROW(CheckpointInstaller::install(client(), "openai/whisper-large-v3-turbo", variant()), std::bad_alloc);
    platform::ml::ModelLoader::registerFolder(encoder, nullptr);
    EXPECT_EQ(identities(), before);
    EXPECT_EQ(hub.hub.server.requests().size(), requests);
}

TEST(CheckpointRepair, OnlyFilesMissingDamagedOrUnreadableAskForIt) {
    using platform::ml::ModelError;
    struct Case {
        std::exception_ptr error;
        bool repair;
    };
    const Case cases[] = {
        {std::make_exception_ptr(ModelError(ModelError::Kind::modelNotFound, "Tensor file not found: x")), true},
        {std::make_exception_ptr(ModelError(ModelError::Kind::invalidModel, "Invalid tensor file x")), true},
        {std::make_exception_ptr(WhisperError::modelsUnavailable("Model file not found at x")), true},
        {std::make_exception_ptr(std::bad_alloc()), false},
        {std::make_exception_ptr(std::system_error(ENOMEM, std::generic_category(), "Cannot open x")), false},
        {std::make_exception_ptr(ModelError(ModelError::Kind::predictionFailed, "x")), false},
        {std::make_exception_ptr(WhisperError::tokenizerUnavailable("Tokenizer is unavailable")), false},
        {std::make_exception_ptr(std::runtime_error("x")), false},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        try {
            std::rethrow_exception(cases[i].error);
        } catch (const std::exception& error) {
            EXPECT_EQ(CheckpointInstaller::needsRepair(error), cases[i].repair) << i << " " << error.what();
        }
    }
}

TEST_F(Installer, AStopDuringTheConversionEndsItAndLeavesNothing) {
    // The stop comes once every file is fetched, as Ctrl+C during a long
    // conversion would.
    std::stop_source stop;
    EXPECT_THROW(CheckpointInstaller::install(client(), "openai/whisper-large-v3-turbo", variant(), {},
                                              [&] { stop.request_stop(); }, stop.get_token()),
                 platform::CancellationError);
    EXPECT_FALSE(fs::exists(variant()));
    EXPECT_TRUE(siblings().empty());

    // The fetched checkpoint is kept: the next install only converts.
    const size_t gets = hub.hub.bodyGets().size();
    CheckpointInstaller::install(client(), "openai/whisper-large-v3-turbo", variant());
    for (const char* entry : kWholeModel) EXPECT_TRUE(fs::exists(variant() / entry)) << entry;
    EXPECT_EQ(hub.hub.bodyGets().size(), gets);
}

TEST_F(Installer, AStopEndsTheWaitForAnotherInstallOfTheSameFolder) {
    // Another process installs into the same models folder.
    fs::create_directories(variant().parent_path());
    std::optional<platform::FolderLock> other(std::in_place, variant().parent_path());
    std::stop_source stop;
    auto installing = std::async(std::launch::async, [&] {
        CheckpointInstaller::install(client(), "openai/whisper-large-v3-turbo", variant(), {}, {}, stop.get_token());
    });
    stop.request_stop();
    const bool ended = installing.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    other.reset();  // a stuck install goes on, so that the test ends either way
    EXPECT_TRUE(ended) << "still waiting for the other install";
    EXPECT_THROW(installing.get(), platform::CancellationError);
    EXPECT_FALSE(fs::exists(variant()));
}
