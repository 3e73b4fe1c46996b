#include <gtest/gtest.h>

#include <QLabel>

#include "app/Interface/WindowParts.hpp"
#include "app/Interface/WriterCheckViews.hpp"
#include "tests/app/Interface/InterfaceTestSupport.hpp"
#include "tests/app/ui/QtTestSupport.hpp"

namespace Parlox {
namespace {

using interface_test::chatGPT;
using interface_test::claude;

// One row per state: the line's words and colour, and the button's title,
// whether it is enabled and what pressing it does.
TEST(WriterCheckViews, LineAndButtonFollowTheState) {
    ui_test::application();
    const Theme theme = Theme::light();
    struct Row {
        WriterCheck check;
        WriterProvider provider;
        QString line;
        bool orange;
        QString button;
        bool enabled;
        std::string pressed;
    };
    const Row rows[] = {
        {WriterCheck::idle(), chatGPT, "Sin comprobar", false, "Probar", true, "test"},
        {WriterCheck::running(), claude, "Comprobando…", false, "Probar", false, ""},
        {WriterCheck::ok(12.34), chatGPT, "Responde en 12,3 s", false, "Probar", true, "test"},
        {WriterCheck::ok(0.96), claude, "Responde en 1,0 s", false, "Probar", true, "test"},
        {WriterCheck::failed(""), chatGPT, "", true, "Probar", true, "test"},
        {WriterCheck::failed("Sin cuota"), claude, "Sin cuota", true, "Probar", true, "test"},
        {WriterCheck::needsInstall(), chatGPT, "Falta Codex, la herramienta de ChatGPT.", true, "Instalar", true,
         "install chatgpt"},
        {WriterCheck::needsInstall(), claude,
         "Falta Claude Code. «Instalar» lo hace en un terminal y luego te pide entrar.", true, "Instalar", true,
         "install claude"},
        {WriterCheck::needsLogin(), chatGPT, "Falta entrar con tu cuenta de ChatGPT. Se hace en el navegador.", true,
         "Iniciar sesión", true, "login chatgpt"},
        {WriterCheck::needsLogin(), claude, "Falta entrar con tu cuenta de Claude. Se hace en el navegador.", true,
         "Iniciar sesión", true, "login claude"},
        {WriterCheck::needsPlan(), chatGPT, "Claude Code no va con el plan gratuito de Claude. Hace falta Pro o Max.",
         true, "Ver planes", true, "plans"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line.toStdString());
        WriterCheckLine line(row.check, row.provider, theme);
        EXPECT_EQ(line.label()->text(), row.line);
        EXPECT_EQ(line.label()->palette().color(QPalette::WindowText), row.orange ? theme.orange() : theme.secondary());
        EXPECT_EQ(line.label()->wordWrap(), row.orange);
        EXPECT_EQ(line.findChildren<ProgressSpinner*>().size(), row.check.kind == WriterCheck::Kind::running ? 1 : 0);
        EXPECT_EQ(line.findChildren<SymbolView*>().size(), row.check.kind == WriterCheck::Kind::ok ? 1 : 0);

        interface_test::RecordedActions recorded;
        int tests = 0;
        WriterCheckButton button(row.check, row.provider, [&] { ++tests; }, recorded.actions());
        EXPECT_EQ(button.text(), row.button);
        EXPECT_EQ(button.isEnabled(), row.enabled);
        button.click();
        if (row.pressed == "test") {
            EXPECT_EQ(tests, 1);
            EXPECT_TRUE(recorded.opened.empty());
        } else {
            EXPECT_EQ(tests, 0);
            EXPECT_EQ(recorded.opened, row.pressed.empty() ? std::vector<std::string>{}
                                                           : std::vector<std::string>{row.pressed});
        }
    }
}

}  // namespace
}  // namespace Parlox
