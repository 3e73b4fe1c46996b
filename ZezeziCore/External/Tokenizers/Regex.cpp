#include "ZezeziCore/External/Tokenizers/Regex.hpp"

#include <unicode/regex.h>
#include <unicode/utext.h>

namespace Tokenizers {

struct Regex::Compiled {
    std::unique_ptr<icu::RegexPattern> pattern;
};

namespace {

constexpr int32_t kStackLimit = 256 * 1024 * 1024;
// A configured pattern that backtracks without end gives up after a few
// seconds of one search instead of hanging the caller.
constexpr int32_t kTimeLimit = 5000;

struct Utf8Text {
    UText* ut = nullptr;
    explicit Utf8Text(std::string_view s) {
        UErrorCode status = U_ZERO_ERROR;
        ut = utext_openUTF8(nullptr, s.data(), static_cast<int64_t>(s.size()), &status);
        if (U_FAILURE(status)) ut = nullptr;
    }
    ~Utf8Text() {
        if (ut) utext_close(ut);
    }
    Utf8Text(const Utf8Text&) = delete;
    Utf8Text& operator=(const Utf8Text&) = delete;
};

}  // namespace

std::optional<Regex> Regex::compile(std::string_view pattern) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    icu::UnicodeString source =
        icu::UnicodeString::fromUTF8(icu::StringPiece(pattern.data(), static_cast<int32_t>(pattern.size())));
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(source, 0, parseError, status));
    if (U_FAILURE(status) || !compiled) return std::nullopt;
    Regex r;
    auto impl = std::make_shared<Compiled>();
    impl->pattern = std::move(compiled);
    r.impl_ = std::move(impl);
    r.source_ = std::string(pattern);
    return r;
}

std::string Regex::escapedPattern(std::string_view literal) {
    std::string out;
    out.reserve(literal.size() * 2);
    for (char c : literal) {
        switch (c) {
            case '\\': case '^': case '$': case '.': case '|': case '?': case '*': case '+':
            case '(': case ')': case '[': case ']': case '{': case '}': case '-': case '#': case '&': case '~':
                out.push_back('\\');
                out.push_back(c);
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

struct Regex::Cursor::State {
    Utf8Text text;
    std::unique_ptr<icu::RegexMatcher> matcher;
    explicit State(std::string_view s) : text(s) {}
};

Regex::Cursor::Cursor(const Regex& regex, std::string_view text) : state_(std::make_unique<State>(text)), size_(text.size()) {
    if (!state_->text.ut) return;
    UErrorCode status = U_ZERO_ERROR;
    state_->matcher.reset(regex.impl_->pattern->matcher(status));
    if (U_FAILURE(status)) {
        state_->matcher.reset();
        return;
    }
    state_->matcher->reset(state_->text.ut);
    // Long runs under a backtracking pattern need more than the default stack.
    state_->matcher->setStackLimit(kStackLimit, status);
    status = U_ZERO_ERROR;
    state_->matcher->setTimeLimit(kTimeLimit, status);
    status = U_ZERO_ERROR;
}

Regex::Cursor::~Cursor() = default;

std::optional<Regex::Range> Regex::Cursor::find(std::size_t from) {
    if (!state_->matcher || from > size_) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    auto& m = *state_->matcher;
    bool found = m.find(static_cast<int64_t>(from), status);
    if (U_FAILURE(status)) {
        // The matcher gave up (stack or time): the rest is one match, so no
        // text is lost.
        return Range{from, size_};
    }
    if (!found) return std::nullopt;
    int64_t a = m.start64(status);
    int64_t b = m.end64(status);
    if (U_FAILURE(status)) return std::nullopt;
    return Range{static_cast<std::size_t>(a), static_cast<std::size_t>(b)};
}

std::optional<Regex::Range> Regex::firstMatch(std::string_view text, std::size_t from) const {
    Cursor cursor(*this, text);
    return cursor.find(from);
}

std::vector<Regex::Match> Regex::matches(std::string_view text) const {
    std::vector<Match> out;
    Utf8Text ut(text);
    if (!ut.ut) return out;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(impl_->pattern->matcher(status));
    if (U_FAILURE(status)) return out;
    m->reset(ut.ut);
    m->setStackLimit(kStackLimit, status);
    m->setTimeLimit(kTimeLimit, status);
    status = U_ZERO_ERROR;
    const int32_t groups = m->groupCount();
    while (m->find(status) && U_SUCCESS(status)) {
        Match match;
        match.groups.resize(static_cast<std::size_t>(groups) + 1);
        for (int32_t g = 0; g <= groups; ++g) {
            int64_t a = m->start64(g, status);
            int64_t b = m->end64(g, status);
            if (U_FAILURE(status)) return out;
            if (a >= 0 && b >= a) match.groups[g] = Range{static_cast<std::size_t>(a), static_cast<std::size_t>(b)};
        }
        out.push_back(std::move(match));
    }
    return out;
}

std::string Regex::replaceAll(std::string_view text, std::string_view replacementTemplate) const {
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString input = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    icu::UnicodeString replacement = icu::UnicodeString::fromUTF8(
        icu::StringPiece(replacementTemplate.data(), static_cast<int32_t>(replacementTemplate.size())));
    std::unique_ptr<icu::RegexMatcher> m(impl_->pattern->matcher(input, status));
    if (U_FAILURE(status)) return std::string(text);
    m->setTimeLimit(kTimeLimit, status);
    status = U_ZERO_ERROR;
    icu::UnicodeString result = m->replaceAll(replacement, status);
    if (U_FAILURE(status)) return std::string(text);  // e.g. a template naming a missing group
    std::string out;
    result.toUTF8String(out);
    return out;
}

}  // namespace Tokenizers
