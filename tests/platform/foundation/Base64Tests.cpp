#include "platform/foundation/Base64.hpp"

#include <string>
#include <utility>

#include <gtest/gtest.h>

namespace {

using platform::base64Encoded;

TEST(Base64, StandardAlphabetWithPadding) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\xFB\xFF", 2), "+/8="},                   // the two last letters of the alphabet
        {std::string("\0\0\0", 3), "AAAA"},                      // bytes of zero are data, not an end
        {std::string("\x89PNG\r\n\x1A\n", 8), "iVBORw0KGgo="},  // the start of a picture file
    };
    for (const auto& [bytes, expected] : cases) EXPECT_EQ(base64Encoded(bytes), expected) << expected;
}

TEST(Base64, LargeInputIsOneLine) {
    std::string bytes(3u << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    bytes += "x";
    const std::string encoded = base64Encoded(bytes);
    EXPECT_EQ(encoded.size(), (bytes.size() + 2) / 3 * 4);
    EXPECT_EQ(encoded.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string::npos);
    EXPECT_EQ(encoded.substr(encoded.size() - 4), "eA==");
    EXPECT_EQ(encoded.substr(0, 8), "AAcOFRwj");  // 0, 7, 14, 21, 28, 35
}

}  // namespace
