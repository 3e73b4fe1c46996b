#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "tests/support/TemporaryFolder.hpp"

namespace parlox::testing {

// A fresh temporary folder that XDG_CONFIG_HOME names while it lives; the
// variable is put back as it was afterwards.
class ConfigFolder : public TemporaryFolder {
public:
    ConfigFolder() : TemporaryFolder("parlox-config-") {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) saved_ = old;
        ::setenv("XDG_CONFIG_HOME", path().c_str(), 1);
    }
    ~ConfigFolder() {
        if (saved_) ::setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
        else ::unsetenv("XDG_CONFIG_HOME");
    }

private:
    std::optional<std::string> saved_;
};

}  // namespace parlox::testing
