#include "app/Context/CapturedContext.hpp"

namespace Parlox {

std::string CapturedContext::Method::rawValue() const {
    switch (value_) {
        case accessibility:
            return "Accesibilidad";
        case clipboard:
            return "\u2318C";
        case none:
            return "ninguno";
    }
    return {};
}

std::optional<CapturedContext::Method> CapturedContext::Method::fromRawValue(std::string_view raw) {
    for (Value value : allCases())
        if (Method(value).rawValue() == raw) return Method(value);
    return std::nullopt;
}

}  // namespace Parlox
