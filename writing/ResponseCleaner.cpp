#include "writing/ResponseCleaner.hpp"

#include <algorithm>
#include <vector>

#include "platform/foundation/Trim.hpp"
#include "platform/foundation/Unicode.hpp"

namespace ParloxCore {
namespace {

using platform::trimmingWhitespaceAndNewlines;

std::string replacingAll(const std::string& text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (;;) {
        std::size_t pos = text.find(from, start);
        if (pos == std::string::npos) break;
        out.append(text, start, pos - start);
        out.append(to);
        start = pos + from.size();
    }
    out.append(text, start, std::string::npos);
    return out;
}

std::vector<std::string> splitKeepingEmpty(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find(separator, start);
        if (end == std::string::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::string join(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) out += separator;
        out += parts[i];
    }
    return out;
}

std::string concat(std::vector<std::string>::const_iterator first,
                   std::vector<std::string>::const_iterator last) {
    std::string out;
    for (; first != last; ++first) out += *first;
    return out;
}

bool isFence(const std::vector<std::string>& chars, std::size_t from) {
    for (std::size_t i = from; i < from + 3; ++i) {
        if (chars[i] != "`") return false;
    }
    return true;
}

}  // namespace

std::string ResponseCleaner::clean(std::string_view text) {
    std::string s = replacingAll(std::string(text), "\r\n", "\n");
    s = trimmingWhitespaceAndNewlines(s);
    s = removingCodeFence(s);
    s = removingWrappingQuotes(s);

    auto lines = splitKeepingEmpty(s, '\n');
    for (auto& line : lines) line = platform::trimmingTrailingAscii(line, platform::kSpacesAndTabs);
    s = join(lines, "\n");

    while (s.find("\n\n\n") != std::string::npos) s = replacingAll(s, "\n\n\n", "\n\n");
    return trimmingWhitespaceAndNewlines(s);
}

std::string ResponseCleaner::removingCodeFence(const std::string& text) {
    auto chars = platform::graphemeClusters(text);
    if (chars.size() < 6 || !isFence(chars, 0) || !isFence(chars, chars.size() - 3)) return text;

    auto lines = splitKeepingEmpty(text, '\n');
    if (lines.size() == 1) {
        return trimmingWhitespaceAndNewlines(concat(chars.begin() + 3, chars.end() - 3));
    }
    lines.erase(lines.begin());
    std::string& last = lines.back();
    if (last == "```") {
        lines.pop_back();
    } else {
        auto lastChars = platform::graphemeClusters(last);
        last = concat(lastChars.begin(), lastChars.end() - std::min<std::size_t>(3, lastChars.size()));
    }
    return trimmingWhitespaceAndNewlines(join(lines, "\n"));
}

std::string ResponseCleaner::removingWrappingQuotes(const std::string& text) {
    static const std::pair<std::string, std::string> marks[] = {
        {"\"", "\""},
        {"\u201C", "\u201D"},
        {"\u00AB", "\u00BB"},
        {"'", "'"},
        {"\u2018", "\u2019"},
        {"\u201E", "\u201C"},
    };
    auto chars = platform::graphemeClusters(text);
    if (chars.size() < 2) return text;
    for (const auto& [open, close] : marks) {
        if (chars.front() != open || chars.back() != close) continue;
        auto first = chars.begin() + 1;
        auto last = chars.end() - 1;
        if (std::find(first, last, close) != last) return text;
        if (open != close && std::find(first, last, open) != last) return text;
        return trimmingWhitespaceAndNewlines(concat(first, last));
    }
    return text;
}

}  // namespace ParloxCore
