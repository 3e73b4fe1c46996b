#include "DovuzudUza/Core/Audio/AudioLog.hpp"

#include <charconv>
#include <cmath>

namespace DovuzudUza::AudioLog {

namespace {
template <class T>
std::string shortest(T value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char text[64];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    std::string s(text, ec == std::errc() ? end : text);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}
}  // namespace

std::string number(double value) { return shortest(value); }
std::string number(float value) { return shortest(value); }

std::string fixed2(double value) {
    if (!std::isfinite(value)) return shortest(value);
    char text[64];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
    return ec == std::errc() ? std::string(text, end) : std::string();
}

}  // namespace DovuzudUza::AudioLog
