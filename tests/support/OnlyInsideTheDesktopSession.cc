// Linked into every test binary that needs a desktop (cmake:
// parlox_run_in_desktop): its tests fail, before touching any display, when
// the binary was not started inside tests/desktop/session.sh. Whoever runs
// the tests then never has them typing into their own desktop, however the
// binary came to be started.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

class OnlyInsideTheSession : public ::testing::Environment {
public:
    void SetUp() override {
        if (std::getenv("PARLOX_DESKTOP_WORK") != nullptr) return;
        // Ended here: a failed set-up would show every test as skipped.
        std::fputs("These tests run on a private headless desktop: run them inside tests/desktop/session.sh, "
                   "as ctest does.\n",
                   stderr);
        std::_Exit(1);
    }
};

[[maybe_unused]] ::testing::Environment* const onlyInsideTheSession =
    ::testing::AddGlobalTestEnvironment(new OnlyInsideTheSession);

}  // namespace
