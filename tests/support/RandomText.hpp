#pragma once

#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace parlox::testing {

// Up to `maxPieces` of `pieces`, drawn at random and put end to end.
inline std::string randomText(std::mt19937& random, const std::vector<std::string>& pieces, size_t maxPieces) {
    std::uniform_int_distribution<size_t> count(0, maxPieces), pick(0, pieces.size() - 1);
    std::string text;
    for (size_t i = count(random); i > 0; --i) text += pieces[pick(random)];
    return text;
}

}  // namespace parlox::testing
