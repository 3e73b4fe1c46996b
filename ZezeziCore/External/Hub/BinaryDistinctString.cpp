#include "ZezeziCore/External/Hub/BinaryDistinctString.hpp"

#include <unicode/ustring.h>

#include "platform/foundation/GraphemeClusters.hpp"
#include "platform/foundation/Unicode.hpp"

namespace ZezeziCore {

namespace {

[[noreturn]] void outOfBounds() { throw std::out_of_range("Index out of bounds"); }

std::size_t graphemeCount(std::u16string_view text) {
    std::size_t count = 0;
    platform::forEachGraphemeCluster(text, [&](std::size_t, std::size_t) { ++count; });
    return count;
}

}  // namespace

BinaryDistinctString::BinaryDistinctString(std::string_view utf8) : value_(platform::toUtf16(utf8)) {}

BinaryDistinctString::BinaryDistinctString(const std::vector<BinaryDistinctCharacter>& characters) {
    for (const auto& c : characters) value_ += c.bytes();
}

std::string BinaryDistinctString::string() const { return platform::fromUtf16(value_); }

int64_t BinaryDistinctString::count() const { return static_cast<int64_t>(graphemeCount(value_)); }

bool BinaryDistinctString::hasPrefix(const BinaryDistinctString& p) const {
    if (p.value_.size() > value_.size()) return false;
    return std::u16string_view(value_).substr(0, p.value_.size()) == p.value_;
}

bool BinaryDistinctString::hasSuffix(const BinaryDistinctString& s) const {
    if (s.value_.size() > value_.size()) return false;
    return std::u16string_view(value_).substr(value_.size() - s.value_.size()) == s.value_;
}

BinaryDistinctString BinaryDistinctString::lowercased() const {
    if (value_.empty()) return {};
    std::u16string out(value_.size() + 16, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t len = u_strToLower(out.data(), static_cast<int32_t>(out.size()), value_.data(),
                               static_cast<int32_t>(value_.size()), "", &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.assign(static_cast<std::size_t>(len), u'\0');
        status = U_ZERO_ERROR;
        len = u_strToLower(out.data(), len, value_.data(), static_cast<int32_t>(value_.size()), "", &status);
    }
    if (U_FAILURE(status)) return *this;
    out.resize(static_cast<std::size_t>(len));
    return BinaryDistinctString(std::move(out));
}

BinaryDistinctString BinaryDistinctString::replacingOccurrences(const BinaryDistinctString& of,
                                                               const BinaryDistinctString& with) const {
    if (of.value_.empty()) return *this;
    std::u16string out;
    out.reserve(value_.size());
    std::size_t pos = 0;
    while (true) {
        std::size_t hit = value_.find(of.value_, pos);
        if (hit == std::u16string::npos) break;
        out.append(value_, pos, hit - pos);
        out += with.value_;
        pos = hit + of.value_.size();
    }
    out.append(value_, pos, std::u16string::npos);
    return BinaryDistinctString(std::move(out));
}

int64_t BinaryDistinctString::index(int64_t i, int64_t offsetBy) const {
    int64_t r = i + offsetBy;
    if (r < 0 || r > count()) outOfBounds();
    return r;
}

std::optional<int64_t> BinaryDistinctString::index(int64_t i, int64_t offsetBy, int64_t limitedBy) const {
    int64_t r = i + offsetBy;
    if (r > limitedBy) return std::nullopt;
    return r;
}

BinaryDistinctString BinaryDistinctString::slice(int64_t lower, int64_t upper) const {
    // Scalar offsets: position k starts at starts[k]; starts.back() is the end.
    std::vector<std::size_t> starts;
    starts.reserve(value_.size() + 1);
    for (std::size_t i = 0; i < value_.size(); ++i) {
        starts.push_back(i);
        if (value_[i] >= 0xD800 && value_[i] <= 0xDBFF && i + 1 < value_.size() && value_[i + 1] >= 0xDC00 &&
            value_[i + 1] <= 0xDFFF)
            ++i;
    }
    const auto scalars = static_cast<int64_t>(starts.size());
    starts.push_back(value_.size());
    if (lower < 0 || upper < lower || upper > scalars) outOfBounds();
    return BinaryDistinctString(value_.substr(starts[lower], starts[upper] - starts[lower]));
}

BinaryDistinctString BinaryDistinctString::slice(int64_t lower) const {
    int64_t scalars = 0;
    for (std::size_t i = 0; i < value_.size(); ++i) {
        ++scalars;
        if (value_[i] >= 0xD800 && value_[i] <= 0xDBFF && i + 1 < value_.size() && value_[i + 1] >= 0xDC00 &&
            value_[i + 1] <= 0xDFFF)
            ++i;
    }
    return slice(lower, scalars);
}

std::vector<BinaryDistinctCharacter> BinaryDistinctString::characters() const {
    std::vector<BinaryDistinctCharacter> out;
    if (value_.empty()) return out;
    platform::forEachGraphemeCluster(std::u16string_view(value_), [&](std::size_t start, std::size_t end) {
        out.emplace_back(value_.substr(start, end - start));
    });
    return out;
}

std::size_t BinaryDistinctString::hash() const {
    return std::hash<std::u16string_view>()(value_) ^ (value_.size() * 0x9E3779B97F4A7C15ull);
}

}  // namespace ZezeziCore
