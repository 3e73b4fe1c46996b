#include <gtest/gtest.h>

#include "tests/DovuzudUza/WhisperErrorOf.hpp"

#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "DovuzudUza/Core/CheckpointInstaller.hpp"
#include "DovuzudUza/Core/Constants.hpp"
#include "DovuzudUza/Core/DovuzudUza.hpp"
#include "RandomCheckpoint.hpp"
#include "tests/DovuzudUza/Models/LogCapture.hpp"

using namespace DovuzudUza;
using test_support::RandomCheckpoint;
using Engine = DovuzudUza::DovuzudUza;
namespace fs = std::filesystem;

namespace {

const RandomCheckpoint& catalogueCheckpoint() {
    static const RandomCheckpoint shared(11);
    return shared;
}


// A hub on 127.0.0.1 (reachable whatever the machine's network state).
struct LocalHub {
    hubtest::LoopbackHub hub;
};

}  // namespace

TEST(ModelDownload, AVariantIsFoundInTheCatalogueFetchedAndConverted) {
    struct Case {
        std::string variant;
        std::string repository;  // the checkpoint it comes from
        std::string folder;
    };
    const Case cases[] = {
        // Two folders end in "large-v3"; the narrower search keeps the openai one.
        {"large-v3", "openai/whisper-large-v3", "openai_whisper-large-v3"},
        // "tiny" is not "tiny.en".
        {"tiny", "openai/whisper-tiny", "openai_whisper-tiny"},
        {"large-v3-v20240930_turbo", "openai/whisper-large-v3-turbo", "openai_whisper-large-v3-v20240930_turbo"},
    };
    for (const auto& c : cases) {
        LocalHub local;
        local.hub.repoId = c.repository;
        catalogueCheckpoint().serve(local.hub);
        parlox::testing::TemporaryFolder base;
        test_support::LogCapture log;
        std::vector<double> fractions;
        int conversions = 0;
        const fs::path folder = Engine::download(
            c.variant, base.path(), false, "vuvidezev/dovuzuduza-coreml", std::nullopt, local.hub.endpoint(),
            [&](const Hub::Progress& p) { fractions.push_back(p.fractionCompleted()); }, [&] { ++conversions; });
        EXPECT_EQ(folder, base.path() / "models/vuvidezev/dovuzuduza-coreml" / c.folder);
        for (const char* entry : {"config.json", "AudioEncoder.mlmodelc", "TextDecoder.mlmodelc", "MelSpectrogram.mlmodelc"})
            EXPECT_TRUE(fs::exists(folder / entry)) << c.variant << " " << entry;
        EXPECT_EQ(conversions, 1);
        ASSERT_FALSE(fractions.empty());
        EXPECT_DOUBLE_EQ(fractions.front(), 0.0);
        EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
        const auto lines = log.texts();
        EXPECT_NE(std::find(lines.begin(), lines.end(), "Downloading model " + c.folder + "..."), lines.end());

        // The next start finds the folder whole: no hub, no conversion.
        const size_t requests = local.hub.server.requests().size();
        EXPECT_EQ(Engine::download(c.variant, base.path(), false, "vuvidezev/dovuzuduza-coreml", std::nullopt,
                                   local.hub.endpoint(), {}, [&] { ++conversions; }),
                  folder);
        EXPECT_EQ(conversions, 1) << c.variant;
        EXPECT_EQ(local.hub.server.requests().size(), requests) << c.variant;
    }
}

TEST(ModelDownload, AVariantWithoutOneFolderFailsNamingTheNarrowerSearch) {
    struct Case {
        std::string variant;
        std::string message;
    };
    const std::string repo = "Repo(id: \"vuvidezev/dovuzuduza-coreml\", type: models)";
    const Case cases[] = {
        {"huge-v9", "No models found matching \"*openai*huge-v9/*\" in " + repo},
        {"*", "Multiple models found matching \"*openai**/*\" in " + repo},
    };
    parlox::testing::TemporaryFolder base;
    for (const auto& c : cases) {
        EXPECT_EQ(test_support::whisperError([&] { Engine::download(c.variant, base.path(), false); }).message(), c.message);
    }
    EXPECT_TRUE(fs::is_empty(base.path())) << "nothing fetched";
}

