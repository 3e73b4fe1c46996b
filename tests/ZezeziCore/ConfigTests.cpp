#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ZezeziCore/External/Hub/Config.hpp"
#include "ZezeziCore/External/Hub/ConfigJSONSerialization.hpp"
#include "platform/log/SystemLog.hpp"

using ZezeziCore::BinaryDistinctString;
using ZezeziCore::Config;
using ZezeziCore::JSONSerialization;
using ZezeziCore::JSONSerializationError;

namespace {
Config parse(std::string_view text) { return JSONSerialization::bomPreservingJsonObject(text); }
Config value(std::string_view text) { return parse("[" + std::string(text) + "]").array()->at(0); }
}  // namespace

TEST(Config, ReaderTurnsLiteralsAndNumbersIntoTheFileKinds) {
    struct Case {
        const char* json;
        Config::Kind kind;
        std::string description;
    };
    const Case cases[] = {
        {"true", Config::Kind::integer, "1"},
        {"false", Config::Kind::integer, "0"},
        {"null", Config::Kind::null, "null"},
        {"3.0", Config::Kind::integer, "3"},
        {"1e2", Config::Kind::integer, "100"},
        {"-0.0", Config::Kind::integer, "0"},
        {"0.5", Config::Kind::floating, "0.5"},
        {"0.1", Config::Kind::floating, "0.1"},
        {"-12", Config::Kind::integer, "-12"},
        {"9223372036854775807", Config::Kind::integer, "9223372036854775807"},
        {"-9223372036854775808", Config::Kind::integer, "-9223372036854775808"},
        // Beyond 64 bits: a float, never a wrapped integer.
        {"18446744073709551615", Config::Kind::floating, "1.8446744e+19"},
        {"1e400", Config::Kind::floating, "inf"},
        {"\"x\"", Config::Kind::string, "\"x\""},
    };
    for (const auto& c : cases) {
        Config v = value(c.json);
        EXPECT_EQ(v.kind(), c.kind) << c.json;
        EXPECT_EQ(v.description(), c.description) << c.json;
    }
    EXPECT_EQ(value("0.1").floating(), 0.1f);
    EXPECT_EQ(value("true").integer(), 1);
    EXPECT_EQ(value("true").boolean(), true);
    EXPECT_EQ(value("false").boolean(), false);
    EXPECT_EQ(value("true").floating(), 1.0f);
}

// Beyond what a double holds, the size of the number decides between
// infinity and zero, however it is written.
TEST(Config, ReaderRoundsNumbersBeyondTheDoubleRangeByTheirSize) {
    const std::string zeros(400, '0');
    struct Case {
        std::string json;
        Config::Kind kind;
        std::string description;
    };
    const Case cases[] = {
        {"0." + zeros + "1", Config::Kind::integer, "0"},
        {"-0." + zeros + "1", Config::Kind::integer, "0"},
        {"0." + zeros + "1e50", Config::Kind::integer, "0"},
        {"1" + zeros + "e-10", Config::Kind::floating, "inf"},
        {"-1" + zeros + ".5e-50", Config::Kind::floating, "-inf"},
        {"0.0001e400", Config::Kind::floating, "inf"},
        {"-1" + zeros, Config::Kind::floating, "-inf"},
        {"1e-400", Config::Kind::integer, "0"},
        {"12345e-99999999999999999999", Config::Kind::integer, "0"},
        {"-0.5e99999999999999999999", Config::Kind::floating, "-inf"},
    };
    for (const auto& c : cases) {
        const Config v = value(c.json);
        EXPECT_EQ(v.kind(), c.kind) << c.json;
        EXPECT_EQ(v.description(), c.description) << c.json;
    }
}

