#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ml/MultiArray.hpp"

namespace DovuzudUza {

// One logits filter: changes the logits in place and returns them.
class LogitsFiltering {
public:
    virtual ~LogitsFiltering() = default;

    virtual std::shared_ptr<platform::ml::MultiArray> filterLogits(std::shared_ptr<platform::ml::MultiArray> logits,
                                                                   const std::vector<int64_t>& withTokens) = 0;
};

}  // namespace DovuzudUza
