#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "tests/support/TemporaryFolder.hpp"

namespace parlox::testing {

// A fresh temporary folder that the XDG variable `variable` names while it
// lives; the variable is put back as it was afterwards.
class XdgFolder : public TemporaryFolder {
public:
    XdgFolder(const char* variable, std::string_view prefix) : TemporaryFolder(prefix), variable_(variable) {
        if (const char* old = std::getenv(variable_)) saved_ = old;
        ::setenv(variable_, path().c_str(), 1);
    }
    ~XdgFolder() {
        if (saved_) ::setenv(variable_, saved_->c_str(), 1);
        else ::unsetenv(variable_);
    }

private:
    const char* variable_;
    std::optional<std::string> saved_;
};

// XDG_CONFIG_HOME.
class ConfigFolder : public XdgFolder {
public:
    ConfigFolder() : XdgFolder("XDG_CONFIG_HOME", "parlox-config-") {}
};

// XDG_DATA_HOME.
class DataFolder : public XdgFolder {
public:
    DataFolder() : XdgFolder("XDG_DATA_HOME", "parlox-data-") {}
};

}  // namespace parlox::testing
