#include "platform/input/fake/FixedUSKeyLayout.hpp"

#include <utility>

namespace platform::input {
namespace {

constexpr std::pair<int, const char*> kUS[] = {
    {0, "a"},  {1, "s"},  {2, "d"},  {3, "f"},  {4, "h"},  {5, "g"},  {6, "z"},  {7, "x"},
    {8, "c"},  {9, "v"},  {11, "b"}, {12, "q"}, {13, "w"}, {14, "e"}, {15, "r"}, {16, "y"},
    {17, "t"}, {18, "1"}, {19, "2"}, {20, "3"}, {21, "4"}, {22, "6"}, {23, "5"}, {24, "="},
    {25, "9"}, {26, "7"}, {27, "-"}, {28, "8"}, {29, "0"}, {30, "]"}, {31, "o"}, {32, "u"},
    {33, "["}, {34, "i"}, {35, "p"}, {37, "l"}, {38, "j"}, {39, "'"}, {40, "k"}, {41, ";"},
    {42, "\\"}, {43, ","}, {44, "/"}, {45, "n"}, {46, "m"}, {47, "."}, {49, " "}, {50, "`"},
};

}  // namespace

std::optional<std::string> FixedUSKeyLayout::characters(int carbonKeyCode) const {
    if (auto it = overrides_.find(carbonKeyCode); it != overrides_.end()) return it->second;
    for (const auto& [code, text] : kUS)
        if (code == carbonKeyCode) return std::string(text);
    return std::nullopt;
}

}  // namespace platform::input
