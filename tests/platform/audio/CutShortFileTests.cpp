#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/audio/CutShortFile.hpp"
#include "platform/audio/fake/WavWriter.hpp"
#include "tests/support/ReadFile.hpp"
#include "tests/support/TemporaryFolder.hpp"

using parlox::testing::TemporaryFolder;

TEST(CutShortFile, CopiesEndingBeforeTheirAnnouncedAudioAreToldApart) {
    TemporaryFolder tmp;
    const auto wav = (tmp.path() / "whole.wav").string();
    platform::audio::writeWav16(wav, std::vector<float>(16000, 0.25f), 16000, 1);
    const auto ogg = (tmp.path() / "whole.ogg").string();
    ASSERT_EQ(std::system(("ffmpeg -v error -y -i '" + wav + "' -c:a libopus '" + ogg + "' >/dev/null 2>&1").c_str()), 0);
    const auto flac = (tmp.path() / "whole.flac").string();
    ASSERT_EQ(std::system(("ffmpeg -v error -y -i '" + wav + "' '" + flac + "' >/dev/null 2>&1").c_str()), 0);

    struct Case {
        std::string name;
        std::string source;  // a file whose first `keep` bytes make the case (all when 0)
        size_t keep;
        bool cutShort;
    };
    const std::string wavBytes = parlox::testing::readFile(wav);
    const std::string oggBytes = parlox::testing::readFile(ogg);
    const Case cases[] = {
        {"whole.wav", wav, 0, false},
        {"half.wav", wav, wavBytes.size() / 2, true},
        {"header-only.wav", wav, 40, true},
        {"whole.ogg", ogg, 0, false},
        {"half.ogg", ogg, oggBytes.size() / 2, true},
        {"last-byte-missing.ogg", ogg, oggBytes.size() - 1, true},
        // Other containers are left to their decoders; text and nothing are not audio at all.
        {"half.flac", flac, parlox::testing::readFile(flac).size() / 2, false},
        {"text.wav", "", 0, false},
        {"missing.wav", "", 0, false},
    };
    tmp.writeFile("text.wav", "RIFF? no, just text\n");
    for (const auto& c : cases) {
        if (!c.source.empty() && c.keep) tmp.writeFile(c.name, parlox::testing::readFile(c.source).substr(0, c.keep));
        const auto path = c.keep || c.source.empty() ? (tmp.path() / c.name).string() : c.source;
        EXPECT_EQ(platform::audio::isCutShort(path), c.cutShort) << c.name;
    }
}
