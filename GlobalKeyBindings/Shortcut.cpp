#include "GlobalKeyBindings/Shortcut.hpp"

#include <cstdlib>

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"
#include "GlobalKeyBindings/SpecialKey.hpp"
#include "platform/foundation/Unicode.hpp"
#include "platform/input/CarbonModifiers.hpp"

namespace GlobalKeyBindings {
namespace {

std::int64_t knownBits(std::int64_t carbon) {
    return ModifierFlags::fromCarbon(carbon).carbon();
}

const MenuItem* findInMenu(const std::vector<MenuItem>& menu, const std::optional<std::string>& key,
                           ModifierFlags modifiers) {
    for (const auto& item : menu) {
        std::string keyEquivalent = item.keyEquivalent;
        ModifierFlags mask = item.keyEquivalentModifierMask;
        if (modifiers.contains(ModifierFlags::shift)) {
            const std::string lower = platform::lowercased(keyEquivalent);
            if (lower != keyEquivalent) {
                keyEquivalent = lower;
                mask = mask | ModifierFlags::shift;
            }
        }
        if (key && keyEquivalent == *key && mask == modifiers) return &item;
        if (!item.submenu.empty())
            if (const MenuItem* found = findInMenu(item.submenu, key, modifiers)) return found;
    }
    return nullptr;
}

}  // namespace

Shortcut::Shortcut(std::int64_t keyCode, std::int64_t modifiers)
    : carbonKeyCode(keyCode), carbonModifiers(knownBits(modifiers)) {}

Shortcut::Shortcut(Key key, ModifierFlags modifiers)
    : carbonKeyCode(key.rawValue), carbonModifiers(modifiers.carbon()) {}

std::optional<Shortcut> Shortcut::fromEvent(const KeyEvent& event) {
    if (event.type != KeyEvent::Type::keyDown && event.type != KeyEvent::Type::keyUp)
        return std::nullopt;
    return Shortcut(Key(event.keyCode), event.modifierFlags.removing(ModifierFlags::function));
}

std::optional<Shortcut> Shortcut::named(const Name& name) { return getShortcut(name); }

std::optional<std::string> keyToCharacter(Key key) {
    const platform::input::KeyLayout* layout = detail::currentKeyLayout();
    if (!layout) return std::nullopt;
    if (specialKey(key)) return std::nullopt;
    if (key.rawValue < 0 || key.rawValue > 0xFFFF) return std::nullopt;
    auto text = layout->characters(static_cast<int>(key.rawValue));
    if (!text || platform::graphemeCount(*text) != 1) return std::nullopt;
    return text;
}

std::string Shortcut::presentableDescription() const {
    std::string keyText;
    if (auto special = specialKey(key())) {
        keyText = special->presentableDescription;
    } else if (auto character = keyToCharacter(key())) {
        keyText = platform::uppercased(*character);
    } else {
        keyText = "\uFFFD";
    }
    return modifiers().presentableDescription() + keyText;
}

std::optional<std::string> Shortcut::menuItemKeyEquivalent() const {
    if (auto special = specialKey(key())) return special->menuItemKeyEquivalent;
    return keyToCharacter(key());
}

std::vector<Shortcut> Shortcut::system() {
    std::vector<Shortcut> list;
    const platform::input::SystemShortcuts* source = detail::currentSystemShortcuts();
    if (!source) return list;
    const auto& synthesized = Key::keysWithSynthesizedFunctionModifier();
    for (const auto& entry : source->enabledShortcuts()) {
        std::int64_t modifiers = knownBits(entry.carbonModifiers);
        if (synthesized.count(Key(entry.carbonKeyCode)))
            modifiers &= ~static_cast<std::int64_t>(platform::input::carbon::function);
        list.emplace_back(entry.carbonKeyCode, modifiers);
    }
    return list;
}

bool Shortcut::isTakenBySystem() const {
    if (carbonKeyCode == Key::f12.rawValue && carbonModifiers == 0) return false;
    for (const auto& s : system())
        if (s == *this) return true;
    return false;
}

const MenuItem* Shortcut::menuItemWithMatchingShortcut(const std::vector<MenuItem>& menu) const {
    return findInMenu(menu, menuItemKeyEquivalent(), modifiers());
}

bool Shortcut::isSandboxed() {
    static const bool sandboxed = std::getenv("APP_SANDBOX_CONTAINER_ID") != nullptr;
    return sandboxed;
}

void to_json(nlohmann::json& json, const Shortcut& shortcut) {
    json = nlohmann::json::object();
    json["carbonKeyCode"] = shortcut.carbonKeyCode;
    json["carbonModifiers"] = shortcut.carbonModifiers;
}

namespace {

std::int64_t integerMember(const nlohmann::json& json, const char* name) {
    const auto& value = json.at(name);
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() && value.get<std::uint64_t>() > INT64_MAX)
            throw nlohmann::json::type_error::create(302, std::string(name) + " is out of range",
                                                     &json);
        return value.get<std::int64_t>();
    }
    throw nlohmann::json::type_error::create(302, std::string(name) + " is not an integer", &json);
}

}  // namespace

void from_json(const nlohmann::json& json, Shortcut& shortcut) {
    shortcut = Shortcut(integerMember(json, "carbonKeyCode"), integerMember(json, "carbonModifiers"));
}

std::string encodeShortcut(const Shortcut& shortcut) {
    nlohmann::ordered_json json;
    json["carbonKeyCode"] = shortcut.carbonKeyCode;
    json["carbonModifiers"] = shortcut.carbonModifiers;
    return json.dump();
}

std::optional<Shortcut> decodeShortcut(const std::string& text) {
    const auto json = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded() || !json.is_object()) return std::nullopt;
    try {
        return Shortcut(integerMember(json, "carbonKeyCode"), integerMember(json, "carbonModifiers"));
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

}  // namespace GlobalKeyBindings
