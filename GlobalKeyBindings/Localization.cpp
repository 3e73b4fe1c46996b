#include "GlobalKeyBindings/Localization.hpp"

#include <utility>

namespace GlobalKeyBindings {
namespace {

constexpr std::pair<std::string_view, std::string_view> kTexts[] = {
    // Keys and modifiers as this desktop names them.
    {"space_key", "Espacio"},
    {"control_key", "Ctrl"},
    {"option_key", "Alt"},
    {"shift_key", "Mayús"},
    {"command_key", "Super"},
    {"return_key", "Intro"},
    {"delete_key", "Retroceso"},
    {"forward_delete_key", "Supr"},
    {"insert_key", "Insert"},
    {"home_key", "Inicio"},
    {"end_key", "Fin"},
    {"escape_key", "Esc"},
    {"tab_key", "Tab"},
    {"page_up_key", "RePág"},
    {"page_down_key", "AvPág"},
    {"up_arrow_key", "Arriba"},
    {"right_arrow_key", "Derecha"},
    {"down_arrow_key", "Abajo"},
    {"left_arrow_key", "Izquierda"},
    {"num_lock_key", "Bloq Num"},
    {"keypad_key", "Num %@"},
    {"record_shortcut", "Grabar atajo"},
    {"press_shortcut", "Pulsa el atajo"},
    {"keyboard_shortcut_used_by_menu_item", "Este atajo ya lo usa «%@» en los menús de la app."},
    {"keyboard_shortcut_disallowed", "Este atajo no se puede usar."},
    {"keyboard_shortcut_used_by_system", "Este atajo ya lo usa el sistema."},
    {"keyboard_shortcuts_can_be_changed",
     "Los atajos del sistema se cambian en la configuración del teclado del escritorio."},
    {"ok", "Aceptar"},
    {"force_use_shortcut", "Usarlo igualmente"},
};

}  // namespace

std::string localizedString(std::string_view key) {
    for (const auto& [k, text] : kTexts)
        if (k == key) return std::string(text);
    return std::string(key);
}

std::string localizedFormat(std::string_view key, std::string_view argument) {
    std::string text = localizedString(key);
    if (auto at = text.find("%@"); at != std::string::npos) text.replace(at, 2, argument);
    return text;
}

}  // namespace GlobalKeyBindings
