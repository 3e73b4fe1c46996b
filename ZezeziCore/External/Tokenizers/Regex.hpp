#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Tokenizers {

// A compiled ICU regular expression (no flags), shared read-only between
// threads; every search makes its own matcher. Positions are byte offsets
// into the UTF-8 text.
class Regex {
public:
    struct Range {
        std::size_t lower = 0;
        std::size_t upper = 0;
        bool operator==(const Range&) const = default;
    };
    struct Match {
        // groups[0] is the whole match; a group that took no part is absent.
        std::vector<std::optional<Range>> groups;
    };

    // Absent when the pattern does not compile.
    static std::optional<Regex> compile(std::string_view pattern);
    // The pattern matching `literal` exactly.
    static std::string escapedPattern(std::string_view literal);

    const std::string& pattern() const { return source_; }

    // The leftmost match starting at or after `from` (look-behind sees the
    // text before it).
    std::optional<Range> firstMatch(std::string_view text, std::size_t from) const;
    // Every match over the whole text, with its groups.
    std::vector<Match> matches(std::string_view text) const;
    // Template replacement of every match ($n is group n, \ escapes).
    std::string replaceAll(std::string_view text, std::string_view replacementTemplate) const;

    // Repeated searches over one text with one matcher.
    class Cursor {
    public:
        Cursor(const Regex& regex, std::string_view text);
        ~Cursor();
        Cursor(const Cursor&) = delete;
        Cursor& operator=(const Cursor&) = delete;
        std::optional<Range> find(std::size_t from);

    private:
        struct State;
        std::unique_ptr<State> state_;
        std::size_t size_;
    };

private:
    struct Compiled;
    Regex() = default;
    std::shared_ptr<const Compiled> impl_;
    std::string source_;
};

}  // namespace Tokenizers
