#include "platform/foundation/NumberFormat.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace platform {

// std::to_chars and std::from_chars never consult a locale.

namespace {

std::string fixed(double value, int decimals) {
    if (decimals < 0) decimals = 0;
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    std::string buffer(32 + 400 + static_cast<size_t>(decimals), '\0');
    auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                std::chars_format::fixed, decimals);
    buffer.resize(static_cast<size_t>(result.ptr - buffer.data()));
    return buffer;
}

}  // namespace

std::string formatFixed(double value, int decimals, int width) {
    std::string text = fixed(value, decimals);
    if (width > 0 && text.size() < static_cast<size_t>(width)) text.insert(0, static_cast<size_t>(width) - text.size(), ' ');
    return text;
}

std::string formatInteger(int64_t value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string formatUnsigned(uint64_t value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

namespace {

template <class T>
std::string shortest(T value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

}  // namespace

std::string formatShortest(double value) { return shortest(value); }

std::string formatShortest(float value) { return shortest(value); }

std::string formatSignificant(double value, int digits) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    if (digits < 1) digits = 1;
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general,
                                std::min(digits, 40));
    return std::string(buffer, result.ptr);
}

namespace {

// The whole text, an optional '+' included, must be one number.
template <class T>
std::optional<T> parseWhole(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return std::nullopt;
    T value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<double> parseDouble(std::string_view text) { return parseWhole<double>(text); }

std::optional<int64_t> parseInteger(std::string_view text) { return parseWhole<int64_t>(text); }

}  // namespace platform
