#pragma once

#include <clocale>
#include <cstdlib>
#include <locale>
#include <string>

#include "tests/support/TemporaryFolder.hpp"

namespace parlox::testing {

// While it lives, numbers are Spanish: a decimal comma in the C locale, as
// Qt leaves the process under a Spanish desktop (made from the system's
// locale sources when no compiled locale is installed), and in the C++
// global locale in any case.
class SpanishNumbers {
public:
    SpanishNumbers() {
        cLocale_ = std::setlocale(LC_ALL, "es_ES.UTF-8") != nullptr;
        if (!cLocale_) {
            const std::string target = (folder_ / "es_ES.UTF-8").string();
            const std::string command = "localedef -i es_ES -f UTF-8 '" + target + "' >/dev/null 2>&1";
            if (std::system(command.c_str()) == 0) {
                ::setenv("LOCPATH", folder_.path().c_str(), 1);
                cLocale_ = std::setlocale(LC_ALL, "es_ES.UTF-8") != nullptr;
            }
        }
        struct Comma : std::numpunct<char> {
            char do_decimal_point() const override { return ','; }
            char do_thousands_sep() const override { return '.'; }
            std::string do_grouping() const override { return "\3"; }
        };
        previous_ = std::locale::global(std::locale(std::locale::classic(), new Comma));
    }
    ~SpanishNumbers() {
        std::setlocale(LC_ALL, "C");
        std::locale::global(previous_);
        ::unsetenv("LOCPATH");
    }
    SpanishNumbers(const SpanishNumbers&) = delete;
    SpanishNumbers& operator=(const SpanishNumbers&) = delete;

    // Whether the C library itself now reads and prints a decimal comma.
    bool cLocale() const { return cLocale_; }

private:
    TemporaryFolder folder_;
    bool cLocale_ = false;
    std::locale previous_;
};

}  // namespace parlox::testing
