#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ZezeziCore/External/Tokenizers/Regex.hpp"

// Search-and-split operations on UTF-8 text. A pattern is either plain text
// (exact search) or an ICU regular expression. After an empty match the search
// resumes one character further, so every operation ends.
namespace Tokenizers {

enum class SearchOptions { none = 0, regularExpression = 1024 };

enum class SplitDelimiterBehavior { removed, isolated, mergedWithPrevious, mergedWithNext };

// A plain or regular-expression pattern, compiled once.
class SearchPattern {
public:
    static SearchPattern plain(std::string text);
    // Throws TokenizerError.mismatchedConfig("Cannot build regexp from " + pattern).
    static SearchPattern regex(std::string_view pattern);
    static SearchPattern regex(Regex compiled);
    SearchPattern(std::string_view pattern, SearchOptions options);

    std::optional<Regex::Range> firstMatch(std::string_view text, std::size_t from) const;

    // Successive searches over one text.
    class Searcher {
    public:
        Searcher(const SearchPattern& pattern, std::string_view text);
        std::optional<Regex::Range> find(std::size_t from);

    private:
        const SearchPattern& pattern_;
        std::string_view text_;
        std::optional<Regex::Cursor> cursor_;
    };

private:
    SearchPattern() = default;
    std::string plain_;
    std::optional<Regex> regex_;
};

std::vector<Regex::Range> ranges(std::string_view text, const SearchPattern& pattern);
std::vector<std::string> rangeTexts(std::string_view text, const SearchPattern& pattern);

// Empty pieces are always omitted.
std::vector<std::string> split(std::string_view text, const SearchPattern& pattern, bool includeSeparators);
std::vector<std::string> split(std::string_view text, const SearchPattern& pattern, SplitDelimiterBehavior behavior);
// Each match, an empty one included, cuts the text and contributes its
// highest-numbered participating group (else the whole match); no match gives
// the whole text, even when it is empty.
std::vector<std::string> split(std::string_view text, const Regex& regex);

}  // namespace Tokenizers