TEST(Config, ReaderKeepsExactUnits) {
    // A mark opening a key or a value survives exactly once; composed and
    // decomposed keys stay apart; escapes of lone surrogates are kept.
    Config c = parse("\xEF\xBB\xBF{\"\xEF\xBB\xBF" "abc\": 1, \"abc\": 2, \"\xC3\xA9\": 3, \"e\xCC\x81\": 4,"
                     " \"v\": \"\xEF\xBB\xBFx\", \"lone\": \"a\\ud800b\", \"pair\": \"\\ud83d\\ude00\","
                     " \"esc\": \"\\\"\\\\\\/\\b\\f\\n\\r\\t\\u0041\"}");
    auto d = c.dictionary();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->size(), 8u);
    EXPECT_EQ(c[BinaryDistinctString("\xEF\xBB\xBF" "abc")].integer(), 1);
    EXPECT_EQ(c["abc"].integer(), 2);
    EXPECT_EQ(c["\xC3\xA9"].integer(), 3);
    EXPECT_EQ(c["e\xCC\x81"].integer(), 4);
    EXPECT_EQ(c["v"].binaryDistinctString()->value(), u"\uFEFFx");
    EXPECT_EQ(c["lone"].binaryDistinctString()->value(), (std::u16string{u'a', char16_t(0xD800), u'b'}));
    EXPECT_EQ(c["pair"].string(), "\xF0\x9F\x98\x80");
    EXPECT_EQ(c["esc"].string(), "\"\\/\b\f\n\r\tA");
}

TEST(Config, ReaderRefusesMalformedInput) {
    const char* bad[] = {
        "",          "{",          "{\"a\":}",     "{\"a\" 1}",      "[1,]",        "[01]",       "[1.]",
        "[-]",       "[.5]",       "[tru]",        "[\"a]",          "[\"\\x\"]",   "[\"\\u12\"]", "{} x",
        "[\"\x01\"]", "[\"\xFF\"]", "[\"\xC0\xAF\"]", "[\"\xED\xA0\x80\"]", "[\"\xE2\x82\"]", "{1:2}",
        "\"top\"",   "42",
    };
    for (const char* text : bad) EXPECT_THROW(parse(text), JSONSerializationError) << text;
    EXPECT_EQ(JSONSerialization::bomPreservingJsonObject("42", {.fragmentsAllowed = true}).integer(), 42);
    // Deep nesting is refused instead of exhausting the stack.
    std::string deep(100000, '[');
    EXPECT_THROW(parse(deep), JSONSerializationError);
    std::string ok = std::string(500, '[') + std::string(500, ']');
    EXPECT_NO_THROW(parse(ok));
}

TEST(Config, RepeatedKeyKeepsTheLaterValueAndIsLogged) {
    std::vector<std::pair<platform::LogLevel, std::string>> logged;
    platform::SystemLog::setSink([&](platform::LogLevel level, const std::string&, const std::string&,
                                     const std::string& message) { logged.emplace_back(level, message); });
    Config c = JSONSerialization::bomPreservingJsonObject(
        R"({"a": 1, "b": {"a": 2, "a": 3}, "\u00e9": 0, "a": 4, "c": 5})", {.source = "/m/tokenizer.json"});
    Config clean = parse(R"({"a": 1, "b": {"a": 2}, "e\u0301": 0, "\u00e9": 0})");
    platform::SystemLog::setSink(nullptr);
    EXPECT_EQ(c["a"].integer(), 4);
    EXPECT_EQ(c["b"]["a"].integer(), 3);
    EXPECT_EQ(c["c"].integer(), 5);
    EXPECT_EQ(clean.dictionary()->size(), 4u);
    ASSERT_EQ(logged.size(), 2u);
    for (const auto& [level, message] : logged) EXPECT_EQ(level, platform::LogLevel::warning);
    EXPECT_EQ(logged[0].second, R"(Duplicate key "a" in /m/tokenizer.json at byte 23: the last value is kept)");
    EXPECT_EQ(logged[1].second, R"(Duplicate key "a" in /m/tokenizer.json at byte 45: the last value is kept)");

    Config d = Config::dictionary({{"a", 1}, {"a", 2}});
    EXPECT_EQ(d["a"].integer(), 2);
    EXPECT_EQ(Config::dictionary({}).dictionary()->size(), 0u);
}

