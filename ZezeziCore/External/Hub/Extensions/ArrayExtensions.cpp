#include "ZezeziCore/External/Hub/Extensions/ArrayExtensions.hpp"

#include <fnmatch.h>

namespace ZezeziCore {

std::vector<std::string> matching(const std::vector<std::string>& names, const std::string& glob) {
    std::vector<std::string> out;
    for (const auto& name : names)
        if (::fnmatch(glob.c_str(), name.c_str(), 0) == 0) out.push_back(name);
    return out;
}

}  // namespace ZezeziCore
