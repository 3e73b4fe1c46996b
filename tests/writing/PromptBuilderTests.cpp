#include <string>

#include <gtest/gtest.h>

#include "writing/PromptBuilder.hpp"

using namespace ParloxCore;

namespace {

std::size_t count(const std::string& text, const std::string& word) {
    std::size_t n = 0;
    for (auto pos = text.find(word); pos != std::string::npos; pos = text.find(word, pos + 1)) ++n;
    return n;
}

}  // namespace

TEST(GenerationRequest, OptionalFieldsStartAbsentAndTakePartInEquality) {
    GenerationRequest request{.instruction = "hola", .personalInstructions = "p"};
    EXPECT_FALSE(request.baseText);
    EXPECT_FALSE(request.appName);
    EXPECT_FALSE(request.previous);
    EXPECT_FALSE(request.screenshot);
    GenerationRequest withShot = request;
    withShot.screenshot = "/tmp/x.jpg";
    EXPECT_NE(request, withShot);
    GenerationRequest withRound = request;
    withRound.previous = Iteration{"a", "b", "c"};
    EXPECT_NE(request, withRound);
    EXPECT_EQ(request, GenerationRequest(request));
}

TEST(PromptBuilder, SystemInstructionsHaveTheirShape) {
    const std::string& text = PromptBuilder::systemInstructions;
    EXPECT_EQ(count(text, "\n"), 9u);
    EXPECT_NE(text.back(), '\n');
    EXPECT_EQ(count(text, "Tavi"), 3u);
    EXPECT_NE(text.find("Devuelve SOLO el texto final listo para pegar"), std::string::npos);
    EXPECT_NE(text.find("[corchetes]"), std::string::npos);
    auto firstLine = text.substr(0, text.find('\n'));
    auto lastLine = text.substr(text.rfind('\n') + 1);
    EXPECT_NE(firstLine.find("Tavi"), std::string::npos);
    EXPECT_NE(lastLine.find("Tavi"), std::string::npos);
    EXPECT_EQ(PromptBuilder::defaultPersonalInstructions,
              "No uses rayas ni guiones largos (—). Tutea salvo que se pida lo contrario.");
}

TEST(PromptBuilder, UserPromptBlocks) {
    struct Case {
        const char* name;
        GenerationRequest request;
        std::string expected;
    };
    const Case cases[] = {
        {"minimal", {.instruction = "  escribe hola \n", .personalInstructions = ""}, "<instruccion>escribe hola</instruccion>"},
        {"blank personal and app",
         {.instruction = "x", .appName = " \t\n", .personalInstructions = "  \n "},
         "<instruccion>x</instruccion>"},
        {"all blocks in order",
         {.instruction = "hazlo formal",
          .baseText = "\n  texto  \n",
          .appName = " Correo ",
          .personalInstructions = " tutea ",
          .previous = Iteration{"", "resume", "corto"},
          .screenshot = "/tmp/s.jpg"},
         "<instrucciones_personales>tutea</instrucciones_personales>\n"
         "<app_activa>Correo</app_activa>\n"
         "<iteracion_previa><original>(no había texto)</original>\n"
         "<instruccion_anterior>resume</instruccion_anterior>\n"
         "<resultado_anterior>corto</resultado_anterior></iteracion_previa>\n"
         "<captura>Adjunta: la ventana activa al pulsar el atajo. Solo contexto.</captura>\n"
         "<texto_base>\n  texto  \n</texto_base>\n"
         "<instruccion>hazlo formal</instruccion>"},
        {"blank original kept as is",
         {.instruction = "i", .personalInstructions = "", .previous = Iteration{"   ", " a ", " b "}},
         "<iteracion_previa><original>   </original>\n<instruccion_anterior> a </instruccion_anterior>\n"
         "<resultado_anterior> b </resultado_anterior></iteracion_previa>\n<instruccion>i</instruccion>"},
        {"blank base text dropped",
         {.instruction = "", .baseText = " \n\t", .personalInstructions = ""},
         "<instruccion></instruccion>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PromptBuilder::userPrompt(c.request), c.expected) << c.name;
    }
}