TEST(Config, LooksUpExactKeyThenSnakeCase) {
    Config c = parse(R"({"model_type": "whisper", "modelType": "exact", "tokenizer_class": "T",
                         "add_prefix_space": true, "nested": {"vocab": {"a": 0}}})");
    EXPECT_EQ(c["modelType"].string(), "exact");
    EXPECT_EQ(c["tokenizerClass"].string(), "T");
    EXPECT_EQ(c["addPrefixSpace"].boolean(), true);
    EXPECT_EQ(c["nested"]["vocab"]["a"].integer(), 0);
    EXPECT_TRUE(c["missing"]["vocab"]["a"].isNull());
    EXPECT_FALSE(c["tokenizerClass"].member("x").has_value());
    ASSERT_TRUE(c.member("missing").has_value());
    EXPECT_TRUE(c.member("missing")->isNull());
}

TEST(Config, UncamelCase) {
    const std::pair<const char*, const char*> cases[] = {
        {"modelType", "model_type"},
        {"cleanUpTokenizationSpaces", "clean_up_tokenization_spaces"},
        {"unkId", "unk_id"},
        {"lowercase", "lowercase"},
        {"ModelType", "model_type"},
        {"myHTTPServer", "my_httpserver"},
        {"bert2Model", "bert2_model"},
        {"_A", "__a"},
        {"\xC3\x89t\xC3\x89", "\xC3\xA9t_\xC3\xA9"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(Config::uncamelCase(in).string(), out) << in;
}

TEST(Config, Readings) {
    EXPECT_EQ(Config(2).boolean(), false);
    EXPECT_EQ(Config(-1).boolean(), false);
    for (const char* t : {"TRUE", "T", "1", "true"}) EXPECT_EQ(Config(t).boolean(), true) << t;
    for (const char* f : {"False", "f", "0"}) EXPECT_EQ(Config(f).boolean(), false) << f;
    EXPECT_EQ(Config("yes").boolean(), std::nullopt);
    EXPECT_EQ(Config(1.0f).boolean(), std::nullopt);
    EXPECT_EQ(Config(3).floating(), 3.0f);
    EXPECT_EQ(Config(3.0f).integer(), std::nullopt);
    EXPECT_EQ(Config("x").integer(), std::nullopt);

    Config mixed = Config::array({"a", 1, "b"});
    EXPECT_EQ(mixed.get(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Config("a").get(), std::nullopt);
    EXPECT_EQ(Config::array({1}).get(), std::vector<std::string>{});

    EXPECT_EQ(value(R"(["hi", 102])").token(), (std::pair<uint64_t, std::string>{102, "hi"}));
    EXPECT_EQ(value(R"(["hi", 102.0])").token(), (std::pair<uint64_t, std::string>{102, "hi"}));
    EXPECT_EQ(value(R"([102, "hi"])").token(), std::nullopt);
    EXPECT_EQ(value(R"(["hi", 1, 2])").token(), std::nullopt);
    EXPECT_EQ(value(R"(["hi", 1.5])").token(), std::nullopt);
    EXPECT_EQ(value(R"(["hi", -3])").token(), std::nullopt);
    EXPECT_EQ(Config(Config::Token{7, "x"}).token(), (std::pair<uint64_t, std::string>{7, "x"}));
}

TEST(Config, EqualityAcrossKinds) {
    EXPECT_EQ(Config(1), Config(true));
    EXPECT_EQ(Config(true), Config(1));
    EXPECT_EQ(Config(2), Config(false));
    EXPECT_EQ(Config(0), Config(0.0f));
    EXPECT_NE(Config("1"), Config(1));
    EXPECT_NE(Config("1"), Config(1.0f));
    EXPECT_EQ(Config("1"), Config(true));
    EXPECT_EQ(Config(true), Config("1"));
    EXPECT_NE(Config(1.0f), Config(true));
    EXPECT_NE(Config(), Config(0));
    EXPECT_EQ(Config(), Config());
    EXPECT_NE(Config(std::nanf("")), Config(std::nanf("")));
    EXPECT_EQ(Config(-0.0f), Config(0.0f));
    EXPECT_EQ(Config(-0.0f).hash(), Config(0.0f).hash());
    EXPECT_EQ(parse(R"({"a": [1, {"b": "c"}], "d": null})"), parse(R"({"d": null, "a": [true, {"b": "c"}]})"));
    EXPECT_NE(parse(R"({"a": 1})"), parse(R"({"a": 1, "b": 2})"));
    EXPECT_NE(Config::array({1, 2}), Config::array({1}));
}

TEST(Config, Description) {
    EXPECT_EQ(Config::array({1, 2}).description(), "[[1, 2]]");
    EXPECT_EQ(Config::dictionary({}).description(), "{[:]}");
    EXPECT_EQ(Config::dictionary({{"k", "v"}}).description(), "{[k: \"v\"]}");
    EXPECT_EQ(Config(1.0f).description(), "1.0");
    EXPECT_EQ(Config(0.1f).description(), "0.1");
    EXPECT_EQ(Config(Config::Token{5, "x"}).description(), "(5, x)");
    EXPECT_EQ(Config(false).description(), "false");
}

TEST(Config, EncodeAndDecode) {
    EXPECT_EQ(Config::decode(nlohmann::json::parse(R"([5, "text"])")).kind(), Config::Kind::token);
    EXPECT_EQ(Config::decode(nlohmann::json::array()).kind(), Config::Kind::array);
    EXPECT_EQ(Config::decode(nlohmann::json::parse(R"({"a": true})"))["a"].kind(), Config::Kind::boolean);
    EXPECT_TRUE(Config::decode(nlohmann::json(nullptr)).isNull());

    Config token(Config::Token{5, "text"});
    EXPECT_EQ(token.encode().dump(), R"([5,"text"])");
    EXPECT_EQ(Config::decode(token.encode()), token);
    EXPECT_EQ(Config(0.1f).encode().dump(), "0.1");
    Config tree = Config::dictionary({{"a", Config::array({1, 2.5f, "x", nullptr})}, {"b", true}});
    EXPECT_EQ(Config::decode(tree.encode()), tree);

}

TEST(Config, ParsedTreesFollowTheFileReadersNumberRules) {
    const char* values[] = {"true",  "false", "null", "3.0", "1e2", "-0.0", "0.5", "0.1", "-12", "9223372036854775807",
                            "-9223372036854775808", "18446744073709551615", "9.3e18", "\"x\"", "[1, 2.0, false]"};
    for (const char* text : values) {
        Config fromTree = Config::convertToBinaryDistinctKeys(nlohmann::json::parse(text));
        Config fromFile = value(text);
        EXPECT_EQ(fromTree.kind(), fromFile.kind()) << text;
        EXPECT_EQ(fromTree.description(), fromFile.description()) << text;
    }
    Config tree = Config::convertToBinaryDistinctKeys(nlohmann::json::parse(R"({"a": true, "b": [1, "s"]})"));
    EXPECT_EQ(tree["a"].integer(), 1);
    EXPECT_EQ(tree["a"].boolean(), true);
    EXPECT_EQ(tree["b"].array()->size(), 2u);
}

TEST(Config, LookupsShareTheParsedVocabulary) {
    std::string json = "{\"model\": {\"vocab\": {";
    for (int i = 0; i < 20000; ++i) json += (i ? ",\"" : "\"") + std::to_string(i) + "\":" + std::to_string(i);
    json += "}}}";
    Config c = parse(json);
    auto first = c["model"]["vocab"].dictionary();
    auto second = c["model"]["vocab"].dictionary();
    ASSERT_TRUE(first);
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(first->size(), 20000u);
    EXPECT_EQ(c["model"]["vocab"]["19999"].integer(), 19999);
}
