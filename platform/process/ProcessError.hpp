#pragma once

#include <string>

#include "platform/foundation/Error.hpp"

namespace platform::process {

class ProcessError : public platform::Error {
public:
    enum class Kind { launch, pipe };

    ProcessError(Kind kind, std::string path, int errorNumber);

    Kind kind() const { return kind_; }
    const std::string& path() const { return path_; }
    int errorNumber() const { return errno_; }

    std::string description() const override;
    std::string localizedDescription() const override;

private:
    Kind kind_;
    std::string path_;
    int errno_;
};

}  // namespace platform::process
