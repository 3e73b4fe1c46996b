#include "ZezeziCore/External/Tokenizers/StringSearch.hpp"

#include "ZezeziCore/External/Tokenizers/TextUnits.hpp"
#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"

namespace Tokenizers {

SearchPattern SearchPattern::plain(std::string text) {
    SearchPattern p;
    p.plain_ = std::move(text);
    return p;
}

SearchPattern SearchPattern::regex(std::string_view pattern) {
    auto compiled = Regex::compile(pattern);
    if (!compiled) throw TokenizerError::mismatchedConfig("Cannot build regexp from " + std::string(pattern));
    return regex(std::move(*compiled));
}

SearchPattern SearchPattern::regex(Regex compiled) {
    SearchPattern p;
    p.regex_ = std::move(compiled);
    return p;
}

SearchPattern::SearchPattern(std::string_view pattern, SearchOptions options) {
    if (options == SearchOptions::regularExpression)
        *this = regex(pattern);
    else
        plain_ = std::string(pattern);
}

std::optional<Regex::Range> SearchPattern::firstMatch(std::string_view text, std::size_t from) const {
    if (regex_) return regex_->firstMatch(text, from);
    // An empty plain pattern finds nothing.
    if (plain_.empty() || from > text.size()) return std::nullopt;
    std::size_t hit = text.find(plain_, from);
    if (hit == std::string_view::npos) return std::nullopt;
    return Regex::Range{hit, hit + plain_.size()};
}

SearchPattern::Searcher::Searcher(const SearchPattern& pattern, std::string_view text) : pattern_(pattern), text_(text) {
    if (pattern.regex_) cursor_.emplace(*pattern.regex_, text);
}

std::optional<Regex::Range> SearchPattern::Searcher::find(std::size_t from) {
    if (cursor_) return cursor_->find(from);
    return pattern_.firstMatch(text_, from);
}

std::vector<Regex::Range> ranges(std::string_view text, const SearchPattern& pattern) {
    std::vector<Regex::Range> out;
    SearchPattern::Searcher searcher(pattern, text);
    std::size_t p = 0;
    while (p <= text.size()) {
        auto m = searcher.find(p);
        if (!m) break;
        out.push_back(*m);
        if (m->upper > m->lower) {
            p = m->upper;
        } else {
            if (m->lower >= text.size()) break;
            p = text::nextCharacterBoundary(text, m->lower);
        }
    }
    return out;
}

std::vector<std::string> rangeTexts(std::string_view text, const SearchPattern& pattern) {
    std::vector<std::string> out;
    for (const auto& r : ranges(text, pattern))
        if (r.upper > r.lower) out.emplace_back(text.substr(r.lower, r.upper - r.lower));
    return out;
}

std::vector<std::string> split(std::string_view text, const SearchPattern& pattern, bool includeSeparators) {
    std::vector<std::string> out;
    std::size_t p = 0;       // start of the pending piece
    std::size_t search = 0;  // where the next search starts
    SearchPattern::Searcher searcher(pattern, text);
    while (search <= text.size()) {
        auto m = searcher.find(search);
        if (!m) break;
        if (m->upper == m->lower) {
            // An empty match cuts nothing; look one character further.
            if (m->lower >= text.size()) break;
            search = text::nextCharacterBoundary(text, m->lower);
            continue;
        }
        if (m->lower > p) out.emplace_back(text.substr(p, m->lower - p));
        if (includeSeparators) out.emplace_back(text.substr(m->lower, m->upper - m->lower));
        p = search = m->upper;
    }
    if (p < text.size()) out.emplace_back(text.substr(p));
    return out;
}

std::vector<std::string> split(std::string_view text, const SearchPattern& pattern, SplitDelimiterBehavior behavior) {
    switch (behavior) {
        case SplitDelimiterBehavior::removed: return split(text, pattern, false);
        case SplitDelimiterBehavior::isolated: return split(text, pattern, true);
        case SplitDelimiterBehavior::mergedWithPrevious: {
            std::vector<std::string> out;
            std::size_t c = 0;
            for (const auto& r : ranges(text, pattern)) {
                if (r.upper > c) out.emplace_back(text.substr(c, r.upper - c));
                c = std::max(c, r.upper);
            }
            if (c < text.size()) out.emplace_back(text.substr(c));
            return out;
        }
        case SplitDelimiterBehavior::mergedWithNext: {
            std::vector<std::string> out;
            std::size_t c = 0;
            for (const auto& r : ranges(text, pattern)) {
                if (r.lower == 0) continue;
                if (r.lower > c) out.emplace_back(text.substr(c, r.lower - c));
                c = std::max(c, r.lower);
            }
            if (c < text.size()) out.emplace_back(text.substr(c));
            return out;
        }
    }
    return {};
}

std::vector<std::string> split(std::string_view text, const Regex& regex) {
    auto matches = regex.matches(text);
    if (matches.empty()) return {std::string(text)};
    std::vector<std::string> out;
    std::size_t q = 0;
    for (const auto& m : matches) {
        const auto& whole = m.groups[0];
        if (!whole || whole->lower < q) continue;
        // An empty match cuts too: the text before it ends there and the
        // match adds its own (empty) piece.
        if (q < whole->lower) out.emplace_back(text.substr(q, whole->lower - q));
        for (std::size_t g = m.groups.size(); g-- > 0;) {
            if (m.groups[g]) {
                out.emplace_back(text.substr(m.groups[g]->lower, m.groups[g]->upper - m.groups[g]->lower));
                break;
            }
        }
        q = whole->upper;
    }
    if (q < text.size()) out.emplace_back(text.substr(q));
    return out;
}

}  // namespace Tokenizers
