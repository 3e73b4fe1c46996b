#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZezeziCore/External/Tokenizers/Models/WordIdCache.hpp"

using Tokenizers::WordIdCache;
using Ids = std::vector<int64_t>;

namespace {

Ids found(const WordIdCache& cache, std::string_view word) {
    Ids ids{-1};  // found ids are appended after what is there
    if (!cache.find(word, ids)) return {};
    return Ids(ids.begin() + 1, ids.end());
}

}  // namespace

TEST(WordIdCache, KeepsWordsThatFitAndForgetsTheOlderOfAPair) {
    WordIdCache cache(2);  // one pair: every word shares it
    const Ids one{7}, two{1, 2, 3}, eight{1, 2, 3, 4, 5, 6, 7, 8};
    cache.insert("uno", one.data(), one.size());
    cache.insert("dos", two.data(), two.size());
    EXPECT_EQ(found(cache, "uno"), one);
    EXPECT_EQ(found(cache, "dos"), two);
    cache.insert("tres", eight.data(), eight.size());
    EXPECT_TRUE(found(cache, "uno").empty());
    EXPECT_EQ(found(cache, "dos"), two);
    EXPECT_EQ(found(cache, "tres"), eight);
    EXPECT_TRUE(found(cache, "tre").empty());

    // What does not fit is left out, never cut.
    WordIdCache roomy;
    const Ids nine{1, 2, 3, 4, 5, 6, 7, 8, 9}, wide{int64_t{1} << 40}, negative{-3};
    const std::string longest(WordIdCache::kMaxWordBytes, 'a'), tooLong(WordIdCache::kMaxWordBytes + 1, 'a');
    roomy.insert(longest, one.data(), one.size());
    roomy.insert(tooLong, one.data(), one.size());
    roomy.insert("nueve", nine.data(), nine.size());
    roomy.insert("ancho", wide.data(), wide.size());
    roomy.insert("menos", negative.data(), negative.size());
    roomy.insert("", one.data(), one.size());
    EXPECT_EQ(found(roomy, longest), one);
    for (std::string_view word : {std::string_view(tooLong), std::string_view("nueve"), std::string_view("ancho"),
                                  std::string_view("menos"), std::string_view("")})
        EXPECT_TRUE(found(roomy, word).empty()) << word;
    const Ids none;
    roomy.insert("nada", none.data(), 0);
    Ids ids;
    EXPECT_TRUE(roomy.find("nada", ids));
    EXPECT_TRUE(ids.empty());
}
