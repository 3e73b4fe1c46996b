#include <gtest/gtest.h>

#include <map>
#include <random>

#include "ZezeziCore/External/Tokenizers/Models/MergeTable.hpp"

using Tokenizers::MergeTable;

TEST(MergeTable, FindsWhatAMapWouldAcrossGrowth) {
    MergeTable table;
    std::map<std::pair<int32_t, int32_t>, MergeTable::Merge> reference;
    std::mt19937 random(5);
    std::uniform_int_distribution<int32_t> symbol(0, 300);
    for (int32_t rank = 0; rank < 5000; ++rank) {
        const int32_t left = symbol(random), right = symbol(random);
        const MergeTable::Merge merge{rank, 1000 + rank};
        table.insertOrAssign(left, right, merge);
        reference[{left, right}] = merge;  // a repeated pair takes the later merge
    }
    EXPECT_EQ(table.size(), reference.size());
    for (int32_t left = 0; left <= 300; ++left) {
        for (int32_t right = 0; right <= 300; right += 7) {
            const auto* merge = table.find(left, right);
            const auto it = reference.find({left, right});
            ASSERT_EQ(merge != nullptr, it != reference.end()) << left << " " << right;
            if (merge) {
                EXPECT_EQ(merge->rank, it->second.rank);
                EXPECT_EQ(merge->merged, it->second.merged);
            }
        }
    }
    EXPECT_EQ(table.find(-1, 0), nullptr);
    EXPECT_EQ(MergeTable().find(1, 2), nullptr);
}
