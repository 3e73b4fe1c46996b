#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "writing/VoiceGate.hpp"

using ParloxCore::VoiceGate;

TEST(VoiceGate, PeakLevel) {
    EXPECT_EQ(VoiceGate::peakLevel({}, 16000), -INFINITY);
    EXPECT_EQ(VoiceGate::peakLevel(std::vector<float>(1600, 0.0f), 16000), -INFINITY);
    EXPECT_NEAR(VoiceGate::peakLevel(std::vector<float>(1600, 1.0f), 16000), 0.0f, 1e-4);
    EXPECT_NEAR(VoiceGate::peakLevel(std::vector<float>(1600, 0.005f), 16000), -46.02f, 0.01);
    EXPECT_FALSE(VoiceGate::hasSpeech(std::vector<float>(1600, 0.005f), 16000));
    EXPECT_NEAR(VoiceGate::peakLevel(std::vector<float>(1600, 0.01f), 16000), -40.0f, 0.01);
    EXPECT_TRUE(VoiceGate::hasSpeech(std::vector<float>(1600, 0.01f), 16000));
    EXPECT_FALSE(VoiceGate::hasSpeech({}, 16000));
}

TEST(VoiceGate, OneShortBurstIsEnough) {
    std::vector<float> samples(16000 * 10, 0.0f);
    for (int i = 0; i < 800; ++i) samples[16000 * 5 + i] = (i % 2 ? 0.3f : -0.3f);
    EXPECT_TRUE(VoiceGate::hasSpeech(samples, 16000));
    // The last window may be short and still counts on its own.
    std::vector<float> tail(801, 0.0f);
    tail.back() = 0.5f;
    EXPECT_NEAR(VoiceGate::peakLevel(tail, 16000), 20 * std::log10(0.5f), 1e-4);
}

TEST(VoiceGate, Hallucinations) {
    struct Case {
        const char* text;
        bool expected;
    };
    const Case cases[] = {
        {"\u00A1Gracias!", true},
        {"  Muchas   gracias. ", true},
        {"MUCHAS GRACIAS", true},
        {"Suscríbete", true},
        {"Thanks for watching!", true},
        {"Gracias por ver el vídeo.", true},
        {"gracias, Juan", false},
        {"...!?", true},
        {"", true},
        {"Gracias por\nver", false},
        {"Hola, ¿qué tal?", false},
        // The credit lines of a subtitling site, as the speech model writes them from silence.
        {"Subtítulos realizados por la comunidad de Amara.org", true},
        {"Subtítulos por la comunidad de Amara.org", true},
        {"Subtitulado por la comunidad de Amara.org", true},
        {"Más información en www.amara.org", true},
        {"Subtítulos realizados por la comunidad", false},
        {"Más información en www.ejemplo.org", false},
    };
    for (const auto& c : cases) EXPECT_EQ(VoiceGate::isHallucination(c.text), c.expected) << c.text;
}
