#include <string>

#include <gtest/gtest.h>

#include "writing/ResponseCleaner.hpp"

using ParloxCore::ResponseCleaner;

TEST(ResponseCleaner, Cases) {
    struct Case {
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"```markdown\nHola mundo\n```", "Hola mundo"},
        {"```hola```", "hola"},
        {"``````", ""},
        {"```python\ncode```", "code"},
        {"\"hola\"", "hola"},
        {"\"uno\" y \"dos\"", "\"uno\" y \"dos\""},
        {"\u00ABhola\u00BB", "hola"},
        {"\u201Ehola\u201C", "hola"},
        {"\u201Chola\u201D", "hola"},
        {"\u2018hola\u2019", "hola"},
        {"'hola'", "hola"},
        {"\u201Cuno \u201Cdos\u201D", "\u201Cuno \u201Cdos\u201D"},
        {"```\n\"citado\"\n```", "citado"},
        {"\"```\nfence\n```\"", "```\nfence\n```"},
        {"uno  \t\ndos", "uno\ndos"},
        {"uno\n\n\n\ndos", "uno\n\ndos"},
        {"uno\r\ndos", "uno\ndos"},
        {"uno\rdos", "uno\rdos"},
        {"uno\u00A0\ndos", "uno\u00A0\ndos"},
        {"\u00A0 hola \u00A0", "hola"},
        {"  \n\n ", ""},
        {"\"", "\""},
        {"\"\"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResponseCleaner::clean(c.input), c.expected) << c.input;
    }
}
