#include <gtest/gtest.h>

#include "platform/net/Sha256.hpp"

using platform::net::Sha256;

TEST(Sha256, KnownVectors) {
    EXPECT_EQ(Sha256::hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256::hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Sha256, IncrementalEqualsOneShot) {
    std::string data(3'000'001, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31 % 251);
    Sha256 h;
    for (size_t at = 0; at < data.size(); at += 65'537) h.update(std::string_view(data).substr(at, 65'537));
    EXPECT_EQ(h.finishHex(), Sha256::hex(data));
    EXPECT_THROW(h.update("x"), std::logic_error);
}

TEST(Sha256, ACopyCarriesOnIndependently) {
    Sha256 first;
    first.update("ab");
    Sha256 copy(first);
    first.update("c");
    copy.update("x");
    EXPECT_EQ(first.finishHex(), Sha256::hex("abc"));
    EXPECT_EQ(copy.finishHex(), Sha256::hex("abx"));
    Sha256 assigned;
    assigned.update("zzz");
    Sha256 source;
    source.update("a");
    assigned = source;
    assigned.update("bc");
    EXPECT_EQ(assigned.finishHex(), Sha256::hex("abc"));
}