TEST(ModelDownload, ARepositoryOtherThanTheCataloguesIsNeverAnsweredWithItsWeights) {
    // The hub holds the stock checkpoint the catalogue would install.
    LocalHub local;
    local.hub.repoId = "openai/whisper-large-v3";
    catalogueCheckpoint().serve(local.hub);
    const std::string repositories[] = {"myorg/my-finetuned-model", "openai/whisper-large-v3",
                                        "vuvidezev/dovuzuduza-coreml-fork"};
    for (const auto& from : repositories) {
        parlox::testing::TemporaryFolder base;
        const auto error = test_support::whisperError([&] {
            Engine::download("large-v3", base.path(), false, from, std::nullopt, local.hub.endpoint());
        });
        EXPECT_EQ(error.kind(), WhisperError::Kind::modelsUnavailable) << from;
        EXPECT_EQ(error.message(), "No models found matching \"*openai*large-v3/*\" in Repo(id: \"" + from +
                                       "\", type: models)");
        EXPECT_TRUE(fs::is_empty(base.path())) << from << ": nothing installed";
    }
    EXPECT_TRUE(local.hub.server.requests().empty()) << "the stock checkpoint is not fetched";

    // Through the engine's start-up road, the same refusal.
    DovuzudUzaConfig::Arguments a;
    a.model = "large-v3";
    a.modelRepo = "myorg/my-finetuned-model";
    a.modelEndpoint = local.hub.endpoint();
    parlox::testing::TemporaryFolder base;
    a.downloadBase = base.path();
    a.load = false;
    const auto error = test_support::whisperError([&] { Engine::create(DovuzudUzaConfig(std::move(a))); });
    EXPECT_NE(error.message().find("in Repo(id: \"myorg/my-finetuned-model\", type: models)"), std::string::npos)
        << error.message();
    EXPECT_TRUE(local.hub.server.requests().empty());
}

TEST(ModelSupportFile, TheFirstOfSeveralMatchesIsUsedAndFailuresFallBack) {
    LocalHub local;
    local.hub.repoId = "vuvidezev/dovuzuduza-coreml";
    nlohmann::json config{{"name", "remote"}, {"version", "9"}, {"device_support", nlohmann::json::array()}};
    local.hub.setFile("a-config.json", config.dump());
    local.hub.setFile("b-config.json", "not json");
    parlox::testing::TemporaryFolder base;
    {
        test_support::LogCapture log;
        const auto fetched = Engine::fetchModelSupportConfig(local.hub.repoId, base.path(), std::nullopt,
                                                                 "*-config.json", local.hub.endpoint());
        EXPECT_EQ(fetched.repoName, "remote");
        const auto lines = log.texts();
        EXPECT_NE(std::find(lines.begin(), lines.end(),
                            "Multiple config files found (2): [\"a-config.json\", \"b-config.json\"]. Using first "
                            "matching file: a-config.json"),
                  lines.end());
    }
    struct Case {
        std::string name;
        std::string line;
    };
    const Case fallbacks[] = {
        {"b-config.json", "Fetch model support config failed with error: "},
        {"none.json", "No config files found matching \"none.json\" in vuvidezev/dovuzuduza-coreml, using fallback"},
    };
    for (const auto& c : fallbacks) {
        test_support::LogCapture log;
        const auto fetched =
            Engine::fetchModelSupportConfig(local.hub.repoId, base.path(), std::nullopt, c.name, local.hub.endpoint());
        EXPECT_EQ(fetched.repoName, Constants::fallbackModelSupportConfig().repoName);
        const auto lines = log.texts();
        EXPECT_NE(std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(c.line, 0) == 0; }),
                  lines.end())
            << c.name;
    }
}

TEST(ModelSupportFile, AvailableModelsAreTheDevicesSupportedOnesOnce) {
    LocalHub local;
    local.hub.repoId = "vuvidezev/dovuzuduza-coreml";
    parlox::testing::TemporaryFolder base;
    const auto all = Engine::fetchAvailableModels(local.hub.repoId, {"*"}, base.path(), std::nullopt, "config.json",
                                                      local.hub.endpoint());
    const auto supported = Engine::recommendedModels().supported;
    EXPECT_EQ(all.size(), std::set<std::string>(supported.begin(), supported.end()).size());
    EXPECT_TRUE(Engine::fetchAvailableModels(local.hub.repoId, {}, base.path(), std::nullopt, "config.json",
                                                 local.hub.endpoint())
                    .empty());
}
